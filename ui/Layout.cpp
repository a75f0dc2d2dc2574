// The main window's controls and their layout: geometry, fitted texts, colours, accessibility and tab order.
#include "ui/Unit1.h"

#include "datafile/Algorithms.h"
#include "session/Preferences.h"
#include "ui/Dialogs.h"
#include "ui/FormSupport.h"
#include "ui/Texts.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStyle>
#include <QStyleOption>
#include <qdrawutil.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <initializer_list>
#include <utility>

namespace quillock::ui {

QFont WindowFont() {
    QFont font = QApplication::font();
    font.setBold(false);
    font.setItalic(false);
    font.setUnderline(false);
    return font;
}

double PointSize(const QFont& font) {
    return font.pointSizeF() > 0 ? font.pointSizeF() : QFontInfo(font).pointSizeF();
}

namespace {

// Relative luminance of an sRGB colour.
double Luminance(const QColor& colour) {
    const auto channel = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

double Contrast(const QColor& one, const QColor& other) {
    const double a = Luminance(one);
    const double b = Luminance(other);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

} // namespace

QColor ReadableOn(const QColor& wanted, const QColor& background) {
    constexpr double Needed = 4.5;
    const QColor towards = Luminance(background) > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
    QColor colour = wanted;
    for (int step = 1; step <= 20 && Contrast(colour, background) < Needed; ++step) {
        const double share = step / 20.0;
        colour = QColor::fromRgbF(static_cast<float>(wanted.redF() * (1 - share) + towards.redF() * share),
                                  static_cast<float>(wanted.greenF() * (1 - share) + towards.greenF() * share),
                                  static_cast<float>(wanted.blueF() * (1 - share) + towards.blueF() * share));
    }
    return colour;
}

namespace {

constexpr int Panel2Height = 19;

// The password box: text is not selected when it takes the focus.
class TMaskEdit final : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    void focusInEvent(QFocusEvent* event) override {
        QLineEdit::focusInEvent(event);
        if (hasSelectedText()) {
            deselect();
        }
    }
    // An Alt+letter that no control takes is no character of the password.
    void keyPressEvent(QKeyEvent* event) override {
        if (event->modifiers().testFlag(Qt::AltModifier)) {
            event->ignore();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }
};

// A link of the bottom strip: reached by Tab and by its letter, pressed with
// Enter or Space, drawn with its letter underlined and a focus frame.
class TLinkLabel final : public QLabel {
public:
    TLinkLabel(QWidget* parent, std::function<void()> press) : QLabel(parent), FPress(std::move(press)) {
        setFocusPolicy(Qt::TabFocus); // a click presses it without moving the focus
    }

    // The letter of the text that presses the link with Alt.
    void SetMnemonic(QChar letter) {
        FMnemonic = letter;
        auto* shortcut = new QShortcut(QKeySequence(QStringLiteral("Alt+") + letter), this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this] {
            if (isVisible() && isEnabled()) {
                setFocus(Qt::ShortcutFocusReason);
                FPress();
            }
        });
        update();
    }
    void Press() const { FPress(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        QString shown = text();
        const qsizetype at = shown.indexOf(FMnemonic, 0, Qt::CaseInsensitive);
        if (!FMnemonic.isNull() && at >= 0) {
            shown.insert(at, QLatin1Char('&'));
        }
        style()->drawItemText(&painter, contentsRect(), static_cast<int>(alignment()) | Qt::TextShowMnemonic, palette(),
                              isEnabled(), shown, foregroundRole());
        if (hasFocus()) {
            QStyleOptionFocusRect option;
            option.initFrom(this);
            option.backgroundColor = palette().color(QPalette::Window);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space) {
            FPress();
            return;
        }
        QLabel::keyPressEvent(event);
    }

private:
    std::function<void()> FPress;
    QChar FMnemonic;
};

// Screen readers know the strip's labels for links they can press.
class TLinkAccessible final : public QAccessibleWidget {
public:
    explicit TLinkAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Link) {}
    [[nodiscard]] QString text(QAccessible::Text kind) const override {
        const QString own = QAccessibleWidget::text(kind);
        return kind == QAccessible::Name && own.isEmpty() ? static_cast<QLabel*>(widget())->text() : own;
    }
    [[nodiscard]] QStringList actionNames() const override { return {pressAction(), setFocusAction()}; }
    void doAction(const QString& action) override {
        if (action == pressAction()) {
            static_cast<const TLinkLabel*>(widget())->Press();
        } else {
            QAccessibleWidget::doAction(action);
        }
    }
};

QAccessibleInterface* LinkAccessibleFactory(const QString&, QObject* object) {
    if (auto* link = dynamic_cast<TLinkLabel*>(object)) {
        return new TLinkAccessible(link);
    }
    return nullptr;
}

QFont Styled(bool bold, bool italic = false, bool underline = false) {
    QFont font = WindowFont();
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    return font;
}

// The "Please wait.." panel: a lowered outer and a raised inner bevel.
class TPanel final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override {
        QLabel::paintEvent(event);
        QPainter painter(this);
        const QPalette& colours = palette();
        qDrawShadePanel(&painter, rect(), colours, true, 1);
        qDrawShadePanel(&painter, rect().adjusted(1, 1, -1, -1), colours, false, 1);
    }
};

// How wide a control's text is drawn with its font, accelerator marks taken out.
int TextWidth(const QWidget* widget, const QString& text) {
    return widget->fontMetrics().size(Qt::TextShowMnemonic, text).width();
}

// The room a control's style leaves for its text, and the width the text
// needs; an empty need means the control shows no text of its own.
struct TTextRoom {
    int Room = 0;
    int Need = 0;
};

TTextRoom TextRoomOf(const QWidget* widget) {
    const QStyle* style = widget->style();
    if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        return {label->contentsRect().width(), TextWidth(label, label->text())};
    }
    if (const auto* box = qobject_cast<const QCheckBox*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        return {style->subElementRect(QStyle::SE_CheckBoxContents, &option, box).width(), TextWidth(box, box->text())};
    }
    if (const auto* item = qobject_cast<const QRadioButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(item);
        option.text = item->text();
        return {style->subElementRect(QStyle::SE_RadioButtonContents, &option, item).width(),
                TextWidth(item, item->text())};
    }
    if (const auto* button = qobject_cast<const QPushButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        int room = style->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
        if (!button->icon().isNull()) {
            room -= button->iconSize().width() + 4;
        }
        return {room, TextWidth(button, button->text())};
    }
    if (const auto* combo = qobject_cast<const QComboBox*>(widget)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        option.frame = combo->hasFrame();
        const int room =
            style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo).width();
        int need = 0;
        for (int index = 0; index < combo->count(); ++index) {
            need = std::max(need, TextWidth(combo, combo->itemText(index)));
        }
        return {room, need};
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(widget)) {
        // Some styles draw every group title bold: measure it so.
        QFont font = group->font();
        font.setBold(true);
        const int need = QFontMetrics(font).size(Qt::TextShowMnemonic, group->title()).width();
        return {group->width() - 2 * 8, need};
    }
    return {};
}

