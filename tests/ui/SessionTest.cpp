// Whole editing sessions driven through the window: import of a plain file,
// a password and algorithm change with the customised prompts, reopening with
// the new choices, and a wrong password tried again; the dialogs are answered from the
// test and a stand-in editor edits the working copy.
#include "UiTestSupport.h"
#include "platform/Registry.h"
#include "platform/Signals.h"
#include "ui/Unit1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <csignal>

namespace quillock::ui::test {

using TSessionTestRun = void(const QString&);

constexpr const char* EditorLine = "a line added by the editor.";

class TSessionTest final : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void ImportChangeKeysAndReopen();
    void ChoicesMadeBeforeOkSealAndAreSaved();
    void EscapeBeforeTheEditorCancels();
    void TheWindowAnswersWhileTheEditorRunsAndEndsOnItsMessage();
    void AWrongPasswordGetsAnotherTry();
    void ASignalWhileTheEditorRunsEndsTheSessionAsUsual();
    void DecliningTheImportEndsWithCodeOne();
    void EnterOnTheLeftOverWarningKeepsTheWorkingCopy();
    void EnterWhenTheEditorIsBackAtOnceKeepsTheWorkingCopy();

private:
    struct TOutcome {
        std::optional<int> ExitCode;
        int Ended = 0;
        QString PanelText;
        QString StatusText;
        bool WindowWasLocked = false;
        std::string PasswordAfter;
    };
    // One program run: creates the window on the data file, sets it up, types
    // the password and presses OK; the window is destroyed afterwards.
    TOutcome RunSession(const QString& dataFile, const QString& password,
                        const std::function<void(TForm1&)>& setUp = {});
    std::unique_ptr<TPrivateHome> FHome;
    QString FEditor;
    QString FCapture;
};

