// The main window as it stands after creation: every control's place, size,
// text, state, style, hint and the tab order; the caption for each cipher and
// digest pair.
#include "UiTestSupport.h"
#include "ui/Unit1.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTest>
#include <QToolTip>
#include <cmath>
#include <map>

namespace quillock::ui::test {

class TLayoutTest final : public TWindowTest {
    Q_OBJECT

private slots:
    void ControlsHaveTheirPlacesAndTexts_data();
    void ControlsHaveTheirPlacesAndTexts();
    void LabelsWithoutWidthStandAtTheirPoints();
    void InitialStatesAndStyles();
    void HintsOnlyOnTheControlsThatHaveOne();
    void TabOrderFollowsTheFormFromTopToBottom();
    void WindowIsACollapsedFixedNormalWindow();
    void CaptionNamesEachCipherAndDigestPair();
    void ProgramSelectionLeavesTheCaption();
    void HintsAppearAtOnce();
};

void TLayoutTest::ControlsHaveTheirPlacesAndTexts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("text");
    const auto row = [](const char* name, QRect geometry, const QString& text) {
        QTest::newRow(name) << QString::fromLatin1(name) << geometry << text;
    };
    row("Label2", {10, 14, 52, 13}, QStringLiteral("Data &File"));
    row("FName", {72, 8, 177, 21}, QString());
    row("Button1", {256, 10, 25, 17}, QStringLiteral("..."));
    row("Label1", {8, 48, 55, 13}, QStringLiteral("Pass&word"));
    row("MaskEdit1", {72, 40, 201, 21}, QString());
    row("BitBtn2", {48, 72, 73, 25}, QStringLiteral("&Cancel"));
    row("BitBtn1", {152, 72, 97, 25}, QStringLiteral("&Ok"));
    row("OptionsButton", {96, 100, 89, 16}, QStringLiteral("Op&tions"));
    row("GroupBox3", {16, 118, 249, 42}, QStringLiteral("Encryption"));
    row("Label6", {8, 20, 43, 13}, QStringLiteral("&Algorithm"));
    row("AlgorithmCB", {56, 15, 65, 21}, QStringLiteral("Rijndael"));
    row("Label7", {126, 20, 25, 13}, QStringLiteral("Ha&sh"));
    row("HashCB", {154, 15, 89, 21}, QStringLiteral("RIPEMD-160"));
    row("RadioGroup1", {16, 163, 113, 73}, QStringLiteral("Arbolix Version"));
    row("GroupBox1", {136, 163, 129, 57}, QStringLiteral("Built-in compression"));
    row("UseCompression", {8, 16, 73, 17}, QStringLiteral("Co&mpress"));
    row("Decompress", {8, 33, 80, 16}, QStringLiteral("&Decompress"));
    row("Button3", {224, 178, 13, 17}, QStringLiteral("?"));
    row("Button4", {224, 196, 13, 17}, QStringLiteral("?"));
    row("DoubleBackup", {144, 223, 103, 16}, QStringLiteral("Do&uble-Backup\u00AE"));
    row("GroupBox2", {16, 240, 249, 34}, QStringLiteral("Modify the file"));
    row("ChangePass", {8, 13, 105, 17}, QStringLiteral("C&hange password"));
    row("ChangeAlgorithm", {128, 13, 105, 17}, QStringLiteral("Change al&gorithm"));
    row("Label5", {16, 286, 32, 13}, QStringLiteral("&Path"));
    row("ExeName", {48, 280, 193, 21}, QStringLiteral("Arbolix.exe"));
    row("Button2", {248, 283, 17, 17}, QStringLiteral("..."));
    row("Panel1", {8, 40, 268, 57}, QStringLiteral("Please wait.."));
    row("CompressedNotify", {48, 40, 177, 13}, QStringLiteral("-"));
}

// A rectangle of the layout as the window draws it at scale: its edges scaled.
static QRect ScaledRect(double scale, const QRect& design) {
    const auto at = [scale](int value) { return static_cast<int>(std::lround(value * scale)); };
    return QRect(QPoint(at(design.x()), at(design.y())),
                 QPoint(at(design.x() + design.width()) - 1, at(design.y() + design.height()) - 1));
}