// Whether rect (in the group box's coordinates) lies within its frame's
// lines and clear of its title.
bool InsideFrame(const QGroupBox* group, const QRect& rect) {
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.lineWidth = 1;
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    const QStyle* style = group->style();
    const QRect frame = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxFrame, group);
    const QRect title = style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
    return frame.adjusted(1, 1, -1, -1).contains(rect) && !title.intersects(rect);
}

// Narrows, then shrinks, a control's font until its text fits the room its
// style leaves; the control keeps its place and size.
void FitText(QWidget* widget) {
    QFont font = widget->font();
    while (TextRoomOf(widget).Need > TextRoomOf(widget).Room) {
        if (font.stretch() > 70) {
            font.setStretch(font.stretch() - 5);
        } else if (font.pointSizeF() > 6.5) {
            font.setPointSizeF(font.pointSizeF() - 0.5);
        } else {
            break;
        }
        widget->setFont(font);
    }
}

template <typename TWidget> TWidget* Make(QWidget* parent, const char* name, int left, int top, int width, int height) {
    auto* widget = new TWidget(parent);
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(left, top, width, height);
    return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const std::string& caption, int left, int top, int width = -1,
                  int height = -1) {
    auto* label = new QLabel(FromCp1252(caption), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setFont(WindowFont());
    if (width < 0) {
        label->move(left, top);
        label->adjustSize(); // sized to its caption
    } else {
        label->setGeometry(left, top, width, height);
    }
    return label;
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const std::string& caption, int left, int top, int width,
                        int height) {
    auto* box = Make<QCheckBox>(parent, name, left, top, width, height);
    box->setText(FromCp1252(caption));
    box->setFont(WindowFont());
    return box;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const std::string& caption, int left, int top, int width,
                        int height) {
    auto* button = Make<QPushButton>(parent, name, left, top, width, height);
    button->setText(FromCp1252(caption));
    // Enter presses the focused button; OK is the default only while an edit
    // box has the focus (see FollowFocus).
    button->setAutoDefault(true);
    return button;
}

QFrame* MakeLine(QWidget* parent, const char* name, int left, int top, int width) {
    auto* line = Make<QFrame>(parent, name, left, top, width, 2);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

} // namespace

// ---------------------------------------------------------------- controls

void TForm1::CreateControls() {
    const QFont plain = WindowFont();
    const QFont bold = Styled(true);

    Label2 = MakeLabel(this, "Label2", "Data &File", 10, 14, 52, 13);
    Label2->setFont(bold);

    FName = Make<QLineEdit>(this, "FName", 72, 8, 177, 21);
    FName->setReadOnly(true);

    Button1 = MakeButton(this, "Button1", "...", 256, 10, 25, 17);
    Button1->setToolTip(QStringLiteral("Browse for files to open or import"));

    Label1 = MakeLabel(this, "Label1", "Pass&word", 8, 48, 55, 13);
    Label1->setFont(bold);

    MaskEdit1 = new TMaskEdit(this);
    MaskEdit1->setObjectName(QStringLiteral("MaskEdit1"));
    MaskEdit1->setGeometry(72, 40, 201, 21);
    MaskEdit1->setValidator(new TCp1252Validator(MaskEdit1));
    SetHashPasswordChar(MaskEdit1);

    BitBtn2 = MakeButton(this, "BitBtn2", "&Cancel", 48, 72, 73, 25);
    BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));

    BitBtn1 = MakeButton(this, "BitBtn1", "&Ok", 152, 72, 97, 25);
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    BitBtn1->setFont(bold);
    BitBtn1->setEnabled(false);
    BitBtn1->setDefault(true);

    OptionsButton = MakeButton(this, "OptionsButton", "Op&tions", 96, 100, 89, 16);
    OptionsButton->setToolTip(QStringLiteral("Click here to display options.."));

    Bevel2 = MakeLine(this, "Bevel2", 16, 108, 249);
    Bevel2->lower(); // the button stands on the line

    GroupBox3 = Make<QGroupBox>(this, "GroupBox3", 16, 118, 249, 42);
    GroupBox3->setTitle(QStringLiteral("Encryption"));
    GroupBox3->setFont(bold);
    Label6 = MakeLabel(GroupBox3, "Label6", "&Algorithm", 8, 20, 43, 13);
    AlgorithmCB = Make<QComboBox>(GroupBox3, "AlgorithmCB", 56, 15, 65, 21);
    AlgorithmCB->setFont(plain);
    for (const datafile::TCipherEntry& cipher : datafile::Ciphers()) {
        AlgorithmCB->addItem(FromCp1252(std::string(cipher.Name)));
    }
    AlgorithmCB->setCurrentIndex(0);
    AlgorithmCB->setToolTip(QStringLiteral("Select a specific encryption algorithm"));
    Label7 = MakeLabel(GroupBox3, "Label7", "Ha&sh", 126, 20, 25, 13);
    HashCB = Make<QComboBox>(GroupBox3, "HashCB", 154, 15, 89, 21);
    HashCB->setFont(plain);
    for (const datafile::THashEntry& hash : datafile::Hashes()) {
        HashCB->addItem(FromCp1252(std::string(hash.Name)));
    }
    HashCB->setCurrentIndex(0);
    HashCB->setToolTip(QStringLiteral("Use a specific hashing algorithm for the password"));

    RadioGroup1 = Make<QGroupBox>(this, "RadioGroup1", 16, 163, 113, 73);
    RadioGroup1->setTitle(QStringLiteral("Arbolix Version"));
    RadioGroup1->setToolTip(FromCp1252("Select Arbolix\xAE version to run"));
    RadioGroup1Items = new QButtonGroup(RadioGroup1);
    RadioGroup1Items->setExclusive(true);
    {
        // One row per edition, sharing the space under the caption evenly.
        constexpr const char* Items[session::EditionCount] = {"&Basic", "&Extra", "Office Ed&ition"};
        constexpr int Rows = static_cast<int>(session::EditionCount);
        const int fontHeight = 13;
        const int space = RadioGroup1->height() - fontHeight - 5;
        const int rowHeight = space / Rows;
        const int topMargin = fontHeight + 1 + (space % Rows) / 2;
        for (int index = 0; index < Rows; ++index) {
            auto* item = new QRadioButton(QString::fromLatin1(Items[index]), RadioGroup1);
            item->setObjectName(QStringLiteral("RadioGroup1Item%1").arg(index));
            item->setGeometry(8, topMargin + index * rowHeight, RadioGroup1->width() - 10, rowHeight);
            item->setFont(plain);
            RadioGroup1Items->addButton(item, index);
        }
        RadioGroup1Items->button(0)->setChecked(true);
    }

    GroupBox1 = Make<QGroupBox>(this, "GroupBox1", 136, 163, 129, 57);
    GroupBox1->setTitle(QStringLiteral("Built-in compression"));
    GroupBox1->setFont(bold);
    UseCompressionBox = MakeCheckBox(GroupBox1, "UseCompression", "Co&mpress", 8, 16, 73, 17);
    UseCompressionBox->setToolTip(
        QStringLiteral("Reduce filesize (using standard zip/rar compression has no effects!)"));
    DecompressBox = MakeCheckBox(GroupBox1, "Decompress", "&Decompress", 8, 33, 80, 16);
    DecompressBox->setToolTip(QStringLiteral("Return a compressed file to the standard format"));

    const QString compressionHint = QStringLiteral("Show some informations about the built-in compression");
    Button3 = MakeButton(this, "Button3", "?", 224, 178, 13, 17);
    Button3->setCursor(Qt::PointingHandCursor);
    Button3->setToolTip(compressionHint);
    Button4 = MakeButton(this, "Button4", "?", 224, 196, 13, 17);
    Button4->setCursor(Qt::PointingHandCursor);
    Button4->setToolTip(compressionHint);

    DoubleBackupBox = MakeCheckBox(this, "DoubleBackup", "Do&uble-Backup\xAE", 144, 223, 103, 16);
    DoubleBackupBox->setChecked(true);
    DoubleBackupBox->setToolTip(
        QStringLiteral("This toggle the creation of an addictional backup file (extension: .old)"));

    GroupBox2 = Make<QGroupBox>(this, "GroupBox2", 16, 240, 249, 34);
    GroupBox2->setTitle(QStringLiteral("Modify the file"));
    GroupBox2->setFont(bold);
    ChangePassBox = MakeCheckBox(GroupBox2, "ChangePass", "C&hange password", 8, 13, 105, 17);
    ChangePassBox->setToolTip(QStringLiteral("You will be prompted to enter a new password when closing the file"));
    ChangeAlgorithmBox = MakeCheckBox(GroupBox2, "ChangeAlgorithm", "Change al&gorithm", 128, 13, 105, 17);
    ChangeAlgorithmBox->setToolTip(
        QStringLiteral("You will be prompted to change encryption algorithm when closing the file"));

    Label5 = MakeLabel(this, "Label5", "&Path", 16, 286, 32, 13);
    Label5->setFont(Styled(true, true));
    ExeNameEdit = Make<QLineEdit>(this, "ExeName", 48, 280, 193, 21);
    ExeNameEdit->setText(QStringLiteral("Arbolix.exe"));
    ExeNameEdit->setToolTip(FromCp1252("Location of Arbolix\xAE executable"));
    Button2 = MakeButton(this, "Button2", "...", 248, 283, 17, 17);
    Button2->setToolTip(FromCp1252("Browse for Arbolix\xAE executable"));

    // The "Please wait.." panel over the password row and the two buttons;
    // its texts stay readable while the window is disabled.
    Panel1 = new TPanel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(8, 40, 268, 57);
    Panel1->setText(QStringLiteral("Please wait.."));
    Panel1->setAlignment(Qt::AlignCenter);
    Panel1->setFrameStyle(QFrame::NoFrame);
    Panel1->setContentsMargins(2, 2, 2, 2);
    Panel1->setAutoFillBackground(true);
    {
        QFont font = Styled(true, true);
        font.setPointSizeF(PointSize(plain) * 1.5); // 12 points beside 8
        Panel1->setFont(font);
    }
    CompressedNotify = Make<QLabel>(Panel1, "CompressedNotify", 48, 40, 177, 13);
    CompressedNotify->setText(QStringLiteral("-"));
    CompressedNotify->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    CompressedNotify->setFont(bold);
    Panel1->hide();

    // The bottom strip follows the window's bottom edge (see resizeEvent).
    Panel2 = Make<QWidget>(this, "Panel2", 0, height() - Panel2Height, ClientWidth, Panel2Height);
    Panel2->setAutoFillBackground(true);
    Bevel1 = MakeLine(Panel2, "Bevel1", 0, 2, ClientWidth);
    const auto makeLink = [this](const char* name, const std::string& caption, int left, void (TForm1::*press)()) {
        auto* link = new TLinkLabel(Panel2, [this, press] { (this->*press)(); });
        link->setObjectName(QString::fromLatin1(name));
        link->setText(FromCp1252(caption));
        link->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        link->setFont(WindowFont());
        link->move(left, 4);
        link->adjustSize();
        return link;
    };
    ProgVerBottom = makeLink("ProgVerBottom", "", 0, &TForm1::ProgVerBottomClick);
    ProgVerBottom->setCursor(Qt::PointingHandCursor);
    ProgVerBottom->setToolTip(QStringLiteral("Click here to show information about this program"));
    Label8 = MakeLabel(Panel2, "Label8", "by", 148, 4);
    Label4 = makeLink("Label4", AuthorName, 162, &TForm1::Label4Click);
    Label4->setFont(Styled(true, false, true));
    Label4->setCursor(Qt::PointingHandCursor);
    Label4->setToolTip(QStringLiteral("Click here to e-mail me!"));
    Label4->adjustSize();
    Label3 = makeLink("Label3", "License", 243, &TForm1::Label3Click);
    Label3->setFont(Styled(false, true));
    Label3->setCursor(Qt::PointingHandCursor);
    Label3->setToolTip(QStringLiteral("Click here to show info about the license"));
    Label3->adjustSize();
    // Letters of their own: Ver, Quillock, License.
    const std::pair<QLabel*, char> letters[] = {{ProgVerBottom, 'V'}, {Label4, 'Q'}, {Label3, 'L'}};
    for (const auto& [link, letter] : letters) {
        link->installEventFilter(this);
        static_cast<TLinkLabel*>(link)->SetMnemonic(QLatin1Char(letter));
    }
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(LinkAccessibleFactory);
        return true;
    }();
    (void)factoryInstalled;

    VersionsHistory = new QPlainTextEdit(Panel2);
    VersionsHistory->setObjectName(QStringLiteral("VersionsHistory"));
    VersionsHistory->setLineWrapMode(QPlainTextEdit::NoWrap);
    VersionsHistory->setPlainText(FromCp1252(VersionHistoryText()));
    VersionsHistory->setFocusPolicy(Qt::NoFocus);
    VersionsHistory->hide();
    LicenseInfo = new QPlainTextEdit(Panel2);
    LicenseInfo->setObjectName(QStringLiteral("LicenseInfo"));
    LicenseInfo->setLineWrapMode(QPlainTextEdit::NoWrap);
    LicenseInfo->setPlainText(FromCp1252(LicenseText()));
    LicenseInfo->setFocusPolicy(Qt::NoFocus);
    LicenseInfo->hide();

    // Change events: check boxes, the radio group and the path box on every
    // change; the two lists only when the user picks an item.
    connect(BitBtn1, &QPushButton::clicked, this, &TForm1::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TForm1::BitBtn2Click);
    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm1::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TForm1::Button4Click);
    connect(OptionsButton, &QPushButton::clicked, this, &TForm1::OptionsButtonClick);
    connect(MaskEdit1, &QLineEdit::textChanged, this, &TForm1::MaskEdit1Change);
    connect(ExeNameEdit, &QLineEdit::textChanged, this, &TForm1::ExeNameChange);
    connect(RadioGroup1Items, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked) {
            RadioGroup1Click();
        }
    });
    connect(UseCompressionBox, &QCheckBox::toggled, this, &TForm1::UseCompressionClick);
    connect(DecompressBox, &QCheckBox::toggled, this, &TForm1::DecompressClick);
    connect(DoubleBackupBox, &QCheckBox::toggled, this, &TForm1::DoubleBackupClick);
    connect(ChangePassBox, &QCheckBox::toggled, this, &TForm1::ChangePassClick);
    connect(ChangeAlgorithmBox, &QCheckBox::toggled, this, &TForm1::ChangePassClick);
    connect(AlgorithmCB, &QComboBox::activated, this, &TForm1::AlgorithmCBChange);
    connect(HashCB, &QComboBox::activated, this, &TForm1::AlgorithmCBChange);
}

