// The main window as the editing session's view: locking, status and progress, hiding, the tray icon and the fields.
#include "ui/Unit1.h"

#include "platform/Wipe.h"
#include "ui/Dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <array>
#include <initializer_list>

namespace quillock::ui {

std::array<QWidget*, 14> TForm1::LockedControls() const {
    return {FName,   Button1,      BitBtn1,         BitBtn2,       RadioGroup1,        AlgorithmCB,
            HashCB,  GroupBox1,    DoubleBackupBox, ChangePassBox, ChangeAlgorithmBox, ExeNameEdit,
            Button2, OptionsButton};
}

void TForm1::LockWindow() {
    for (QWidget* control : LockedControls()) {
        control->setEnabled(false);
    }
    setEnabled(false);
    Panel1->show();
    Panel1->raise();
}

void TForm1::UnlockForAnotherTry() {
    for (QWidget* control : LockedControls()) {
        control->setEnabled(true);
    }
    Panel1->hide();
    Panel1->setText(QStringLiteral("Please wait.."));
    SetNotify(QString());
    setEnabled(true);
    MaskEdit1->clear();
    MaskEdit1Change(MaskEdit1->text()); // OK waits for a password
    activateWindow();
    FocusPassword();
}

void TForm1::SetStatus(const std::string& text) {
    SetNotify(FromCp1252(text));
}

void TForm1::SetNotify(const QString& text) {
    FStatusText = text;
    ShowNotify(QString());
    // A new step shows its first percentage at once.
    FProgressClock.invalidate();
}

void TForm1::ShowNotify(const QString& suffix) {
    // A status longer than the line (one that names files) is shortened at
    // its end; the percentage always shows whole.
    const QFontMetrics metrics = CompressedNotify->fontMetrics();
    const int room = CompressedNotify->contentsRect().width() - metrics.horizontalAdvance(suffix);
    CompressedNotify->setText(metrics.elidedText(FStatusText, Qt::ElideRight, room) + suffix);
}

void TForm1::Progress(std::uint64_t done, std::uint64_t total) {
    constexpr qint64 ShowEveryMs = 250;
    // Only the window's own thread may touch it; a report from a helper
    // thread of a step is passed over.
    if (QThread::currentThread() != thread()) {
        return;
    }
    if (FProgressClock.isValid() && FProgressClock.elapsed() < ShowEveryMs) {
        return;
    }
    FProgressClock.start();
    const std::uint64_t percent =
        total == 0
            ? 100
            : std::min<std::uint64_t>(100, static_cast<std::uint64_t>(static_cast<long double>(done) * 100 / total));
    ShowNotify(QStringLiteral(" %1%").arg(percent));
    // The window repaints and the desktop sees it answer; it stays disabled,
    // so no input reaches it.
    QCoreApplication::processEvents();
}

std::string TForm1::EditorHint() const {
    return "Check the editor's location in the Path box (Options).";
}

void TForm1::SetPanelText(const std::string& text) {
    Panel1->setText(FromCp1252(text));
}

void TForm1::PumpMessages() {
    QCoreApplication::processEvents();
}

std::function<void()> TForm1::EditorWaitStep() {
    return [] {
        constexpr int StepMs = 50;
        QEventLoop loop;
        QTimer::singleShot(StepMs, &loop, &QEventLoop::quit);
        loop.exec();
    };
}

void TForm1::HideMainWindow() {
    FEditorStarted = true;
    // With a tray the icon shows that the program waits; without one the
    // window stays in the taskbar, minimised.
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        hide();
    } else {
        showMinimized();
    }
    QCoreApplication::processEvents();
}

void TForm1::ShowMainWindow() {
    showNormal();
    raise();
}

void TForm1::TickCompress() {
    UseCompressionBox->setChecked(true);
}

void TForm1::ClearPassword() {
    MaskEdit1->setText(QString(69, QLatin1Char('0')));
    // The session's work is done: its last step's status goes, so the panel's
    // final message is what shows.
    if (FSessionRunning) {
        SetNotify(QString());
    }
}

void TForm1::EndProgram() {
    FEndRequested = true;
}

void TForm1::ExitWithError() {
    throw datafile::TProgramExit{1};
}

void TForm1::ShowTrayIcon() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return;
    }
    if (FTrayIcon == nullptr) {
        FTrayIcon = new QSystemTrayIcon(this);
        QIcon icon = QApplication::windowIcon();
        if (icon.isNull()) {
            icon = style()->standardIcon(QStyle::SP_FileDialogDetailedView);
        }
        FTrayIcon->setIcon(icon);
    }
    FTrayIcon->setToolTip(windowTitle());
    FTrayIcon->show();
    QCoreApplication::processEvents(); // registered before the wait for the editor begins
}

void TForm1::HideTrayIcon() {
    if (FTrayIcon != nullptr) {
        FTrayIcon->hide();
    }
}

void TForm1::SetDataFileName(const std::string& path) {
    FName->setText(FromPath(path));
}

bool TForm1::UseCompression() const {
    return UseCompressionBox->isChecked();
}

bool TForm1::Decompress() const {
    return DecompressBox->isChecked();
}

bool TForm1::DoubleBackup() const {
    return DoubleBackupBox->isChecked();
}

std::string TForm1::ExeName() const {
    return ToPath(ExeNameEdit->text());
}

std::string TForm1::DataFileName() const {
    return ToPath(FName->text());
}

platform::TSecretText TForm1::Password() const {
    std::string bytes = ToCp1252(MaskEdit1->text());
    platform::TSecretText password(bytes);
    platform::SecureClear(bytes);
    return password;
}

void TForm1::SetPassword(std::string_view password) {
    MaskEdit1->setText(FromCp1252(std::string(password)));
}

int TForm1::AlgorithmIndex() const {
    return AlgorithmCB->currentIndex();
}

void TForm1::SetAlgorithmIndex(int index) {
    AlgorithmCB->setCurrentIndex(index); // a selection by the program: no change handler
}

int TForm1::HashIndex() const {
    return HashCB->currentIndex();
}

void TForm1::SetHashIndex(int index) {
    HashCB->setCurrentIndex(index);
}

bool TForm1::ChangePass() const {
    return ChangePassBox->isChecked();
}

bool TForm1::ChangeAlgorithm() const {
    return ChangeAlgorithmBox->isChecked();
}

std::string TForm1::Caption() const {
    return FCaption;
}

} // namespace quillock::ui
