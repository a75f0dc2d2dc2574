// The data-file operations' host for quillock-cli.
#include "cli/TerminalHost.h"

#include "platform/Signals.h"

#include <optional>
#include <utility>

namespace quillock::cli {

TTerminalDataFileHost::~TTerminalDataFileHost() {
    FDialogs.Line().Close();
}

datafile::TModalResult TTerminalDataFileHost::AskUser(const std::string& text, datafile::TMsgDlgType kind,
                                                      datafile::TMsgDlgButtons buttons) {
    FDialogs.Say(kind, FSubject.empty() ? FName : FSubject, text, std::exchange(FCause, 0));
    if (buttons == datafile::TMsgDlgButtons::mbOK) {
        return datafile::TModalResult::mrOk;
    }
    const std::optional<bool> yes = FDialogs.ReadYesNo(false);
    if (!yes) {
        return datafile::TModalResult::mrNone;
    }
    return *yes ? datafile::TModalResult::mrYes : datafile::TModalResult::mrNo;
}

std::string TTerminalDataFileHost::InputBox(const std::string& title, const std::string& prompt,
                                            const std::string& value) {
    return FDialogs.ReadPassword(title, prompt, value);
}

bool TTerminalDataFileHost::QuestionBox(const std::string& text) {
    FDialogs.Say(datafile::TMsgDlgType::mtConfirmation, FSubject.empty() ? FName : FSubject, text, 0);
    return FDialogs.ReadYesNo(false).value_or(false);
}

void TTerminalDataFileHost::Progress(std::uint64_t done, std::uint64_t total) {
    platform::CheckInterrupted();
    FDialogs.Line().Progress(done, total, FStep);
}

void TTerminalDataFileHost::ExitWithError() {
    throw datafile::TProgramExit{1};
}

} // namespace quillock::cli
