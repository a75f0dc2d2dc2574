// Recognising a plain editor file by its first line, file sizes in Kb, and
// wiping temporary files with zeros before deleting them.
#include "datafile/FileChecks.h"

#include "datafile/Messages.h"
#include "platform/FileHandle.h"
#include "platform/Files.h"
#include "platform/Stream.h"
#include "platform/Text.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace quillock::datafile {
namespace {

constexpr const char* EditorName = "arbolix";
constexpr std::size_t EditorNameLength = 7;
constexpr std::size_t HeaderPiece = 4096;

using platform::TFd;

[[noreturn]] void RaiseIo(const std::string& what, const std::string& path) {
    const int cause = errno;
    throw platform::EInOutError(what + " " + path + ": " + std::strerror(cause), cause);
}

// Opens an existing regular file of ours for reading and writing, refusing
// read-only files (no write bit: checked explicitly, since the superuser
// could open such a file anyway), symbolic links and files of other users
// (checked on the open file); -1 when it cannot be opened.
int OpenReadWrite(const platform::TAtPath& path) {
    struct stat info {};
    if (!platform::StatName(path, info) || !S_ISREG(info.st_mode) || platform::IsReadOnly(info)) {
        return -1;
    }
    const int fd = ::openat(path.Folder(), path.Name(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::string AbsolutePath(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.string();
}

} // namespace

bool THeaderScan::Feed(const std::uint8_t* data, std::size_t size) {
    if (FDone || size == 0) {
        FDone = true;
        return true;
    }
    // Only the number of letters of the name matched so far is kept, however
    // long the line is. The name has no repeated prefix, so on a mismatch the
    // match starts again at this byte.
    for (std::size_t i = 0; i < size; ++i) {
        char c = static_cast<char>(data[i]);
        if (c == '\0' || c == '\r' || c == '\n') {
            // The end of the line, or of the part before a zero byte.
            FDone = true;
            return true;
        }
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        FMatched = c == EditorName[FMatched] ? FMatched + 1 : (c == EditorName[0] ? 1 : 0);
        if (FMatched == EditorNameLength) {
            FFound = true;
            FDone = true;
            return true;
        }
    }
    return false;
}

bool CheckHeader(TDataFileHost& host, const platform::TAtPath& path) {
    TFd file(::openat(path.Folder(), path.Name(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!file.Valid() || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        // Opened, but not a file: a folder has a reason of its own.
        host.HearCause(!file.Valid() ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0);
        throw EDataFileError{CannotOpenText(), {}};
    }
    char buffer[HeaderPiece];
    THeaderScan scan;
    for (;;) {
        const ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            RaiseIo("Cannot read", path.Path());
        }
        if (scan.Feed(reinterpret_cast<const std::uint8_t*>(buffer), static_cast<std::size_t>(got))) {
            break;
        }
    }
    if (!file.Close()) {
        RaiseIo("Cannot close", path.Path());
    }
    return scan.NamesEditor();
}

std::uint64_t FileSizeKb(TDataFileHost& host, const platform::TAtPath& path) {
    TFd file(OpenReadWrite(path));
    if (!file.Valid()) {
        host.HearCause(errno);
        host.AskUser(CannotOpenText(path.Path()), TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
        return 0;
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0) {
        RaiseIo("Cannot take the size of", path.Path());
    }
    if (!file.Close()) {
        RaiseIo("Cannot close", path.Path());
    }
    return static_cast<std::uint64_t>(info.st_size) / 1024 + 1;
}

std::string WipeFileQuietly(TDataFileHost& host, const platform::TAtPath& path,
                            const std::optional<platform::TFileId>& expected) {
    const std::string& named = path.Path();
    struct stat info {};
    if (!platform::StatName(path, info) || S_ISDIR(info.st_mode)) {
        return {}; // no file of that name: nothing to wipe
    }
    if (!S_ISREG(info.st_mode)) {
        // A link, FIFO, socket or device node at a temporary name is none of
        // our data: remove the name itself and never write zeros through it
        // into whatever it leads to (nor wait on a FIFO).
        if (!platform::RemoveName(path)) {
            RaiseIo("Cannot delete", named);
        }
        return {};
    }
    const platform::TWipeResult wiped = platform::WipeOwnFile(
        path, expected, [&host](std::uint64_t done, std::uint64_t total) { host.Progress(done, total); });
    switch (wiped.State) {
    case platform::TWipeState::Absent:
    case platform::TWipeState::Wiped:
        return {};
    case platform::TWipeState::Failed:
        errno = wiped.Error;
        RaiseIo("Cannot " + wiped.What, named);
    case platform::TWipeState::Foreign:
        break;
    }
    return platform::DescribeForeign(named, {platform::TNameState::Foreign, wiped.What}) +
           (wiped.What == platform::ReadOnlyFileWords ? "" : ", not a file of yours") + "; it was left as it is.";
}

void WipeFile(TDataFileHost& host, const platform::TAtPath& path, const std::optional<platform::TFileId>& expected) {
    const std::string left = WipeFileQuietly(host, path, expected);
    if (left.empty()) {
        return;
    }
    // A read-only file of ours is the one the user may simply make writable.
    const bool readOnly = left.find(platform::ReadOnlyFileWords) != std::string::npos;
    throw EDataFileError{CannotDeleteText + ("\r\n" + platform::PrintableName(AbsolutePath(path.Path()))) +
                             "\"\r\n\r\n" + (readOnly ? std::string() : left + "\r\n\r\n") + CheckDataText,
                         {}};
}

void ReportError(TDataFileHost& host, const EDataFileError& error) {
    std::string text = error.Text;
    // A file at these names that is not ours (a link planted after a
    // mistyped password) is left alone and named.
    for (const std::string& path : error.Wipe) {
        if (const std::string left = WipeFileQuietly(host, path); !left.empty()) {
            text += "\r\n\r\n" + left;
        }
    }
    host.AskUser(text, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
}

void ReportAndExit(TDataFileHost& host, const EDataFileError& error) {
    ReportError(host, error);
    host.ExitWithError();
    std::terminate(); // a host whose ExitWithError returns breaks its contract
}

} // namespace quillock::datafile
