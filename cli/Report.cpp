// How quillock-cli tells of a failure.
#include "cli/Report.h"

#include "cli/Commands.h"
#include "cli/TerminalDialogs.h"
#include "datafile/FileChecks.h"
#include "datafile/Messages.h"
#include "platform/Text.h"

#include <cerrno>
#include <fcntl.h>
#include <iostream>
#include <unistd.h>

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

int ReportDataFileError(datafile::TDataFileHost& host, const datafile::EDataFileError& error) {
    try {
        datafile::ReportAndExit(host, error);
    } catch (const datafile::TProgramExit& exit) {
        return exit.ExitCode;
    }
}

bool ReportUnreadable(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        ::close(fd);
        return false;
    }
    // What a session says of it, in the terminal's words, with the reason.
    const int error = errno;
    std::cerr << TerminalText(datafile::TMsgDlgType::mtError, path, datafile::CannotOpenText(), error) << std::endl;
    return true;
}

} // namespace quillock::cli
