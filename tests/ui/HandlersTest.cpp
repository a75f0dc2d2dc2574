// The handlers of the main window: the OK rule, the compression boxes, the
// edition paths, the warnings and information boxes, the options area, the
// version history, the licence and mail links, the hover colours and the two
// open dialogs.
#include "UiTestSupport.h"
#include "platform/Signals.h"
#include "ui/Unit1.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <cmath>

#include <csignal>

namespace quillock::ui::test {

// Receives the mail link's request instead of a mail program.
class TUrlCatcher final : public QObject {
    Q_OBJECT
public:
    QList<QUrl> Urls;
public slots:
    void Open(const QUrl& url) { Urls.append(url); }
};

// Chooses a file in an open dialog by typing its full path, as a user may.
static void PickFile(QFileDialog* dialog, const QString& path) {
    auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QVERIFY(name != nullptr);
    name->setText(path);
    QMetaObject::invokeMethod(dialog, "accept");
}

class THandlersTest final : public TWindowTest {
    Q_OBJECT

private slots:
    void OkFollowsThePassword();
    void CompressionBoxesExcludeEachOther();
    void EditionPathsFollowTheEditPathBox();
    void DoubleBackupWarnsEachTimeItIsCleared();
    void InformationBoxesOfTheQuestionMarks();
    void TwoOptionsClicksRestoreTheWindow();
    void VersionHistoryBeginsWithTheCreationCaption();
    void LicenseLinkShowsOurLicense();
    void MailLinkAsksForAMessageToTheProject();
    void LinksChangeColourUnderThePointer();
    void DataFileDialogChoosesAWritableFile();
    void DataFileDialogRefusesAReadOnlyFile();
    void DataFileDialogCancelledLeavesTheChoice();
    void ExecutableDialogSetsTheEditionPath();
    void CancelEndsTheProgram();
    void EscapeAndCloseBoxEndTheProgram();
    void OkWithoutAFileAsksForOne();
    void ASignalEndsAnIdleWindowAtOnce();
};

void THandlersTest::OkFollowsThePassword() {
    TForm1 form;
    form.show();
    auto* password = Find<QLineEdit>(&form, "MaskEdit1");
    auto* ok = Find<QPushButton>(&form, "BitBtn1");
    QVERIFY(!ok->isEnabled());
    QTest::keyClick(password, Qt::Key_A);
    QVERIFY(ok->isEnabled());
    QCOMPARE(std::string(form.Password().View()), std::string("a"));
    QTest::keyClick(password, Qt::Key_Backspace);
    QVERIFY(!ok->isEnabled());
    // The data file plays no part in the rule.
    Find<QLineEdit>(&form, "FName")->setText(QStringLiteral("/somewhere/diary.qlx"));
    QVERIFY(!ok->isEnabled());
    // A character Windows-1252 has no byte for is refused, so a password is
    // always the same bytes for both programs.
    TypeText(password, QString::fromUtf8("\xc3\xa9\xe2\x82\xac"));
    QCOMPARE(std::string(form.Password().View()), std::string("\xE9\x80"));
    TypeText(password, QString::fromUtf8("\xce\xb1"));
    QCOMPARE(std::string(form.Password().View()), std::string("\xE9\x80"));
    form.ClearPassword();
    QCOMPARE(std::string(form.Password().View()), std::string(69, '0'));
    QVERIFY(ok->isEnabled());
}

void THandlersTest::CompressionBoxesExcludeEachOther() {
    TForm1 form;
    form.show();
    Find<QPushButton>(&form, "OptionsButton")->click();
    auto* compress = Find<QCheckBox>(&form, "UseCompression");
    auto* decompress = Find<QCheckBox>(&form, "Decompress");
    auto* notify = Find<QLabel>(&form, "CompressedNotify");
    QTest::mouseClick(compress, Qt::LeftButton);
    QVERIFY(compress->isChecked());
    QTest::mouseClick(decompress, Qt::LeftButton);
    QVERIFY(decompress->isChecked());
    QVERIFY(!compress->isChecked());
    QCOMPARE(notify->text(), QStringLiteral("Decompressing.."));
    QTest::mouseClick(compress, Qt::LeftButton);
    QVERIFY(compress->isChecked());
    QVERIFY(!decompress->isChecked());
    // Clearing Decompress leaves the progress line as it was.
    QCOMPARE(notify->text(), QStringLiteral("Decompressing.."));
    QTest::mouseClick(compress, Qt::LeftButton);
    QVERIFY(!compress->isChecked() && !decompress->isChecked());
    // The session's tick runs the same rule.
    decompress->setChecked(true);
    form.TickCompress();
    QVERIFY(form.UseCompression());
    QVERIFY(!form.Decompress());
    QCOMPARE(form.focusWidget(), Find<QWidget>(&form, "MaskEdit1"));
}

void THandlersTest::EditionPathsFollowTheEditPathBox() {
    TForm1 form;
    form.show();
    Find<QPushButton>(&form, "OptionsButton")->click(); // first run: the default paths
    auto* path = Find<QLineEdit>(&form, "ExeName");
    const QList<QRadioButton*> editions = Find<QWidget>(&form, "RadioGroup1")->findChildren<QRadioButton*>();
    QCOMPARE(form.EditionPaths()[1], std::string("C:\\Programmi\\Arbolix Extra\\ArbolixExtra.exe"));
    path->setText(QStringLiteral("/opt/arbolix/basic"));
    QCOMPARE(form.EditionPaths()[0], std::string("/opt/arbolix/basic"));
    QTest::mouseClick(editions[1], Qt::LeftButton, {}, QPoint(6, 9)); // on the indicator
    QCOMPARE(path->text(), QStringLiteral("C:\\Programmi\\Arbolix Extra\\ArbolixExtra.exe"));
    QCOMPARE(form.focusWidget(), Find<QWidget>(&form, "MaskEdit1"));
    QTest::mouseClick(editions[2], Qt::LeftButton, {}, QPoint(6, 9)); // on the indicator
    QCOMPARE(path->text(), QStringLiteral("..\\Arbolix OFC\\ArbolixOFC.exe"));
    QTest::mouseClick(editions[0], Qt::LeftButton, {}, QPoint(6, 9)); // on the indicator
    QCOMPARE(path->text(), QStringLiteral("/opt/arbolix/basic"));
    QCOMPARE(form.ExeName(), std::string("/opt/arbolix/basic"));
}

void THandlersTest::DoubleBackupWarnsEachTimeItIsCleared() {
    TForm1 form;
    form.show();
    Find<QPushButton>(&form, "OptionsButton")->click();
    auto* box = Find<QCheckBox>(&form, "DoubleBackup");
    TModalAnswerer answerer;
    answerer.ExpectBox(QStringLiteral("OK"));
    answerer.ExpectBox(QStringLiteral("OK"));
    QTest::mouseClick(box, Qt::LeftButton); // cleared: warning
    QTest::mouseClick(box, Qt::LeftButton); // checked: nothing
    QTest::mouseClick(box, Qt::LeftButton); // cleared again: warning again
    QCOMPARE(answerer.Seen().size(), std::size_t(2));
    QVERIFY2(answerer.Unexpected().isEmpty(), qPrintable(answerer.Unexpected().join('\n')));
    for (const TSeenBox& seen : answerer.Seen()) {
        QCOMPARE(seen.Title, QStringLiteral("Warning"));
        QCOMPARE(seen.Icon, QMessageBox::Warning);
        QCOMPARE(
            seen.Text,
            QStringLiteral("The creation of an additional backup file (extension \".old\") is STRONGLY recommend!"));
        QCOMPARE(seen.Buttons, QStringList{QStringLiteral("OK")});
    }
    QVERIFY(!form.DoubleBackup());
}

void THandlersTest::InformationBoxesOfTheQuestionMarks() {
    TForm1 form;
    form.show();
    form.findChild<QPushButton*>(QStringLiteral("OptionsButton"))->click();
    TModalAnswerer answerer;
    answerer.ExpectBox(QStringLiteral("OK"));
    answerer.ExpectBox(QStringLiteral("OK"));
    Find<QPushButton>(&form, "Button3")->click();
    Find<QPushButton>(&form, "Button4")->click();
    QCOMPARE(answerer.Seen().size(), std::size_t(2));
    QCOMPARE(answerer.Seen()[0].Title, QStringLiteral("Information"));
    QCOMPARE(answerer.Seen()[0].Icon, QMessageBox::Information);
    QVERIFY(answerer.Seen()[0].Text.startsWith(
        QStringLiteral("INFORMATION ABOUT THE BUILT-IN COMPRESSION:\n\nConsider that using")));
    QVERIFY(answerer.Seen()[0].Text.endsWith(QStringLiteral("until you specify to decopress it!")));
    QCOMPARE(answerer.Seen()[1].Text,
             QStringLiteral("INFORMATION ABOUT THE BUILT-IN DECOMPRESSION:\n\nDecompress an already decompressed "
                            "(normal) file desn't make any effect/change to the file."));
}

void THandlersTest::TwoOptionsClicksRestoreTheWindow() {
    TForm1 form;
    form.show();
    auto* options = Find<QPushButton>(&form, "OptionsButton");
    const QPoint before = form.pos();
    const int centre = form.y() + form.OuterHeight() / 2;
    options->click();
    QVERIFY(form.OptionsShown());
    QCOMPARE(form.height(), form.Scaled(324)); // the whole client area
    QCOMPARE(form.OuterHeight(), form.Scaled(324) + 20);
    QCOMPARE(form.y(), before.y() - (form.Scaled(324) - form.Scaled(140)) / 2);
    QVERIFY(std::abs(form.y() + form.OuterHeight() / 2 - centre) <= 1);
    QCOMPARE(Find<QWidget>(&form, "Panel2")->geometry(),
             QRect(0, form.Scaled(324) - form.Scaled(19), form.Scaled(286), form.Scaled(19)));
    QCOMPARE(options->text(), QStringLiteral("Op&tions"));
    QCOMPARE(options->toolTip(), QStringLiteral("Click here to display options.."));
    options->click();
    QVERIFY(!form.OptionsShown());
    QCOMPARE(form.OuterHeight(), form.Scaled(140) + 20);
    QCOMPARE(form.pos(), before);
    QCOMPARE(Find<QWidget>(&form, "Panel2")->y(), form.height() - form.Scaled(19));
    QCOMPARE(form.focusWidget(), Find<QWidget>(&form, "MaskEdit1"));
}

// The message boxes a click on the link label opens, each answered with OK.
static std::vector<TSeenBox> BoxesOfLink(TForm1& form, const char* label) {
    TModalAnswerer answerer;
    answerer.ExpectBox(QStringLiteral("OK"));
    QTest::mouseClick(Find<QLabel>(&form, label), Qt::LeftButton);
    return answerer.Seen();
}

void THandlersTest::VersionHistoryBeginsWithTheCreationCaption() {
    TForm1 form;
    form.show();
    const std::vector<TSeenBox> boxes = BoxesOfLink(form, "ProgVerBottom");
    QCOMPARE(boxes.size(), std::size_t(1));
    const TSeenBox& seen = boxes[0];
    QCOMPARE(seen.Icon, QMessageBox::NoIcon);
    QCOMPARE(seen.Buttons, QStringList{QStringLiteral("OK")});
    const QStringList lines = seen.Text.split('\n');
    QCOMPARE(lines.size(), 33);
    QCOMPARE(lines[0], QStringLiteral("Arbolix\u00AE Encrypt (Rijndael RIPEMD-160) v3.0 - VERSIONS HISTORY:"));
    QCOMPARE(lines[1], QString());
    QCOMPARE(lines[13], QStringLiteral("      added DoubleBackup\u00AE option"));
    // The doubled ampersand of the stored text is shown single.
    QCOMPARE(lines[30],
             QStringLiteral("      minor bugfixes and visual improvement (i.e.: compression notify & better help)"));
    QCOMPARE(lines[32], QStringLiteral("      minor visual improvements and bugfixes"));
}

void THandlersTest::LicenseLinkShowsOurLicense() {
    TForm1 form;
    form.show();
    const std::vector<TSeenBox> boxes = BoxesOfLink(form, "Label3");
    QCOMPARE(boxes.size(), std::size_t(1));
    QCOMPARE(boxes[0].Title, QStringLiteral("Information"));
    const QString text = boxes[0].Text;
    // The project's own licence, word for word, and the disclaimer.
    QByteArray license = ReadAll(QStringLiteral(QUILLOCK_SOURCE_DIR "/LICENSE"));
    QVERIFY(!license.isEmpty());
    license.replace("MIT License\n\n", "");
    QVERIFY2(text.contains(QString::fromUtf8(license).trimmed()), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("WITHOUT WARRANTY OF ANY KIND")));
    QVERIFY(text.contains(QStringLiteral("DISCLAIMER")));
}

