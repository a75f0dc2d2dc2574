// The data-file operations' host for quillock-cli.
#include "cli/TerminalHost.h"

#include "cli/Password.h"
#include "platform/Text.h"
#include "platform/Wipe.h"

#include <fcntl.h>
#include <iostream>
#include <optional>
#include <unistd.h>

namespace quillock::cli {
namespace {

// Asks a yes/no question on the terminal; nothing when there is none.
std::optional<bool> AskYesNo(const std::string& question) {
    const int tty = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (tty < 0) {
        return std::nullopt;
    }
    const std::string prompt = question + " (y or n) ";
    (void)!::write(tty, prompt.data(), prompt.size());
    std::string answer;
    char c = 0;
    while (::read(tty, &c, 1) == 1 && c != '\n') {
        answer.push_back(c);
    }
    ::close(tty);
    return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

} // namespace

TTerminalDataFileHost::~TTerminalDataFileHost() {
    FLine.Close();
}

datafile::TModalResult TTerminalDataFileHost::AskUser(const std::string& text, datafile::TMsgDlgType kind,
                                                      datafile::TMsgDlgButtons buttons) {
    FLine.Close();
    std::cerr << datafile::DialogTitle(kind) << ": " << platform::MessageToUtf8(text) << std::endl;
    if (buttons == datafile::TMsgDlgButtons::mbOK) {
        return datafile::TModalResult::mrOk;
    }
    const std::optional<bool> yes = AskYesNo("Answer");
    if (!yes) {
        return datafile::TModalResult::mrNone;
    }
    return *yes ? datafile::TModalResult::mrYes : datafile::TModalResult::mrNo;
}

std::string TTerminalDataFileHost::InputBox(const std::string& title, const std::string& prompt,
                                            const std::string& value) {
    FLine.Close();
    try {
        return std::string(AskTerminalPassword(platform::MessageToUtf8(title + ": " + prompt + " ")).View());
    } catch (const EPasswordError& e) {
        std::cerr << e.what() << std::endl;
        return value;
    }
}

bool TTerminalDataFileHost::QuestionBox(const std::string& text) {
    FLine.Close();
    std::cerr << platform::MessageToUtf8(text) << std::endl;
    return AskYesNo(FCaption).value_or(false);
}

void TTerminalDataFileHost::Progress(std::uint64_t done, std::uint64_t total) {
    FLine.Progress(done, total, FStep);
}

void TTerminalDataFileHost::ExitWithError() {
    throw datafile::TProgramExit{1};
}

} // namespace quillock::cli
