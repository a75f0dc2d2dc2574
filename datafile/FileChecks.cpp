// Recognising a plain editor file by its first line, file sizes in Kb, and
// wiping temporary files with zeros before deleting them.
#include "datafile/FileChecks.h"

#include "platform/FileHandle.h"
#include "platform/Files.h"
#include "platform/Stream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace quillock::datafile {
namespace {

constexpr const char* EditorName = "arbolix";
constexpr std::size_t EditorNameLength = 7;
constexpr std::size_t HeaderPiece = 4096;

using platform::TFd;

[[noreturn]] void RaiseIo(const std::string& what, const std::string& path) {
    throw platform::EInOutError(what + " " + path + ": " + std::strerror(errno));
}

// Opens an existing regular file of ours for reading and writing, refusing
// read-only files (no write bit: checked explicitly, since the superuser
// could open such a file anyway), symbolic links and files of other users
// (checked on the open file); -1 when it cannot be opened.
int OpenReadWrite(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || platform::IsReadOnly(info)) {
        return -1;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
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

bool CheckHeader(TDataFileHost& host, const std::string& path) {
    TFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!file.Valid() || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        host.AskUser("Cannot open file! (maybe it has the Read Only attribute?)\r\n\r\nPlease check your data.",
                     TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
        host.ExitWithError();
    }
    // The first line is scanned piece by piece, however long it is: only the
    // number of letters of the name matched so far is kept. The name has no
    // repeated prefix, so on a mismatch the match starts again at this byte.
    char buffer[HeaderPiece];
    std::size_t matched = 0;
    for (;;) {
        const ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            RaiseIo("Cannot read", path);
        }
        if (got == 0) {
            break;
        }
        for (ssize_t i = 0; i < got; ++i) {
            char c = buffer[i];
            if (c == '\0' || c == '\r' || c == '\n') {
                // The end of the line, or of the part before a zero byte.
                if (!file.Close()) {
                    RaiseIo("Cannot close", path);
                }
                return false;
            }
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
            matched = c == EditorName[matched] ? matched + 1 : (c == EditorName[0] ? 1 : 0);
            if (matched == EditorNameLength) {
                if (!file.Close()) {
                    RaiseIo("Cannot close", path);
                }
                return true;
            }
        }
    }
    if (!file.Close()) {
        RaiseIo("Cannot close", path);
    }
    return false;
}

std::uint64_t FileSizeKb(TDataFileHost& host, const std::string& path) {
    TFd file(OpenReadWrite(path));
    if (!file.Valid()) {
        host.AskUser("Cannot open file \"" + path + "\" !\r\n(maybe it has the Read Only attribute?)\r\n\r\n" +
                         "Please check your data.",
                     TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
        return 0;
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0) {
        RaiseIo("Cannot take the size of", path);
    }
    if (!file.Close()) {
        RaiseIo("Cannot close", path);
    }
    return static_cast<std::uint64_t>(info.st_size) / 1024 + 1;
}

void WipeFile(TDataFileHost& host, const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) {
        return; // no file of that name: nothing to wipe
    }
    if (!S_ISREG(info.st_mode)) {
        // A link, FIFO, socket or device node at a temporary name is none of
        // our data: remove the name itself and never write zeros through it
        // into whatever it leads to (nor wait on a FIFO).
        if (::unlink(path.c_str()) != 0) {
            RaiseIo("Cannot delete", path);
        }
        return;
    }
    TFd file(OpenReadWrite(path));
    if (!file.Valid()) {
        host.AskUser("ERROR! Can't delete: \"\r\n" + AbsolutePath(path) + "\"\r\n\r\nPlease check your data.",
                     TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
        host.ExitWithError();
    }
    if (::fstat(file.Get(), &info) != 0) {
        RaiseIo("Cannot take the size of", path);
    }
    if (!platform::ZeroFile(file.Get(), static_cast<std::uint64_t>(info.st_size),
                            [&host](std::uint64_t done, std::uint64_t total) { host.Progress(done, total); })) {
        RaiseIo("Cannot overwrite", path);
    }
    if (!file.Close()) {
        RaiseIo("Cannot close", path);
    }
    if (::unlink(path.c_str()) != 0) {
        RaiseIo("Cannot delete", path);
    }
}

} // namespace quillock::datafile