void TSessionTest::init() {
    FHome = std::make_unique<TPrivateHome>();
    // The stand-in editor keeps a copy of what it was given, then adds a line.
    FCapture = FHome->Path(QStringLiteral("seen-by-editor"));
#ifdef QUILLOCK_FAKE_EDITOR
    FEditor = QStringLiteral(QUILLOCK_FAKE_EDITOR);
    qputenv("FAKE_EDITOR_ACTIONS", "copy=" + QFile::encodeName(FCapture) + ";append=" + EditorLine);
#else
    FEditor = FHome->Path(QStringLiteral("editor"));
    WriteAll(FEditor, "#!/bin/sh\ncp \"$1\" \"" + QFile::encodeName(FCapture) + "\"\nprintf '%s' '" + EditorLine +
                          "' >> \"$1\"\n");
    QFile::setPermissions(FEditor, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
#endif
}

void TSessionTest::cleanup() {
    qunsetenv("FAKE_EDITOR_ACTIONS");
    FHome.reset();
}

TSessionTest::TOutcome TSessionTest::RunSession(const QString& dataFile, const QString& password,
                                                const std::function<void(TForm1&)>& setUp) {
    TOutcome outcome;
    auto form = std::make_unique<TForm1>(QStringList{dataFile});
    form->show();
    Find<QLineEdit>(form.get(), "ExeName")->setText(FEditor);
    if (setUp) {
        setUp(*form);
    }
    TypeText(Find<QWidget>(form.get(), "MaskEdit1"), password);
    QSignalSpy ended(form.get(), &TForm1::ProgramEnded);
    Find<QPushButton>(form.get(), "BitBtn1")->click();
    outcome.ExitCode = form->ExitCode();
    outcome.Ended = static_cast<int>(ended.size());
    outcome.PanelText = Find<QLabel>(form.get(), "Panel1")->text();
    outcome.StatusText = Find<QLabel>(form.get(), "CompressedNotify")->text();
    outcome.WindowWasLocked = !form->isEnabled() && !Find<QWidget>(form.get(), "Panel1")->isHidden();
    outcome.PasswordAfter = std::string(form->Password().View());
    form.reset(); // the settings are saved on the way out
    return outcome;
}

void TSessionTest::ImportChangeKeysAndReopen() {
    const QByteArray plain = ReadAll(QStringLiteral(QUILLOCK_SOURCE_DIR "/data/sample/diary.qlt"));
    QVERIFY(!plain.isEmpty());
    const QString imported = FHome->Path(QStringLiteral("diary.qlt"));
    const QString sealed = FHome->Path(QStringLiteral("diary.qlx"));
    WriteAll(imported, plain);

    // 1. Import: confirmed, edited, sealed with Rijndael and RIPEMD-160.
    {
        TModalAnswerer answerer;
        answerer.ExpectBox(QStringLiteral("&Yes"));
        const TOutcome outcome = RunSession(imported, QStringLiteral("first pass"));
        QVERIFY2(answerer.Unexpected().isEmpty(), qPrintable(answerer.Unexpected().join('\n')));
        QCOMPARE(answerer.Seen().size(), std::size_t(1));
        QCOMPARE(answerer.Seen()[0].Title, QStringLiteral("Confirm"));
        QVERIFY(answerer.Seen()[0].Text.startsWith(QStringLiteral("NON-Encrypted Arbolix File detected.")));
        QCOMPARE(outcome.ExitCode, std::optional<int>(0));
        QCOMPARE(outcome.Ended, 1);
        QVERIFY(outcome.WindowWasLocked);
        QCOMPARE(outcome.PanelText, QStringLiteral("Data successfully encrypted."));
        QCOMPARE(outcome.PasswordAfter, std::string(69, '0'));
    }
    QCOMPARE(ReadAll(FCapture), plain);
    QVERIFY(!QFile::exists(imported));
    QVERIFY(QFile::exists(sealed));
    QVERIFY(!QFile::exists(sealed + QStringLiteral(".qlt")));
    QVERIFY(!QFile::exists(sealed + QStringLiteral(".qlz")));
    QVERIFY(!QFile::exists(sealed + QStringLiteral(".bak"))); // no first backup after an import
    QVERIFY(!ReadAll(sealed).contains("Arbolix"));
    {
        platform::TRegistry registry;
        QVERIFY(registry.OpenKey("Software\\Quillock", false));
        QCOMPARE(registry.ReadString("ExeName"), QFile::encodeName(FEditor).toStdString());
    }

    // 2. Reopen, and change password and algorithms at the end through the
    //    masked prompts and the relabelled questions.
    {
        TModalAnswerer answerer;
        QStringList shownPasswords;
        const auto typeNewPassword = [&](QWidget* modal) {
            auto* dialog = qobject_cast<QInputDialog*>(modal);
            QVERIFY(dialog != nullptr);
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Change Arbolix File Password"));
            auto* edit = dialog->findChild<QLineEdit*>();
            TypeText(edit, QStringLiteral("second pass"));
            shownPasswords.append(edit->displayText());
            dialog->accept();
        };
        answerer.Expect(typeNewPassword);
        answerer.Expect(typeNewPassword);
        answerer.ExpectBox(QStringLiteral("OK"));        // "Password changed!"
        answerer.ExpectBox(QStringLiteral("&Blowfish")); // the cipher question
        answerer.ExpectBox(QStringLiteral("&SHA-1"));    // the digest question
        answerer.ExpectBox(QStringLiteral("OK"));        // the backup that still opens with the old password
        const TOutcome outcome = RunSession(sealed, QStringLiteral("first pass"), [](TForm1& form) {
            Find<QCheckBox>(&form, "ChangePass")->setChecked(true);
            Find<QCheckBox>(&form, "ChangeAlgorithm")->setChecked(true);
        });
        QVERIFY2(answerer.Unexpected().isEmpty(), qPrintable(answerer.Unexpected().join('\n')));
        QCOMPARE(outcome.ExitCode, std::optional<int>(0));
        QCOMPARE(shownPasswords, QStringList(2, QStringLiteral("###########")));
        QCOMPARE(answerer.Seen().size(), std::size_t(4));
        QCOMPARE(answerer.Seen()[0].Text, QStringLiteral("Password changed!"));
        QCOMPARE(answerer.Seen()[1].Buttons, (QStringList{QStringLiteral("&Rijndael"), QStringLiteral("&Blowfish")}));
        QCOMPARE(answerer.Seen()[1].Title, QStringLiteral("Arbolix\u00AE Encrypt (Rijndael RIPEMD-160) v3.0"));
        QCOMPARE(answerer.Seen()[2].Buttons, (QStringList{QStringLiteral("&RIPEMD-160"), QStringLiteral("&SHA-1")}));
        QCOMPARE(answerer.Seen()[3].Text,
                 QLatin1Char('"') + sealed + QStringLiteral(".bak\" still opens with the old password."));
    }
    QByteArray expected = plain + EditorLine;
    QCOMPARE(ReadAll(FCapture), expected);
    QVERIFY(QFile::exists(sealed + QStringLiteral(".bak")));
    {
        platform::TRegistry registry;
        QVERIFY(registry.OpenKey("Software\\Quillock", false));
        QCOMPARE(registry.ReadInteger("Algorithm"), 1);
        QCOMPARE(registry.ReadInteger("Hash"), 1);
    }

    // 3. Reopen with the new password; the stored Blowfish and SHA-1 choices
    //    are loaded when the window is shown; compress it this time.
    {
        TModalAnswerer answerer;
        answerer.ExpectBox(QStringLiteral("OK")); // the compression report
        const TOutcome outcome = RunSession(sealed, QStringLiteral("second pass"), [](TForm1& form) {
            QCOMPARE(form.AlgorithmIndex(), 1);
            QCOMPARE(form.HashIndex(), 1);
            Find<QCheckBox>(&form, "UseCompression")->setChecked(true);
        });
        QVERIFY2(answerer.Unexpected().isEmpty(), qPrintable(answerer.Unexpected().join('\n')));
        QCOMPARE(outcome.ExitCode, std::optional<int>(0));
        QCOMPARE(answerer.Seen().size(), std::size_t(1));
        QCOMPARE(answerer.Seen()[0].Title, QStringLiteral("Information"));
        QVERIFY(answerer.Seen()[0].Text.startsWith(QStringLiteral("Decompressed size: ")));
    }
    expected += EditorLine;
    QCOMPARE(ReadAll(FCapture), expected);
    QVERIFY(QFile::exists(sealed + QStringLiteral(".old")));
}

void TSessionTest::ChoicesMadeBeforeOkSealAndAreSaved() {
#ifndef QUILLOCK_FAKE_EDITOR
    QSKIP("needs the stand-in editor");
#endif
    // Stored choices other than the user's: the showing after the editor must
    // not bring them back before the file is sealed again.
    WriteSettings(*FHome, {"ExeNamePos=dword:0", "Algorithm=dword:0", "Hash=dword:0", "ExeName0=sz:\"/opt/a\"",
                           "ExeName1=sz:\"/opt/b\"", "ExeName2=sz:\"/opt/c\"", "ExeName=sz:\"/opt/a\""});
    const QString fixtures = QStringLiteral(QUILLOCK_SOURCE_DIR "/tests/data/datafile/");
    const QString sealed = FHome->Path(QStringLiteral("fixture.qlx"));
    WriteAll(sealed, ReadAll(fixtures + QStringLiteral("blowfish_sha1_17.qlx")));
    const QString password = QString::fromUtf8(ReadAll(fixtures + QStringLiteral("password.txt"))).trimmed();
    qputenv("FAKE_EDITOR_ACTIONS", "replace=" + ReadAll(fixtures + QStringLiteral("plain_8193.txt")));
    TModalAnswerer answerer;
    const TOutcome outcome = RunSession(sealed, password, [](TForm1& form) {
        QTest::keyClick(Find<QComboBox>(&form, "AlgorithmCB"), Qt::Key_Down);
        QTest::keyClick(Find<QComboBox>(&form, "HashCB"), Qt::Key_Down);
        Find<QCheckBox>(&form, "DoubleBackup")->setChecked(true);
    });
    QVERIFY2(answerer.Unexpected().isEmpty(), qPrintable(answerer.Unexpected().join('\n')));
    QCOMPARE(outcome.ExitCode, std::optional<int>(0));
    QCOMPARE(ReadAll(sealed), ReadAll(fixtures + QStringLiteral("blowfish_sha1_8193.qlx")));
    QCOMPARE(ReadAll(sealed + QStringLiteral(".bak")), ReadAll(fixtures + QStringLiteral("blowfish_sha1_17.qlx")));
    platform::TRegistry registry;
    QVERIFY(registry.OpenKey("Software\\Quillock", false));
    QCOMPARE(registry.ReadInteger("Algorithm"), 1);
    QCOMPARE(registry.ReadInteger("Hash"), 1);
    QCOMPARE(registry.ReadString("ExeName"), QFile::encodeName(FEditor).toStdString());
    QCOMPARE(registry.ReadString("ExeName0"), QFile::encodeName(FEditor).toStdString());
}

// The fixture sealed with Blowfish and SHA-1, chosen in the window, with its password.
static QString ChooseFixture(TPrivateHome& home, QString& password) {
    const QString fixtures = QStringLiteral(QUILLOCK_SOURCE_DIR "/tests/data/datafile/");
    const QString sealed = home.Path(QStringLiteral("fixture.qlx"));
    WriteAll(sealed, ReadAll(fixtures + QStringLiteral("blowfish_sha1_8193.qlx")));
    password = QString::fromUtf8(ReadAll(fixtures + QStringLiteral("password.txt"))).trimmed();
    return sealed;
}

static void ChooseBlowfishSha1(TForm1& form) {
    form.SetAlgorithmIndex(1);
    form.SetHashIndex(1);
}

void TSessionTest::EscapeBeforeTheEditorCancels() {
    QString password;
    const QString sealed = ChooseFixture(*FHome, password);
    const QByteArray before = ReadAll(sealed);
    TModalAnswerer answerer;
    const TOutcome outcome = RunSession(sealed, password, [](TForm1& form) {
        ChooseBlowfishSha1(form);
        // Pressed while the session handles its first messages.
        QTimer::singleShot(0, &form, [&form] { QTest::keyClick(&form, Qt::Key_Escape); });
    });
    QVERIFY2(answerer.Unexpected().isEmpty(), qPrintable(answerer.Unexpected().join('\n')));
    QCOMPARE(outcome.ExitCode, std::optional<int>(0));
    QCOMPARE(outcome.PanelText, QStringLiteral("Cancelled: nothing has been changed."));
    QCOMPARE(outcome.StatusText, QString());
    QCOMPARE(ReadAll(sealed), before);
    QCOMPARE(QDir(FHome->Path()).entryList({QStringLiteral("fixture*")}), QStringList{QStringLiteral("fixture.qlx")});
}

void TSessionTest::TheWindowAnswersWhileTheEditorRunsAndEndsOnItsMessage() {
#ifndef QUILLOCK_FAKE_EDITOR
    QSKIP("needs the stand-in editor");
#endif
    QString password;
    const QString sealed = ChooseFixture(*FHome, password);
    qputenv("FAKE_EDITOR_ACTIONS", "sleep=1500;append=more");
    QString duringWait;
    bool minimised = false;
    const TOutcome outcome = RunSession(sealed, password, [&](TForm1& form) {
        ChooseBlowfishSha1(form);
        // The close box while the editor runs: the event loop answers, and
        // the window says the session is finishing.
        auto* poll = new QTimer(&form);
        QObject::connect(poll, &QTimer::timeout, &form, [&form, poll, &minimised, &duringWait] {
            if (form.isMinimized()) { // the editor has started: no tray on the offscreen platform
                poll->stop();
                minimised = true;
                form.close();
                duringWait = Find<QLabel>(&form, "Panel1")->text();
            }
        });
        poll->start(20);
    });
    QCOMPARE(outcome.ExitCode, std::optional<int>(0));
    QVERIFY(minimised);
    QCOMPARE(duringWait, QStringLiteral("Finishing, please wait.."));
    // The final message, with no stale step under it.
    QCOMPARE(outcome.PanelText, QStringLiteral("Data successfully encrypted."));
    QCOMPARE(outcome.StatusText, QString());
}

// A sealed data file made by a first run of the window.
static QString SealedByAFirstRun(TPrivateHome& home, const std::function<TSessionTestRun>& run) {
    const QString imported = home.Path(QStringLiteral("notes.qlt"));
    WriteAll(imported, ReadAll(QStringLiteral(QUILLOCK_SOURCE_DIR "/data/sample/diary.qlt")));
    TModalAnswerer answerer;
    answerer.ExpectBox(QStringLiteral("&Yes"));
    run(imported);
    return home.Path(QStringLiteral("notes.qlx"));
}

void TSessionTest::AWrongPasswordGetsAnotherTry() {
    // A sealed file made by a first run.
    std::optional<int> firstExit;
    const QString sealed = SealedByAFirstRun(
        *FHome, [&](const QString& file) { firstExit = RunSession(file, QStringLiteral("right")).ExitCode; });
    QCOMPARE(firstExit, std::optional<int>(0));
    QFile::remove(FCapture);
    const QByteArray before = ReadAll(sealed);
    const QStringList filesBefore = QDir(FHome->Path()).entryList(QDir::Files | QDir::Hidden);
    TForm1 form(QStringList{sealed});
    form.show();
    Find<QLineEdit>(&form, "ExeName")->setText(FEditor);
    QSignalSpy ended(&form, &TForm1::ProgramEnded);
    auto* password = Find<QLineEdit>(&form, "MaskEdit1");
    auto* ok = Find<QPushButton>(&form, "BitBtn1");
    {
        TModalAnswerer answerer;
        answerer.ExpectBox(QStringLiteral("OK"));
        TypeText(password, QStringLiteral("wrong"));
        ok->click();
        QCOMPARE(answerer.Seen().size(), std::size_t(1));
        QCOMPARE(answerer.Seen()[0].Title, QStringLiteral("Error"));
        // The decryption error as it stands, then what to check.
        QVERIFY(answerer.Seen()[0].Text.startsWith(
            QStringLiteral("Decryption Error!\n\n(Maybe you have selected the wrong algorithm/hashing?)\n\n")));
        QVERIFY2(answerer.Seen()[0].Text.contains(QStringLiteral("Check the password, and the cipher and digest")),
                 qPrintable(answerer.Seen()[0].Text));
    }
    // Still open and usable, the password box empty and focused; nothing
    // deciphered is left, nothing changed.
    QVERIFY(!form.ExitCode());
    QCOMPARE(ended.size(), 0);
    QVERIFY(form.isVisible() && form.isEnabled());
    QVERIFY(Find<QWidget>(&form, "Panel1")->isHidden());
    for (const char* name : {"FName", "Button1", "BitBtn2", "OptionsButton", "AlgorithmCB", "ExeName"}) {
        QVERIFY2(Find<QWidget>(&form, name)->isEnabled(), name);
    }
    QCOMPARE(password->text(), QString());
    QCOMPARE(form.focusWidget(), password);
    QVERIFY(!ok->isEnabled());
    QCOMPARE(Find<QLabel>(&form, "CompressedNotify")->text(), QString());
    QCOMPARE(ReadAll(sealed), before);
    QCOMPARE(QDir(FHome->Path()).entryList(QDir::Files | QDir::Hidden), filesBefore);
    QVERIFY(!QFile::exists(FCapture));

    // The right password then opens the file as usual.
    {
        TModalAnswerer answerer;
        TypeText(password, QStringLiteral("right"));
        ok->click();
        QVERIFY2(answerer.Unexpected().isEmpty(), qPrintable(answerer.Unexpected().join('\n')));
    }
    QCOMPARE(form.ExitCode(), std::optional<int>(0));
    QCOMPARE(ended.size(), 1);
    // The editor was given the text the first run sealed.
    QCOMPARE(ReadAll(FCapture), ReadAll(QStringLiteral(QUILLOCK_SOURCE_DIR "/data/sample/diary.qlt")) + EditorLine);
    QVERIFY(ReadAll(sealed) != before);
}

void TSessionTest::ASignalWhileTheEditorRunsEndsTheSessionAsUsual() {
#ifndef QUILLOCK_FAKE_EDITOR
    QSKIP("the editor that sends a signal is the stand-in editor of the tests");
#else
    std::optional<int> firstExit;
    const QString sealed = SealedByAFirstRun(
        *FHome, [&](const QString& file) { firstExit = RunSession(file, QStringLiteral("right")).ExitCode; });
    QCOMPARE(firstExit, std::optional<int>(0));
    platform::InstallSignalHandling();
    platform::ForgetPendingSignal();
    // The session manager's SIGTERM reaches the window while the editor runs.
    qputenv("FAKE_EDITOR_ACTIONS", QByteArray("append=") + EditorLine + ";signal=" + QByteArray::number(SIGTERM));
    const TOutcome outcome = RunSession(sealed, QStringLiteral("right"));
    platform::ForgetPendingSignal();
    QCOMPARE(outcome.ExitCode, std::optional<int>(128 + SIGTERM));
    QCOMPARE(outcome.PanelText, QStringLiteral("Data successfully encrypted."));
    QVERIFY(!QFile::exists(sealed + QStringLiteral(".qlt")));
    QVERIFY(!QFile::exists(sealed + QStringLiteral(".qlz")));
#endif
}

void TSessionTest::DecliningTheImportEndsWithCodeOne() {
    const QString imported = FHome->Path(QStringLiteral("plain.qlt"));
    WriteAll(imported, ReadAll(QStringLiteral(QUILLOCK_SOURCE_DIR "/data/sample/diary.qlt")));
    TModalAnswerer answerer;
    answerer.ExpectBoxClosed();
    const TOutcome outcome = RunSession(imported, QStringLiteral("pass"));
    QCOMPARE(outcome.ExitCode, std::optional<int>(1));
    QVERIFY(QFile::exists(imported));
    QVERIFY(!QFile::exists(FHome->Path(QStringLiteral("plain.qlx"))));
    platform::TRegistry registry;
    QVERIFY(registry.OpenKey("Software\\Quillock", false));
    QVERIFY(registry.ValueExists("ExeName"));
}

void TSessionTest::EnterOnTheLeftOverWarningKeepsTheWorkingCopy() {
    const QString sealed =
        SealedByAFirstRun(*FHome, [this](const QString& file) { (void)RunSession(file, QStringLiteral("pw")); });
    const QByteArray before = ReadAll(sealed);
    WriteAll(sealed + QStringLiteral(".qlt"), "Arbolix unsaved edits");
    TModalAnswerer answerer;
    answerer.ExpectBoxEnter();
    const TOutcome outcome = RunSession(sealed, QStringLiteral("pw"));
    QVERIFY2(answerer.Unexpected().isEmpty(), qPrintable(answerer.Unexpected().join('\n')));
    QCOMPARE(outcome.ExitCode, std::optional<int>(1));
    QCOMPARE(answerer.Seen().size(), std::size_t(1));
    QCOMPARE(answerer.Seen()[0].Title, QStringLiteral("Warning"));
    QCOMPARE(answerer.Seen()[0].DefaultButton, QStringLiteral("&No"));
    QCOMPARE(answerer.Seen()[0].EscapeButton, QStringLiteral("&No"));
    QVERIFY(answerer.Seen()[0].Text.contains(QStringLiteral("\n\"") + sealed +
                                             QStringLiteral(".qlt\": working copy, unencrypted, changed ")));
    QCOMPARE(ReadAll(sealed + QStringLiteral(".qlt")), QByteArray("Arbolix unsaved edits"));
    QCOMPARE(ReadAll(sealed), before);
}

void TSessionTest::EnterWhenTheEditorIsBackAtOnceKeepsTheWorkingCopy() {
#ifndef QUILLOCK_FAKE_EDITOR
    QSKIP("needs the stand-in editor");
#endif
    const QString sealed =
        SealedByAFirstRun(*FHome, [this](const QString& file) { (void)RunSession(file, QStringLiteral("pw")); });
    const QByteArray before = ReadAll(sealed);
    // This editor only looks: back at once, nothing changed.
    qputenv("FAKE_EDITOR_ACTIONS", "keep");
    TModalAnswerer answerer;
    answerer.ExpectBoxEnter();                // the question whether editing is finished
    answerer.ExpectBox(QStringLiteral("OK")); // where the working copy stays
    const TOutcome outcome = RunSession(sealed, QStringLiteral("pw"));
    QVERIFY2(answerer.Unexpected().isEmpty(), qPrintable(answerer.Unexpected().join('\n')));
    QCOMPARE(outcome.ExitCode, std::optional<int>(1));
    QCOMPARE(answerer.Seen().size(), std::size_t(2));
    QCOMPARE(answerer.Seen()[0].Title, QStringLiteral("Confirm"));
    QCOMPARE(answerer.Seen()[0].DefaultButton, QStringLiteral("&No"));
    QVERIFY(answerer.Seen()[0].Text.startsWith(QStringLiteral("The editor returned within 3 seconds")));
    QVERIFY(answerer.Seen()[1].Text.startsWith(QStringLiteral("The working copy stays where it is")));
    QVERIFY(QFile::exists(sealed + QStringLiteral(".qlt")));
    QCOMPARE(ReadAll(sealed), before);
}

QObject* MakeSessionTest() {
    return new TSessionTest;
}

} // namespace quillock::ui::test

#include "SessionTest.moc"
