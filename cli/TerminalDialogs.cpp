// The dialogs of quillock-cli: messages, typed answers and passwords.
#include "cli/TerminalDialogs.h"

#include "cli/Password.h"
#include "cli/Report.h"
#include "datafile/Messages.h"
#include "platform/FileHandle.h"
#include "platform/Signals.h"
#include "platform/Text.h"
#include "session/Messages.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

namespace quillock::cli {
namespace {

constexpr std::size_t MaxAnswer = 1024;

// The windows' words for their answers, and the typed answers they stand for.
constexpr std::pair<std::string_view, std::string_view> AnswerWords[] = {
    {"Click [Yes]", "Answer y"}, {"Click [No]", "Answer n"}, {"[Yes]", "y"}, {"[No]", "n"}};
// A title the text repeats: the terminal's line has one already.
constexpr std::string_view ShoutedTitles[] = {"ERROR: ", "ERROR! ", "Error! ", "Error: ", "WARNING: ", "Warning: "};

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
}

std::string Trimmed(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \n");
    const std::size_t last = text.find_last_not_of(" \n");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// A core text in terminal terms: no second title, typed answers.
std::string InTerminalTerms(std::string text) {
    for (const std::string_view title : ShoutedTitles) {
        if (text.starts_with(title)) {
            text.erase(0, title.size());
        }
    }
    for (const auto& [button, answer] : AnswerWords) {
        ReplaceAll(text, button, answer);
    }
    return text;
}

} // namespace

const std::vector<TTerminalWording>& TerminalWordings() {
    using platform::MessageToUtf8;
    static const std::vector<TTerminalWording> wordings = {
        {MessageToUtf8(std::string(datafile::ReadOnlyGuessText) + "\r\n\r\n" + datafile::CheckDataText),
         "cannot be opened", "Check the name, that it is a file and not a folder, and your rights to it.", true},
        {MessageToUtf8(datafile::DecryptErrorText), "cannot be unsealed: reading it or writing the plain copy failed",
         "Check the disk and its free space; FILE.bak and FILE.old beside a data file hold earlier copies.", true},
        {MessageToUtf8(datafile::EncryptErrorText),
         "cannot be sealed: reading the plain text or writing the data file failed",
         "Free some space or fix the folder's rights, then try again; the data file there stays as it was.", true},
        {MessageToUtf8(datafile::DecryptionErrorText),
         "does not open: wrong password, or the file was sealed with another cipher or digest",
         "Try again with the right password, or give the --cipher and --hash it was sealed with.", false},
        {MessageToUtf8(datafile::PasswordsDifferText),
         "the two new passwords differ: the password has not been changed",
         "The old password stays; give --change-password again to change it.", false},
        {MessageToUtf8(session::WriteFailureText), "writing on disk failed",
         "Free some space or fix the folder's rights; FILE.bak and FILE.old beside the data file hold earlier copies.",
         true},
        {MessageToUtf8(session::StartFailedText), "cannot start the editor",
         "Give the editor with --editor CMD, or set $VISUAL or $EDITOR.", true},
        {MessageToUtf8(session::NotArbolixText), "is not an Arbolix file (its first line does not name the editor)",
         "Only an editor file can be opened; seal other bytes with quillock-cli seal --raw.", false},
        {MessageToUtf8(session::ReadOnlyRefusal), "is read-only: it could be edited but never sealed again",
         "Make it writable (chmod u+w), then open it again.", false},
        {MessageToUtf8(datafile::CannotDeleteText), "cannot delete the file below (it may hold plain text)",
         "Make it writable, or wipe it yourself (shred -u), once you have kept what you need of it.", true},
    };
    return wordings;
}

std::string TerminalText(datafile::TMsgDlgType kind, std::string_view file, const std::string& text, int error) {
    const std::string said = platform::MessageToUtf8(text);
    std::string lead = std::string(ProgramName) + ": ";
    if (!file.empty()) {
        lead += platform::PrintableName(file) + ": ";
    }
    for (const TTerminalWording& wording : TerminalWordings()) {
        const std::size_t at = said.find(wording.Dialog);
        if (at == std::string::npos) {
            continue;
        }
        std::string details = said.substr(at + wording.Dialog.size());
        ReplaceAll(details, datafile::CheckDataText, "");
        details = Trimmed(details);
        std::string lines = lead + std::string(wording.Happened);
        if (wording.Cause && details.empty() && error != 0) {
            lines += std::string(": ") + std::strerror(error);
        }
        // Appended piece by piece: GCC 12 at -O3 takes "\n" + text for an
        // overlapping copy (-Wrestrict).
        if (!details.empty()) {
            lines += '\n';
            lines += InTerminalTerms(details);
        }
        // The next step once: the text may give it already (the view's hint).
        if (details.find(wording.Next) == std::string::npos) {
            lines += '\n';
            lines += wording.Next;
        }
        return lines;
    }
    return lead + (kind == datafile::TMsgDlgType::mtWarning ? "warning: " : "") + InTerminalTerms(Trimmed(said));
}

std::string AsciiLower(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

void TTerminalDialogs::Say(datafile::TMsgDlgType kind, std::string_view file, const std::string& text, int error) {
    FLine.Err() << TerminalText(kind, file, text, error) << std::endl;
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
        const ssize_t got = platform::ReadByte(from, c);
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
