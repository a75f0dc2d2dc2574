// The dialogs of quillock-cli, shared by the data-file host of seal, unseal
// and check and by the session's view: messages as UTF-8 lines on stderr after
// the status line, answers typed with y or n, passwords typed without echo.
#pragma once

#include "cli/StatusLine.h"
#include "datafile/DataFileHost.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillock::cli {

// The text with ASCII capitals made small: typed answers count in any case.
[[nodiscard]] std::string AsciiLower(std::string text);

// A text the core writes for a dialog, and how the terminal says it.
struct TTerminalWording {
    std::string Dialog;        // found in the dialog's text (as UTF-8, line ends "\n")
    std::string_view Happened; // what happened, after "quillock-cli: FILE: "
    std::string_view Next;     // what to do next, on a line of its own
    bool Cause = false;        // the system's reason follows, unless the text gives details
};

// Every core text the terminal says in words of its own.
[[nodiscard]] const std::vector<TTerminalWording>& TerminalWordings();

// The lines a dialog of the core gives on the terminal, in one style:
// "quillock-cli: FILE: what happened" (FILE as printed by
// platform::PrintableName), the details the text gives, then what to do. A
// text of the wording table is said in its terms (with the system's reason
// for error, the errno of the failure, where it has one); any other keeps its
// words, without a second title ("ERROR: ") and with the answers as they are
// typed (y, n) instead of buttons.
[[nodiscard]] std::string TerminalText(datafile::TMsgDlgType kind, std::string_view file, const std::string& text,
                                       int error);

class TTerminalDialogs {
public:
    // Answers are read from descriptor answerFd, or with ControllingTerminal
    // from /dev/tty, opened for each question (standard input may carry data
    // then), with the prompt written there.
    static constexpr int ControllingTerminal = -1;
    explicit TTerminalDialogs(int answerFd) : FAnswerFd(answerFd) {}

    [[nodiscard]] TStatusLine& Line() { return FLine; }

    // A dialog's text on stderr, as TerminalText gives it, on lines of its own.
    void Say(datafile::TMsgDlgType kind, std::string_view file, const std::string& text, int error);

    // One typed line, without the blanks around it; nothing at the end of
    // input or when there is nothing to read from.
    std::optional<std::string> ReadAnswer(const std::string& prompt);
    // y/yes or n/no in any case, asked again for anything else; Enter gives
    // the default. Nothing at the end of input.
    std::optional<bool> ReadYesNo(bool defaultYes);
    // A password typed without echo after "<title>: <prompt> "; fallback
    // when none can be read (the line says why).
    std::string ReadPassword(const std::string& title, const std::string& prompt, const std::string& fallback);

    // Whether someone at a terminal gives the answers.
    [[nodiscard]] bool AnswersFromTerminal() const;

private:
    TStatusLine FLine;
    int FAnswerFd;
};

} // namespace quillock::cli
