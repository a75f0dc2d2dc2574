// The window on a Linux desktop: every text whole with the control's font, the
// layout scaled with the desktop's font size with nothing clipped or overlapping,
// light and dark schemes, hidden controls out of reach while collapsed,
// progress during long steps, names for screen readers, the centred window
// and the panel's two bevels.
#include "UiTestSupport.h"
#include "datafile/Compression.h"
#include "datafile/DataFileHost.h"
#include "ui/DarkPalette.h"
#include "ui/Dialogs.h"
#include "ui/Unit1.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScreen>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTest>

#include <cmath>
#include <thread>

namespace quillock::ui::test {

namespace {

// The width a text takes with the control's own font.
int Width(const QWidget* control, const QString& text) {
    return QFontMetrics(control->font()).size(Qt::TextShowMnemonic, text).width();
}

// Where the style draws a button's text.
QRect ButtonTextRect(const QAbstractButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    QStyle::SubElement element = QStyle::SE_PushButtonContents;
    if (qobject_cast<const QCheckBox*>(button) != nullptr) {
        element = QStyle::SE_CheckBoxContents;
    } else if (qobject_cast<const QRadioButton*>(button) != nullptr) {
        element = QStyle::SE_RadioButtonContents;
    }
    QRect rect = button->style()->subElementRect(element, &option, button);
    if (element == QStyle::SE_PushButtonContents && !button->icon().isNull()) {
        rect.setLeft(rect.left() + button->iconSize().width() + 4);
    }
    return rect;
}

// Texts read when they stand well apart from their background.
bool Readable(const QColor& text, const QColor& background) {
    return std::abs(text.lightness() - background.lightness()) >= 100;
}

// The contrast ratio of two colours (relative luminance, sRGB).
double ContrastRatio(const QColor& one, const QColor& other) {
    const auto luminance = [](const QColor& colour) {
        const auto channel = [](double value) {
            return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
    };
    const double a = luminance(one);
    const double b = luminance(other);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

// Buttons of dialog button boxes carry the stock icons, as on desktops whose
// theme asks for them.
class TIconStyle final : public QProxyStyle {
public:
    TIconStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("fusion"))) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_DialogButtonBox_ButtonsHaveIcons) {
            return 1;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// Records what the progress line showed each time it was painted.
class TPaintRecorder final : public QObject {
public:
    explicit TPaintRecorder(QLabel* label) : FLabel(label) { label->installEventFilter(this); }
    QStringList Painted;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == FLabel && event->type() == QEvent::Paint && FLabel->isVisible()) {
            Painted.append(FLabel->text());
        }
        return false;
    }

private:
    QLabel* FLabel;
};

// A plain data file of several mebibytes.
void WriteBigPlainFile(const QString& path) {
    QByteArray plain = "Arbolix data file\r\n";
    std::uint32_t state = 12345;
    while (plain.size() < 12 * 1024 * 1024) {
        state = state * 1103515245U + 12345U;
        plain += QByteArray::number(state) + " entry of a long diary\r\n";
    }
    WriteAll(path, plain);
}

const char* const OptionControls[] = {"AlgorithmCB",      "HashCB",         "RadioGroup1Item0", "RadioGroup1Item1",
                                      "RadioGroup1Item2", "UseCompression", "Decompress",       "Button3",
                                      "Button4",          "DoubleBackup",   "ChangePass",       "ChangeAlgorithm",
                                      "ExeName",          "Button2"};

// The texts of the window that do not fit their controls, with the controls' own fonts.
QStringList ClippedTexts(TForm1& form) {
    QStringList clipped;
    const auto check = [&](const QWidget* control, int need, int room) {
        if (need > room) {
            clipped.append(QStringLiteral("%1 needs %2, has %3").arg(control->objectName()).arg(need).arg(room));
        }
    };
    for (const QLabel* label : form.findChildren<QLabel*>()) {
        if (!label->text().isEmpty() && label->objectName() != QStringLiteral("Panel1")) {
            check(label, Width(label, label->text()), label->contentsRect().width());
            check(label, QFontMetrics(label->font()).height(), label->height());
        }
    }
    for (const QAbstractButton* button : form.findChildren<QAbstractButton*>()) {
        check(button, Width(button, button->text()), ButtonTextRect(button).width());
        check(button, QFontMetrics(button->font()).height(), button->height());
    }
    for (const QComboBox* combo : form.findChildren<QComboBox*>()) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.frame = true;
        const QRect field =
            combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
        for (int index = 0; index < combo->count(); ++index) {
            check(combo, Width(combo, combo->itemText(index)), field.width());
        }
    }
    for (const QGroupBox* group : form.findChildren<QGroupBox*>()) {
        QFont font = group->font();
        font.setBold(true); // as the styles that draw titles bold do
        check(group, QFontMetrics(font).horizontalAdvance(group->title()), group->width() - 16);
    }
    // The bottom strip: each label ends before the next one begins.
    const char* const strip[] = {"ProgVerBottom", "Label8", "Label4", "Label3"};
    for (int index = 0; index < 4; ++index) {
        const QLabel* label = Find<QLabel>(&form, strip[index]);
        const int end = index < 3 ? Find<QLabel>(&form, strip[index + 1])->x() : form.width();
        check(label, label->x() + Width(label, label->text()), end);
    }
    // The progress line with its longest text and a percentage.
    form.SetStatus("Encrypting.. [Uncompressed]");
    form.Progress(100, 100);
    auto* notify = Find<QLabel>(&form, "CompressedNotify");
    check(notify, Width(notify, QStringLiteral("Encrypting.. [Uncompressed] 100%")), notify->width());
    auto* panel = Find<QLabel>(&form, "Panel1");
    check(panel, Width(panel, QStringLiteral("Data successfully encrypted.")), panel->contentsRect().width());
    form.SetStatus("");
    return clipped;
}

