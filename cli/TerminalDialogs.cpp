// The dialogs of quillock-cli: messages, typed answers and passwords.
#include "cli/TerminalDialogs.h"

#include "cli/Password.h"
#include "platform/FileHandle.h"
#include "platform/Signals.h"
#include "platform/Text.h"

#include <cerrno>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

namespace quillock::cli {
namespace {

constexpr std::size_t MaxAnswer = 1024;

} // namespace

std::string AsciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

void TTerminalDialogs::Show(std::string_view title, const std::string& text) {
    FLine.Err() << title << ": " << platform::MessageToUtf8(text) << std::endl;
}

std::optional<std::string> TTerminalDialogs::ReadAnswer(const std::string& prompt) {
    FLine.Close();
    const platform::TFd terminal(FAnswerFd == ControllingTerminal ? ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC)
                                                                  : -1);
    const int from = FAnswerFd == ControllingTerminal ? terminal.Get() : FAnswerFd;
    if (from < 0) {
        return std::nullopt;
    }
    if (FAnswerFd == ControllingTerminal) {
        (void)platform::WriteAll(from, prompt.data(), prompt.size());
    } else {
        std::cerr << prompt << std::flush;
    }
    std::string line;
    for (;;) {
        char c = 0;
        const ssize_t got = ::read(from, &c, 1);
        if (got < 0 && errno == EINTR) {
            platform::CheckInterrupted();
            continue;
        }
        if (got <= 0) {
            if (FAnswerFd != ControllingTerminal) {
                std::cerr << '\n';
            }
            return std::nullopt; // the end of input, or nothing to read from
        }
        if (c == '\n') {
            break;
        }
        if (line.size() < MaxAnswer) {
            line.push_back(c);
        }
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    const std::size_t first = line.find_first_not_of(" \t");
    const std::size_t last = line.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
}

std::optional<bool> TTerminalDialogs::ReadYesNo(bool defaultYes) {
    for (;;) {
        const std::optional<std::string> answer =
            ReadAnswer(defaultYes ? "y or n? [Y/n] (Enter = y) " : "y or n? [y/N] (Enter = n) ");
        if (!answer) {
            return std::nullopt;
        }
        const std::string word = AsciiLower(*answer);
        if (word == "y" || word == "yes" || (word.empty() && defaultYes)) {
            return true;
        }
        if (word == "n" || word == "no" || word.empty()) {
            return false;
        }
    }
}

std::string TTerminalDialogs::ReadPassword(const std::string& title, const std::string& prompt,
                                           const std::string& fallback) {
    FLine.Close();
    try {
        return std::string(AskTerminalPassword(platform::MessageToUtf8(title + ": " + prompt + " ")).View());
    } catch (const EPasswordError& e) {
        FLine.Err() << e.what() << std::endl;
        return fallback;
    }
}

bool TTerminalDialogs::AnswersFromTerminal() const {
    if (FAnswerFd != ControllingTerminal) {
        return ::isatty(FAnswerFd) == 1;
    }
    const platform::TFd terminal(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
    return terminal.Valid();
}

} // namespace quillock::cli
