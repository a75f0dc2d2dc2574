// The main window's creation, its settings at every showing and at the end, and the handlers of its controls.
#include "ui/Unit1.h"

#include "platform/Association.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/Signals.h"
#include "session/Preferences.h"
#include "session/Session.h"
#include "ui/Dialogs.h"
#include "ui/FormSupport.h"
#include "ui/Texts.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSystemTrayIcon>
#include <QUrl>

#include <cstdio>
#include <exception>
#include <optional>

namespace quillock::ui {
namespace {

using datafile::TMsgDlgButtons;
using datafile::TMsgDlgType;

// A link's hover colour, made to read on the window's face in light and dark schemes.
void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, ReadableOn(colour, widget->palette().color(QPalette::Window)));
    widget->setPalette(palette);
}

// Back to the text colour of the window's palette, light or dark scheme.
void ResetTextColour(QWidget* widget) {
    widget->setPalette(QPalette());
}

// The read-only rule of the core, for a path from a box.
bool IsReadOnly(const QString& path) {
    return platform::IsReadOnly(ToPath(path));
}

// What the two open dialogs share: Qt's own dialog (not the desktop's), for
// one existing file.
void SetUpOpenDialog(QFileDialog& dialog, const QString& name) {
    dialog.setObjectName(name);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
}

} // namespace

// ---------------------------------------------------------------- creation

TForm1::TForm1(const QStringList& arguments, QWidget* parent) : QDialog(parent) {
    // A normal top-level window, with a taskbar entry, also while the editor runs.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quillock"));
    setFont(WindowFont());
    setAutoFillBackground(true);
    setFixedSize(ClientWidth, 324);
    CreateControls();
    ApplyPalette();
    UpdateCaptions();
    ChooseScale();
    FitTexts(); // where even the largest scale leaves a text too long
    SetAccessibility();
    SetTabOrder();
    FormCreate(arguments);
}

TForm1::~TForm1() {
    disconnect(FFocusFollower);
    FormDestroy();
}

void TForm1::FormCreate(const QStringList& arguments) {
    SetHintTiming(0, 4000);
    SetDesignHeight(CollapsedHeight - FrameHeight);
    UpdateCaptions();
    VersionsHistory->setPlainText(FromCp1252(FCaption + " - " + VersionHistoryText()));
    if (!arguments.isEmpty()) {
        FName->setText(arguments.first());
    }
    const std::filesystem::path program = platform::RunningProgramPath();
    if (!platform::WriteAssociationCommand(program)) {
        ShowMessage(nullptr, QStringLiteral("Error writing into registry!"));
    }
    if (!platform::RegisterExtension()) {
        ShowMessage(nullptr, QStringLiteral("Error registering extension!"));
    }
}

void TForm1::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    // The settings are loaded at the first showing only: the showing after
    // the editor must not replace the choices the session was started with,
    // which it seals with and saves at its end.
    if (!FShownBefore) {
        FShownBefore = true;
        FCentring = true;
        CentreOnScreen();
        FormShow();
    }
}

// ---------------------------------------------------------------- settings

void TForm1::FormShow() {
    // Paths not loaded yet are the defaults, so that a load cut short by a bad
    // value cannot lead the save at the end to store empty paths.
    if (!FEditionPathsLoaded) {
        FEditionPaths = session::DefaultEditionPaths;
        FEditionPathsLoaded = true;
    }
    platform::TRegistry registry;
    std::string error;
    const session::TPreferences preferences = session::LoadPreferences(registry, &error);
    const session::TStoredPreferences& stored = preferences.Stored;
    FPrivateTemp = preferences.PrivateTemp;
    if (!stored.Found) {
        FEditionPaths = preferences.EditionPaths; // the defaults
        return;
    }
    // Only what was read is applied, in the order it was read. A stored index
    // outside its list counts as absent: the control keeps its selection, so no
    // session can start without a cipher.
    if (stored.ExeNamePos) {
        SelectEdition(*stored.ExeNamePos); // runs the edition rule when the selection changes
    }
    if (stored.Algorithm) {
        AlgorithmCB->setCurrentIndex(*stored.Algorithm);
    }
    if (stored.Hash) {
        HashCB->setCurrentIndex(*stored.Hash);
    }
    for (std::size_t index = 0; index < FEditionPaths.size(); ++index) {
        if (stored.EditionPaths[index]) {
            FEditionPaths[index] = *stored.EditionPaths[index];
        }
    }
    if (stored.ExeName) {
        ExeNameEdit->setText(FromPath(*stored.ExeName));
    }
    if (error.empty()) {
        UpdateCaptions();
    } else {
        ShowApplicationError(this, FromCp1252(error));
    }
}

void TForm1::SavePreferences() {
    session::TPreferences preferences;
    preferences.ExeNamePos = SelectedEdition();
    preferences.Algorithm = AlgorithmCB->currentIndex();
    preferences.Hash = HashCB->currentIndex();
    preferences.EditionPaths = FEditionPaths;
    preferences.ExeName = ExeName();
    try {
        platform::TRegistry registry;
        session::SavePreferences(registry, preferences);
    } catch (const platform::ERegistryException& error) {
        // Shown, and the program still ends the way it was ending.
        ShowApplicationError(isVisible() ? this : nullptr, FromCp1252(error.what()));
    }
}