void THandlersTest::MailLinkAsksForAMessageToTheProject() {
    TForm1 form;
    form.show();
    TUrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("mailto"), &catcher, "Open");
    QTest::mouseClick(Find<QLabel>(&form, "Label4"), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("mailto"));
    QCOMPARE(catcher.Urls.size(), 1);
    QCOMPARE(catcher.Urls[0].toString(), QStringLiteral("mailto:quillock@users.noreply.invalid?subject=Quillock"));
}

void THandlersTest::LinksChangeColourUnderThePointer() {
    const struct {
        const char* Name;
        QColor Hover;
    } links[] = {{"ProgVerBottom", QColor(0, 0, 255)}, {"Label4", QColor(255, 0, 0)}, {"Label3", QColor(0, 128, 0)}};
    TForm1 form;
    form.show();
    for (const auto& link : links) {
        auto* label = Find<QLabel>(&form, link.Name);
        const QFont font = label->font();
        QEvent enter(QEvent::Enter);
        QApplication::sendEvent(label, &enter);
        // The link's own hue, at a contrast the desktop tests check.
        QCOMPARE(label->palette().color(QPalette::WindowText).hue(), link.Hover.hue());
        QCOMPARE(label->font(), font); // only the colour changes
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(label, &leave);
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::black));
    }
}

