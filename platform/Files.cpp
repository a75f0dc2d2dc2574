// The file operations of a session beside a data file, safe in a folder that
// other users may write to.
#include "platform/Files.h"

#include "platform/AlignedBuffer.h"
#include "platform/AtomicFile.h"
#include "platform/FileHandle.h"
#include "platform/PrivateFolder.h"
#include "platform/Signals.h"
#include "platform/Text.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <pwd.h>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace quillock::platform {
namespace {

constexpr std::size_t CopyPiece = 65536;
constexpr std::size_t ZeroBlock = std::size_t{1} << 20; // zeros written per call

// Opens without following a link at the end and without waiting on a FIFO;
// the descriptor is blocking again once open.
int OpenNoFollow(const TAtPath& path, int flags, mode_t mode = 0) {
    const int fd = ::openat(path.Folder(), path.Name(), flags | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, mode);
    if (fd >= 0) {
        (void)::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    return fd;
}

std::string FolderOf(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return folder.empty() ? std::string(".") : folder.string();
}

} // namespace

TAtPath::TAtPath(int folder, std::string path) : FFolder(folder), FPath(std::move(path)) {
    const std::size_t slash = FPath.rfind('/');
    FNameAt = slash == std::string::npos ? 0 : slash + 1;
}

bool FileExists(const TAtPath& path) {
    struct stat info {};
    return StatName(path, info, true) && S_ISREG(info.st_mode);
}

std::string ChangeFileExt(const std::string& path, const std::string& extension) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return path + extension;
    }
    return path.substr(0, dot) + extension;
}

