// Deciding where plain temporaries live, and the private folders in memory.
#include "platform/PrivateFolder.h"

#include "platform/FileHandle.h"
#include "platform/Files.h"
#include "platform/Text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace quillock::platform {
namespace {

// File-system magic numbers (statfs f_type), from the kernel's magic.h and the
// file systems' own sources.
constexpr long BtrfsMagic = 0x9123683E;
constexpr long TmpfsMagic = 0x01021994;
constexpr long RamfsMagic = 0x858458F6;

struct TFileSystem {
    long Magic;
    const char* Name;
};
// File systems that never overwrite a file's blocks in place: zeros written
// over plain text go to new blocks (copy-on-write, log-structured), or to a
// server or a user-space program that keeps what it likes.
constexpr TFileSystem NoOverwrite[] = {
    {0x6969, "NFS"},      {0x517B, "SMB"},    {0xFE534D42, "SMB2"},     {0xFF534D42, "CIFS"},
    {0x65735546, "FUSE"}, {0x01021997, "9p"}, {0x2FC12FC1, "ZFS"},      {0x00C36400, "Ceph"},
    {0x5346414F, "AFS"},  {0x3434, "NILFS"},  {0xCA451A4E, "bcachefs"},
};

constexpr const char* MemoryRootName = "quillock";
std::string ShmRoot = "/dev/shm"; // NOLINT: a test seam, set before any session

const char* NoOverwriteName(const struct statfs& fs) {
    for (const TFileSystem& known : NoOverwrite) {
        if (static_cast<long>(fs.f_type) == known.Magic) {
            return known.Name;
        }
    }
    return nullptr;
}

std::string FolderOf(const std::string& path) {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    return folder.empty() ? std::string(".") : folder.string();
}

std::string NameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

// Another user can create, remove or rename names in a folder of these
// permissions. Root can do anything anyway, so its folders count as ours.
bool WritableByOthers(const struct stat& info) {
    return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0 || (info.st_uid != ::geteuid() && info.st_uid != 0);
}

bool Sticky(const struct stat& info) {
    return (info.st_mode & S_ISVTX) != 0;
}

// The first folder above folder (an open descriptor, then the folders the
// name passes through) that others may write to and that is not sticky.
std::string UnsafeFolderAbove(int folder, const std::string& name) {
    struct stat here {};
    if (::fstat(folder, &here) != 0) {
        return "?";
    }
    // Walked by descriptor, each step from the one before: what is above the
    // folder now, whatever names lead to it.
    std::string found;
    int current = ::dup(folder);
    while (current >= 0 && found.empty()) {
        const int parent = ::openat(current, "..", O_PATH | O_DIRECTORY | O_CLOEXEC);
        ::close(current);
        current = parent;
        struct stat above {};
        if (parent < 0 || ::fstat(parent, &above) != 0) {
            found.assign(1, '?'); // not = "?": GCC 12 -O3 sees an overlapping copy there (-Wrestrict)
        } else if (above.st_dev == here.st_dev && above.st_ino == here.st_ino) {
            break; // the root
        } else if (WritableByOthers(above) && !Sticky(above)) {
            found = PathOfDescriptor(parent);
        }
        here = above;
    }
    if (current >= 0) {
        ::close(current);
    }
    if (!found.empty()) {
        return found;
    }
    // A name through a link: the folders it passes through matter too, since
    // the name is what the editor opens.
    std::error_code error;
    const std::filesystem::path typed = std::filesystem::absolute(name, error).lexically_normal();
    for (std::filesystem::path up = typed.parent_path(); !error && up != up.parent_path(); up = up.parent_path()) {
        const std::filesystem::path next = up.parent_path();
        struct stat info {};
        if (::stat(next.c_str(), &info) == 0 && WritableByOthers(info) && !Sticky(info)) {
            return next.string();
        }
    }
    return {};
}

// Why the file system of an open folder cannot hold plain text, empty when it
// can. On btrfs, a file made there must take the no-copy-on-write attribute.
std::string FileSystemProblem(int folder) {
    struct statfs fs {};
    if (::fstatfs(folder, &fs) != 0) {
        return std::string("its file system cannot be examined (") + std::strerror(errno) + ")";
    }
    if (const char* name = NoOverwriteName(fs); name != nullptr) {
        return std::string("its file system (") + name + ") cannot overwrite a file's blocks in place";
    }
    if (static_cast<long>(fs.f_type) == BtrfsMagic) {
        // A file without a name, gone when closed, tries the attribute.
        const TFd probe(::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
        if (!probe.Valid() || !MakeOverwritable(probe.Get())) {
            return "its file system (btrfs) copies on write, and files there cannot be made to overwrite in place";
        }
    }
    return {};
}

bool OnMemory(int fd) {
    struct statfs fs {};
    return ::fstatfs(fd, &fs) == 0 &&
           (static_cast<long>(fs.f_type) == TmpfsMagic || static_cast<long>(fs.f_type) == RamfsMagic);
}

// Why an open folder is no private folder in memory of ours, empty when it is.
// strict: nobody else may even read it (a folder of ours, 0700).
std::string NotPrivate(int fd, const std::string& path, bool strict) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISDIR(info.st_mode)) {
        return QuotedName(path) + " is not a folder";
    }
    if (info.st_uid != ::geteuid()) {
        return QuotedName(path) + " belongs to another user";
    }
    if ((info.st_mode & (strict ? 077 : 022)) != 0) {
        return QuotedName(path) + " can be " + (strict ? "read or written" : "written") + " by other users";
    }
    if (!OnMemory(fd)) {
        return QuotedName(path) + " is not in memory (tmpfs or ramfs)";
    }
    if (const std::string above = UnsafeFolderAbove(fd, path + "/x"); !above.empty()) {
        return QuotedName(above) + " above " + QuotedName(path) + " can be written by other users";
    }
    return {};
}

