// The file operations of a session beside a data file, written for a folder
// that other users may write to: names are created new and never reused, an
// existing name counts only as a regular file of ours with one link, and
// checks are made on the open descriptor, not on a second look-up of the name.
#pragma once

#include "platform/Progress.h"

#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

namespace quillock::platform {

// A file as the operations below reach it: by its name inside a folder held
// open (see TFolderHandle::At), so that a folder renamed or replaced at its
// path is never written into, or by a path as it stands (the AT_FDCWD case).
// A path converts to the second kind, so each operation takes either.
class TAtPath {
public:
    TAtPath(std::string path) : FPath(std::move(path)) {}
    TAtPath(const char* path) : FPath(path) {}
    TAtPath(const std::filesystem::path& path) : FPath(path.string()) {}
    // The last part of path inside the open folder folder (path is where
    // that folder was, for messages).
    TAtPath(int folder, std::string path);

    [[nodiscard]] int Folder() const noexcept { return FFolder; }
    // What the *at calls are given, relative to Folder.
    [[nodiscard]] const char* Name() const noexcept { return FPath.c_str() + FNameAt; }
    // The path as the user knows it: messages name this.
    [[nodiscard]] const std::string& Path() const noexcept { return FPath; }
    // Another path in the same folder, reached the same way.
    [[nodiscard]] TAtPath Beside(std::string path) const {
        return FFolder == AT_FDCWD ? TAtPath(std::move(path)) : TAtPath(FFolder, std::move(path));
    }

private:
    int FFolder = AT_FDCWD;
    std::string FPath;
    std::size_t FNameAt = 0;
};

// A regular file of that name; a link counts by what it leads to, a directory
// or anything else as absent.
[[nodiscard]] bool FileExists(const TAtPath& path);

// The path with its extension (from the last dot after the last '/')
// replaced by extension; appended when there is none.
[[nodiscard]] std::string ChangeFileExt(const std::string& path, const std::string& extension);

// The read-only rule, the same for every user (root included): a mode without
// any write bit, or a file the system will not let us write (immutable, a
// read-only file system).
[[nodiscard]] bool IsReadOnly(const struct stat& info);
// The same for a name (a link followed); a name that cannot be examined is
// read-only.
[[nodiscard]] bool IsReadOnly(const TAtPath& path);

// Where a file sits on which device: two names, or a name and a descriptor,
// refer to the same file when these are equal.
struct TFileId {
    dev_t Device = 0;
    ino_t Inode = 0;
    friend bool operator==(const TFileId&, const TFileId&) = default;
};
[[nodiscard]] inline TFileId IdOf(const struct stat& info) noexcept {
    return TFileId{info.st_dev, info.st_ino};
}

// A regular file owned by the user who runs us, with one name only.
[[nodiscard]] bool IsOurs(const struct stat& info);

// What sits at one of our names.
enum class TNameState { Absent, Ours, Foreign };
struct TNameCheck {
    TNameState State = TNameState::Absent;
    // For Foreign: what it is, in words ("a symbolic link", "owned by bob",
    // "a file with 2 names"), to follow the quoted path in a message.
    std::string What;
};
// Looks at path without following a link at its end; a regular file is
// examined on its open descriptor.
[[nodiscard]] TNameCheck CheckOwnName(const TAtPath& path);
// "\"PATH\" is WHAT" for a foreign name, for messages.
[[nodiscard]] std::string DescribeForeign(const std::string& path, const TNameCheck& check);

// Creates path new (O_CREAT|O_EXCL|O_NOFOLLOW) with mode, for reading and
// writing; -1 with errno set when the name exists or cannot be created. On
// btrfs the new file is made to overwrite in place (see MakeOverwritable).
[[nodiscard]] int CreateNewFile(const TAtPath& path, mode_t mode = 0600);

// Opens an existing file of ours (see IsOurs) without following a link;
// -1 with errno set (EPERM for a file that is not ours) otherwise.
[[nodiscard]] int OpenOwnFile(const TAtPath& path, int flags);

// Renames without ever replacing an existing file of the new name.
[[nodiscard]] bool RenameNoReplace(const TAtPath& from, const TAtPath& to);
// Renames, replacing a file of the new name.
[[nodiscard]] bool MoveFile(const TAtPath& from, const TAtPath& to);
// Removes a name (not a folder); false with errno set.
[[nodiscard]] bool RemoveName(const TAtPath& path);
// The name's own status (a link not followed, unless followLink); false with
// errno set.
[[nodiscard]] bool StatName(const TAtPath& path, struct stat& info, bool followLink = false);

// Copies a regular file byte for byte into destination, which is created new
// and owner-only, then given mode (or the source's mode when keepMode is set)
// and flushed to the medium. False on any failure, the partial copy removed.
[[nodiscard]] bool CopyFile(const TAtPath& source, const TAtPath& destination, mode_t mode, bool keepMode,
                            const TProgressFn& progress = {});

// Overwrites the first size bytes of an open file with zeros and flushes
// them to the medium; false with errno set on failure.
[[nodiscard]] bool ZeroFile(int fd, std::uint64_t size, const TProgressFn& progress = {});

// What a wipe found at a name.
enum class TWipeState {
    Absent,  // nothing of that name (a folder counts as nothing)
    Wiped,   // overwritten with zeros, flushed and removed
    Foreign, // left alone: What says what it is
    Failed,  // a step failed: What names it ("overwrite", "delete"), Error says why
};
// What a read-only file of ours is called in a TWipeResult.
inline constexpr const char* ReadOnlyFileWords = "a read-only file";
struct TWipeResult {
    TWipeState State = TWipeState::Absent;
    std::string What;
    int Error = 0;
};

// The one way a file that may hold plain text is wiped: the name is opened
// without following a link, and zeros are written only through that
// descriptor, only once it shows a writable regular file of ours with one
// name (see IsOurs) and, when expected is given, that very file (device and
// inode). Anything else (a link, a FIFO, another user's file, a hard link to
// anyone's file, a read-only file) is left alone, neither written to nor
// removed. The name is removed only while it still leads to the file wiped.
// Never cut short by a signal.
[[nodiscard]] TWipeResult WipeOwnFile(const TAtPath& path, const std::optional<TFileId>& expected = {},
                                      const TProgressFn& progress = {});

// Flushes the names of the folder holding path (a rename, a new file).
[[nodiscard]] bool SyncFolderOf(const TAtPath& path);
// Flushes a file's bytes and its name to the medium.
[[nodiscard]] bool FlushFile(const TAtPath& path);

// Takes group and other permissions off a file of ours (an editor that saves
// by rename gives the new file its own mode); a link is left alone.
void MakeOwnerOnly(const TAtPath& path);

// True when users other than the owner may create or remove names in the
// open folder (a sticky /tmp, a group folder); false when it cannot be
// examined.
[[nodiscard]] bool FolderWritableByOthers(int folder);
// The same for the folder holding path, opened first.
[[nodiscard]] bool FolderWritableByOthers(const std::string& path);

// The name by which this process reaches the file an open descriptor refers
// to, whatever its path refers to meanwhile: /proc/self/fd/N.
[[nodiscard]] std::string DescriptorName(int fd);
// The path an open descriptor has now (a folder renamed since it was opened
// has its new name); empty when it has none.
[[nodiscard]] std::string PathOfDescriptor(int fd);

// The folder holding a file, kept open for a session, so that a folder that
// took its place at that path (renamed or replaced) is told from it.
class TFolderHandle {
public:
    TFolderHandle() = default;
    ~TFolderHandle();
    TFolderHandle(const TFolderHandle&) = delete;
    TFolderHandle& operator=(const TFolderHandle&) = delete;

