// The main window's questions and messages for the editing session, and the re-keying prompts it customises.
#include "ui/Unit1.h"

#include "datafile/Algorithms.h"
#include "datafile/Unseal.h"
#include "ui/Dialogs.h"
#include "ui/Texts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace quillock::ui {
namespace {

using datafile::TModalResult;
using datafile::TMsgDlgButtons;
using datafile::TMsgDlgType;

// The private event that tells the window which prompt opens next.
QEvent::Type PromptEventType(datafile::TPromptKind prompt) {
    constexpr int First = QEvent::User + 0x800;
    return static_cast<QEvent::Type>(First + static_cast<int>(prompt));
}

} // namespace

TModalResult TForm1::AskUser(const std::string& text, TMsgDlgType kind, TMsgDlgButtons buttons) {
    // A wrong password gets another try here: the box says what to check.
    if (text == datafile::DecryptionErrorText) {
        return MessageDlg(this, text + DecryptionErrorAdvice, kind, buttons);
    }
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

void TForm1::WarnBox(const std::string& text) {
    QMessageBox box(QMessageBox::Warning, windowTitle(), FromMessageText(text), QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.exec();
}

void TForm1::PostPrivateMessage(datafile::TPromptKind prompt) {
    QCoreApplication::postEvent(this, new QEvent(PromptEventType(prompt)));
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

namespace {

// The Yes and No of a question between the first two entries of an
// algorithm table carry their names; a stock Yes or No icon would read as
// right or wrong.
template <class TEntry> void LabelChoiceButtons(QMessageBox* box, std::span<const TEntry> table) {
    if (box == nullptr) {
        return;
    }
    const QMessageBox::StandardButton answers[] = {QMessageBox::Yes, QMessageBox::No};
    for (std::size_t row = 0; row < std::size(answers); ++row) {
        if (QAbstractButton* button = box->button(answers[row])) {
            const std::string_view name = table[row].Name;
            button->setText(QStringLiteral("&") + QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())));
            button->setIcon(QIcon());
        }
    }
}

} // namespace

void TForm1::RelabelAlgorithmButtons() {
    LabelChoiceButtons(FindOwnQuestionBox(), datafile::Ciphers());
}

void TForm1::RelabelHashButtons() {
    LabelChoiceButtons(FindOwnQuestionBox(), datafile::Hashes());
}

} // namespace quillock::ui
