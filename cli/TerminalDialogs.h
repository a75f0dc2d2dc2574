// The dialogs of quillock-cli, shared by the data-file host of seal, unseal
// and check and by the session's view: messages as UTF-8 lines on stderr after
// the status line, answers typed with y or n, passwords typed without echo.
#pragma once

#include "cli/StatusLine.h"

#include <optional>
#include <string>
#include <string_view>

namespace quillock::cli {

// The text with ASCII capitals made small: typed answers count in any case.
[[nodiscard]] std::string AsciiLower(std::string text);

class TTerminalDialogs {
public:
    // Answers are read from descriptor answerFd, or with ControllingTerminal
    // from /dev/tty, opened for each question (standard input may carry data
    // then), with the prompt written there.
    static constexpr int ControllingTerminal = -1;
    explicit TTerminalDialogs(int answerFd) : FAnswerFd(answerFd) {}

    [[nodiscard]] TStatusLine& Line() { return FLine; }

    // "<title>: <text>" on a line of its own, the text as UTF-8.
    void Show(std::string_view title, const std::string& text);

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