// The same for a control of a box standing at parentAt in the layout: its
// edges are scaled in the window's coordinates.
static QRect ScaledRect(double scale, const QRect& design, const QPoint& parentAt) {
    return ScaledRect(scale, design.translated(parentAt))
        .translated(-ScaledRect(scale, QRect(parentAt, QSize(1, 1))).topLeft());
}

// A line of the layout: scaled but for its thickness.
static QRect LineRect(double scale, const QRect& design) {
    QRect rect = ScaledRect(scale, design);
    rect.setHeight(design.height());
    return rect;
}

// The text a control shows, whatever its kind.
static QString TextOf(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        return edit->text();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text();
    }
    if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        return group->title();
    }
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        return combo->currentText();
    }
    return QStringLiteral("<no text>");
}

void TLayoutTest::ControlsHaveTheirPlacesAndTexts() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);
    TForm1 form;
    auto* control = form.findChild<QWidget*>(name);
    QVERIFY2(control != nullptr, qPrintable(name));
    // The layout's pixels, scaled with the desktop's font; small buttons at least square.
    // Where the boxes stand in the layout.
    const std::map<QString, QPoint> boxes = {{QStringLiteral("GroupBox3"), {16, 118}},
                                             {QStringLiteral("GroupBox1"), {136, 163}},
                                             {QStringLiteral("GroupBox2"), {16, 240}},
                                             {QStringLiteral("Panel1"), {8, 40}}};
    const auto box = boxes.find(control->parentWidget()->objectName());
    QRect expected = ScaledRect(form.Scale(), geometry, box != boxes.end() ? box->second : QPoint());
    if (qobject_cast<QPushButton*>(control) != nullptr && control->height() > expected.width()) {
        expected.setWidth(expected.height());
    }
    QCOMPARE(control->geometry(), expected);
    QCOMPARE(TextOf(control), text);
}

void TLayoutTest::LabelsWithoutWidthStandAtTheirPoints() {
    TForm1 form;
    form.show();
    auto* panel2 = Find<QWidget>(&form, "Panel2");
    const double scale = form.Scale();
    QCOMPARE(panel2->geometry(), QRect(0, form.height() - form.Scaled(19), form.Scaled(286), form.Scaled(19)));
    QCOMPARE(Find<QFrame>(&form, "Bevel1")->geometry(), LineRect(scale, {0, 2, 286, 2}));
    QCOMPARE(Find<QFrame>(&form, "Bevel2")->geometry(), LineRect(scale, {16, 108, 249, 2}));
    const struct {
        const char* Name;
        QPoint At;
        QString Text;
    } labels[] = {
        {"ProgVerBottom", {0, 4}, QStringLiteral("Arbolix\u00AE Encryption - Ver 3.0")},
        {"Label8", {148, 4}, QStringLiteral("by")},
        {"Label4", {162, 4}, QStringLiteral("Quillock team")},
        {"Label3", {243, 4}, QStringLiteral("License")},
    };
    for (const auto& label : labels) {
        auto* widget = Find<QLabel>(panel2, label.Name);
        QVERIFY2(widget != nullptr, label.Name);
        QCOMPARE(widget->pos(), ScaledRect(scale, QRect(label.At, QSize(1, 1))).topLeft());
        QCOMPARE(widget->text(), label.Text);
    }
    QVERIFY(Find<QPlainTextEdit>(&form, "VersionsHistory")->isHidden());
    QVERIFY(Find<QPlainTextEdit>(&form, "LicenseInfo")->isHidden());
    QCOMPARE(Find<QPlainTextEdit>(&form, "VersionsHistory")->lineWrapMode(), QPlainTextEdit::NoWrap);
}