void THandlersTest::DataFileDialogChoosesAWritableFile() {
    const QString file = FHome->Path(QStringLiteral("diary.qlx"));
    WriteAll(file, "sealed");
    TForm1 form;
    form.show();
    TModalAnswerer answerer;
    QStringList filters;
    QString suffix;
    answerer.Expect([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog != nullptr);
        filters = dialog->nameFilters();
        suffix = dialog->defaultSuffix();
        PickFile(dialog, file);
    });
    Find<QPushButton>(&form, "Button1")->click();
    QVERIFY2(answerer.Unexpected().isEmpty(), qPrintable(answerer.Unexpected().join('\n')));
    QCOMPARE(Find<QLineEdit>(&form, "FName")->text(), file);
    QCOMPARE(form.DataFileName(), QFile::encodeName(file).toStdString());
    QCOMPARE(suffix, QStringLiteral("qlx"));
    QCOMPARE(filters.size(), 2);
    QVERIFY(filters[0].startsWith(QStringLiteral("Encrypted and Standard (to import) Arbolix Files (*.qlt)")));
    QVERIFY(filters[0].endsWith(QStringLiteral("(*.qlx *.qlt)")));
    QVERIFY(filters[1].endsWith(QStringLiteral("(*.qlx.bak *.qlx.old)")));
    QCOMPARE(form.focusWidget(), Find<QWidget>(&form, "MaskEdit1"));
}

