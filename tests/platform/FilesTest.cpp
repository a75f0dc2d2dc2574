// The session's file operations: what counts as a file of ours, creation that
// never reuses a name, copies, zeroing, renames and the lock.
#include "platform/Files.h"

#include "platform/FileHandle.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillock::platform {
namespace {

using quillock::tests::TTempFolder;

std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Write(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

TEST(FilesTest, OnlyARegularFileOfOursWithOneNameIsOurs) {
    const TTempFolder folder;
    const std::string file = (folder / "diary.qlx.qlt").string();
    EXPECT_EQ(CheckOwnName(file).State, TNameState::Absent);
    Write(file, "text");
    EXPECT_EQ(CheckOwnName(file).State, TNameState::Ours);
    // Read-only files of ours are still ours (an editor may leave one so).
    ASSERT_EQ(::chmod(file.c_str(), 0400), 0);
    EXPECT_EQ(CheckOwnName(file).State, TNameState::Ours);

    const std::string link = (folder / "link").string();
    ASSERT_EQ(::symlink(file.c_str(), link.c_str()), 0);
    EXPECT_EQ(CheckOwnName(link).State, TNameState::Foreign);
    EXPECT_EQ(CheckOwnName(link).What, "a symbolic link");

    const std::string second = (folder / "second").string();
    ASSERT_EQ(::link(file.c_str(), second.c_str()), 0);
    EXPECT_EQ(CheckOwnName(file).State, TNameState::Foreign);
    EXPECT_EQ(CheckOwnName(file).What, "a file with 2 names (hard links)");

    EXPECT_EQ(CheckOwnName(folder.Path().string()).What, "a folder");
    EXPECT_EQ(DescribeForeign("x", CheckOwnName(folder.Path().string())), "\"x\" is a folder");
}

TEST(FilesTest, AFileOfAnotherUserIsForeignAndNamesItsOwner) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving a file to another user needs root";
    }
    const TTempFolder folder;
    const std::string file = (folder / "planted").string();
    Write(file, "trap");
    ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);
    const TNameCheck check = CheckOwnName(file);
    EXPECT_EQ(check.State, TNameState::Foreign);
    EXPECT_EQ(check.What, "owned by " + UserName(65534));
    EXPECT_EQ(OpenOwnFile(file, O_RDONLY), -1);
    EXPECT_EQ(errno, EPERM);
}

