// The main window: its controls, their handlers, start-up and settings, the
// window operations of the editing session and the closing-time prompts.
#include "ui/Unit1.h"

#include "datafile/Algorithms.h"
#include "platform/Association.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/Wipe.h"
#include "session/Preferences.h"
#include "session/Session.h"
#include "ui/Dialogs.h"
#include "ui/Texts.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QStyleOption>
#include <QSystemTrayIcon>
#include <QThread>
#include <QUrl>
#include <qdrawutil.h>

#include <algorithm>

namespace quillock::ui {
namespace {

using datafile::TModalResult;
using datafile::TMsgDlgButtons;
using datafile::TMsgDlgType;

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
};

QFont WindowFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    font.setStretch(85);
    font.setBold(false);
    font.setItalic(false);
    font.setUnderline(false);
    return font;
}

QFont Styled(bool bold, bool italic = false, bool underline = false) {
    QFont font = WindowFont();
    font.setBold(bold);
    font.setItalic(italic);
    font.setUnderline(underline);
    return font;
}

void SetTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

// Back to the text colour of the window's palette, light or dark scheme.
void ResetTextColour(QWidget* widget) {
    widget->setPalette(QPalette());
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
    button->setAutoDefault(false);
    return button;
}

QFrame* MakeLine(QWidget* parent, const char* name, int left, int top, int width) {
    auto* line = Make<QFrame>(parent, name, left, top, width, 2);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// The read-only rule of the core, for a path from a box.
bool IsReadOnly(const QString& path) {
    return platform::IsReadOnly(ToPath(path));
}

// The private event that tells the window which prompt opens next.
QEvent::Type PromptEventType(datafile::TPromptKind prompt) {
    constexpr int First = QEvent::User + 0x800;
    return static_cast<QEvent::Type>(First + static_cast<int>(prompt));
}

} // namespace

// ---------------------------------------------------------------- creation

TForm1::TForm1(const QStringList& arguments, QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quillock"));
    setFont(WindowFont());
    setAutoFillBackground(true);
    setFixedSize(ClientWidth, 324);
    CreateControls();
    ApplyPalette();
    UpdateCaptions();
    FitTexts();
    SetAccessibility();
    SetTabOrder();
    FormCreate(arguments);
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
    const QColor progress = face.lightness() < 128 ? QColor(128, 160, 255) : QColor(0, 0, 128);
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
    } strip[] = {{ProgVerBottom, Label8->x()}, {Label8, Label4->x()}, {Label4, Label3->x()}, {Label3, ClientWidth}};
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
        pair.Control->setAccessibleName(pair.Label->text());
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

TForm1::~TForm1() {
    FormDestroy();
}