// The shown controls of the window (the options shown) that overlap each
// other, stand outside the window, or reach into a group box's frame lines
// or title; the lines, the panels and the group boxes themselves are no such
// controls.
QStringList OverlappingControls(TForm1& form) {
    QStringList found;
    std::vector<std::pair<QString, QRect>> controls;
    for (QWidget* widget : form.findChildren<QWidget*>()) {
        const bool control = qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget) ||
                             qobject_cast<QLineEdit*>(widget) || qobject_cast<QComboBox*>(widget);
        const QString name = widget->objectName();
        if (control && widget->isVisible() && !name.isEmpty() && !name.startsWith(QStringLiteral("qt_")) &&
            name != QStringLiteral("Panel1") && widget->parentWidget() != Find<QWidget>(&form, "Panel1")) {
            controls.emplace_back(name, QRect(widget->mapTo(&form, QPoint(0, 0)), widget->size()));
        }
    }
    for (std::size_t one = 0; one < controls.size(); ++one) {
        if (!form.rect().contains(controls[one].second)) {
            found.append(controls[one].first + QStringLiteral(" outside the window"));
        }
        for (std::size_t other = one + 1; other < controls.size(); ++other) {
            if (controls[one].second.intersects(controls[other].second)) {
                found.append(controls[one].first + QStringLiteral(" over ") + controls[other].first);
            }
        }
    }
    for (QGroupBox* group : form.findChildren<QGroupBox*>()) {
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.lineWidth = 1;
        option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QPoint at = group->mapTo(&form, QPoint(0, 0));
        const QRect frame = group->style()
                                ->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, group)
                                .translated(at);
        const QRect title = group->style()
                                ->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group)
                                .translated(at);
        for (const auto& [name, rect] : controls) {
            if (rect.intersects(frame) && (!frame.adjusted(1, 1, -1, -1).contains(rect) || rect.intersects(title))) {
                found.append(name + QStringLiteral(" on the frame of ") + group->objectName());
            }
        }
    }
    return found;
}

} // namespace