void TForm1::SetTabOrder() {
    // The visual order, top to bottom and left to right, a group box as one
    // block; controls hidden while the options are collapsed are passed over.
    QList<QWidget*> order = {FName, Button1, MaskEdit1, BitBtn2, BitBtn1, OptionsButton, AlgorithmCB, HashCB};
    for (QAbstractButton* item : RadioGroup1Items->buttons()) {
        order.append(item);
    }
    order.append({UseCompressionBox, Button3, DecompressBox, Button4, DoubleBackupBox, ChangePassBox,
                  ChangeAlgorithmBox, ExeNameEdit, Button2, ProgVerBottom, Label4, Label3});
    for (qsizetype index = 1; index < order.size(); ++index) {
        QWidget::setTabOrder(order[index - 1], order[index]);
    }
    MaskEdit1->setFocus(Qt::OtherFocusReason);
    FFocusFollower =
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { FollowFocus(now); });
}

void TForm1::FollowFocus(QWidget* focused) {
    if (focused == nullptr || focused->window() != this) {
        return;
    }
    // A focused button is the default itself; Enter on any other control but
    // an edit box presses nothing.
    if (qobject_cast<QLineEdit*>(focused) != nullptr) {
        BitBtn1->setDefault(true);
    } else if (qobject_cast<QPushButton*>(focused) == nullptr) {
        BitBtn1->setDefault(false);
    }
}