bool IsReadOnly(const struct stat& info) {
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

bool IsReadOnly(const TAtPath& path) {
    struct stat info {};
    if (!StatName(path, info, true)) {
        return true;
    }
    return IsReadOnly(info) || (S_ISREG(info.st_mode) && ::faccessat(path.Folder(), path.Name(), W_OK, 0) != 0);
}

bool IsOurs(const struct stat& info) {
    return S_ISREG(info.st_mode) && info.st_uid == ::geteuid() && info.st_nlink == 1;
}

namespace {

TNameCheck CheckOwnNameOnce(const TAtPath& path, bool& removedMeanwhile) {
    struct stat info {};
    if (!StatName(path, info)) {
        return {errno == ENOENT || errno == ENOTDIR ? TNameState::Absent : TNameState::Foreign,
                errno == ENOENT || errno == ENOTDIR ? "" : "a name that cannot be examined"};
    }
    if (S_ISLNK(info.st_mode)) {
        return {TNameState::Foreign, "a symbolic link"};
    }
    if (!S_ISREG(info.st_mode)) {
        return {TNameState::Foreign, S_ISDIR(info.st_mode) ? "a folder" : "not a regular file"};
    }
    // The name may have changed since the look-up: the verdict is the open
    // file's.
    const TFd file(OpenNoFollow(path, O_RDONLY));
    if (!file.Valid()) {
        if (errno == ENOENT) {
            return {TNameState::Absent, ""};
        }
        if (errno != EACCES) {
            return {TNameState::Foreign, "a file that cannot be opened"};
        }
        // Not readable to us: examined by its name alone, which is enough to
        // call it foreign or a read-only file of ours.
    } else if (::fstat(file.Get(), &info) != 0) {
        return {TNameState::Foreign, "a file that cannot be examined"};
    }
    if (info.st_uid != ::geteuid()) {
        return {TNameState::Foreign, "owned by " + UserName(info.st_uid)};
    }
    if (!S_ISREG(info.st_mode)) {
        return {TNameState::Foreign, "not a regular file"};
    }
    if (info.st_nlink == 0) {
        removedMeanwhile = true;
        return {TNameState::Absent, ""};
    }
    if (info.st_nlink != 1) {
        return {TNameState::Foreign, "a file with " + std::to_string(info.st_nlink) + " names (hard links)"};
    }
    return {TNameState::Ours, ""};
}

} // namespace

TNameCheck CheckOwnName(const TAtPath& path) {
    // A file whose name goes between the look-up and the open is seen with no
    // name at all: that is a name being removed (a lock let go, a temporary
    // wiped), not a foreign file, so the name is looked at again.
    constexpr int Looks = 100;
    TNameCheck check;
    for (int look = 0; look < Looks; ++look) {
        bool removedMeanwhile = false;
        check = CheckOwnNameOnce(path, removedMeanwhile);
        if (!removedMeanwhile) {
            return check;
        }
    }
    return check;
}

std::string DescribeForeign(const std::string& path, const TNameCheck& check) {
    return QuotedName(path) + " is " + check.What;
}

int CreateNewFile(const TAtPath& path, mode_t mode) {
    const int fd = OpenNoFollow(path, O_RDWR | O_CREAT | O_EXCL, mode);
    struct stat info {};
    // A new file is ours; the mode is set again in case the umask took bits.
    if (fd >= 0 && (::fstat(fd, &info) != 0 || !IsOurs(info) || ::fchmod(fd, mode) != 0)) {
        const int error = errno;
        ::close(fd);
        errno = error == 0 ? EPERM : error;
        return -1;
    }
    // Before its first byte: on btrfs only a file made so can have its plain
    // blocks overwritten by a wipe. Where the attribute cannot be set, plain
    // temporaries are kept out of that folder (see BesideUnsafeReason).
    if (fd >= 0) {
        (void)MakeOverwritable(fd);
    }
    return fd;
}

int OpenOwnFile(const TAtPath& path, int flags) {
    const int fd = OpenNoFollow(path, flags);
    struct stat info {};
    if (fd >= 0 && (::fstat(fd, &info) != 0 || !IsOurs(info))) {
        ::close(fd);
        errno = EPERM;
        return -1;
    }
    return fd;
}

bool RenameNoReplace(const TAtPath& from, const TAtPath& to) {
    if (::renameat2(from.Folder(), from.Name(), to.Folder(), to.Name(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the flag: a new link fails when the name exists.
    if (::linkat(from.Folder(), from.Name(), to.Folder(), to.Name(), 0) != 0) {
        return false;
    }
    if (!RemoveName(from)) {
        (void)RemoveName(to);
        return false;
    }
    return true;
}

bool MoveFile(const TAtPath& from, const TAtPath& to) {
    return ::renameat(from.Folder(), from.Name(), to.Folder(), to.Name()) == 0;
}

bool RemoveName(const TAtPath& path) {
    return ::unlinkat(path.Folder(), path.Name(), 0) == 0;
}

bool StatName(const TAtPath& path, struct stat& info, bool followLink) {
    return ::fstatat(path.Folder(), path.Name(), &info, followLink ? 0 : AT_SYMLINK_NOFOLLOW) == 0;
}

bool CopyFile(const TAtPath& source, const TAtPath& destination, mode_t mode, bool keepMode,
              const TProgressFn& progress) {
    TFd in(OpenNoFollow(source, O_RDONLY));
    struct stat info {};
    if (!in.Valid() || ::fstat(in.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    TFd out(CreateNewFile(destination, 0600));
    if (!out.Valid()) {
        return false;
    }
    const auto total = static_cast<std::uint64_t>(info.st_size);
    std::uint64_t done = 0;
    const auto fail = [&]() {
        const int error = errno;
        (void)RemoveName(destination);
        errno = error;
        return false;
    };
    if (::fchmod(out.Get(), keepMode ? (info.st_mode & 07777) : mode) != 0) {
        return fail();
    }
    // The kernel copies without the bytes passing through this process; where
    // it cannot (other file systems, older kernels), the copy goes through a
    // buffer from where the kernel stopped.
    for (bool copied = false; !copied;) {
        const ssize_t moved = ::copy_file_range(in.Get(), nullptr, out.Get(), nullptr, std::size_t{1} << 26, 0);
        if (moved < 0 && errno == EINTR) {
            continue;
        }
        if (moved < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
            break;
        }
        if (moved < 0) {
            return fail();
        }
        copied = moved == 0;
        done += static_cast<std::uint64_t>(moved);
        if (progress && moved > 0) {
            progress(done, total);
        }
    }
    // The copied bytes may be plain text: the buffer is wiped on every way out.
    TAlignedBuffer buffer(CopyPiece);
    for (;;) {
        const ssize_t got = ::read(in.Get(), buffer.Data(), buffer.Size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return fail();
        }
        if (got == 0) {
            break;
        }
        if (!WriteAll(out.Get(), buffer.Data(), static_cast<std::size_t>(got))) {
            return fail();
        }
        done += static_cast<std::uint64_t>(got);
        if (progress) {
            progress(done, total);
        }
    }
    if (::fsync(out.Get()) != 0 || !out.Close()) {
        return fail();
    }
    return true;
}

bool ZeroFile(int fd, std::uint64_t size, const TProgressFn& progress) {
    const auto zeros = std::make_unique<std::uint8_t[]>(ZeroBlock); // value-initialised: all zero
    std::uint64_t done = 0;
    while (done < size) {
        const std::size_t want = size - done < ZeroBlock ? static_cast<std::size_t>(size - done) : ZeroBlock;
        const ssize_t put = ::pwrite(fd, zeros.get(), want, static_cast<off_t>(done));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            if (put == 0) {
                errno = EIO;
            }
            return false;
        }
        done += static_cast<std::uint64_t>(put);
        if (progress) {
            progress(done, size);
        }
    }
    // The zeros must reach the medium: pages of a deleted file that were
    // never written back are simply dropped.
    return ::fsync(fd) == 0;
}

TWipeResult WipeOwnFile(const TAtPath& path, const std::optional<TFileId>& expected, const TProgressFn& progress) {
    const TSignalDeferral unbroken;
    struct stat info {};
    if (!StatName(path, info) || S_ISDIR(info.st_mode)) {
        return {};
    }
    if (!S_ISREG(info.st_mode)) {
        return {TWipeState::Foreign, S_ISLNK(info.st_mode) ? "a symbolic link" : "not a regular file"};
    }
    const TFd file(OpenNoFollow(path, O_RDWR));
    if (!file.Valid()) {
        if (errno == ENOENT) {
            return {};
        }
        const TNameCheck check = CheckOwnName(path);
        if (check.State == TNameState::Absent) {
            return {};
        }
        if (check.State == TNameState::Foreign) {
            return {TWipeState::Foreign, check.What};
        }
        return {TWipeState::Foreign, IsReadOnly(info) ? ReadOnlyFileWords : "a file that cannot be opened"};
    }
    if (::fstat(file.Get(), &info) != 0) {
        return {TWipeState::Failed, "examine", errno};
    }
    if (!S_ISREG(info.st_mode)) {
        return {TWipeState::Foreign, "not a regular file"};
    }
    if (info.st_uid != ::geteuid()) {
        return {TWipeState::Foreign, "owned by " + UserName(info.st_uid)};
    }
    if (info.st_nlink != 1) {
        return {TWipeState::Foreign, "a file with " + std::to_string(info.st_nlink) + " names (hard links)"};
    }
    if (IsReadOnly(info)) {
        return {TWipeState::Foreign, ReadOnlyFileWords};
    }
    if (expected && IdOf(info) != *expected) {
        return {TWipeState::Foreign, "another file than the one this program made there"};
    }
    if (!ZeroFile(file.Get(), static_cast<std::uint64_t>(info.st_size), progress)) {
        return {TWipeState::Failed, "overwrite", errno};
    }
    // Only the name of the file wiped goes: one swapped in meanwhile stays.
    struct stat named {};
    if (StatName(path, named) && IdOf(named) == IdOf(info) && !RemoveName(path)) {
        return {TWipeState::Failed, "delete", errno};
    }
    return {TWipeState::Wiped, ""};
}

bool SyncFolderOf(const TAtPath& path) {
    if (path.Folder() == AT_FDCWD) {
        return SyncFolder(std::filesystem::path(path.Path()).parent_path());
    }
    // A held folder may be a path-only descriptor: flushed through one that
    // reads it.
    const TFd folder(::openat(path.Folder(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder.Valid() && ::fsync(folder.Get()) == 0;
}

bool FlushFile(const TAtPath& path) {
    TFd file(OpenNoFollow(path, O_RDONLY));
    return file.Valid() && ::fsync(file.Get()) == 0 && file.Close() && SyncFolderOf(path);
}

void MakeOwnerOnly(const TAtPath& path) {
    const TFd file(OpenNoFollow(path, O_RDONLY));
    struct stat info {};
    if (file.Valid() && ::fstat(file.Get(), &info) == 0 && IsOurs(info) && (info.st_mode & 077) != 0) {
        (void)::fchmod(file.Get(), info.st_mode & 0700);
    }
}

bool FolderWritableByOthers(int folder) {
    struct stat info {};
    if (::fstat(folder, &info) != 0) {
        return false;
    }
    return (info.st_mode & S_IWOTH) != 0 || ((info.st_mode & S_IWGRP) != 0) || info.st_uid != ::geteuid();
}

bool FolderWritableByOthers(const std::string& path) {
    TFolderHandle folder;
    return folder.Open(path) && FolderWritableByOthers(folder.Fd());
}

std::string DescriptorName(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

std::string PathOfDescriptor(int fd) {
    std::error_code error;
    const std::filesystem::path target = std::filesystem::read_symlink(DescriptorName(fd), error);
    return error ? std::string() : target.string();
}

TFolderHandle::~TFolderHandle() {
    if (FFd >= 0) {
        ::close(FFd);
    }
}

bool TFolderHandle::Open(const std::string& path) {
    if (FFd >= 0) {
        ::close(FFd);
    }
    FPath = FolderOf(path);
    FFd = ::open(FPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    FError = FFd < 0 ? errno : 0;
    return FFd >= 0;
}

bool TFolderHandle::StillAtItsPath() const {
    struct stat held {};
    struct stat named {};
    return FFd < 0 || (::fstat(FFd, &held) == 0 && ::stat(FPath.c_str(), &named) == 0 && IdOf(held) == IdOf(named));
}

TAtPath TFolderHandle::At(const std::string& path) const {
    if (FFd < 0 || FolderOf(path) != FPath) {
        return path;
    }
    return {FFd, path};
}

std::string ChangedAt(const struct stat& info) {
    struct tm local {};
    const time_t seconds = info.st_mtim.tv_sec;
    char text[32] = "";
    if (::localtime_r(&seconds, &local) != nullptr) {
        (void)std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    }
    return text;
}

std::string UserName(uid_t uid) {
    std::vector<char> buffer(16384);
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr) {
        return std::string(found->pw_name) + " (uid " + std::to_string(uid) + ")";
    }
    return "uid " + std::to_string(uid);
}

TFileLock::TResult TFileLock::Take(const TAtPath& path, bool wait, bool removeName) {
    Release();
    for (;;) {
        // A lock file of ours left by a killed holder is taken over; anything
        // else at the name is refused rather than used.
        int fd = OpenNoFollow(path, O_RDWR);
        if (fd >= 0) {
            struct stat info {};
            if (::fstat(fd, &info) != 0 || !IsOurs(info)) {
                ::close(fd);
                FForeign = CheckOwnName(path).What;
                if (FForeign.empty()) {
                    continue; // gone meanwhile
                }
                return TResult::Foreign;
            }
        } else if (errno == ENOENT) {
            // Ours by its exclusive creation. Until it is locked below,
            // another copy may take, use and remove it: the check after
            // locking finds that and looks again.
            fd = OpenNoFollow(path, O_RDWR | O_CREAT | O_EXCL, 0600);
            if (fd < 0 && errno == EEXIST) {
                continue; // someone else was quicker: look again
            }
            if (fd < 0) {
                return TResult::Failed;
            }
        } else {
            const int error = errno;
            const TNameCheck check = CheckOwnName(path);
            if (check.State == TNameState::Foreign) {
                FForeign = check.What;
                return TResult::Foreign;
            }
            errno = error;
            return TResult::Failed;
        }
        int result = 0;
        while ((result = ::flock(fd, wait ? LOCK_EX : LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
        }
        if (result != 0) {
            const int error = errno;
            ::close(fd);
            errno = error;
            if (error == EWOULDBLOCK) {
                return TResult::Busy;
            }
            // A file system without locks: nothing better can be done than
            // going on without one.
            if (error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS) {
                return TResult::Taken;
            }
            return TResult::Failed;
        }
        // The holder before us may have removed the name between our open
        // and our lock: then the lock is on a file nobody else can find.
        struct stat held {};
        struct stat named {};
        if (::fstat(fd, &held) == 0 && StatName(path, named) && IdOf(held) == IdOf(named)) {
            FFd = fd;
            FPath = path;
            FRemoveName = removeName;
            return TResult::Taken;
        }
        ::close(fd);
    }
}

void TFileLock::Release() noexcept {
    if (FFd >= 0) {
        // The name goes while the lock is still held; see Take.
        if (FRemoveName) {
            (void)RemoveName(FPath);
        }
        ::close(FFd);
        FFd = -1;
    }
}

} // namespace quillock::platform