void TForm1::FormDestroy() {
    HideTrayIcon();
    SavePreferences();
}

// ---------------------------------------------------------------- handlers

void TForm1::FocusPassword() {
    // A disabled or hidden window cannot take the focus; the request is then
    // dropped and the handler's work stands.
    if (isEnabled() && MaskEdit1->isEnabled()) {
        MaskEdit1->setFocus(Qt::OtherFocusReason);
    }
}

int TForm1::SelectedEdition() const {
    return RadioGroup1Items->checkedId();
}

void TForm1::SelectEdition(int index) {
    if (QAbstractButton* item = RadioGroup1Items->button(index)) {
        item->setChecked(true);
    }
}

void TForm1::UpdateCaptions() {
    FProgramVersion = ProgramVersionText;
    FCaption = "Arbolix\xAE Encrypt (" + ToCp1252(AlgorithmCB->currentText()) + " " + ToCp1252(HashCB->currentText()) +
               ") v" + FProgramVersion;
    setWindowTitle(FromCp1252(FCaption));
    ProgVerBottom->setText(FromCp1252("Arbolix\xAE Encryption - Ver " + FProgramVersion));
    ProgVerBottom->adjustSize();
    if (FTrayIcon != nullptr) {
        FTrayIcon->setToolTip(windowTitle());
    }
}

void TForm1::BitBtn1Click() {
    if (FSessionRunning || FExitCode) {
        return;
    }
    FSessionRunning = true;
    FEditorStarted = false;
    FCancelRequested = false;
    FCentring = false;
    std::optional<int> exitCode;
    // Nothing may unwind into the toolkit's event loop: the program's exits
    // come back here as TProgramExit.
    try {
        if (session::RunEditingSession(*this) == session::TSessionEnd::WrongPassword) {
            // The session has wiped what it deciphered and shown the error.
            FSessionRunning = false;
            UnlockForAnotherTry();
            return;
        }
        if (FEndRequested) {
            exitCode = 0;
        }
    } catch (const datafile::TProgramExit& exit) {
        exitCode = exit.ExitCode;
    } catch (const platform::EInterrupted& interrupted) {
        // Whatever the session had made is wiped on the way here.
        ReportSignalEnd(interrupted.Signal);
        exitCode = 128 + interrupted.Signal;
    } catch (const std::exception& error) {
        ShowApplicationError(this, FromMessageText(error.what()));
        exitCode = 1;
    } catch (...) {
        exitCode = 1;
    }
    FSessionRunning = false;
    // A signal while the editor ran or the session sealed: the session ended
    // as usual, and the program ends now.
    if (platform::SignalExitCode() != 0) {
        exitCode = platform::SignalExitCode();
    }
    if (exitCode) {
        EndWith(*exitCode);
    }
}

void TForm1::SignalArrived() {
    platform::DrainSignalPipe();
    if (FSessionRunning || FExitCode || platform::PendingSignal() == 0) {
        return;
    }
    ReportSignalEnd(platform::PendingSignal());
    EndWith(platform::SignalExitCode());
}

void TForm1::ReportSignalEnd(int signal) {
    std::fprintf(stderr, "quillock: stopped by %s; nothing was changed, and no temporary file is left\n",
                 platform::SignalName(signal).c_str());
}

void TForm1::BitBtn2Click() {
    close();
}

