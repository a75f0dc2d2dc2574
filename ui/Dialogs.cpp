// The window program's dialogs, hint timing and text conversions.
#include "ui/Dialogs.h"

#include "platform/Association.h"
#include "platform/Text.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QHelpEvent>
#include <QInputDialog>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QToolTip>

#include <utility>

namespace quillock::ui {

using datafile::TModalResult;
using datafile::TMsgDlgButtons;
using datafile::TMsgDlgType;

QString FromCp1252(const std::string& text) {
    QString result = QString::fromUtf8(platform::Cp1252ToUtf8(text));
    result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return result;
}

QString FromMessageText(const std::string& text) {
    return QString::fromUtf8(platform::MessageToUtf8(text));
}

std::string ToCp1252(const QString& text) {
    std::string result;
    result.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar character : text) {
        const std::optional<std::string> bytes = platform::Utf8ToCp1252(QString(character).toStdString());
        result += bytes && bytes->size() == 1 ? *bytes : std::string("?");
    }
    return result;
}

QString FromPath(const std::string& path) {
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::string ToPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QValidator::State TCp1252Validator::validate(QString& input, int& pos) const {
    (void)pos;
    return platform::Utf8ToCp1252(input.toStdString()) ? Acceptable : Invalid;
}

void TMessageDialog::closeEvent(QCloseEvent* event) {
    // Closing with a button goes through done(), whose close event never
    // reaches this handler; only the close box (or close()) does.
    FClosedByCloseBox = true;
    QMessageBox::closeEvent(event);
}

TModalResult MessageDlg(QWidget* parent, const std::string& text, TMsgDlgType kind, TMsgDlgButtons buttons,
                        bool defaultNo) {
    const QString title = QString::fromLatin1(datafile::DialogTitle(kind));
    // The icon of each kind of message.
    static constexpr std::pair<TMsgDlgType, QMessageBox::Icon> Icons[] = {
        {TMsgDlgType::mtWarning, QMessageBox::Warning},
        {TMsgDlgType::mtError, QMessageBox::Critical},
        {TMsgDlgType::mtInformation, QMessageBox::Information},
        {TMsgDlgType::mtConfirmation, QMessageBox::Question},
    };
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    for (const auto& [type, typeIcon] : Icons) {
        if (type == kind) {
            icon = typeIcon;
        }
    }
    TMessageDialog box(icon, title, FromMessageText(text), QMessageBox::NoButton, parent);
    box.setTextFormat(Qt::PlainText);
    QPushButton* yes = nullptr;
    QPushButton* no = nullptr;
    QPushButton* ok = nullptr;
    if (buttons == TMsgDlgButtons::mbYesNo) {
        yes = box.addButton(QStringLiteral("&Yes"), QMessageBox::YesRole);
        no = box.addButton(QStringLiteral("&No"), QMessageBox::NoRole);
        box.setDefaultButton(defaultNo ? no : yes);
        box.setEscapeButton(no);
    } else {
        ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setDefaultButton(ok);
        box.setEscapeButton(ok);
    }
    box.exec();
    if (box.ClosedByCloseBox()) {
        return TModalResult::mrNone;
    }
    const QAbstractButton* clicked = box.clickedButton();
    if (clicked != nullptr && clicked == yes) {
        return TModalResult::mrYes;
    }
    if (clicked != nullptr && clicked == no) {
        return TModalResult::mrNo;
    }
    if (clicked != nullptr && clicked == ok) {
        return TModalResult::mrOk;
    }
    return TModalResult::mrNone;
}

QString ApplicationTitleText() {
    return FromCp1252(platform::ApplicationTitle(platform::RunningProgramPath()));
}

void ShowMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, ApplicationTitleText(), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.exec();
}

void ShowApplicationError(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::Critical, ApplicationTitleText(), text, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.exec();
}

QString InputBox(QWidget* parent, const QString& title, const QString& prompt, const QString& value) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextValue(value);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("Cancel"));
    if (auto* edit = dialog.findChild<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly)) {
        edit->setMaxLength(255);
        edit->setValidator(new TCp1252Validator(edit));
        edit->selectAll();
    }
    if (dialog.exec() != QDialog::Accepted) {
        return value;
    }
    return dialog.textValue();
}

namespace {

// The pause before a hint shows comes from the style.
class THintStyle final : public QProxyStyle {
public:
    THintStyle(const QString& baseKey, int pauseMs) : QProxyStyle(baseKey), FPauseMs(pauseMs) {}

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_ToolTip_WakeUpDelay) {
            return FPauseMs;
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
    void SetPause(int pauseMs) { FPauseMs = pauseMs; }

private:
    int FPauseMs;
};

// How long a hint stays is chosen by whoever shows it: show every control's
// hint ourselves, with the display time set.
class THintTimer final : public QObject {
public:
    THintTimer(QObject* parent, int hidePauseMs) : QObject(parent), FHidePauseMs(hidePauseMs) {}
    void SetHidePause(int hidePauseMs) { FHidePauseMs = hidePauseMs; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip || !watched->isWidgetType()) {
            return false;
        }
        auto* widget = static_cast<QWidget*>(watched);
        if (widget->toolTip().isEmpty()) {
            return false;
        }
        const auto* help = static_cast<QHelpEvent*>(event);
        QToolTip::showText(help->globalPos(), widget->toolTip(), widget, QRect(), FHidePauseMs);
        return true;
    }

private:
    int FHidePauseMs;
};

} // namespace

void SetHintTiming(int pauseMs, int hidePauseMs) {
    auto* application = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (application == nullptr) {
        return;
    }
    if (auto* style = dynamic_cast<THintStyle*>(QApplication::style())) {
        style->SetPause(pauseMs);
    } else {
        QApplication::setStyle(new THintStyle(QApplication::style()->name(), pauseMs));
    }
    // One filter for the application, made at the first call.
    static QPointer<THintTimer> timer;
    if (timer == nullptr) {
        timer = new THintTimer(application, hidePauseMs);
        application->installEventFilter(timer);
    } else {
        timer->SetHidePause(hidePauseMs);
    }
}

void SetHashPasswordChar(QLineEdit* edit) {
    // The style decides which character stands for each hidden one.
    edit->setStyleSheet(QStringLiteral("lineedit-password-character: 35")); // '#'
    edit->setEchoMode(QLineEdit::Password);
}

} // namespace quillock::ui
