// The window from the keyboard: Enter on the focused button, no Alt keys in
// the password, one letter for every visible control, links reached by Tab.
#include "UiTestSupport.h"
#include "ui/Unit1.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>

#include <map>

namespace quillock::ui::test {

class TKeyboardTest final : public TWindowTest {
    Q_OBJECT

private slots:
    void EnterPressesTheFocusedButton();
    void AltKeysAreNoPasswordText();
    void EveryVisibleControlHasALetterOfItsOwn();
    void LinksAreReachedByTabAndReadAsLinks();
};

namespace {

void ShowActive(TForm1& form) {
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
}

// The letter → control map of what shows now: buttons by their captions,
// edit boxes and lists by their labels, links by their shortcuts.
std::multimap<QChar, QString> Letters(TForm1& form) {
    std::multimap<QChar, QString> letters;
    const auto add = [&letters](const QString& caption, const QWidget* control) {
        const QKeySequence mnemonic = QKeySequence::mnemonic(caption);
        if (!mnemonic.isEmpty()) {
            letters.emplace(mnemonic.toString().back().toUpper(), control->objectName());
        }
    };
    for (QAbstractButton* button : form.findChildren<QAbstractButton*>()) {
        if (button->isVisible()) {
            add(button->text(), button);
        }
    }
    for (QLabel* label : form.findChildren<QLabel*>()) {
        if (label->isVisible() && label->buddy() != nullptr) {
            add(label->text(), label->buddy());
        }
    }
    for (QShortcut* shortcut : form.findChildren<QShortcut*>()) {
        auto* owner = qobject_cast<QWidget*>(shortcut->parent());
        if (owner != nullptr && owner->isVisible()) {
            letters.emplace(shortcut->key().toString().back().toUpper(), owner->objectName());
        }
    }
    return letters;
}

} // namespace

void TKeyboardTest::EnterPressesTheFocusedButton() {
    TForm1 form;
    ShowActive(form);
    auto* ok = Find<QPushButton>(&form, "BitBtn1");
    TypeText(Find<QWidget>(&form, "MaskEdit1"), QStringLiteral("pw"));
    QVERIFY(ok->isDefault()); // an edit box has the focus
    auto* options = Find<QPushButton>(&form, "OptionsButton");
    options->setFocus(Qt::TabFocusReason);
    QVERIFY(!ok->isDefault());
    QTest::keyClick(options, Qt::Key_Return);
    QVERIFY(form.OptionsShown());
    // On a check box Enter presses nothing (no session starts without a file:
    // its warning would be an unexpected box).
    TModalAnswerer answerer;
    auto* box = Find<QWidget>(&form, "DoubleBackup");
    box->setFocus(Qt::TabFocusReason);
    QVERIFY(!ok->isDefault());
    QTest::keyClick(box, Qt::Key_Return);
    QCoreApplication::processEvents();
    QVERIFY2(answerer.Seen().empty() && answerer.Unexpected().isEmpty(), "Enter pressed OK");
    Find<QWidget>(&form, "ExeName")->setFocus(Qt::TabFocusReason);
    QVERIFY(ok->isDefault());
    // Enter on the focused Cancel ends the program.
    QSignalSpy ended(&form, &TForm1::ProgramEnded);
    auto* cancel = Find<QPushButton>(&form, "BitBtn2");
    cancel->setFocus(Qt::TabFocusReason);
    QTest::keyClick(cancel, Qt::Key_Return);
    QCOMPARE(ended.size(), 1);
}

void TKeyboardTest::AltKeysAreNoPasswordText() {
    TForm1 form;
    ShowActive(form);
    auto* password = Find<QLineEdit>(&form, "MaskEdit1");
    TypeText(password, QStringLiteral("pw"));
    QTest::keyClick(password, Qt::Key_X, Qt::AltModifier, 'x');
    QTest::keyClick(password, Qt::Key_Q, Qt::AltModifier | Qt::ShiftModifier, 'Q');
    QCOMPARE(password->text(), QStringLiteral("pw"));
}

void TKeyboardTest::EveryVisibleControlHasALetterOfItsOwn() {
    TForm1 form;
    ShowActive(form);
    for (const bool expanded : {false, true}) {
        if (expanded) {
            Find<QPushButton>(&form, "OptionsButton")->click();
        }
        const std::multimap<QChar, QString> letters = Letters(form);
        QStringList shared;
        QStringList lettered;
        for (const auto& [letter, control] : letters) {
            if (letters.count(letter) > 1) {
                shared.append(QString(letter) + QLatin1Char('=') + control);
            }
            lettered.append(control);
        }
        QVERIFY2(shared.isEmpty(), qPrintable(shared.join(' ')));
        // Every visible control that takes the focus, but the "..." and "?"
        // buttons, whose captions hold no letter.
        for (QWidget* control : form.findChildren<QWidget*>()) {
            const auto* button = qobject_cast<QPushButton*>(control);
            const bool letterless =
                button != nullptr && !button->text().contains(QRegularExpression(QStringLiteral("\\w")));
            if (control->isVisible() && (control->focusPolicy() & Qt::TabFocus) && !letterless &&
                !control->objectName().isEmpty()) {
                QVERIFY2(lettered.contains(control->objectName()), qPrintable(control->objectName()));
            }
        }
    }
    // The letter of OK reaches it with the options shown.
    TypeText(Find<QWidget>(&form, "MaskEdit1"), QStringLiteral("pw"));
    TModalAnswerer answerer;
    answerer.ExpectBox(QStringLiteral("OK")); // no data file chosen
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_O, Qt::AltModifier);
    QTRY_COMPARE(answerer.Seen().size(), std::size_t(1));
    QCOMPARE(answerer.Seen()[0].Text, QStringLiteral("Select a Arbolix file!"));
}