class TDesktopTest final : public TWindowTest {
    Q_OBJECT

private slots:
    void EveryTextFitsItsControl();
    void TheLayoutFollowsTheDesktopFont_data();
    void TheLayoutFollowsTheDesktopFont();
    void DarkSchemeReads();
    void LinkColoursReadInLightAndDarkSchemes();
    void SchemeChangedWhileOpenIsFollowed();
    void RelabelledButtonsCarryNoYesNoIcons();
    void CollapsedWindowKeepsHiddenControlsOutOfReach();
    void ProgressLineShowsThePercentage();
    void LongStepsPaintTheWindowAndShowProgress();
    void CompressionPaintsTheWindow();
    void ScreenReadersReadTheCaptions();
    void WindowFrameIsCentredAndPanelHasTwoBevels();
    void EditorHintPointsAtThePathBox();
};

void TDesktopTest::EveryTextFitsItsControl() {
    TForm1 form;
    form.show();
    const QStringList clipped = ClippedTexts(form);
    QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join('\n')));
    form.SetStatus("Encrypting.. [Uncompressed]");
    form.Progress(100, 100);
    QCOMPARE(Find<QLabel>(&form, "CompressedNotify")->text(), QStringLiteral("Encrypting.. [Uncompressed] 100%"));
}

void TDesktopTest::TheLayoutFollowsTheDesktopFont_data() {
    QTest::addColumn<int>("points");
    for (const int points : {8, 10, 12, 16}) {
        QTest::newRow(qPrintable(QStringLiteral("%1 pt").arg(points))) << points;
    }
}

void TDesktopTest::TheLayoutFollowsTheDesktopFont() {
    QFETCH(int, points);
    const QFont original = QApplication::font();
    QFont desktop = original;
    desktop.setPointSize(points);
    QApplication::setFont(desktop);
    {
        TForm1 form;
        form.show();
        // The desktop's face at its size, not narrowed, in every control.
        QStringList otherFont;
        for (const QWidget* widget : form.findChildren<QWidget*>()) {
            const QFont font = widget->font();
            const double expected = widget->objectName() == QStringLiteral("Panel1") ? points * 1.5 : points;
            if (font.family() != desktop.family() || font.pointSizeF() != expected ||
                (font.stretch() != 0 && font.stretch() != 100)) {
                otherFont.append(widget->objectName());
            }
        }
        QVERIFY2(otherFont.isEmpty(), qPrintable(otherFont.join(' ')));
        // The whole layout scaled alike, at least with the font's size.
        QVERIFY2(form.Scale() >= points / 8.0, qPrintable(QString::number(form.Scale())));
        QCOMPARE(form.width(), form.Scaled(286));
        QCOMPARE(form.height(), form.Scaled(140));
        // The "?" buttons are at least as wide as they are tall.
        for (const char* name : {"Button1", "Button2", "Button3", "Button4"}) {
            const QWidget* button = Find<QWidget>(&form, name);
            QVERIFY2(button->width() >= button->height() && button->height() >= 17, name);
        }
        Find<QPushButton>(&form, "OptionsButton")->click();
        QCOMPARE(form.height(), form.Scaled(324));
        const QStringList clipped = ClippedTexts(form);
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join('\n')));
        const QStringList overlapping = OverlappingControls(form);
        QVERIFY2(overlapping.isEmpty(), qPrintable(overlapping.join('\n')));
    }
    QApplication::setFont(original);
}