void TLayoutTest::InitialStatesAndStyles() {
    TForm1 form;
    auto* fname = Find<QLineEdit>(&form, "FName");
    QVERIFY(fname->isReadOnly());
    QCOMPARE(fname->palette().color(QPalette::Base), fname->palette().color(QPalette::Button));
    auto* password = Find<QLineEdit>(&form, "MaskEdit1");
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    password->setText(QStringLiteral("abc"));
    QCOMPARE(password->displayText(), QStringLiteral("###"));
    password->clear();

    auto* ok = Find<QPushButton>(&form, "BitBtn1");
    QVERIFY(!ok->isEnabled());
    QVERIFY(ok->isDefault());
    QVERIFY(ok->font().bold());
    QVERIFY(!Find<QPushButton>(&form, "BitBtn2")->isDefault());

    QVERIFY(Find<QLabel>(&form, "Label2")->font().bold());
    QVERIFY(Find<QLabel>(&form, "Label1")->font().bold());
    QVERIFY(Find<QLabel>(&form, "Label5")->font().bold());
    QVERIFY(Find<QLabel>(&form, "Label5")->font().italic());
    for (const char* group : {"GroupBox1", "GroupBox2", "GroupBox3"}) {
        QVERIFY2(Find<QGroupBox>(&form, group)->font().bold(), group);
    }
    // The boxes' contents are not bold.
    QVERIFY(!Find<QCheckBox>(&form, "UseCompression")->font().bold());
    QVERIFY(!Find<QComboBox>(&form, "AlgorithmCB")->font().bold());
    QVERIFY(!Find<QLabel>(&form, "Label6")->font().bold());
    QVERIFY(!Find<QGroupBox>(&form, "RadioGroup1")->font().bold());

    auto* mail = Find<QLabel>(&form, "Label4");
    QVERIFY(mail->font().bold());
    QVERIFY(mail->font().underline());
    QCOMPARE(mail->palette().color(QPalette::WindowText), QColor(Qt::black));
    QVERIFY(Find<QLabel>(&form, "Label3")->font().italic());
    for (const char* link : {"ProgVerBottom", "Label4", "Label3", "Button3", "Button4"}) {
        QCOMPARE(Find<QWidget>(&form, link)->cursor().shape(), Qt::PointingHandCursor);
    }

    auto* panel = Find<QLabel>(&form, "Panel1");
    QVERIFY(panel->isHidden());
    QCOMPARE(panel->font().pointSizeF(), QFontInfo(form.font()).pointSizeF() * 1.5); // 12 beside 8
    QVERIFY(panel->font().bold() && panel->font().italic());
    QCOMPARE(panel->alignment(), Qt::AlignCenter);
    auto* notify = Find<QLabel>(&form, "CompressedNotify");
    QVERIFY(notify->font().bold());
    QCOMPARE(notify->palette().color(QPalette::WindowText), QColor(0, 0, 128));
    QVERIFY(notify->alignment() & Qt::AlignHCenter);

    QCOMPARE(Find<QComboBox>(&form, "AlgorithmCB")->count(), 2);
    QCOMPARE(Find<QComboBox>(&form, "AlgorithmCB")->itemText(1), QStringLiteral("Blowfish"));
    QCOMPARE(Find<QComboBox>(&form, "HashCB")->itemText(1), QStringLiteral("SHA-1"));
    QVERIFY(!Find<QComboBox>(&form, "AlgorithmCB")->isEditable());
    const QList<QRadioButton*> items = Find<QGroupBox>(&form, "RadioGroup1")->findChildren<QRadioButton*>();
    QCOMPARE(items.size(), 3);
    QCOMPARE(items[0]->text(), QStringLiteral("&Basic"));
    QCOMPARE(items[1]->text(), QStringLiteral("&Extra"));
    QCOMPARE(items[2]->text(), QStringLiteral("Office Ed&ition"));
    QVERIFY(items[0]->isChecked());
    // Rows share the space under the caption evenly.
    QCOMPARE(items[0]->geometry(), ScaledRect(form.Scale(), {8, 14, 103, 18}, {16, 163}));
    QCOMPARE(items[2]->geometry(), ScaledRect(form.Scale(), {8, 50, 103, 18}, {16, 163}));

    QVERIFY(!form.UseCompression());
    QVERIFY(!form.Decompress());
    QVERIFY(form.DoubleBackup());
    QVERIFY(!form.ChangePass());
    QVERIFY(!form.ChangeAlgorithm());
    QCOMPARE(form.ExeName(), std::string("Arbolix.exe"));
    QCOMPARE(form.font(), QApplication::font()); // the desktop's, as it stands
}