void THandlersTest::DataFileDialogRefusesAReadOnlyFile() {
    const QString file = FHome->Path(QStringLiteral("locked.qlx"));
    WriteAll(file, "sealed");
    QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup);
    TForm1 form;
    form.show();
    Find<QLineEdit>(&form, "FName")->setText(QStringLiteral("/before.qlx"));
    TModalAnswerer answerer;
    answerer.Expect([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog != nullptr);
        PickFile(dialog, file);
    });
    answerer.ExpectBox(QStringLiteral("OK"));
    Find<QPushButton>(&form, "Button1")->click();
    QCOMPARE(answerer.Seen().size(), std::size_t(1));
    QCOMPARE(answerer.Seen()[0].Title, QStringLiteral("Error"));
    QCOMPARE(answerer.Seen()[0].Text, QStringLiteral("Unable to open the file!\nFile attribute is set to Read-Only!"));
    QCOMPARE(Find<QLineEdit>(&form, "FName")->text(), QStringLiteral("/before.qlx"));
}

void THandlersTest::DataFileDialogCancelledLeavesTheChoice() {
    TForm1 form;
    form.show();
    Find<QLineEdit>(&form, "FName")->setText(QStringLiteral("/before.qlx"));
    TModalAnswerer answerer;
    answerer.Expect([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    Find<QPushButton>(&form, "Button1")->click();
    QCOMPARE(answerer.Pending(), std::size_t(0));
    QCOMPARE(Find<QLineEdit>(&form, "FName")->text(), QStringLiteral("/before.qlx"));
}

void THandlersTest::ExecutableDialogSetsTheEditionPath() {
    const QString program = FHome->Path(QStringLiteral("ArbolixExtra"));
    WriteAll(program, "#!/bin/sh\n");
    TForm1 form;
    form.show();
    Find<QGroupBox>(&form, "RadioGroup1")->findChildren<QRadioButton*>()[1]->click();
    TModalAnswerer answerer;
    answerer.Expect([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog != nullptr);
        QVERIFY(dialog->nameFilters()[0].startsWith(QStringLiteral("Arbolix\u00AE Executables")));
        PickFile(dialog, program);
    });
    Find<QPushButton>(&form, "Button2")->click();
    QVERIFY2(answerer.Unexpected().isEmpty(), qPrintable(answerer.Unexpected().join('\n')));
    QCOMPARE(Find<QLineEdit>(&form, "ExeName")->text(), program);
    QCOMPARE(form.EditionPaths()[1], QFile::encodeName(program).toStdString());
    QCOMPARE(form.EditionPaths()[0], std::string("Arbolix.exe"));
}

void THandlersTest::CancelEndsTheProgram() {
    auto form = std::make_unique<TForm1>();
    form->show();
    QSignalSpy ended(form.get(), &TForm1::ProgramEnded);
    QTest::mouseClick(Find<QPushButton>(form.get(), "BitBtn2"), Qt::LeftButton);
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended[0][0].toInt(), 0);
    QVERIFY(!form->isVisible());
}