void TForm1::ApplyPalette() {
    // The button face of the desktop's scheme, with the text colour that goes
    // with it; only the hover colours of the links are fixed.
    const QPalette scheme = QApplication::palette();
    FSchemeKey = scheme.cacheKey();
    const QColor face = scheme.color(QPalette::Active, QPalette::Button);
    const QColor text = scheme.color(QPalette::Active, QPalette::ButtonText);
    QPalette window;
    window.setColor(QPalette::Window, face);
    window.setColor(QPalette::Active, QPalette::WindowText, text);
    window.setColor(QPalette::Inactive, QPalette::WindowText, text);
    setPalette(window);
    QPalette readOnlyBox;
    readOnlyBox.setColor(QPalette::Base, face);
    FName->setPalette(readOnlyBox);
    // The panel and its progress line stay readable while the window is disabled.
    QPalette panel;
    panel.setColor(QPalette::WindowText, text);
    Panel1->setPalette(panel);
    const QColor progress = ReadableOn(face.lightness() < 128 ? QColor(128, 160, 255) : QColor(0, 0, 128), face);
    QPalette notify;
    notify.setColor(QPalette::WindowText, progress);
    CompressedNotify->setPalette(notify);
}

void TForm1::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    const bool schemeChange =
        event->type() == QEvent::ApplicationPaletteChange || event->type() == QEvent::PaletteChange;
    if (schemeChange && Panel1 != nullptr && QApplication::palette().cacheKey() != FSchemeKey) {
        ApplyPalette();
    }
}

