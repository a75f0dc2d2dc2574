// Where plain temporaries go: beside the data file only in a folder nobody
// else can change, else in a private folder in memory found again later.
#include "platform/PrivateFolder.h"

#include "platform/Files.h"
#include "platform/Text.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace quillock::platform {
namespace {

using quillock::tests::TEnvironmentVariable;
namespace fs = std::filesystem;

// A test folder in memory standing in for the user's runtime folder.
class TRuntimeFolder {
public:
    TRuntimeFolder() {
        std::string pattern = "/dev/shm/quillock-runtime-XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        FPath = pattern;
    }
    ~TRuntimeFolder() {
        std::error_code error;
        fs::remove_all(FPath, error);
    }
    TRuntimeFolder(const TRuntimeFolder&) = delete;
    TRuntimeFolder& operator=(const TRuntimeFolder&) = delete;
    [[nodiscard]] const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};

class PrivateFolderTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The test folder itself must pass as a safe place for the cases below.
        if (!BesideUnsafeReason((Folder / "probe").string()).empty()) {
            GTEST_SKIP() << "the test folder " << Folder.Path()
                         << " is no safe place already: " << BesideUnsafeReason((Folder / "probe").string());
        }
    }

    // A data file in a folder of the given mode inside a parent of the given mode.
    std::string DataFileIn(mode_t parentMode, mode_t folderMode) {
        const fs::path parent = Folder / "parent";
        const fs::path folder = parent / "folder";
        fs::create_directories(folder);
        EXPECT_EQ(::chmod(parent.c_str(), parentMode), 0);
        EXPECT_EQ(::chmod(folder.c_str(), folderMode), 0);
        return (folder / "diary.qlx").string();
    }

    quillock::tests::TTempFolder Folder;
    TRuntimeFolder Runtime;
    TEnvironmentVariable RuntimeVariable{"XDG_RUNTIME_DIR", Runtime.Path()};
};

TEST_F(PrivateFolderTest, BesideOnlyWhereNoOtherUserCanChangeTheFolderOrOneAboveIt) {
    struct TCase {
        mode_t Parent;
        mode_t Folder;
        const char* Expected; // a part of the reason; empty: safe
    };
    const TCase cases[] = {
        {0755, 0700, ""},
        {01777, 0700, ""},                                               // a sticky folder above: nobody renames ours
        {0755, 01777, "its folder can be written"},                      // sticky or not, the folder itself
        {0755, 0770, "its folder can be written"},                       // a group folder
        {0777, 0700, "can be written by other users and is not sticky"}, // a folder above that is not sticky
    };
    for (const TCase& c : cases) {
        const std::string dataFile = DataFileIn(c.Parent, c.Folder);
        const std::string reason = BesideUnsafeReason(dataFile);
        SCOPED_TRACE(std::to_string(c.Parent) + "/" + std::to_string(c.Folder) + ": " + reason);
        if (*c.Expected == '\0') {
            EXPECT_EQ(reason, "");
            const auto chosen = ChooseTempFolder(dataFile, TPrivateTemp::ptWhereNeeded);
            EXPECT_EQ(chosen.Place, TTempPlace::tpBeside);
            EXPECT_EQ(chosen.PathOf(dataFile, ".qlt"), dataFile + ".qlt");
        } else {
            EXPECT_NE(reason.find(c.Expected), std::string::npos);
        }
    }
}

