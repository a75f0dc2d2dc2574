// The window's dialogs as the session and the data-file operations use them:
// the message dialogs and their answers, the warning and question boxes, the
// input box, and the closing-time prompts changed by the private messages.
#include "UiTestSupport.h"
#include "datafile/DataFileHost.h"
#include "ui/Unit1.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <optional>

namespace quillock::ui::test {

using datafile::TModalResult;
using datafile::TMsgDlgButtons;
using datafile::TMsgDlgType;

class TPromptTest final : public TWindowTest {
    Q_OBJECT

private slots:
    void MessageDialogsHaveTheirTitlesAndButtons_data();
    void MessageDialogsHaveTheirTitlesAndButtons();
    void YesNoAnswers();
    void MessagesShowQuotedPathsAndOurSigns();
    void WarnBoxIsTitledWithTheCaption();
    void InputBoxReturnsTheTextOrTheDefault();
    void MaskedPromptShowsHashesAndReturnsTheText();
    void BothPasswordPromptsAreMasked();
    void OtherPromptsAreNotMasked();
    void QuestionBoxKeepsYesAndNoWithoutTheMessage();
    void AlgorithmQuestionNamesTheCiphers();
    void HashQuestionNamesTheDigests();
    void AnotherWindowsBoxIsLeftAlone();

private:
    // Opens an input box after posting message (0 for none); the step sees
    // the box's line edit.
    std::string RunInputBox(TForm1& form, std::optional<datafile::TPromptKind> prompt, const std::string& title,
                            const std::string& value, const std::function<void(QInputDialog*, QLineEdit*)>& step);
};

void TPromptTest::MessageDialogsHaveTheirTitlesAndButtons_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("icon");
    QTest::newRow("warning") << int(TMsgDlgType::mtWarning) << "Warning" << int(QMessageBox::Warning);
    QTest::newRow("error") << int(TMsgDlgType::mtError) << "Error" << int(QMessageBox::Critical);
    QTest::newRow("information") << int(TMsgDlgType::mtInformation) << "Information" << int(QMessageBox::Information);
    QTest::newRow("confirmation") << int(TMsgDlgType::mtConfirmation) << "Confirm" << int(QMessageBox::Question);
}

void TPromptTest::MessageDialogsHaveTheirTitlesAndButtons() {
    QFETCH(int, kind);
    QFETCH(QString, title);
    QFETCH(int, icon);
    TForm1 form;
    form.show();
    TModalAnswerer answerer;
    answerer.ExpectBox(QStringLiteral("&Yes"));
    answerer.ExpectBox(QStringLiteral("OK"));
    QCOMPARE(form.AskUser("Line one\r\nLine two", TMsgDlgType(kind), TMsgDlgButtons::mbYesNo), TModalResult::mrYes);
    QCOMPARE(form.AskUser("Done.", TMsgDlgType(kind), TMsgDlgButtons::mbOK), TModalResult::mrOk);
    QCOMPARE(answerer.Seen().size(), std::size_t(2));
    const TSeenBox& yesNo = answerer.Seen()[0];
    QCOMPARE(yesNo.Title, title);
    QCOMPARE(int(yesNo.Icon), icon);
    QCOMPARE(yesNo.Text, QStringLiteral("Line one\nLine two"));
    QCOMPARE(yesNo.Buttons, (QStringList{QStringLiteral("&Yes"), QStringLiteral("&No")}));
    QCOMPARE(yesNo.DefaultButton, QStringLiteral("&Yes"));
    QCOMPARE(yesNo.EscapeButton, QStringLiteral("&No"));
    QCOMPARE(answerer.Seen()[1].Buttons, QStringList{QStringLiteral("OK")});
    QCOMPARE(answerer.Seen()[1].Title, title);
}

void TPromptTest::YesNoAnswers() {
    TForm1 form;
    form.show();
    TModalAnswerer answerer;
    answerer.ExpectBoxEnter();
    answerer.ExpectBoxEscape();
    answerer.ExpectBox(QStringLiteral("&No"));
    answerer.ExpectBoxClosed();
    answerer.ExpectBoxClosed();
    const auto ask = [&form] { return form.AskUser("Go on?", TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo); };
    QCOMPARE(ask(), TModalResult::mrYes); // Enter: the default button
    QCOMPARE(ask(), TModalResult::mrNo);  // Escape
    QCOMPARE(ask(), TModalResult::mrNo);
    QCOMPARE(ask(), TModalResult::mrNone); // the close box answers neither
    QCOMPARE(form.AskUser("Stop.", TMsgDlgType::mtError, TMsgDlgButtons::mbOK), TModalResult::mrNone);
    QVERIFY2(answerer.Unexpected().isEmpty(), qPrintable(answerer.Unexpected().join('\n')));
}