void TForm1::FitTexts() {
    for (QWidget* control : std::initializer_list<QWidget*>{
             Label2,        Button1,     Label1,  BitBtn2,         BitBtn1,     OptionsButton, GroupBox3,
             Label6,        AlgorithmCB, Label7,  HashCB,          RadioGroup1, GroupBox1,     UseCompressionBox,
             DecompressBox, Button3,     Button4, DoubleBackupBox, GroupBox2,   ChangePassBox, ChangeAlgorithmBox,
             Label5,        Button2,     Panel1}) {
        FitText(control);
    }
    for (QAbstractButton* item : RadioGroup1Items->buttons()) {
        FitText(item);
    }
    // The progress line with the longest text it shows.
    {
        const QString shown = CompressedNotify->text();
        CompressedNotify->setText(QStringLiteral("Encrypting.. [Uncompressed] 100%"));
        FitText(CompressedNotify);
        CompressedNotify->setText(shown);
    }
    // The bottom strip's labels are as wide as their texts and end before
    // the next one begins.
    const struct {
        QLabel* Label;
        int End;
    } strip[] = {{ProgVerBottom, Label8->x()}, {Label8, Label4->x()}, {Label4, Label3->x()}, {Label3, width()}};
    for (const auto& item : strip) {
        QFont font = item.Label->font();
        item.Label->adjustSize();
        while (item.Label->x() + item.Label->width() > item.End && font.pointSizeF() > 6.5) {
            if (font.stretch() > 70) {
                font.setStretch(font.stretch() - 5);
            } else {
                font.setPointSizeF(font.pointSizeF() - 0.5);
            }
            item.Label->setFont(font);
            item.Label->adjustSize();
        }
    }
}

