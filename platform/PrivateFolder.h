// Where the plain temporaries of a data file (its working copy and
// intermediate file) may live: beside it when nobody else can reach them there
// and zeros really overwrite them, else in a private folder in memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

namespace quillock::platform {

class TFolderHandle;

// The user's choice, stored as the DWORD value PrivateTempValue.
enum class TPrivateTemp : std::int32_t {
    ptWhereNeeded = 0, // the private folder only where beside is not safe
    ptAlways = 1,      // the private folder for every data file
};
inline constexpr const char* PrivateTempValue = "PrivateTemp";
// A stored number as the choice; unknown numbers are the default.
[[nodiscard]] TPrivateTemp PrivateTempOf(std::int32_t stored) noexcept;

enum class TTempPlace {
    tpBeside,   // the data file's own folder
    tpPrivate,  // a private folder in memory, one per data file
    tpFallback, // beside, although it is not safe there: no private folder could be had
};

// Where one data file's plain temporaries go, decided once per session.
struct TTempLocation {
    TTempPlace Place = TTempPlace::tpBeside;
    // The folder the temporaries are in: the data file's folder as its name
    // gives it (beside, fallback), or the absolute path of its private folder.
    std::string Folder;
    // Why they are there, in a few words to follow "because"/"since" ("the
    // folder can be written by other users", "btrfs cannot overwrite ..."). For
    // tpFallback both why beside is unsafe and why no private folder exists.
    std::string Reason;
    // Beside the data file is not safe (rather than the private folder being
    // asked for by the setting).
    bool BesideUnsafe = false;

    // The temporary of dataFile with extension (".qlt", ".qlz"): its name is
    // always the data file's name plus the extension, as users know it.
    [[nodiscard]] std::string PathOf(const std::string& dataFile, const std::string& extension) const;
};

// Why the folder of dataFile is no safe place for plain text, empty when it
// is: the folder is writable by another user (sticky or not), a folder above
// it up to / is writable by another user and not sticky, or its file system
// cannot overwrite a file's blocks in place (network and user-space file
// systems, ZFS, btrfs where no-copy-on-write cannot be set). Root's folders
// count as the user's own. Each is decided on the held folder of dataFile
// (see TFolderHandle) and on the folders above it reached from there, never
// on whatever its path leads to meanwhile; with none held, on the folder of
// dataFile opened first.
[[nodiscard]] std::string BesideUnsafeReason(const TFolderHandle& folder, const std::string& dataFile);
// The same, the folder of dataFile opened first.
[[nodiscard]] std::string BesideUnsafeReason(const std::string& dataFile);

// Decides where the temporaries of dataFile go and, for tpPrivate, creates
// (or takes over, when it is one of ours) the data file's private folder:
// $XDG_RUNTIME_DIR/quillock/NAME, else /dev/shm/quillock-UID/NAME, each
// folder 0700, owned by the user and on tmpfs or ramfs, checked on its
// descriptor. NAME is the same for every session on that data file while the
// data file's folder stays the same folder, even renamed (see PrivateFolderName).
// folder is the data file's folder as held: the decision and the name are
// its own (none held: the folder of dataFile opened first).
[[nodiscard]] TTempLocation ChooseTempFolder(const TFolderHandle& folder, const std::string& dataFile,
                                             TPrivateTemp choice);
// The same, the folder of dataFile opened first.
[[nodiscard]] TTempLocation ChooseTempFolder(const std::string& dataFile, TPrivateTemp choice);

// The private folder an earlier session on dataFile used, when it exists and
// passes the checks; nothing is created. Found by the held folder's identity
// (none held: that of the folder of dataFile opened first).
[[nodiscard]] std::optional<std::string> FindPrivateFolder(const TFolderHandle& folder, const std::string& dataFile);
[[nodiscard]] std::optional<std::string> FindPrivateFolder(const std::string& dataFile);

// What tells a data file's folder from every other: its device and inode, and
// its birth time, since a folder removed gives its inode number to the next
// one made (0 where the file system keeps no birth time).
struct TFolderIdentity {
    dev_t Device = 0;
    std::uint64_t Inode = 0;
    std::int64_t BirthSeconds = 0;
    std::uint32_t BirthNanoseconds = 0;
};

// The name of a data file's private folder: the data file's name, then a
// digest of its folder's identity and of that name. The folder's identity
// survives every reseal (which gives the data file a new inode) and a rename
// of the folder, so a later session or recover finds what was left, and no
// later folder that happens to get the same inode takes it for its own; a
// memory folder does not outlive a reboot, so device numbers need not either.
[[nodiscard]] std::string PrivateFolderName(const TFolderIdentity& folder, const std::string& name);

// Removes the private folder when it is empty (the end of a session); a
// folder that still holds files (a session cut short) stays.
void RemovePrivateFolder(const TTempLocation& folder);

// The name of the file system an open file is on when its old blocks stay
// on the medium after being overwritten ("btrfs" for a file there without
// no-copy-on-write, "ZFS", "NFS", ...); empty where zeros overwrite in place.
[[nodiscard]] std::string KeepsOldBlocks(int fd);

// For tests: the folder that stands in for /dev/shm when $XDG_RUNTIME_DIR is
// of no use (a folder not in memory gives a session with no private folder).
void SetSharedMemoryRoot(const std::string& path);

// Gives a file just created empty the no-copy-on-write attribute on btrfs, so
// that zeros written later overwrite its blocks. True when it has it or the
// file system overwrites in place anyway.
bool MakeOverwritable(int fd);

} // namespace quillock::platform