void TDesktopTest::DarkSchemeReads() {
    const QPalette original = QApplication::palette();
    QApplication::setPalette(DarkPalette());
    {
        TForm1 form;
        form.show();
        const QColor background = form.palette().color(QPalette::Window);
        QVERIFY(background.lightness() < 100);
        QStringList unreadable;
        for (QWidget* control : form.findChildren<QWidget*>()) {
            if (qobject_cast<QLabel*>(control) || qobject_cast<QCheckBox*>(control) ||
                qobject_cast<QRadioButton*>(control) || qobject_cast<QGroupBox*>(control)) {
                if (!Readable(control->palette().color(QPalette::WindowText), background)) {
                    unreadable.append(control->objectName());
                }
            }
        }
        QVERIFY2(unreadable.isEmpty(), qPrintable(unreadable.join(' ')));
        // The progress line stays readable while the window is disabled.
        const QPalette notify = Find<QLabel>(&form, "CompressedNotify")->palette();
        QVERIFY(Readable(notify.color(QPalette::Disabled, QPalette::WindowText), background));
        QVERIFY(Readable(Find<QLabel>(&form, "Panel1")->palette().color(QPalette::Disabled, QPalette::WindowText),
                         background));
    }
    QApplication::setPalette(original);
}

void TDesktopTest::LinkColoursReadInLightAndDarkSchemes() {
    const QPalette original = QApplication::palette();
    for (const QPalette& scheme : {original, DarkPalette()}) {
        QApplication::setPalette(scheme);
        TForm1 form;
        form.show();
        const QColor background = form.palette().color(QPalette::Window);
        // The hover colours keep their hue (blue, red, green) at 4.5:1 or more.
        const struct {
            const char* Name;
            int Hue;
        } links[] = {{"ProgVerBottom", 240}, {"Label4", 0}, {"Label3", 120}};
        for (const auto& link : links) {
            auto* label = Find<QLabel>(&form, link.Name);
            QEvent enter(QEvent::Enter);
            QApplication::sendEvent(label, &enter);
            const QColor hover = label->palette().color(QPalette::WindowText);
            QVERIFY2(ContrastRatio(hover, background) >= 4.5, link.Name);
            QCOMPARE(hover.hue(), link.Hue);
            QEvent leave(QEvent::Leave);
            QApplication::sendEvent(label, &leave);
            QVERIFY2(ContrastRatio(label->palette().color(QPalette::WindowText), background) >= 4.5, link.Name);
        }
    }
    QApplication::setPalette(original);
}

void TDesktopTest::SchemeChangedWhileOpenIsFollowed() {
    const QPalette original = QApplication::palette();
    TForm1 form;
    form.show();
    QVERIFY(form.palette().color(QPalette::Window).lightness() > 150);
    QApplication::setPalette(DarkPalette());
    QCoreApplication::processEvents();
    const QColor background = form.palette().color(QPalette::Window);
    QVERIFY(background.lightness() < 100);
    QVERIFY(Readable(Find<QLabel>(&form, "Label2")->palette().color(QPalette::WindowText), background));
    QVERIFY(Readable(Find<QLabel>(&form, "Label4")->palette().color(QPalette::WindowText), background));
    QVERIFY(Readable(Find<QLabel>(&form, "CompressedNotify")->palette().color(QPalette::WindowText), background));
    QCOMPARE(Find<QLineEdit>(&form, "FName")->palette().color(QPalette::Base), background);
    QApplication::setPalette(original);
    QCoreApplication::processEvents();
    QCOMPARE(Find<QLabel>(&form, "Label4")->palette().color(QPalette::WindowText), QColor(Qt::black));
}