void TForm1::SetAccessibility() {
    // Screen readers read the controls' captions; a control without a caption
    // of its own is named after its label, and each label points at its control.
    const struct {
        QLabel* Label;
        QWidget* Control;
    } buddies[] = {
        {Label2, FName}, {Label1, MaskEdit1}, {Label6, AlgorithmCB}, {Label7, HashCB}, {Label5, ExeNameEdit}};
    for (const auto& pair : buddies) {
        pair.Label->setBuddy(pair.Control);
        pair.Control->setAccessibleName(QString(pair.Label->text()).remove(QLatin1Char('&')));
    }
    const auto named = [](QWidget* control, const QString& name) { control->setAccessibleName(name); };
    for (QAbstractButton* button : findChildren<QAbstractButton*>()) {
        named(button, QString(button->text()).remove(QLatin1Char('&')));
    }
    named(Button1, QStringLiteral("Browse for the data file"));
    named(Button2, QStringLiteral("Browse for the editor"));
    named(Button3, QStringLiteral("About Compress"));
    named(Button4, QStringLiteral("About Decompress"));
    for (QGroupBox* group : findChildren<QGroupBox*>()) {
        named(group, group->title());
    }
    for (QWidget* control : findChildren<QWidget*>()) {
        if (control->accessibleDescription().isEmpty() && !control->toolTip().isEmpty()) {
            control->setAccessibleDescription(control->toolTip());
        }
    }
}

