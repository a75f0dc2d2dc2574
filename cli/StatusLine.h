// The status line of quillock-cli on stderr: each status on a line of its own,
// and on a terminal the percentage of a long step updated in place after it.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

namespace quillock::cli {

class TStatusLine {
public:
    // Progress is shown only when stderr is a terminal.
    TStatusLine();
    // An open line ends, so that the shell's prompt starts on a line of its own.
    ~TStatusLine();
    TStatusLine(const TStatusLine&) = delete;
    TStatusLine& operator=(const TStatusLine&) = delete;

    // A new status: the line before it ends, this one stays open on a
    // terminal so that a percentage can follow it.
    void Show(const std::string& text);
    // The percentage done of the current status (or of prefix when no status
    // is open), at most a few times a second; the last one (done == total) is
    // always shown. Nothing when stderr is not a terminal.
    void Progress(std::uint64_t done, std::uint64_t total, const std::string& prefix = {});
    // Ends an open line, so that what follows starts on a line of its own.
    void Close();
    // stderr, after Close.
    std::ostream& Err();

    [[nodiscard]] bool Terminal() const { return FTerminal; }
    // Quiet (--quiet): no status and no percentage; what goes through Err
    // (warnings, errors, questions) is still shown.
    void SetQuiet(bool quiet) { FQuiet = quiet; }

private:
    bool FTerminal;
    bool FQuiet = false;
    bool FOpen = false;
    std::string FText;
    int FShown = -1;
    std::size_t FWidth = 0; // of what the line shows now
    std::chrono::steady_clock::time_point FLast{};
};

} // namespace quillock::cli