void TKeyboardTest::LinksAreReachedByTabAndReadAsLinks() {
    TForm1 form;
    ShowActive(form);
    Find<QWidget>(&form, "OptionsButton")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), Find<QWidget>(&form, "ProgVerBottom"));
    for (const char* name : {"ProgVerBottom", "Label4", "Label3"}) {
        QAccessibleInterface* link = QAccessible::queryAccessibleInterface(Find<QWidget>(&form, name));
        QCOMPARE(link->role(), QAccessible::Link);
        QVERIFY2(!link->text(QAccessible::Name).isEmpty(), name);
        QVERIFY(link->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    }
    QCOMPARE(QAccessible::queryAccessibleInterface(Find<QWidget>(&form, "Label3"))->text(QAccessible::Name),
             QStringLiteral("License"));
    // Enter, its letter and the screen reader's press all open the licence.
    TModalAnswerer answerer;
    for (int round = 0; round < 3; ++round) {
        answerer.ExpectBox(QStringLiteral("OK"));
    }
    auto* licence = Find<QWidget>(&form, "Label3");
    licence->setFocus(Qt::TabFocusReason);
    QTest::keyClick(licence, Qt::Key_Return);
    QCOMPARE(answerer.Seen().size(), std::size_t(1));
    form.activateWindow(); // the offscreen platform gives the focus back to no window
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::AltModifier);
    QCOMPARE(answerer.Seen().size(), std::size_t(2));
    QAccessible::queryAccessibleInterface(licence)->actionInterface()->doAction(
        QAccessibleActionInterface::pressAction());
    QTRY_COMPARE(answerer.Seen().size(), std::size_t(3));
    for (const TSeenBox& seen : answerer.Seen()) {
        QCOMPARE(seen.Title, QStringLiteral("Information"));
    }
}

QObject* MakeKeyboardTest() {
    return new TKeyboardTest;
}

} // namespace quillock::ui::test

#include "KeyboardTest.moc"