// ---------------------------------------------------------------- geometry

int TForm1::OuterHeight() const {
    return height() + FrameHeight;
}

int TForm1::Scaled(int design) const {
    return static_cast<int>(std::lround(design * FScale));
}

QRect TForm1::Scaled(const QRect& design) const {
    // Edges are scaled, not sizes, so that controls that meet still meet.
    const int left = Scaled(design.x());
    const int top = Scaled(design.y());
    return {left, top, Scaled(design.x() + design.width()) - left, Scaled(design.y() + design.height()) - top};
}

void TForm1::ChooseScale() {
    // The layout's pixels are those of an 8-point face; the window grows
    // with the desktop's font, and further until every text fits.
    // Places are kept in the window's coordinates, so that a control in a
    // group box and one beside it that meet in the layout still meet.
    for (QWidget* control : findChildren<QWidget*>()) {
        if (!control->objectName().isEmpty() && !control->objectName().startsWith(QStringLiteral("qt_"))) {
            FDesignRects.push_back({control, QRect(control->mapTo(this, QPoint(0, 0)), control->size()),
                                    control->parentWidget()->mapTo(this, QPoint(0, 0))});
        }
    }
    constexpr double Step = 0.05;
    const double start = std::max(1.0, PointSize(font()) / 8.0);
    ScaleLayout(start);
    while (!LayoutFits() && FScale < 3 * start) {
        ScaleLayout(FScale + Step);
    }
}