TEST(FilesTest, CreationIsNewOwnerOnlyAndNeverThroughAnExistingName) {
    const TTempFolder folder;
    const std::string file = (folder / "new").string();
    const mode_t oldMask = ::umask(0);
    const int fd = CreateNewFile(file);
    ::umask(oldMask);
    ASSERT_GE(fd, 0);
    ::close(fd);
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    Write(file, "kept");
    EXPECT_EQ(CreateNewFile(file), -1);
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(Read(file), "kept");

    // A dangling link is not followed to create its target.
    const std::string target = (folder / "target").string();
    const std::string link = (folder / "dangling").string();
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    EXPECT_EQ(CreateNewFile(link), -1);
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST(FilesTest, CopyMakesANewFileAndRefusesAnExistingOne) {
    const TTempFolder folder;
    const std::string source = (folder / "source").string();
    const std::string copy = (folder / "copy").string();
    std::string content(200000, 'a');
    content[123456] = 'b';
    Write(source, content);
    ASSERT_EQ(::chmod(source.c_str(), 0640), 0);
    std::uint64_t last = 0;
    EXPECT_TRUE(CopyFile(source, copy, 0, true, [&](std::uint64_t done, std::uint64_t total) {
        EXPECT_EQ(total, content.size());
        EXPECT_GE(done, last);
        last = done;
    }));
    EXPECT_EQ(last, content.size());
    EXPECT_EQ(Read(copy), content);
    struct stat info {};
    ASSERT_EQ(::stat(copy.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    Write(copy, "there before");
    EXPECT_FALSE(CopyFile(source, copy, 0600, false));
    EXPECT_EQ(Read(copy), "there before") << "a failed copy neither writes to nor removes what was there";
}

TEST(FilesTest, EveryOperationInAHeldFolderLandsThereWhateverTookItsPlace) {
    const TTempFolder folder;
    const std::filesystem::path notes = folder / "notes";
    std::filesystem::create_directory(notes);
    const std::string file = (notes / "diary.qlx").string();
    TFolderHandle held;
    EXPECT_EQ(held.At(file).Folder(), AT_FDCWD) << "nothing held: the path as it stands";
    ASSERT_TRUE(held.Open(file));
    const std::filesystem::path moved = folder / "renamed";
    std::filesystem::rename(notes, moved);
    std::filesystem::create_directory(notes); // another folder at its name
    EXPECT_FALSE(held.StillAtItsPath());

    const TAtPath at = held.At(file);
    EXPECT_EQ(at.Path(), file) << "messages keep the name as it was given";
    const TFd made(CreateNewFile(at));
    ASSERT_TRUE(made.Valid());
    ASSERT_TRUE(WriteAll(made.Get(), "sealed", 6));
    EXPECT_TRUE(FileExists(at));
    EXPECT_EQ(CheckOwnName(at).State, TNameState::Ours);
    EXPECT_TRUE(FlushFile(at));
    EXPECT_TRUE(CopyFile(at, held.At(file + ".bak"), 0600, false));
    EXPECT_TRUE(RenameNoReplace(held.At(file + ".bak"), held.At(file + ".old")));
    EXPECT_TRUE(MoveFile(held.At(file + ".old"), held.At(file + ".new")));
    struct stat info {};
    EXPECT_TRUE(StatName(held.At(file + ".new"), info));
    TFileLock lock;
    EXPECT_EQ(lock.Take(held.At(file + ".lck"), false), TFileLock::TResult::Taken);
    EXPECT_TRUE(std::filesystem::exists(moved / "diary.qlx.lck"));
    lock.Release();
    EXPECT_EQ(WipeOwnFile(held.At(file + ".new")).State, TWipeState::Wiped);
    EXPECT_EQ(Read(moved / "diary.qlx"), "sealed");
    EXPECT_TRUE(RemoveName(at));
    EXPECT_TRUE(std::filesystem::is_empty(moved)) << "each name made there went there";
    EXPECT_TRUE(std::filesystem::is_empty(notes)) << "nothing went into the folder now at its path";
    const std::string elsewhere = (folder / "other.qlx").string();
    EXPECT_EQ(held.At(elsewhere).Folder(), AT_FDCWD) << "a name in another folder as it stands";
}

TEST(FilesTest, ZeroFileOverwritesEveryByteInPlace) {
    const TTempFolder folder;
    const std::string file = (folder / "plain").string();
    Write(file, std::string(3 * 1024 * 1024 + 17, 'x'));
    const int fd = ::open(file.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(ZeroFile(fd, 3 * 1024 * 1024 + 17));
    ::close(fd);
    EXPECT_EQ(Read(file), std::string(3 * 1024 * 1024 + 17, '\0'));
}

TEST(FilesTest, RenameNoReplaceKeepsAnExistingTarget) {
    const TTempFolder folder;
    const std::string from = (folder / "from").string();
    const std::string to = (folder / "to").string();
    Write(from, "new");
    Write(to, "old");
    EXPECT_FALSE(RenameNoReplace(from, to));
    EXPECT_EQ(Read(to), "old");
    ASSERT_EQ(::unlink(to.c_str()), 0);
    EXPECT_TRUE(RenameNoReplace(from, to));
    EXPECT_EQ(Read(to), "new");
}

TEST(FilesTest, ADescriptorsNameReachesItsFileWhateverItsPathIsNow) {
    const TTempFolder folder;
    const std::string mine = (folder / "mine").string();
    Write(mine, "ours");
    const int fd = ::open(mine.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(DescriptorName(fd), "/proc/self/fd/" + std::to_string(fd));
    // The path now names another file; the descriptor's name still reaches ours.
    ASSERT_TRUE(RenameNoReplace(mine, (folder / "moved").string()));
    Write(mine, "planted");
    EXPECT_EQ(Read(DescriptorName(fd)), "ours");
    EXPECT_EQ(PathOfDescriptor(fd), (folder / "moved").string());
    ::close(fd);
}

TEST(FilesTest, ExtensionReplacementAndTheReadOnlyRule) {
    EXPECT_EQ(ChangeFileExt("/notes/diary.qlt", ".qlx"), "/notes/diary.qlx");
    EXPECT_EQ(ChangeFileExt("/no.tes/diary", ".qlx"), "/no.tes/diary.qlx");
    EXPECT_EQ(ChangeFileExt("/notes/diary.qlx.bak", ".old"), "/notes/diary.qlx.old");

    const TTempFolder folder;
    const std::string file = (folder / "f").string();
    Write(file, "x");
    EXPECT_FALSE(IsReadOnly(file));
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
    EXPECT_TRUE(IsReadOnly(file)) << "no write bit is read-only, for root too";
    EXPECT_TRUE(IsReadOnly((folder / "absent").string()));
}

TEST(FilesTest, FolderWritableByOthersSeesStickyAndGroupFolders) {
    const TTempFolder folder;
    const std::string inside = (folder / "diary.qlx").string();
    EXPECT_FALSE(FolderWritableByOthers(inside));
    ASSERT_EQ(::chmod(folder.Path().c_str(), 01777), 0);
    EXPECT_TRUE(FolderWritableByOthers(inside));
    ASSERT_EQ(::chmod(folder.Path().c_str(), 02770), 0);
    EXPECT_TRUE(FolderWritableByOthers(inside));
    ASSERT_EQ(::chmod(folder.Path().c_str(), 0700), 0);
}

TEST(FilesTest, LockIsExclusiveTakesOverAStaleFileAndRefusesAForeignOne) {
    const TTempFolder folder;
    const std::string path = (folder / "diary.qlx.qlk").string();
    {
        TFileLock first;
        ASSERT_EQ(first.Take(path, false), TFileLock::TResult::Taken);
        TFileLock second;
        EXPECT_EQ(second.Take(path, false), TFileLock::TResult::Busy);
    }
    EXPECT_FALSE(std::filesystem::exists(path)) << "the name goes with the lock";

    // A lock file of ours left by a killed run is taken over.
    Write(path, "");
    {
        TFileLock lock;
        EXPECT_EQ(lock.Take(path, false), TFileLock::TResult::Taken);
    }
    // Something else at the name is never used as a lock.
    ASSERT_EQ(::symlink("/etc/passwd", path.c_str()), 0);
    TFileLock lock;
    EXPECT_EQ(lock.Take(path, true), TFileLock::TResult::Foreign);
    EXPECT_EQ(lock.ForeignWhat(), "a symbolic link");
    EXPECT_TRUE(std::filesystem::is_symlink(path));
}

// A name that another process keeps creating and removing (a lock taken and
// let go, a temporary wiped) is at each look either absent or a file of ours,
// never "a file with 0 names": that verdict made a waiting lock give up.
TEST(FilesTest, ANameBeingRemovedIsNeverCalledForeign) {
    const TTempFolder folder;
    const std::string path = (folder / "turns.qlk").string();
    const pid_t child = ::fork();
    if (child == 0) {
        for (;;) {
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
            (void)::unlink(path.c_str());
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
    int foreign = 0;
    std::string what;
    for (int look = 0; look < 20000 && foreign == 0; ++look) {
        const TNameCheck check = CheckOwnName(path);
        if (check.State == TNameState::Foreign) {
            ++foreign;
            what = check.What;
        }
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    EXPECT_EQ(foreign, 0) << what;
}

TEST(FilesTest, ThreeProcessesTakingTurnsNeverHoldTheLockAtOnce) {
    // Each turn reads a counter, adds one and writes it back under the lock;
    // a turn taken while another holds the lock would lose a count. The
    // lock file is removed at each release and created anew by the next.
    const TTempFolder folder;
    const std::string lock = (folder / "counter.qlk").string();
    const std::string counter = (folder / "counter").string();
    Write(counter, "0");
    constexpr int Turns = 150;
    pid_t children[3];
    for (pid_t& child : children) {
        child = ::fork();
        if (child == 0) {
            for (int turn = 0; turn < Turns; ++turn) {
                TFileLock held;
                if (held.Take(lock, true) != TFileLock::TResult::Taken) {
                    ::_exit(2);
                }
                const int count = std::stoi(Read(counter));
                Write(counter, std::to_string(count + 1));
            }
            ::_exit(0);
        }
    }
    for (const pid_t child : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a turn could not take the lock";
    }
    EXPECT_EQ(Read(counter), std::to_string(3 * Turns));
    EXPECT_FALSE(std::filesystem::exists(lock));
}

// Zeros go only into a writable regular file of ours with one name, and the
// very one expected when that is known; anything else stays as it is.
TEST(FilesTest, AWipeWritesOnlyIntoAFileOfOursWithOneName) {
    const TTempFolder folder;
    const std::string file = (folder / "diary.qlx.qlt").string();
    Write(file, "plain text");
    const int witness = ::open(file.c_str(), O_RDONLY);
    ASSERT_GE(witness, 0);
    struct stat info {};
    ASSERT_EQ(::fstat(witness, &info), 0);
    EXPECT_EQ(WipeOwnFile(file, TFileId{info.st_dev, info.st_ino + 1}).State, TWipeState::Foreign)
        << "another file than the one expected";
    std::uint64_t reported = 0;
    EXPECT_EQ(WipeOwnFile(file, IdOf(info), [&](std::uint64_t done, std::uint64_t) { reported = done; }).State,
              TWipeState::Wiped);
    EXPECT_EQ(reported, 10u);
    char left[16] = {};
    EXPECT_EQ(::pread(witness, left, sizeof left, 0), 10);
    EXPECT_EQ(std::string(left, 10), std::string(10, '\0'));
    ::close(witness);
    EXPECT_EQ(WipeOwnFile(file).State, TWipeState::Absent);

    // A second name, a link and a read-only file: left alone, and said why.
    const std::string precious = (folder / "precious").string();
    Write(precious, "precious");
    ASSERT_EQ(::link(precious.c_str(), file.c_str()), 0);
    TWipeResult result = WipeOwnFile(file);
    EXPECT_EQ(result.State, TWipeState::Foreign);
    EXPECT_EQ(result.What, "a file with 2 names (hard links)");
    ASSERT_EQ(::unlink(file.c_str()), 0);
    ASSERT_EQ(::symlink(precious.c_str(), file.c_str()), 0);
    EXPECT_EQ(WipeOwnFile(file).What, "a symbolic link");
    ASSERT_EQ(::unlink(file.c_str()), 0);
    Write(file, "read only");
    ASSERT_EQ(::chmod(file.c_str(), 0400), 0);
    EXPECT_EQ(WipeOwnFile(file).What, ReadOnlyFileWords);
    EXPECT_EQ(Read(file), "read only");
    EXPECT_EQ(Read(precious), "precious");
}

} // namespace
} // namespace quillock::platform