void TDesktopTest::RelabelledButtonsCarryNoYesNoIcons() {
    TForm1 form;
    form.show();
    QApplication::setStyle(new TIconStyle);
    struct TSeen {
        QStringList Texts;
        QList<bool> HasIcon;
    };
    std::vector<TSeen> seen;
    const auto look = [&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box != nullptr);
        TSeen one;
        for (QMessageBox::StandardButton which : {QMessageBox::Yes, QMessageBox::No}) {
            one.Texts.append(box->button(which)->text());
            one.HasIcon.append(!box->button(which)->icon().isNull());
        }
        seen.push_back(one);
        box->button(QMessageBox::No)->click();
    };
    {
        TModalAnswerer answerer;
        answerer.Expect(look);
        answerer.Expect(look);
        answerer.Expect(look);
        (void)form.QuestionBox("Plain question");
        form.PostPrivateMessage(datafile::TPromptKind::Algorithm);
        (void)form.QuestionBox("Change encryption algorithm to:\r\n(Current is: Rijndael)");
        form.PostPrivateMessage(datafile::TPromptKind::Hash);
        (void)form.QuestionBox("Change password hashing to:\r\n(Current is: RIPEMD-160)");
        QVERIFY2(answerer.Unexpected().isEmpty(), qPrintable(answerer.Unexpected().join('\n')));
    }
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("fusion")));
    QCOMPARE(seen.size(), std::size_t(3));
    // The style does give Yes and No their icons...
    QCOMPARE(seen[0].Texts, (QStringList{QStringLiteral("&Yes"), QStringLiteral("&No")}));
    QCOMPARE(seen[0].HasIcon, (QList<bool>{true, true}));
    // ...but not to the relabelled choices.
    QCOMPARE(seen[1].Texts, (QStringList{QStringLiteral("&Rijndael"), QStringLiteral("&Blowfish")}));
    QCOMPARE(seen[1].HasIcon, (QList<bool>{false, false}));
    QCOMPARE(seen[2].Texts, (QStringList{QStringLiteral("&RIPEMD-160"), QStringLiteral("&SHA-1")}));
    QCOMPARE(seen[2].HasIcon, (QList<bool>{false, false}));
}

void TDesktopTest::CollapsedWindowKeepsHiddenControlsOutOfReach() {
    TForm1 form;
    form.show();
    form.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form));
    TypeText(Find<QWidget>(&form, "MaskEdit1"), QStringLiteral("pw"));
    const auto tabRound = [&form] {
        QStringList reached;
        Find<QWidget>(&form, "MaskEdit1")->setFocus(Qt::TabFocusReason);
        for (int step = 0; step < 30; ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            const QString name = QApplication::focusWidget()->objectName();
            if (name == QStringLiteral("MaskEdit1")) {
                break;
            }
            reached.append(name);
        }
        return reached;
    };
    TModalAnswerer answerer; // a warning would mean Double-Backup was cleared
    const QStringList collapsed = tabRound();
    QCOMPARE(collapsed.join(' '),
             QStringLiteral("BitBtn2 BitBtn1 OptionsButton ProgVerBottom Label4 Label3 FName Button1"));
    for (const char* name : OptionControls) {
        QVERIFY2(!Find<QWidget>(&form, name)->isVisible(), name);
    }
    // The accelerators of hidden controls do nothing: a control reached by
    // its accelerator takes the focus and is pressed at once.
    QWidget* focus = QApplication::focusWidget();
    const struct {
        Qt::Key Key;
        const char* Control;
    } accelerators[] = {{Qt::Key_U, "DoubleBackup"}, {Qt::Key_M, "UseCompression"}, {Qt::Key_E, "RadioGroup1Item1"}};
    for (const auto& accelerator : accelerators) {
        QTest::keyClick(QApplication::focusWidget(), accelerator.Key, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), focus);
        QVERIFY2(!Find<QAbstractButton>(&form, accelerator.Control)->isDown(), accelerator.Control);
    }
    QCoreApplication::processEvents();
    QVERIFY(form.DoubleBackup());
    QVERIFY(!form.UseCompression());
    QVERIFY(Find<QAbstractButton>(&form, "RadioGroup1Item0")->isChecked());
    QVERIFY2(answerer.Seen().empty() && answerer.Unexpected().isEmpty(), "a hidden control was reached");

    // Expanded: every control again, top to bottom and left to right.
    Find<QPushButton>(&form, "OptionsButton")->click();
    for (const char* name : OptionControls) {
        QVERIFY2(Find<QWidget>(&form, name)->isVisible(), name);
    }
    const QStringList expanded = tabRound();
    const QStringList everyControl = {
        "BitBtn2", "BitBtn1",       "OptionsButton", "AlgorithmCB",  "HashCB",     "RadioGroup1Item0", "UseCompression",
        "Button3", "Decompress",    "Button4",       "DoubleBackup", "ChangePass", "ChangeAlgorithm",  "ExeName",
        "Button2", "ProgVerBottom", "Label4",        "Label3",       "FName",      "Button1"};
    QCOMPARE(expanded.join(' '), everyControl.join(' '));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_M, Qt::AltModifier);
    QCOMPARE(QApplication::focusWidget(), Find<QWidget>(&form, "UseCompression"));
    QTRY_VERIFY(form.UseCompression()); // the accelerator's click is animated
    // Collapsed again, out of reach again.
    Find<QPushButton>(&form, "OptionsButton")->click();
    QCOMPARE(tabRound().join(' '), collapsed.join(' '));
}