void TPromptTest::MessagesShowQuotedPathsAndOurSigns() {
    TForm1 form;
    form.show();
    TModalAnswerer answerer;
    answerer.ExpectBox(QStringLiteral("OK"));
    answerer.ExpectBox(QStringLiteral("OK"));
    // A path is the file system's UTF-8; the program's own signs are Windows-1252.
    form.AskUser("Cannot rename file!\r\n\"/home/j\xC3\xBCrgen/diary.qlx\" already exists!", TMsgDlgType::mtError,
                 TMsgDlgButtons::mbOK);
    form.WarnBox("DoubleBackup\xAE");
    QCOMPARE(answerer.Seen().size(), std::size_t(2));
    QCOMPARE(answerer.Seen()[0].Text,
             QStringLiteral("Cannot rename file!\n\"/home/j\u00FCrgen/diary.qlx\" already exists!"));
    QCOMPARE(answerer.Seen()[1].Text, QStringLiteral("DoubleBackup\u00AE"));
}

void TPromptTest::WarnBoxIsTitledWithTheCaption() {
    TForm1 form;
    form.show();
    TModalAnswerer answerer;
    answerer.ExpectBox(QStringLiteral("OK"));
    form.WarnBox("Select a Arbolix file!");
    QCOMPARE(answerer.Seen().size(), std::size_t(1));
    QCOMPARE(answerer.Seen()[0].Title, QStringLiteral("Arbolix\u00AE Encrypt (Rijndael RIPEMD-160) v3.0"));
    QCOMPARE(answerer.Seen()[0].Icon, QMessageBox::Warning);
    QCOMPARE(answerer.Seen()[0].Buttons, QStringList{QStringLiteral("OK")});
}

std::string TPromptTest::RunInputBox(TForm1& form, std::optional<datafile::TPromptKind> prompt,
                                     const std::string& title, const std::string& value,
                                     const std::function<void(QInputDialog*, QLineEdit*)>& step) {
    TModalAnswerer answerer;
    answerer.Expect([&step](QWidget* modal) {
        auto* dialog = qobject_cast<QInputDialog*>(modal);
        QVERIFY(dialog != nullptr);
        auto* edit = dialog->findChild<QLineEdit*>();
        QVERIFY(edit != nullptr);
        step(dialog, edit);
    });
    if (prompt) {
        form.PostPrivateMessage(*prompt);
    }
    const std::string result = form.InputBox(title, "Enter a new password:", value);
    if (!answerer.Unexpected().isEmpty()) {
        qWarning("%s", qPrintable(answerer.Unexpected().join('\n')));
    }
    return result;
}

void TPromptTest::InputBoxReturnsTheTextOrTheDefault() {
    TForm1 form;
    form.show();
    QString label;
    int maxLength = 0;
    QString selected;
    std::string typed =
        RunInputBox(form, std::nullopt, "Some Title", "pre", [&](QInputDialog* dialog, QLineEdit* edit) {
            label = dialog->labelText();
            maxLength = edit->maxLength();
            selected = edit->selectedText();
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Some Title"));
            TypeText(edit, QStringLiteral("new \u00E9"));
            dialog->accept();
        });
    QCOMPARE(typed, std::string("new \xE9"));
    QCOMPARE(label, QStringLiteral("Enter a new password:"));
    QCOMPARE(maxLength, 255);
    QCOMPARE(selected, QStringLiteral("pre")); // pre-filled and selected
    const std::string cancelled =
        RunInputBox(form, std::nullopt, "Some Title", "keep", [](QInputDialog* dialog, QLineEdit* edit) {
            TypeText(edit, QStringLiteral("typed"));
            dialog->reject();
        });
    QCOMPARE(cancelled, std::string("keep"));
}

void TPromptTest::MaskedPromptShowsHashesAndReturnsTheText() {
    TForm1 form;
    form.show();
    QString shown;
    QString selected;
    const std::string typed = RunInputBox(form, datafile::TPromptKind::Password, "Change Arbolix File Password", "old",
                                          [&](QInputDialog* dialog, QLineEdit* edit) {
                                              selected = edit->selectedText();
                                              TypeText(edit, QStringLiteral("s3cr\u00E9t"));
                                              shown = edit->displayText();
                                              dialog->accept();
                                          });
    QCOMPARE(selected, QStringLiteral("old"));
    QCOMPARE(shown, QStringLiteral("######"));
    QCOMPARE(typed, std::string("s3cr\xE9t"));
}

void TPromptTest::BothPasswordPromptsAreMasked() {
    TForm1 form;
    form.show();
    QList<QLineEdit::EchoMode> modes;
    for (int prompt = 0; prompt < 2; ++prompt) {
        RunInputBox(form, datafile::TPromptKind::Password, "Change Arbolix File Password", "",
                    [&](QInputDialog* dialog, QLineEdit* edit) {
                        modes.append(edit->echoMode());
                        dialog->accept();
                    });
    }
    QCOMPARE(modes, (QList<QLineEdit::EchoMode>{QLineEdit::Password, QLineEdit::Password}));
}