void TForm1::CreateControls() {
    const QFont plain = WindowFont();
    const QFont bold = Styled(true);

    Label2 = MakeLabel(this, "Label2", "Data File", 10, 14, 52, 13);
    Label2->setFont(bold);

    FName = Make<QLineEdit>(this, "FName", 72, 8, 177, 21);
    FName->setReadOnly(true);

    Button1 = MakeButton(this, "Button1", "...", 256, 10, 25, 17);
    Button1->setToolTip(QStringLiteral("Browse for files to open or import"));

    Label1 = MakeLabel(this, "Label1", "Password", 8, 48, 55, 13);
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
    Label6 = MakeLabel(GroupBox3, "Label6", "Algorithm", 8, 20, 43, 13);
    AlgorithmCB = Make<QComboBox>(GroupBox3, "AlgorithmCB", 56, 15, 65, 21);
    AlgorithmCB->setFont(plain);
    for (const datafile::TCipherEntry& cipher : datafile::Ciphers()) {
        AlgorithmCB->addItem(FromCp1252(std::string(cipher.Name)));
    }
    AlgorithmCB->setCurrentIndex(0);
    AlgorithmCB->setToolTip(QStringLiteral("Select a specific encryption algorithm"));
    Label7 = MakeLabel(GroupBox3, "Label7", "Hash", 126, 20, 25, 13);
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
        // Three rows share the space under the caption evenly.
        constexpr const char* Items[] = {"&Basic", "&Extra", "&Office Edition"};
        const int fontHeight = 13;
        const int space = RadioGroup1->height() - fontHeight - 5;
        const int rowHeight = space / 3;
        const int topMargin = fontHeight + 1 + (space % 3) / 2;
        for (int index = 0; index < 3; ++index) {
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
    DecompressBox = MakeCheckBox(GroupBox1, "Decompress", "&Decompress", 8, 33, 81, 16);
    DecompressBox->setToolTip(QStringLiteral("Return a compressed file to the standard format"));

    const QString compressionHint = QStringLiteral("Show some informations about the built-in compression");
    Button3 = MakeButton(this, "Button3", "?", 224, 178, 13, 17);
    Button3->setCursor(Qt::PointingHandCursor);
    Button3->setToolTip(compressionHint);
    Button4 = MakeButton(this, "Button4", "?", 224, 196, 13, 17);
    Button4->setCursor(Qt::PointingHandCursor);
    Button4->setToolTip(compressionHint);

    DoubleBackupBox = MakeCheckBox(this, "DoubleBackup", "&Double-Backup\xAE", 144, 223, 103, 16);
    DoubleBackupBox->setChecked(true);
    DoubleBackupBox->setToolTip(
        QStringLiteral("This toggle the creation of an addictional backup file (extension: .old)"));

    GroupBox2 = Make<QGroupBox>(this, "GroupBox2", 16, 240, 249, 34);
    GroupBox2->setTitle(QStringLiteral("Modify the file"));
    GroupBox2->setFont(bold);
    ChangePassBox = MakeCheckBox(GroupBox2, "ChangePass", "C&hange password", 8, 13, 105, 17);
    ChangePassBox->setToolTip(QStringLiteral("You will be prompted to enter a new password when closing the file"));
    ChangeAlgorithmBox = MakeCheckBox(GroupBox2, "ChangeAlgorithm", "C&hange algorithm", 128, 13, 105, 17);
    ChangeAlgorithmBox->setToolTip(
        QStringLiteral("You will be prompted to change encryption algorithm when closing the file"));

    Label5 = MakeLabel(this, "Label5", "Path", 16, 286, 33, 13);
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
        font.setPointSize(12);
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
    ProgVerBottom = MakeLabel(Panel2, "ProgVerBottom", "", 0, 4);
    ProgVerBottom->setCursor(Qt::PointingHandCursor);
    ProgVerBottom->setToolTip(QStringLiteral("Click here to show information about this program"));
    Label8 = MakeLabel(Panel2, "Label8", "by", 148, 4);
    Label4 = MakeLabel(Panel2, "Label4", AuthorName, 162, 4);
    Label4->setFont(Styled(true, false, true));
    Label4->setCursor(Qt::PointingHandCursor);
    Label4->setToolTip(QStringLiteral("Click here to e-mail me!"));
    Label4->adjustSize();
    Label3 = MakeLabel(Panel2, "Label3", "License", 243, 4);
    Label3->setFont(Styled(false, true));
    Label3->setCursor(Qt::PointingHandCursor);
    Label3->setToolTip(QStringLiteral("Click here to show info about the license"));
    Label3->adjustSize();
    for (QLabel* link : {ProgVerBottom, Label4, Label3}) {
        link->installEventFilter(this);
    }

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
    // Direct controls in the window's order; a group box or panel stands for
    // the controls inside it.
    QList<QWidget*> order = {MaskEdit1, BitBtn1, FName, Button1, BitBtn2};
    for (QAbstractButton* item : RadioGroup1Items->buttons()) {
        order.append(item);
    }
    order.append({ExeNameEdit, UseCompressionBox, DecompressBox, Button2, DoubleBackupBox, OptionsButton, ChangePassBox,
                  ChangeAlgorithmBox, AlgorithmCB, HashCB, Button4, Button3});
    for (qsizetype index = 1; index < order.size(); ++index) {
        QWidget::setTabOrder(order[index - 1], order[index]);
    }
    MaskEdit1->setFocus(Qt::OtherFocusReason);
}

void TForm1::FormCreate(const QStringList& arguments) {
    SetHintTiming(0, 4000);
    SetOuterHeight(CollapsedHeight);
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

// ---------------------------------------------------------------- geometry

int TForm1::OuterHeight() const {
    return height() + FrameHeight;
}

void TForm1::SetOuterHeight(int outerHeight) {
    setFixedSize(ClientWidth, outerHeight - FrameHeight);
    if (Panel2 != nullptr) {
        Panel2->setGeometry(0, height() - Panel2Height, ClientWidth, Panel2Height);
        Panel2->raise();
    }
    HideCoveredControls();
}

void TForm1::HideCoveredControls() {
    // A control that the bottom strip covers, wholly or in part, is hidden:
    // neither Tab nor its accelerator reaches it. Tab order is unchanged, so
    // the shown controls keep the form's order.
    const int stripTop = height() - Panel2Height;
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
        Panel2->setGeometry(0, height() - Panel2Height, ClientWidth, Panel2Height);
        Panel2->raise();
    }
}

void TForm1::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;
    }
    if (!FShownBefore) {
        FShownBefore = true;
        FCentring = true;
        CentreOnScreen();
    }
    FormShow();
}