void TDesktopTest::ProgressLineShowsThePercentage() {
    TForm1 form;
    form.show();
    auto* notify = Find<QLabel>(&form, "CompressedNotify");
    form.SetStatus("Compressing..");
    QCOMPARE(notify->text(), QStringLiteral("Compressing.."));
    form.Progress(42, 100);
    QCOMPARE(notify->text(), QStringLiteral("Compressing.. 42%"));
    // A new step shows its first percentage at once, after its own text.
    form.SetStatus("Encrypting.. [Compressed]");
    form.Progress(std::uint64_t(3) << 40, std::uint64_t(4) << 40); // no overflow on big files
    QCOMPARE(notify->text(), QStringLiteral("Encrypting.. [Compressed] 75%"));
    form.SetStatus("Wiping data..");
    form.Progress(0, 0); // an empty file is done at once
    QCOMPARE(notify->text(), QStringLiteral("Wiping data.. 100%"));
    // A report from another thread leaves the window alone.
    form.SetStatus("Creating backup..");
    std::thread helper([&form] { form.Progress(10, 100); });
    helper.join();
    QCOMPARE(notify->text(), QStringLiteral("Creating backup.."));
    // A status naming files is shortened to the line; the percentage shows whole.
    form.SetStatus("Wiping data.. (and the editor's notes.qlx.qlt.swp, notes.qlx.qlt~, .notes.qlx.qlt.un~)");
    form.Progress(7, 10);
    QVERIFY2(notify->text().startsWith(QStringLiteral("Wiping data..")), qPrintable(notify->text()));
    QVERIFY2(notify->text().endsWith(QStringLiteral("\u2026 70%")), qPrintable(notify->text()));
    QVERIFY(Width(notify, notify->text()) <= notify->width());
    // Checking Decompress writes its text; progress follows that text.
    Find<QCheckBox>(&form, "Decompress")->setChecked(true);
    form.Progress(1, 2);
    QCOMPARE(notify->text(), QStringLiteral("Decompressing.. 50%"));
}

void TDesktopTest::LongStepsPaintTheWindowAndShowProgress() {
#ifndef QUILLOCK_FAKE_EDITOR
    QSKIP("needs the stand-in editor");
#else
    // A plain file of several mebibytes, imported, edited and compressed.
    const QString imported = FHome->Path(QStringLiteral("big.qlt"));
    WriteBigPlainFile(imported);
    qputenv("FAKE_EDITOR_ACTIONS", "append=one more line");
    TModalAnswerer answerer;
    answerer.ExpectBox(QStringLiteral("&Yes")); // import
    answerer.ExpectBox(QStringLiteral("OK"));   // the compression report
    auto form = std::make_unique<TForm1>(QStringList{imported});
    form->show();
    Find<QLineEdit>(form.get(), "ExeName")->setText(QStringLiteral(QUILLOCK_FAKE_EDITOR));
    Find<QCheckBox>(form.get(), "UseCompression")->setChecked(true);
    TypeText(Find<QWidget>(form.get(), "MaskEdit1"), QStringLiteral("pw"));
    TPaintRecorder recorder(Find<QLabel>(form.get(), "CompressedNotify"));
    Find<QPushButton>(form.get(), "BitBtn1")->click();
    qunsetenv("FAKE_EDITOR_ACTIONS");
    QVERIFY2(answerer.Unexpected().isEmpty(), qPrintable(answerer.Unexpected().join('\n')));
    QCOMPARE(form->ExitCode(), std::optional<int>(0));
    // The window was painted while the sealing ran, showing how far it was.
    const QRegularExpression sealing(QStringLiteral("^Encrypting\\.\\. \\[Compressed\\] \\d+%$"));
    QVERIFY2(recorder.Painted.indexOf(sealing) >= 0, qPrintable(recorder.Painted.join(" | ")));
    form.reset();
#endif
}