// What is decided about a held folder is its own, whatever folder is put at
// its name after it was opened: a private one that took a shared one's place
// makes it no safer, nor the reverse.
TEST_F(PrivateFolderTest, TheHeldFolderDecidesNotTheFolderNowAtItsName) {
    const std::string dataFile = DataFileIn(0755, 0700);
    const fs::path named = fs::path(dataFile).parent_path();
    const fs::path away = Folder / "parent" / "away";
    TFolderHandle own;
    ASSERT_TRUE(own.Open(dataFile));
    fs::rename(named, away);
    fs::create_directory(named);
    ASSERT_EQ(::chmod(named.c_str(), 0777), 0);
    EXPECT_EQ(BesideUnsafeReason(own, dataFile), "");
    EXPECT_FALSE(FolderWritableByOthers(own.Fd()));
    EXPECT_EQ(ChooseTempFolder(own, dataFile, TPrivateTemp::ptWhereNeeded).Place, TTempPlace::tpBeside);
    EXPECT_EQ(BesideUnsafeReason(dataFile), "its folder can be written by other users"); // by the name

    TFolderHandle shared;
    ASSERT_TRUE(shared.Open(dataFile));
    fs::rename(named, Folder / "parent" / "shared");
    fs::rename(away, named);
    EXPECT_EQ(BesideUnsafeReason(shared, dataFile), "its folder can be written by other users");
    EXPECT_TRUE(FolderWritableByOthers(shared.Fd()));
    EXPECT_EQ(BesideUnsafeReason(dataFile), "");
    // Its private folder is named by the held folder too.
    const auto chosen = ChooseTempFolder(shared, dataFile, TPrivateTemp::ptWhereNeeded);
    ASSERT_EQ(chosen.Place, TTempPlace::tpPrivate) << chosen.Reason;
    EXPECT_EQ(FindPrivateFolder(shared, dataFile), chosen.Folder);
    EXPECT_FALSE(FindPrivateFolder(dataFile));
    // With none held, the folder its path leads to now.
    EXPECT_EQ(FindPrivateFolder(TFolderHandle(), (Folder / "parent" / "shared" / "diary.qlx").string()), chosen.Folder);
    RemovePrivateFolder(chosen);
}

// The folders above are found from the held folder, one ".." at a time: the
// held folder moved under a folder others can write to is seen there.
TEST_F(PrivateFolderTest, TheFoldersAboveAreThoseAboveTheHeldFolder) {
    const std::string dataFile = DataFileIn(0755, 0700);
    const fs::path named = fs::path(dataFile).parent_path();
    const fs::path open = Folder / "open";
    TFolderHandle held;
    ASSERT_TRUE(held.Open(dataFile));
    fs::create_directory(open);
    ASSERT_EQ(::chmod(open.c_str(), 0777), 0);
    fs::rename(named, open / "folder");
    fs::create_directory(named);
    ASSERT_EQ(::chmod(named.c_str(), 0700), 0);
    EXPECT_EQ(BesideUnsafeReason(dataFile), "");
    EXPECT_EQ(BesideUnsafeReason(held, dataFile), "the folder " + QuotedName(fs::canonical(open).string()) +
                                                      " above it can be written by other users and is not sticky");
}