    // Opens the folder of path; false with errno set when it cannot.
    [[nodiscard]] bool Open(const std::string& path);
    [[nodiscard]] int Fd() const noexcept { return FFd; }
    // Why the last Open failed (its errno), 0 after one that succeeded.
    [[nodiscard]] int Error() const noexcept { return FError; }
    // True when the folder of the path given to Open is still the one held
    // (or none is held).
    [[nodiscard]] bool StillAtItsPath() const;
    // Where the held folder is now.
    [[nodiscard]] std::string CurrentPath() const { return PathOfDescriptor(FFd); }
    // For a path in the folder given to Open: the same name in the held
    // folder, wherever that folder is now and whatever took its place at its
    // path. Any other path (or none held) as it stands. The handle must
    // outlive what it returns.
    [[nodiscard]] TAtPath At(const std::string& path) const;

private:
    int FFd = -1;
    int FError = 0;
    std::string FPath;
};

// "YYYY-MM-DD HH:MM:SS" of a file's last change, local time.
[[nodiscard]] std::string ChangedAt(const struct stat& info);

// The user name of uid, or its number when it has none.
[[nodiscard]] std::string UserName(uid_t uid);

// An exclusive lock held on a file of its own name for as long as the
// object lives. The lock file is created new, or taken over when it is a
// file of ours that a killed holder left; the kernel drops the lock when the
// process ends in any way. The name is removed while the lock is still held,
// unless asked to stay (a lock file shared by every run, like the settings').
class TFileLock {
public:
    enum class TResult { Taken, Busy, Foreign, Failed };

    TFileLock() = default;
    ~TFileLock() { Release(); }
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

    // wait: block until the holder lets go, else Busy at once. Foreign: the
    // name is something that is not ours (ForeignWhat says what). Failed:
    // errno says why.
    [[nodiscard]] TResult Take(const TAtPath& path, bool wait, bool removeName = true);
    [[nodiscard]] bool Held() const noexcept { return FFd >= 0; }
    [[nodiscard]] const std::string& ForeignWhat() const noexcept { return FForeign; }
    void Release() noexcept;

private:
    int FFd = -1;
    TAtPath FPath{""};
    bool FRemoveName = true;
    std::string FForeign;
};

} // namespace quillock::platform