void TDesktopTest::CompressionPaintsTheWindow() {
    const QString plain = FHome->Path(QStringLiteral("big.qlt"));
    WriteBigPlainFile(plain);
    TForm1 form;
    form.show();
    form.LockWindow();
    form.SetStatus("Compressing..");
    TPaintRecorder recorder(Find<QLabel>(&form, "CompressedNotify"));
    datafile::CompressFile(ToPath(plain), ToPath(plain + QStringLiteral(".qlz")),
                           [&form](std::uint64_t done, std::uint64_t total) { form.Progress(done, total); });
    const QRegularExpression compressing(QStringLiteral("^Compressing\\.\\. \\d+%$"));
    QVERIFY2(recorder.Painted.indexOf(compressing) >= 0, qPrintable(recorder.Painted.join(" | ")));
    QVERIFY(QFileInfo(plain + QStringLiteral(".qlz")).size() > 0);
}

void TDesktopTest::ScreenReadersReadTheCaptions() {
    TForm1 form;
    form.show();
    const struct {
        const char* Control;
        QString Name;
        const char* Label;
    } controls[] = {
        {"FName", QStringLiteral("Data File"), "Label2"},
        {"MaskEdit1", QStringLiteral("Password"), "Label1"},
        {"AlgorithmCB", QStringLiteral("Algorithm"), "Label6"},
        {"HashCB", QStringLiteral("Hash"), "Label7"},
        {"ExeName", QStringLiteral("Path"), "Label5"},
        {"BitBtn1", QStringLiteral("Ok"), nullptr},
        {"BitBtn2", QStringLiteral("Cancel"), nullptr},
        {"OptionsButton", QStringLiteral("Options"), nullptr},
        {"UseCompression", QStringLiteral("Compress"), nullptr},
        {"Decompress", QStringLiteral("Decompress"), nullptr},
        {"DoubleBackup", QStringLiteral("Double-Backup\u00AE"), nullptr},
        {"ChangePass", QStringLiteral("Change password"), nullptr},
        {"ChangeAlgorithm", QStringLiteral("Change algorithm"), nullptr},
        {"RadioGroup1Item2", QStringLiteral("Office Edition"), nullptr},
        {"RadioGroup1", QStringLiteral("Arbolix Version"), nullptr},
        {"GroupBox1", QStringLiteral("Built-in compression"), nullptr},
    };
    for (const auto& control : controls) {
        QWidget* widget = Find<QWidget>(&form, control.Control);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        QVERIFY2(accessible != nullptr, control.Control);
        // A list box is read by its label, its name being the shown item.
        if (qobject_cast<QComboBox*>(widget) == nullptr) {
            QCOMPARE(accessible->text(QAccessible::Name), control.Name);
        }
        if (control.Label != nullptr) {
            auto* label = Find<QLabel>(&form, control.Label);
            QCOMPARE(label->buddy(), widget);
            QAccessibleInterface* labelAccessible = QAccessible::queryAccessibleInterface(label);
            bool labelled = false;
            for (const auto& relation : accessible->relations(QAccessible::Label)) {
                labelled = labelled || relation.first == labelAccessible;
            }
            QVERIFY2(labelled, control.Control);
            QCOMPARE(labelAccessible->text(QAccessible::Name), control.Name);
        }
    }
    // Every focusable control has a name; the "..." and "?" buttons say what they do.
    for (QWidget* widget : form.findChildren<QWidget*>()) {
        if ((widget->focusPolicy() & Qt::TabFocus) && !widget->objectName().isEmpty()) {
            const QString name = QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
            QVERIFY2(!name.isEmpty() && name != QStringLiteral("...") && name != QStringLiteral("?"),
                     qPrintable(widget->objectName()));
        }
    }
    QVERIFY(QAccessible::queryAccessibleInterface(Find<QWidget>(&form, "Button1"))
                ->text(QAccessible::Description)
                .contains(QStringLiteral("Browse")));
}