void THandlersTest::EscapeAndCloseBoxEndTheProgram() {
    {
        TForm1 form;
        form.show();
        QSignalSpy ended(&form, &TForm1::ProgramEnded);
        QTest::keyClick(Find<QWidget>(&form, "MaskEdit1"), Qt::Key_Escape);
        QCOMPARE(ended.size(), 1);
        QCOMPARE(form.ExitCode(), std::optional<int>(0));
    }
    {
        TForm1 form;
        form.show();
        QSignalSpy ended(&form, &TForm1::ProgramEnded);
        form.close();
        QCOMPARE(ended.size(), 1);
        QCOMPARE(form.ExitCode(), std::optional<int>(0));
    }
}

void THandlersTest::ASignalEndsAnIdleWindowAtOnce() {
    platform::InstallSignalHandling();
    platform::ForgetPendingSignal();
    TForm1 form;
    form.show();
    QSignalSpy ended(&form, &TForm1::ProgramEnded);
    QCOMPARE(::raise(SIGHUP), 0);
    form.SignalArrived(); // what the program's signal pipe calls
    QCOMPARE(ended.size(), 1);
    QCOMPARE(form.ExitCode(), std::optional<int>(128 + SIGHUP));
    platform::ForgetPendingSignal();
}

void THandlersTest::OkWithoutAFileAsksForOne() {
    TForm1 form;
    form.show();
    TypeText(Find<QWidget>(&form, "MaskEdit1"), QStringLiteral("secret"));
    QSignalSpy ended(&form, &TForm1::ProgramEnded);
    TModalAnswerer answerer;
    answerer.ExpectBox(QStringLiteral("OK"));
    QTest::keyClick(Find<QWidget>(&form, "MaskEdit1"), Qt::Key_Return); // Enter presses OK
    QCOMPARE(answerer.Seen().size(), std::size_t(1));
    QCOMPARE(answerer.Seen()[0].Title, form.windowTitle());
    QCOMPARE(answerer.Seen()[0].Icon, QMessageBox::Warning);
    QCOMPARE(answerer.Seen()[0].Text, QStringLiteral("Select a Arbolix file!"));
    QCOMPARE(ended.size(), 0);
    QVERIFY(form.isEnabled());
    QVERIFY(Find<QWidget>(&form, "BitBtn1")->isEnabled());
    QVERIFY(Find<QWidget>(&form, "Panel1")->isHidden());
}

QObject* MakeHandlersTest() {
    return new THandlersTest;
}

} // namespace quillock::ui::test

#include "HandlersTest.moc"