void TPromptTest::OtherPromptsAreNotMasked() {
    TForm1 form;
    form.show();
    QLineEdit::EchoMode withoutMessage = QLineEdit::Password;
    RunInputBox(form, std::nullopt, "Change Arbolix File Password", "", [&](QInputDialog* dialog, QLineEdit* edit) {
        withoutMessage = edit->echoMode();
        dialog->accept();
    });
    QCOMPARE(withoutMessage, QLineEdit::Normal);
    QLineEdit::EchoMode otherTitle = QLineEdit::Password;
    RunInputBox(form, datafile::TPromptKind::Password, "Change arbolix file password", "",
                [&](QInputDialog* dialog, QLineEdit* edit) {
                    otherTitle = edit->echoMode();
                    dialog->accept();
                });
    QCOMPARE(otherTitle, QLineEdit::Normal);
}

void TPromptTest::QuestionBoxKeepsYesAndNoWithoutTheMessage() {
    TForm1 form;
    form.show();
    TModalAnswerer answerer;
    answerer.ExpectBox(QStringLiteral("&Yes"));
    answerer.ExpectBoxEscape();
    QVERIFY(form.QuestionBox("Change encryption algorithm to:\r\n(Current is: Rijndael)"));
    QVERIFY(!form.QuestionBox("Change encryption algorithm to:\r\n(Current is: Rijndael)"));
    QCOMPARE(answerer.Seen().size(), std::size_t(2));
    const TSeenBox& seen = answerer.Seen()[0];
    QCOMPARE(seen.Title, form.windowTitle());
    QCOMPARE(seen.Icon, QMessageBox::Question);
    QCOMPARE(seen.Buttons, (QStringList{QStringLiteral("&Yes"), QStringLiteral("&No")}));
    QCOMPARE(seen.DefaultButton, QStringLiteral("&Yes"));
    QCOMPARE(seen.Parent, static_cast<QWidget*>(&form));
    QCOMPARE(seen.Text, QStringLiteral("Change encryption algorithm to:\n(Current is: Rijndael)"));
}

void TPromptTest::AlgorithmQuestionNamesTheCiphers() {
    TForm1 form;
    form.show();
    form.SetAlgorithmIndex(1);
    form.SetHashIndex(1);
    form.UpdateCaptions();
    TModalAnswerer answerer;
    answerer.ExpectBox(QStringLiteral("&Blowfish"));
    answerer.ExpectBox(QStringLiteral("&Rijndael"));
    form.PostPrivateMessage(datafile::TPromptKind::Algorithm);
    QVERIFY(!form.QuestionBox("Change encryption algorithm to:\r\n(Current is: Blowfish)")); // the second choice
    form.PostPrivateMessage(datafile::TPromptKind::Algorithm);
    QVERIFY(form.QuestionBox("Change encryption algorithm to:\r\n(Current is: Blowfish)")); // the first choice
    QCOMPARE(answerer.Seen().size(), std::size_t(2));
    QCOMPARE(answerer.Seen()[0].Title, QStringLiteral("Arbolix\u00AE Encrypt (Blowfish SHA-1) v3.0"));
    QCOMPARE(answerer.Seen()[0].Buttons, (QStringList{QStringLiteral("&Rijndael"), QStringLiteral("&Blowfish")}));
}

void TPromptTest::HashQuestionNamesTheDigests() {
    TForm1 form;
    form.show();
    TModalAnswerer answerer;
    answerer.ExpectBox(QStringLiteral("&RIPEMD-160"));
    form.PostPrivateMessage(datafile::TPromptKind::Hash);
    QVERIFY(form.QuestionBox("Change password hashing to:\r\n(Current is: RIPEMD-160)"));
    QCOMPARE(answerer.Seen().size(), std::size_t(1));
    QCOMPARE(answerer.Seen()[0].Buttons, (QStringList{QStringLiteral("&RIPEMD-160"), QStringLiteral("&SHA-1")}));
}

void TPromptTest::AnotherWindowsBoxIsLeftAlone() {
    TForm1 form;
    form.show();
    // Another window shows a box with the very same title.
    QWidget other;
    QMessageBox foreign(QMessageBox::Question, form.windowTitle(), QStringLiteral("theirs"),
                        QMessageBox::Yes | QMessageBox::No, &other);
    foreign.setWindowModality(Qt::NonModal);
    foreign.show();
    TModalAnswerer answerer;
    answerer.ExpectBox(QStringLiteral("&Blowfish"));
    form.PostPrivateMessage(datafile::TPromptKind::Algorithm);
    QVERIFY(!form.QuestionBox("Change encryption algorithm to:\r\n(Current is: Rijndael)"));
    QCOMPARE(foreign.button(QMessageBox::Yes)->text(), QStringLiteral("&Yes"));
    QCOMPARE(foreign.button(QMessageBox::No)->text(), QStringLiteral("&No"));
    QCOMPARE(answerer.Seen().size(), std::size_t(1));
    QCOMPARE(answerer.Seen()[0].Buttons, (QStringList{QStringLiteral("&Rijndael"), QStringLiteral("&Blowfish")}));
}

QObject* MakePromptTest() {
    return new TPromptTest;
}

} // namespace quillock::ui::test

#include "PromptTest.moc"