void TLayoutTest::HintsOnlyOnTheControlsThatHaveOne() {
    TForm1 form;
    const struct {
        const char* Name;
        QString Hint;
    } hints[] = {
        {"Button1", QStringLiteral("Browse for files to open or import")},
        {"OptionsButton", QStringLiteral("Click here to display options..")},
        {"AlgorithmCB", QStringLiteral("Select a specific encryption algorithm")},
        {"HashCB", QStringLiteral("Use a specific hashing algorithm for the password")},
        {"RadioGroup1", QStringLiteral("Select Arbolix\u00AE version to run")},
        {"UseCompression", QStringLiteral("Reduce filesize (using standard zip/rar compression has no effects!)")},
        {"Decompress", QStringLiteral("Return a compressed file to the standard format")},
        {"Button3", QStringLiteral("Show some informations about the built-in compression")},
        {"Button4", QStringLiteral("Show some informations about the built-in compression")},
        {"DoubleBackup", QStringLiteral("This toggle the creation of an addictional backup file (extension: .old)")},
        {"ChangePass", QStringLiteral("You will be prompted to enter a new password when closing the file")},
        {"ChangeAlgorithm",
         QStringLiteral("You will be prompted to change encryption algorithm when closing the file")},
        {"ExeName", QStringLiteral("Location of Arbolix\u00AE executable")},
        {"Button2", QStringLiteral("Browse for Arbolix\u00AE executable")},
        {"ProgVerBottom", QStringLiteral("Click here to show information about this program")},
        {"Label4", QStringLiteral("Click here to e-mail me!")},
        {"Label3", QStringLiteral("Click here to show info about the license")},
    };
    QStringList withHint;
    for (const auto& hint : hints) {
        QCOMPARE(Find<QWidget>(&form, hint.Name)->toolTip(), hint.Hint);
        withHint.append(QString::fromLatin1(hint.Name));
    }
    for (QWidget* widget : form.findChildren<QWidget*>()) {
        if (!widget->objectName().isEmpty() && !withHint.contains(widget->objectName())) {
            QVERIFY2(widget->toolTip().isEmpty(), qPrintable(widget->objectName()));
        }
    }
}

void TLayoutTest::TabOrderFollowsTheFormFromTopToBottom() {
    TForm1 form;
    form.show();
    QStringList order;
    QWidget* widget = Find<QWidget>(&form, "FName");
    for (int guard = 0; guard < 40 && widget != nullptr; ++guard) {
        if ((widget->focusPolicy() & Qt::TabFocus) && !widget->objectName().isEmpty() && widget->window() == &form) {
            order.append(widget->objectName());
        }
        widget = widget->nextInFocusChain();
        if (widget == Find<QWidget>(&form, "FName")) {
            break;
        }
    }
    // Top to bottom and left to right, a group box as one block, the links last.
    const QStringList expected = {"FName",
                                  "Button1",
                                  "MaskEdit1",
                                  "BitBtn2",
                                  "BitBtn1",
                                  "OptionsButton",
                                  "AlgorithmCB",
                                  "HashCB",
                                  "RadioGroup1Item0",
                                  "RadioGroup1Item1",
                                  "RadioGroup1Item2",
                                  "UseCompression",
                                  "Button3",
                                  "Decompress",
                                  "Button4",
                                  "DoubleBackup",
                                  "ChangePass",
                                  "ChangeAlgorithm",
                                  "ExeName",
                                  "Button2",
                                  "ProgVerBottom",
                                  "Label4",
                                  "Label3"};
    QCOMPARE(order.join(' '), expected.join(' '));
    QCOMPARE(form.focusWidget(), Find<QWidget>(&form, "MaskEdit1"));
}

