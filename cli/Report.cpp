// How quillock-cli tells of a failure.
#include "cli/Report.h"

#include "cli/Commands.h"
#include "datafile/FileChecks.h"
#include "platform/Text.h"

#include <iostream>

namespace quillock::cli {

void Report(std::ostream& out, std::string_view file, std::string_view happened, std::string_view next) {
    out << ProgramName << ": ";
    if (!file.empty()) {
        out << platform::PrintableName(file) << ": ";
    }
    out << happened << '\n';
    if (!next.empty()) {
        out << next << '\n';
    }
    out.flush();
}

int Fail(std::string_view file, std::string_view happened, std::string_view next) {
    Report(std::cerr, file, happened, next);
    return ExitFailure;
}

void WipeQuietly(datafile::TDataFileHost& host, const std::string& path) noexcept {
    try {
        if (const std::string left = datafile::WipeFileQuietly(host, path); !left.empty()) {
            Report(std::cerr, path, platform::MessageToUtf8(left));
        }
    } catch (...) {
    }
}

} // namespace quillock::cli