void TForm1::ScaleLayout(double scale) {
    FScale = scale;
    for (const auto& [control, design, parentAt] : FDesignRects) {
        QRect rect = Scaled(design).translated(-Scaled(QRect(parentAt, QSize())).topLeft());
        if (const auto* line = qobject_cast<const QFrame*>(control);
            line != nullptr && line->frameShape() == QFrame::HLine) {
            rect.setHeight(design.height());
        }
        control->setGeometry(rect);
    }
    // Small buttons are at least square, so a "?" is as easy to hit as it is tall.
    for (QPushButton* button : {Button1, Button2, Button3, Button4}) {
        button->resize(std::max(button->width(), button->height()), button->height());
    }
    // The bottom strip's labels are as wide as their texts.
    for (QLabel* label : {ProgVerBottom, Label8, Label4, Label3}) {
        label->adjustSize();
    }
    SetDesignHeight(FDesignHeight);
}

bool TForm1::LayoutFits() const {
    for (const auto& [control, design, parentAt] : FDesignRects) {
        const TTextRoom text = TextRoomOf(control);
        if (text.Need > text.Room) {
            return false;
        }
        const bool oneLine =
            qobject_cast<const QLabel*>(control) != nullptr || qobject_cast<const QAbstractButton*>(control) != nullptr;
        if (oneLine && control != Panel1 && control->fontMetrics().height() > control->height()) {
            return false;
        }
        // Nothing in a group box reaches into its frame's lines or its title.
        if (const auto* group = qobject_cast<const QGroupBox*>(control->parentWidget());
            group != nullptr && !InsideFrame(group, control->geometry())) {
            return false;
        }
    }
    const QLabel* const strip[] = {ProgVerBottom, Label8, Label4, Label3};
    for (std::size_t index = 0; index < std::size(strip); ++index) {
        const int end = index + 1 < std::size(strip) ? strip[index + 1]->x() : width();
        if (strip[index]->x() + strip[index]->width() > end) {
            return false;
        }
    }
    const QFontMetrics notify = CompressedNotify->fontMetrics();
    return notify.horizontalAdvance(QStringLiteral("Encrypting.. [Uncompressed] 100%")) <=
               CompressedNotify->contentsRect().width() &&
           Panel1->fontMetrics().horizontalAdvance(QStringLiteral("Data successfully encrypted.")) <=
               Panel1->contentsRect().width();
}

void TForm1::SetDesignHeight(int clientHeight) {
    FDesignHeight = clientHeight;
    setFixedSize(Scaled(ClientWidth), Scaled(clientHeight));
    if (Panel2 != nullptr) {
        Panel2->setGeometry(0, height() - Scaled(Panel2Height), width(), Scaled(Panel2Height));
        Panel2->raise();
        HideCoveredControls();
    }
}

void TForm1::HideCoveredControls() {
    // A control that the bottom strip covers, wholly or in part, is hidden:
    // neither Tab nor its accelerator reaches it. Tab order is unchanged, so
    // the shown controls keep the form's order.
    const int stripTop = height() - Scaled(Panel2Height);
    for (QWidget* control : std::initializer_list<QWidget*>{
             AlgorithmCB, HashCB, Label6, Label7, UseCompressionBox, DecompressBox, Button3, Button4, DoubleBackupBox,
             ChangePassBox, ChangeAlgorithmBox, Label5, ExeNameEdit, Button2}) {
        const int bottom = control->mapTo(this, QPoint(0, control->height())).y();
        control->setVisible(bottom <= stripTop);
    }
    for (QAbstractButton* item : RadioGroup1Items->buttons()) {
        item->setVisible(item->mapTo(this, QPoint(0, item->height())).y() <= stripTop);
    }
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (Panel2 != nullptr) {
        Panel2->setGeometry(0, height() - Scaled(Panel2Height), width(), Scaled(Panel2Height));
        Panel2->raise();
    }
}

} // namespace quillock::ui