TEST_F(PrivateFolderTest, APrivateFolderInMemoryKeepsTheNamesAndIsFoundAgain) {
    const std::string dataFile = DataFileIn(0755, 0777);
    EXPECT_FALSE(FindPrivateFolder(dataFile)); // nothing is created by looking
    const auto chosen = ChooseTempFolder(dataFile, TPrivateTemp::ptWhereNeeded);
    ASSERT_EQ(chosen.Place, TTempPlace::tpPrivate) << chosen.Reason;
    EXPECT_EQ(chosen.Reason, "its folder can be written by other users");
    EXPECT_TRUE(chosen.BesideUnsafe);
    EXPECT_EQ(chosen.Folder.rfind(Runtime.Path() + "/quillock/diary.qlx.", 0), 0u) << chosen.Folder;
    EXPECT_EQ(chosen.PathOf(dataFile, ".qlt"), chosen.Folder + "/diary.qlx.qlt");
    struct stat info {};
    ASSERT_EQ(::stat(chosen.Folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0700u);

    // The same folder for the next session, and after the folder was renamed.
    EXPECT_EQ(ChooseTempFolder(dataFile, TPrivateTemp::ptWhereNeeded).Folder, chosen.Folder);
    const fs::path renamed = Folder / "parent" / "renamed";
    fs::rename(Folder / "parent" / "folder", renamed);
    EXPECT_EQ(FindPrivateFolder((renamed / "diary.qlx").string()), chosen.Folder);
    const auto other = ChooseTempFolder((renamed / "other.qlx").string(), TPrivateTemp::ptWhereNeeded);
    EXPECT_NE(other.Folder, chosen.Folder);
    RemovePrivateFolder(other);

    // Left as it is while it holds a file, removed when empty.
    const std::string left = chosen.PathOf(dataFile, ".qlz");
    ASSERT_TRUE(std::ofstream(left).good());
    RemovePrivateFolder(chosen);
    EXPECT_TRUE(fs::exists(left));
    fs::remove(left);
    RemovePrivateFolder(chosen);
    EXPECT_FALSE(fs::exists(chosen.Folder));
}

TEST_F(PrivateFolderTest, TheSettingAlwaysUsesThePrivateFolderEvenWhereBesideIsSafe) {
    const std::string dataFile = DataFileIn(0755, 0700);
    const auto chosen = ChooseTempFolder(dataFile, PrivateTempOf(1));
    EXPECT_EQ(chosen.Place, TTempPlace::tpPrivate) << chosen.Reason;
    EXPECT_NE(chosen.Reason.find("PrivateTemp"), std::string::npos);
    EXPECT_FALSE(chosen.BesideUnsafe);
    RemovePrivateFolder(chosen);
    // Unknown stored numbers are the default.
    EXPECT_EQ(PrivateTempOf(0), TPrivateTemp::ptWhereNeeded);
    EXPECT_EQ(PrivateTempOf(7), TPrivateTemp::ptWhereNeeded);
    EXPECT_EQ(PrivateTempOf(-1), TPrivateTemp::ptWhereNeeded);
}

TEST_F(PrivateFolderTest, ARuntimeFolderOthersCanWriteOrNotInMemoryIsPassedOver) {
    const std::string dataFile = DataFileIn(0755, 0777);
    // Writable by others: the folder under /dev/shm is used instead, and the
    // runtime folder gets nothing.
    ASSERT_EQ(::chmod(Runtime.Path().c_str(), 0777), 0);
    auto chosen = ChooseTempFolder(dataFile, TPrivateTemp::ptWhereNeeded);
    ASSERT_EQ(chosen.Place, TTempPlace::tpPrivate) << chosen.Reason;
    const std::string shm = "/dev/shm/quillock-" + std::to_string(::geteuid()) + "/";
    EXPECT_EQ(chosen.Folder.rfind(shm, 0), 0u) << chosen.Folder;
    EXPECT_FALSE(fs::exists(Runtime.Path() + "/quillock"));
    RemovePrivateFolder(chosen);

    // Not in memory (the test folder is on disk): passed over the same way.
    const TEnvironmentVariable onDisk("XDG_RUNTIME_DIR", Folder.Path().string());
    struct statfs info {};
    ASSERT_EQ(::statfs(Folder.Path().c_str(), &info), 0);
    if (info.f_type == 0x01021994) {
        GTEST_SKIP() << "the test folder is on tmpfs, so it cannot stand for a folder on disk";
    }
    chosen = ChooseTempFolder(dataFile, TPrivateTemp::ptWhereNeeded);
    EXPECT_EQ(chosen.Folder.rfind(shm, 0), 0u) << chosen.Folder;
    RemovePrivateFolder(chosen);
}

// A folder made after another was removed may get its inode number: the birth
// time keeps the two apart, so the new folder never takes the old one's
// left-overs for its own.
TEST(PrivateFolderName, AFolderReusingAnInodeIsAnotherFolder) {
    const TFolderIdentity old{0x801, 4242, 1796827357, 315308489};
    TFolderIdentity reused = old;
    reused.BirthNanoseconds += 1;
    EXPECT_EQ(PrivateFolderName(old, "diary.qlx"), PrivateFolderName(old, "diary.qlx"));
    EXPECT_NE(PrivateFolderName(reused, "diary.qlx"), PrivateFolderName(old, "diary.qlx"));
    EXPECT_EQ(PrivateFolderName(old, "diary.qlx").rfind("diary.qlx.", 0), 0u);
}

} // namespace
} // namespace quillock::platform