void TForm1::CentreOnScreen() {
    const QScreen* screen = this->screen();
    if (screen == nullptr) {
        return;
    }
    // The frame as the window system reports it now: none without a window
    // manager, and none yet before a window manager has framed the window.
    const QRect area = screen->availableGeometry();
    const QRect frame = frameGeometry();
    FCentredMargins = frame.size() - size();
    move(area.center().x() - frame.width() / 2, area.center().y() - frame.height() / 2);
}

void TForm1::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    // A window manager that frames the window after it was placed: centre it
    // again with the frame it has now.
    if (FCentring && isVisible() && frameGeometry().size() - size() != FCentredMargins) {
        CentreOnScreen();
    }
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
    FCentring = false;
    std::optional<int> exitCode;
    // Nothing may unwind into the toolkit's event loop: the program's exits
    // come back here as TProgramExit.
    try {
        session::BitBtn1Click(*this);
        if (FEndRequested) {
            exitCode = 0;
        }
    } catch (const datafile::TProgramExit& exit) {
        exitCode = exit.ExitCode;
    } catch (const std::exception& error) {
        ShowApplicationError(this, FromMessageText(error.what()));
        exitCode = 1;
    } catch (...) {
        exitCode = 1;
    }
    FSessionRunning = false;
    if (exitCode) {
        EndWith(*exitCode);
    }
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
        return;
    }
    event->accept();
    if (!FExitCode) {
        EndWith(0);
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
    dialog.setObjectName(QStringLiteral("OpenDialog1"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
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
    dialog.setObjectName(QStringLiteral("OpenDialog2"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
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
    // Grow or shrink around the vertical centre, two pixels at each edge per step.
    const int shift = FOptionsShown ? 2 : -2;
    const int grow = FOptionsShown ? -4 : 4;
    for (int step = 0; step < OptionsSteps; ++step) {
        move(x(), y() + shift);
        SetOuterHeight(OuterHeight() + grow);
    }
    FOptionsShown = !FOptionsShown;
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

// ---------------------------------------------------------------- the session's view

void TForm1::LockWindow() {
    for (QWidget* control : std::initializer_list<QWidget*>{FName, Button1, BitBtn1, BitBtn2, RadioGroup1, AlgorithmCB,
                                                            HashCB, GroupBox1, DoubleBackupBox, ChangePassBox,
                                                            ChangeAlgorithmBox, ExeNameEdit, Button2, OptionsButton}) {
        control->setEnabled(false);
    }
    setEnabled(false);
    Panel1->show();
    Panel1->raise();
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

void TForm1::HideMainWindow() {
    hide();
    // The editor is waited for without handling messages: let the window
    // system see the window go now, not after the editor has ended.
    QCoreApplication::processEvents();
}

void TForm1::ShowMainWindow() {
    show(); // runs FormShow again
}

void TForm1::WarnBox(const std::string& text) {
    QMessageBox box(QMessageBox::Warning, windowTitle(), FromMessageText(text), QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.exec();
}

void TForm1::TickCompress() {
    UseCompressionBox->setChecked(true);
}

void TForm1::ClearPassword() {
    MaskEdit1->setText(QString(69, QLatin1Char('0')));
}

void TForm1::EndProgram() {
    FEndRequested = true;
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

TModalResult TForm1::AskUser(const std::string& text, TMsgDlgType kind, TMsgDlgButtons buttons) {
    return MessageDlg(this, text, kind, buttons);
}

TModalResult TForm1::AskLeftOver(const std::string& text) {
    // Enter must not overwrite what may be the only copy of unsaved edits.
    return MessageDlg(this, text, TMsgDlgType::mtWarning, TMsgDlgButtons::mbYesNo, true);
}

bool TForm1::ConfirmEditingFinished(const std::string& text) {
    // A keystroke meant for the editor that lands here leaves the working copy alone.
    return MessageDlg(this, text, TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo, true) == TModalResult::mrYes;
}

std::string TForm1::InputBox(const std::string& title, const std::string& prompt, const std::string& value) {
    return ToCp1252(ui::InputBox(this, FromCp1252(title), FromCp1252(prompt), FromCp1252(value)));
}

bool TForm1::QuestionBox(const std::string& text) {
    // Owned by this window, titled with its caption: that is how the relabelling
    // handlers know the box for this program's own.
    QMessageBox box(QMessageBox::Question, windowTitle(), FromMessageText(text), QMessageBox::Yes | QMessageBox::No,
                    this);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("&Yes"));
    box.button(QMessageBox::No)->setText(QStringLiteral("&No"));
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void TForm1::PostPrivateMessage(datafile::TPromptKind prompt) {
    QCoreApplication::postEvent(this, new QEvent(PromptEventType(prompt)));
}

void TForm1::ExitWithError() {
    throw datafile::TProgramExit{1};
}

// ---------------------------------------------------------------- prompt customisation

void TForm1::customEvent(QEvent* event) {
    const int type = event->type();
    if (type == PromptEventType(datafile::TPromptKind::Password)) {
        MaskPasswordPrompt();
    } else if (type == PromptEventType(datafile::TPromptKind::Algorithm)) {
        RelabelAlgorithmButtons();
    } else if (type == PromptEventType(datafile::TPromptKind::Hash)) {
        RelabelHashButtons();
    } else {
        QDialog::customEvent(event);
    }
}

void TForm1::MaskPasswordPrompt() {
    const QString title = FromCp1252(PasswordPromptTitle);
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || window->windowTitle() != title) {
            continue;
        }
        for (QObject* child : window->children()) {
            if (auto* edit = qobject_cast<QLineEdit*>(child)) {
                SetHashPasswordChar(edit);
                edit->selectAll();
                return;
            }
        }
    }
}

QMessageBox* TForm1::FindOwnQuestionBox() const {
    const QString caption = windowTitle();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(window);
        if (box != nullptr && box->isVisible() && box->windowTitle() == caption && box->parentWidget() == this) {
            return box;
        }
    }
    return nullptr;
}

void TForm1::RelabelAlgorithmButtons() {
    if (QMessageBox* box = FindOwnQuestionBox()) {
        if (QAbstractButton* yes = box->button(QMessageBox::Yes)) {
            yes->setText(QStringLiteral("&Rijndael"));
            yes->setIcon(QIcon()); // a stock Yes or No icon would read as right or wrong
        }
        if (QAbstractButton* no = box->button(QMessageBox::No)) {
            no->setText(QStringLiteral("&Blowfish"));
            no->setIcon(QIcon());
        }
    }
}

void TForm1::RelabelHashButtons() {
    if (QMessageBox* box = FindOwnQuestionBox()) {
        if (QAbstractButton* yes = box->button(QMessageBox::Yes)) {
            yes->setText(QStringLiteral("&RIPEMD-160"));
            yes->setIcon(QIcon());
        }
        if (QAbstractButton* no = box->button(QMessageBox::No)) {
            no->setText(QStringLiteral("&SHA-1"));
            no->setIcon(QIcon());
        }
    }
}

} // namespace quillock::ui