void TLayoutTest::WindowIsACollapsedFixedNormalWindow() {
    TForm1 form;
    // A normal top-level window: it has a taskbar entry.
    QCOMPARE(form.windowType(), Qt::Window);
    QCOMPARE(form.OuterHeight(), form.Scaled(140) + 20);
    QCOMPARE(form.width(), form.Scaled(286));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    form.show();
    // Centred on the screen at its first showing, with the frame it has.
    const QRect area = form.screen()->availableGeometry();
    const QRect frame = form.frameGeometry();
    QCOMPARE(frame.x() + frame.width() / 2, area.center().x());
    QCOMPARE(frame.y() + frame.height() / 2, area.center().y());
    // The bottom strip is what shows under the Options button.
    QCOMPARE(Find<QWidget>(&form, "Panel2")->y(), form.height() - form.Scaled(19));
    QVERIFY(Find<QWidget>(&form, "Panel2")->y() > form.Scaled(116));
}

void TLayoutTest::CaptionNamesEachCipherAndDigestPair() {
    TForm1 form;
    form.show();
    auto* algorithm = Find<QComboBox>(&form, "AlgorithmCB");
    auto* hash = Find<QComboBox>(&form, "HashCB");
    QCOMPARE(form.windowTitle(), QStringLiteral("Arbolix\u00AE Encrypt (Rijndael RIPEMD-160) v3.0"));
    QCOMPARE(form.Caption(), std::string("Arbolix\xAE Encrypt (Rijndael RIPEMD-160) v3.0"));
    // Picks by the user, from the keyboard.
    QTest::keyClick(hash, Qt::Key_Down);
    QCOMPARE(form.windowTitle(), QStringLiteral("Arbolix\u00AE Encrypt (Rijndael SHA-1) v3.0"));
    QTest::keyClick(algorithm, Qt::Key_Down);
    QCOMPARE(form.windowTitle(), QStringLiteral("Arbolix\u00AE Encrypt (Blowfish SHA-1) v3.0"));
    QTest::keyClick(hash, Qt::Key_Up);
    QCOMPARE(form.windowTitle(), QStringLiteral("Arbolix\u00AE Encrypt (Blowfish RIPEMD-160) v3.0"));
    QCOMPARE(form.AlgorithmIndex(), 1);
    QCOMPARE(form.HashIndex(), 0);
    // The user's pick moves the focus back to the password box.
    QCOMPARE(form.focusWidget(), Find<QWidget>(&form, "MaskEdit1"));
}

void TLayoutTest::ProgramSelectionLeavesTheCaption() {
    TForm1 form;
    form.SetAlgorithmIndex(1);
    form.SetHashIndex(1);
    QCOMPARE(Find<QComboBox>(&form, "AlgorithmCB")->currentText(), QStringLiteral("Blowfish"));
    QCOMPARE(form.windowTitle(), QStringLiteral("Arbolix\u00AE Encrypt (Rijndael RIPEMD-160) v3.0"));
    form.UpdateCaptions();
    QCOMPARE(form.windowTitle(), QStringLiteral("Arbolix\u00AE Encrypt (Blowfish SHA-1) v3.0"));
}

void TLayoutTest::HintsAppearAtOnce() {
    TForm1 form;
    form.show();
    QCOMPARE(QApplication::style()->styleHint(QStyle::SH_ToolTip_WakeUpDelay), 0);
    // A control's hint is shown by the window's own timing; a control without
    // a hint of its own shows its group's.
    auto* button = Find<QWidget>(&form, "Button1");
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(button, &help);
    QCOMPARE(QToolTip::text(), QStringLiteral("Browse for files to open or import"));
    auto* item = Find<QWidget>(&form, "RadioGroup1Item1");
    QHelpEvent itemHelp(QEvent::ToolTip, QPoint(2, 2), item->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(item, &itemHelp);
    QCOMPARE(QToolTip::text(), QStringLiteral("Select Arbolix\u00AE version to run"));
    QToolTip::hideText();
}

QObject* MakeLayoutTest() {
    return new TLayoutTest;
}

} // namespace quillock::ui::test

#include "LayoutTest.moc"
