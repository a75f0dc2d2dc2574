// The window program's dialogs and text edges: the message dialogs, the plain
// and error boxes, the input box, the hint timing, and the conversions between
// the core's 8-bit texts and Qt strings.
#pragma once

#include "datafile/DataFileHost.h"

#include <QMessageBox>
#include <QProxyStyle>
#include <QString>
#include <QValidator>

#include <string>

class QLineEdit;

namespace quillock::ui {

// A Windows-1252 text as a Qt string; "\r\n" line ends become "\n".
[[nodiscard]] QString FromCp1252(const std::string& text);
// A message for display, by the rule of platform::MessageToUtf8.
[[nodiscard]] QString FromMessageText(const std::string& text);
// The Windows-1252 bytes of a Qt string; a character without one becomes "?"
// (the boxes that feed the core refuse such characters, see TCp1252Validator).
[[nodiscard]] std::string ToCp1252(const QString& text);
// Paths travel through the core as the file system's own bytes.
[[nodiscard]] QString FromPath(const std::string& path);
[[nodiscard]] std::string ToPath(const QString& path);

// Accepts only texts that Windows-1252 can represent, so that a password is
// hashed as the same bytes here and in the terminal program.
class TCp1252Validator final : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

// A message box that tells a close by its close box from a click on a button.
class TMessageDialog final : public QMessageBox {
public:
    using QMessageBox::QMessageBox;
    [[nodiscard]] bool ClosedByCloseBox() const noexcept { return FClosedByCloseBox; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool FClosedByCloseBox = false;
};

// The message dialogs: titled "Warning", "Error", "Information" or "Confirm",
// with "&Yes" (default, or "&No" when defaultNo is set) and "&No" (Escape), or
// "OK" alone; mrNone when closed by the close box.
datafile::TModalResult MessageDlg(QWidget* parent, const std::string& text, datafile::TMsgDlgType kind,
                                  datafile::TMsgDlgButtons buttons, bool defaultNo = false);

// The title of the application: the program's file name without extension,
// first letter upper case, the rest lower case.
[[nodiscard]] QString ApplicationTitleText();
// A plain box with one OK button, titled with the application title.
void ShowMessage(QWidget* parent, const QString& text);
// The application's error box for an error nobody else handles.
void ShowApplicationError(QWidget* parent, const QString& text);

// A modal text-input box: prompt label, one line edit (255 characters at most)
// pre-filled with value and selected, OK and Cancel. Returns the typed text on
// OK and value on Cancel.
[[nodiscard]] QString InputBox(QWidget* parent, const QString& title, const QString& prompt, const QString& value);

// Hints for the whole application: shown pauseMs after the pointer rests on a
// control, hidden again after hidePauseMs.
void SetHintTiming(int pauseMs, int hidePauseMs);

// Masks a line edit: one "#" shown for every character.
void SetHashPasswordChar(QLineEdit* edit);

} // namespace quillock::ui
