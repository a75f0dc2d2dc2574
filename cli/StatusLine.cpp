// The status line of quillock-cli, with the percentage of a long step.
#include "cli/StatusLine.h"

#include <iostream>
#include <unistd.h>

namespace quillock::cli {
namespace {

// A few updates a second: enough to see it move, little enough to cost nothing.
constexpr std::chrono::milliseconds UpdateEvery{200};

// Writes a piece of the status line in one go. A write a signal cut short
// (a terminal whose output is stopped) only shows less: the stream is made
// good again, so that the next status and the messages after it are shown.
void Write(const std::string& text) {
    std::cerr << text << std::flush;
    if (!std::cerr) {
        std::cerr.clear();
    }
}

} // namespace

TStatusLine::TStatusLine() : FTerminal(::isatty(STDERR_FILENO) == 1) {}

TStatusLine::~TStatusLine() {
    Close();
}

void TStatusLine::Show(const std::string& text) {
    Close();
    if (FQuiet) {
        return;
    }
    FText = text;
    FShown = -1;
    FWidth = text.size();
    Write(FTerminal ? text : text + '\n');
    FOpen = FTerminal;
}

void TStatusLine::Progress(std::uint64_t done, std::uint64_t total, const std::string& prefix) {
    if (!FTerminal || FQuiet || total == 0) {
        return;
    }
    if (!FOpen) {
        FText = prefix;
        FShown = -1;
        FWidth = 0;
    }
    const int percent = done >= total ? 100 : static_cast<int>(done * 100 / total);
    const auto now = std::chrono::steady_clock::now();
    if (percent == FShown || (percent != 100 && FShown >= 0 && now - FLast < UpdateEvery)) {
        return;
    }
    FLast = now;
    FShown = percent;
    FOpen = true;
    // Back to the start of the line and the status again; blanks cover what
    // a longer figure before (a step that started again) left behind.
    const std::string line = FText + (FText.empty() ? "" : " ") + std::to_string(percent) + "%";
    Write('\r' + line + std::string(FWidth > line.size() ? FWidth - line.size() : 0, ' '));
    FWidth = line.size();
}

void TStatusLine::Close() {
    if (FOpen) {
        Write("\n");
        FOpen = false;
    }
}

std::ostream& TStatusLine::Err() {
    Close();
    return std::cerr;
}

} // namespace quillock::cli
