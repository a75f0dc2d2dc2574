// How quillock-cli tells of a failure.
#include "cli/Report.h"

#include "cli/Commands.h"
#include "datafile/FileChecks.h"
#include "platform/Text.h"

#include <cerrno>
#include <cstring>
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

void WipeQuietly(datafile::TDataFileHost& host, const std::string& path) noexcept {
    try {
        if (const std::string left = datafile::WipeFileQuietly(host, path); !left.empty()) {
            Report(std::cerr, path, platform::MessageToUtf8(left));
        }
    } catch (...) {
    }
}

bool ReportUnreadable(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        ::close(fd);
        return false;
    }
    const int error = errno;
    const char* reason = error == ENOENT   ? "No such file"
                         : error == EACCES ? "Permission denied"
                                           : std::strerror(error);
    std::cerr << "Error: Cannot open file! (maybe it has the Read Only attribute?)\n\nPlease check your data.\n"
              << path << ": " << reason << '\n';
    return true;
}

} // namespace quillock::cli