void TForm1::reject() {
    if (isEnabled() && BitBtn2->isEnabled() && BitBtn2->isVisible()) {
        BitBtn2->click();
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (FSessionRunning) {
        event->ignore();
        AskToStop();
        return;
    }
    event->accept();
    if (!FExitCode) {
        EndWith(0);
    }
}

bool TForm1::event(QEvent* event) {
    if (FSessionRunning && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        AskToStop();
        return true;
    }
    return QDialog::event(event);
}

void TForm1::AskToStop() {
    if (!FEditorStarted) {
        FCancelRequested = true;
        SetPanelText("Cancelling..");
    } else {
        SetPanelText("Finishing, please wait..");
    }
}

void TForm1::EndWith(int exitCode) {
    FExitCode = exitCode;
    HideTrayIcon();
    hide();
    emit ProgramEnded(exitCode);
}

void TForm1::Button1Click() {
    FocusPassword();
    QFileDialog dialog(this, QString(), QDir::currentPath());
    SetUpOpenDialog(dialog, QStringLiteral("OpenDialog1"));
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters({
        QStringLiteral("Encrypted and Standard (to import) Arbolix Files (*.qlt) (*.qlx *.qlt)"),
        QStringLiteral("Encrypted Arbolix Backup Files (*.qlx.bak & *.qlx.old) (*.qlx.bak *.qlx.old)"),
    });
    dialog.setDefaultSuffix(QStringLiteral("qlx"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    const QString path = dialog.selectedFiles().first();
    if (IsReadOnly(path)) {
        MessageDlg(this, ReadOnlyRefusal, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
        return;
    }
    FName->setText(path);
}

void TForm1::Button2Click() {
    FocusPassword();
    QFileDialog dialog(this, QString(), QDir::currentPath());
    SetUpOpenDialog(dialog, QStringLiteral("OpenDialog2"));
    // Programs here carry no ".exe": the editor's own pattern comes first,
    // and any file may be chosen.
    dialog.setNameFilters(
        {FromCp1252("Arbolix\xAE Executables (Arbolix*.exe Arbolix*)"), QStringLiteral("All files (*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    ExeNameEdit->setText(dialog.selectedFiles().first());
}

void TForm1::Button3Click() {
    MessageDlg(this, CompressionInfo, TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
    FocusPassword();
}

void TForm1::Button4Click() {
    MessageDlg(this, DecompressionInfo, TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
    FocusPassword();
}

void TForm1::MaskEdit1Change(const QString& text) {
    BitBtn1->setEnabled(!text.isEmpty());
}

void TForm1::RadioGroup1Click() {
    const int edition = SelectedEdition();
    if (edition >= 0) {
        ExeNameEdit->setText(FromPath(FEditionPaths[static_cast<std::size_t>(edition)]));
    }
    FocusPassword();
}

void TForm1::ExeNameChange(const QString& text) {
    const int edition = SelectedEdition();
    if (edition >= 0) {
        FEditionPaths[static_cast<std::size_t>(edition)] = ToPath(text);
    }
}

void TForm1::UseCompressionClick(bool checked) {
    if (checked) {
        DecompressBox->setChecked(false);
    }
    FocusPassword();
}

void TForm1::DecompressClick(bool checked) {
    if (checked) {
        UseCompressionBox->setChecked(false);
        SetNotify(QStringLiteral("Decompressing.."));
    }
    FocusPassword();
}

void TForm1::DoubleBackupClick(bool checked) {
    if (!checked) {
        MessageDlg(this, DoubleBackupWarning, TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
    }
    FocusPassword();
}

void TForm1::ChangePassClick() {
    FocusPassword();
}

void TForm1::AlgorithmCBChange() {
    UpdateCaptions();
    FocusPassword();
}

void TForm1::OptionsButtonClick() {
    FCentring = false;
    // Grow or shrink around the vertical centre, two of the layout's pixels
    // at each edge per step.
    const int grow = FOptionsShown ? -4 : 4;
    const int top = y();
    const int from = height();
    for (int step = 0; step < OptionsSteps; ++step) {
        SetDesignHeight(FDesignHeight + grow);
        move(x(), top - (height() - from) / 2);
    }
    FOptionsShown = !FOptionsShown;
    KeepOnScreen();
    FocusPassword();
}

void TForm1::ProgVerBottomClick() {
    QString text = VersionsHistory->toPlainText();
    text.replace(QStringLiteral("&&"), QStringLiteral("&"));
    ShowMessage(this, text);
}

void TForm1::Label3Click() {
    MessageDlg(this, ToCp1252(LicenseInfo->toPlainText()), TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
}

void TForm1::Label4Click() {
    QDesktopServices::openUrl(
        QUrl(QStringLiteral("mailto:") + QString::fromLatin1(AuthorMail) + QStringLiteral("?subject=Quillock")));
}

void TForm1::ProgVerBottomMouseEnter() {
    SetTextColour(ProgVerBottom, QColor(0, 0, 255));
}

void TForm1::ProgVerBottomMouseLeave() {
    ResetTextColour(ProgVerBottom);
}

void TForm1::Label4MouseEnter() {
    SetTextColour(Label4, QColor(255, 0, 0));
}

void TForm1::Label4MouseLeave() {
    ResetTextColour(Label4);
}

void TForm1::Label3MouseEnter() {
    SetTextColour(Label3, QColor(0, 128, 0));
}

void TForm1::Label3MouseLeave() {
    ResetTextColour(Label3);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    struct TLink {
        QLabel* Label;
        void (TForm1::*Enter)();
        void (TForm1::*Leave)();
        void (TForm1::*Click)();
    };
    const TLink links[] = {
        {ProgVerBottom, &TForm1::ProgVerBottomMouseEnter, &TForm1::ProgVerBottomMouseLeave,
         &TForm1::ProgVerBottomClick},
        {Label4, &TForm1::Label4MouseEnter, &TForm1::Label4MouseLeave, &TForm1::Label4Click},
        {Label3, &TForm1::Label3MouseEnter, &TForm1::Label3MouseLeave, &TForm1::Label3Click},
    };
    for (const TLink& link : links) {
        if (watched != link.Label) {
            continue;
        }
        switch (event->type()) {
        case QEvent::Enter:
            (this->*link.Enter)();
            break;
        case QEvent::Leave:
            (this->*link.Leave)();
            break;
        case QEvent::MouseButtonRelease: {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && link.Label->rect().contains(mouse->position().toPoint())) {
                (this->*link.Click)();
                return true;
            }
            break;
        }
        default:
            break;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace quillock::ui