void TDesktopTest::WindowFrameIsCentredAndPanelHasTwoBevels() {
    TForm1 form;
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const QRect area = form.screen()->availableGeometry();
    const QRect frame = form.frameGeometry();
    QVERIFY2(std::abs(frame.x() + frame.width() / 2 - area.center().x()) <= 1, qPrintable(QString::number(frame.x())));
    QVERIFY2(std::abs(frame.y() + frame.height() / 2 - area.center().y()) <= 1, qPrintable(QString::number(frame.y())));

    auto* panel = Find<QLabel>(&form, "Panel1");
    panel->show();
    const QImage image = panel->grab().toImage();
    const int pixel = static_cast<int>(image.devicePixelRatio());
    const int middle = image.height() / 2;
    const QPalette colours = panel->palette();
    const QRgb dark = colours.color(QPalette::Dark).rgb();
    const QRgb light = colours.color(QPalette::Light).rgb();
    QVERIFY(dark != light);
    // Outer bevel lowered: dark at the top left, light at the bottom right;
    // the inner one raised the other way round.
    QCOMPARE(image.pixel(0, middle), dark);
    QCOMPARE(image.pixel(pixel, middle), light);
    QCOMPARE(image.pixel(image.width() - 1, middle), light);
    QCOMPARE(image.pixel(image.width() - 1 - pixel, middle), dark);
    QCOMPARE(image.pixel(image.width() / 2, 0), dark);
    QCOMPARE(image.pixel(image.width() / 2, pixel), light);
    panel->hide();
}

void TDesktopTest::EditorHintPointsAtThePathBox() {
    const QString imported = FHome->Path(QStringLiteral("notes.qlt"));
    WriteAll(imported, ReadAll(QStringLiteral(QUILLOCK_SOURCE_DIR "/data/sample/diary.qlt")));
    const QString missing = FHome->Path(QStringLiteral("no such folder/Arbolix.exe"));
    TModalAnswerer answerer;
    answerer.ExpectBox(QStringLiteral("&Yes")); // import
    answerer.ExpectBox(QStringLiteral("OK"));   // the editor could not be started
    {
        auto form = std::make_unique<TForm1>(QStringList{imported});
        form->show();
        Find<QLineEdit>(form.get(), "ExeName")->setText(missing);
        TypeText(Find<QWidget>(form.get(), "MaskEdit1"), QStringLiteral("pw"));
        Find<QPushButton>(form.get(), "BitBtn1")->click();
    }
    QVERIFY(answerer.Seen().size() >= 2);
    const TSeenBox& report = answerer.Seen()[1];
    QCOMPARE(report.Title, QStringLiteral("Error"));
    // The unable-to-start text, then the path tried, then where to change it.
    const QString text = report.Text;
    const qsizetype start = text.indexOf(QStringLiteral("ERROR: unable to start Arbolix!"));
    const qsizetype path = text.indexOf(missing);
    const qsizetype hint = text.indexOf(QStringLiteral("Path box"));
    QVERIFY2(start == 0 && path > start && hint > path, qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("Options")));
}

QObject* MakeDesktopTest() {
    return new TDesktopTest;
}

} // namespace quillock::ui::test

#include "DesktopTest.moc"
