// The data-file operations' host for quillock-cli: plain fields for the
// window's state, dialogs as UTF-8 text on stderr, answers from the terminal.
#pragma once

#include "cli/TerminalDialogs.h"
#include "datafile/FieldHost.h"

#include <string>

namespace quillock::cli {

class TTerminalDataFileHost final : public datafile::TFieldHost<datafile::TDataFileHost> {
public:
    // quiet (--quiet): no percentage; messages and questions as ever.
    explicit TTerminalDataFileHost(bool quiet = false) { FDialogs.Line().SetQuiet(quiet); }
    ~TTerminalDataFileHost() override;
    TTerminalDataFileHost(const TTerminalDataFileHost&) = delete;
    TTerminalDataFileHost& operator=(const TTerminalDataFileHost&) = delete;

    std::string FCaption = "Quillock";
    std::string FStep;    // what the percentage on a terminal is of ("Sealing..")
    std::string FSubject; // the file its messages name, when not FName (unseal: the data file)

    [[nodiscard]] std::string Caption() const override { return FCaption; }

    // Prints "<title>: <text>" on stderr; Yes/No is answered on the terminal
    // (Enter: No; no terminal or the end of input: neither).
    datafile::TModalResult AskUser(const std::string& text, datafile::TMsgDlgType kind,
                                   datafile::TMsgDlgButtons buttons) override;
    // The only input box asks for a password: read from the terminal without
    // echo; without a terminal the answer is value, as Cancel would give.
    std::string InputBox(const std::string& title, const std::string& prompt, const std::string& value) override;
    // Answered on the terminal with y or n (Enter: n); without a terminal: No.
    bool QuestionBox(const std::string& text) override;
    // Said with the next message, after what happened.
    void HearCause(int error) override { FCause = error; }
    // Throws datafile::TProgramExit{1}; the command returns its code.
    [[noreturn]] void ExitWithError() override;
    // On a terminal: FStep and the percentage, updated in place.
    void Progress(std::uint64_t done, std::uint64_t total) override;
    // Ends the percentage's line; also done before every message.
    void EndProgress() { FDialogs.Line().Close(); }

private:
    // Answers come from the terminal itself: standard input may be the data.
    TTerminalDialogs FDialogs{TTerminalDialogs::ControllingTerminal};
    int FCause = 0;
};

} // namespace quillock::cli