// A folder of ours named name inside the open folder parent, created 0700
// when create is set; -1 with why set otherwise.
int OpenOwnFolder(int parent, const std::string& parentPath, const std::string& name, bool create, std::string& why) {
    const std::string path = parentPath + "/" + name;
    if (create && ::mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
        why = "cannot create " + QuotedName(path) + " (" + std::strerror(errno) + ")";
        return -1;
    }
    const int fd = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        why = errno == ENOENT ? QuotedName(path) + " does not exist"
                              : "cannot open " + QuotedName(path) + " (" + std::strerror(errno) + ")";
        return -1;
    }
    // One of ours that a umask or a user left wider is narrowed.
    struct stat info {};
    if (::fstat(fd, &info) == 0 && info.st_uid == ::geteuid() && (info.st_mode & 077) != 0) {
        (void)::fchmod(fd, 0700);
    }
    why = NotPrivate(fd, path, true);
    if (!why.empty()) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// The folder that holds every private folder of this user: in the user's
// runtime folder, else in /dev/shm. Sets path; -1 with why set when neither
// can be had.
int OpenMemoryRoot(bool create, std::string& path, std::string& why) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        const TFd base(::open(runtime, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        std::string problem = base.Valid() ? NotPrivate(base.Get(), runtime, false)
                                           : "cannot open " + QuotedName(runtime) + " (" + std::strerror(errno) + ")";
        if (problem.empty()) {
            const int fd = OpenOwnFolder(base.Get(), runtime, MemoryRootName, create, problem);
            if (fd >= 0) {
                path = std::string(runtime) + "/" + MemoryRootName;
                return fd;
            }
        }
        why = "$XDG_RUNTIME_DIR: " + problem;
    } else {
        why = "$XDG_RUNTIME_DIR is not set";
    }
    const TFd shm(::open(ShmRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::string problem;
    if (!shm.Valid()) {
        problem = "cannot open " + ShmRoot + " (" + std::strerror(errno) + ")";
    } else if (!OnMemory(shm.Get())) {
        problem = ShmRoot + " is not in memory";
    } else {
        const std::string name = std::string(MemoryRootName) + "-" + std::to_string(::geteuid());
        const int fd = OpenOwnFolder(shm.Get(), ShmRoot, name, create, problem);
        if (fd >= 0) {
            path = ShmRoot + "/" + name;
            return fd;
        }
    }
    why += "; " + problem;
    return -1;
}

// The data file's folder as held, else (none held) opened now by its path.
const TFolderHandle& HeldOrOpened(const TFolderHandle& held, const std::string& dataFile, TFolderHandle& opened) {
    if (held.Fd() >= 0) {
        return held;
    }
    (void)opened.Open(dataFile);
    return opened;
}

// Why the folder cannot be examined: the error of its open, else of the
// call that just failed on it.
std::string ErrorOf(const TFolderHandle& folder) {
    return std::strerror(folder.Fd() < 0 ? folder.Error() : errno);
}

// The private folder of dataFile, named by its folder as opened; empty with
// why set when there is none.
std::string PrivateFolderOf(const TFolderHandle& held, const std::string& dataFile, bool create, std::string& why) {
    struct statx folder {};
    if (held.Fd() < 0 || ::statx(held.Fd(), "", AT_EMPTY_PATH, STATX_INO | STATX_BTIME, &folder) != 0) {
        why = "the data file's folder cannot be examined (" + ErrorOf(held) + ")";
        return {};
    }
    std::string rootPath;
    const TFd root(OpenMemoryRoot(create, rootPath, why));
    if (!root.Valid()) {
        return {};
    }
    // Without a birth time (a file system that keeps none) the inode alone
    // tells the folder.
    const TFolderIdentity identity{makedev(folder.stx_dev_major, folder.stx_dev_minor), folder.stx_ino,
                                   (folder.stx_mask & STATX_BTIME) != 0 ? folder.stx_btime.tv_sec : 0,
                                   (folder.stx_mask & STATX_BTIME) != 0 ? folder.stx_btime.tv_nsec : 0U};
    const std::string name = PrivateFolderName(identity, NameOf(dataFile));
    const TFd own(OpenOwnFolder(root.Get(), rootPath, name, create, why));
    return own.Valid() ? rootPath + "/" + name : std::string();
}

// Why the folder as opened is no safe place for plain text (see
// BesideUnsafeReason).
std::string UnsafeBeside(const TFolderHandle& folder, const std::string& dataFile) {
    struct stat info {};
    if (folder.Fd() < 0 || ::fstat(folder.Fd(), &info) != 0) {
        return "its folder cannot be examined (" + ErrorOf(folder) + ")";
    }
    if (WritableByOthers(info)) {
        return "its folder can be written by other users";
    }
    if (const std::string above = UnsafeFolderAbove(folder.Fd(), dataFile); !above.empty()) {
        return "the folder " + QuotedName(above) + " above it can be written by other users and is not sticky";
    }
    return FileSystemProblem(folder.Fd());
}

} // namespace

TPrivateTemp PrivateTempOf(std::int32_t stored) noexcept {
    return stored == static_cast<std::int32_t>(TPrivateTemp::ptAlways) ? TPrivateTemp::ptAlways
                                                                       : TPrivateTemp::ptWhereNeeded;
}

std::string TTempLocation::PathOf(const std::string& dataFile, const std::string& extension) const {
    if (Place != TTempPlace::tpPrivate) {
        return dataFile + extension;
    }
    return Folder + "/" + NameOf(dataFile) + extension;
}

std::string BesideUnsafeReason(const TFolderHandle& held, const std::string& dataFile) {
    TFolderHandle opened;
    return UnsafeBeside(HeldOrOpened(held, dataFile, opened), dataFile);
}

std::string BesideUnsafeReason(const std::string& dataFile) {
    return BesideUnsafeReason(TFolderHandle(), dataFile);
}

TTempLocation ChooseTempFolder(const TFolderHandle& held, const std::string& dataFile, TPrivateTemp choice) {
    TFolderHandle opened;
    const TFolderHandle& folder = HeldOrOpened(held, dataFile, opened);
    const std::string unsafe = UnsafeBeside(folder, dataFile);
    if (unsafe.empty() && choice == TPrivateTemp::ptWhereNeeded) {
        return {TTempPlace::tpBeside, FolderOf(dataFile),
                "only you can change its folder and the folders above it, on a file system that overwrites in "
                "place"};
    }
    const std::string because = unsafe.empty() ? "the setting PrivateTemp asks for it" : unsafe;
    std::string why;
    const std::string own = PrivateFolderOf(folder, dataFile, true, why);
    if (!own.empty()) {
        return {TTempPlace::tpPrivate, own, because, !unsafe.empty()};
    }
    return {TTempPlace::tpFallback, FolderOf(dataFile),
            because + ", and no private folder in memory is available (" + why + ")", !unsafe.empty()};
}

TTempLocation ChooseTempFolder(const std::string& dataFile, TPrivateTemp choice) {
    return ChooseTempFolder(TFolderHandle(), dataFile, choice);
}

std::optional<std::string> FindPrivateFolder(const TFolderHandle& held, const std::string& dataFile) {
    TFolderHandle opened;
    std::string why;
    std::string own = PrivateFolderOf(HeldOrOpened(held, dataFile, opened), dataFile, false, why);
    if (own.empty()) {
        return std::nullopt;
    }
    return own;
}

std::optional<std::string> FindPrivateFolder(const std::string& dataFile) {
    return FindPrivateFolder(TFolderHandle(), dataFile);
}

std::string PrivateFolderName(const TFolderIdentity& folder, const std::string& name) {
    // FNV-1a, 64 bits: a name, not a secret; the folder is the user's own.
    std::uint64_t digest = 0xCBF29CE484222325ULL;
    const auto mix = [&](const void* data, std::size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            digest = (digest ^ bytes[i]) * 0x100000001B3ULL;
        }
    };
    const std::uint64_t fields[] = {static_cast<std::uint64_t>(folder.Device), folder.Inode,
                                    static_cast<std::uint64_t>(folder.BirthSeconds), folder.BirthNanoseconds};
    mix(fields, sizeof fields);
    mix(name.data(), name.size());
    char hex[17] = "";
    (void)std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(digest));
    // Kept short of the longest name a folder may have, with room for the digest.
    return name.substr(0, 200) + "." + hex;
}

void RemovePrivateFolder(const TTempLocation& folder) {
    if (folder.Place == TTempPlace::tpPrivate) {
        (void)::rmdir(folder.Folder.c_str());
    }
}

std::string KeepsOldBlocks(int fd) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) {
        return {};
    }
    if (const char* name = NoOverwriteName(fs); name != nullptr) {
        return name;
    }
    int flags = 0;
    const bool noCow = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_NOCOW_FL) != 0;
    return static_cast<long>(fs.f_type) == BtrfsMagic && !noCow ? "btrfs" : "";
}

void SetSharedMemoryRoot(const std::string& path) {
    ShmRoot = path;
}

bool MakeOverwritable(int fd) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0 || static_cast<long>(fs.f_type) != BtrfsMagic) {
        return true;
    }
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
        return false;
    }
    if ((flags & FS_NOCOW_FL) == 0) {
        flags |= FS_NOCOW_FL;
        if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0 || ::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) {
            return false;
        }
    }
    return (flags & FS_NOCOW_FL) != 0;
}

} // namespace quillock::platform
