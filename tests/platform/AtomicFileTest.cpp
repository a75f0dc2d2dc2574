// Replacing a small file as a whole: the new content and mode in place, or the
// old file untouched and no hidden file left behind.
#include "platform/AtomicFile.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace quillock::platform {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

mode_t ModeOf(const fs::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0);
    return info.st_mode & 07777;
}

TEST(ReplaceFileAtomically, WritesANewFileOrReplacesAnOldOneWithTheGivenMode) {
    const tests::TTempFolder folder;
    const fs::path target = folder / "settings.ini";
    ASSERT_TRUE(ReplaceFileAtomically(target, "first\n", 0600));
    EXPECT_EQ(tests::ReadWholeFile(target), "first\n");
    EXPECT_EQ(ModeOf(target), 0600u);

    ASSERT_TRUE(ReplaceFileAtomically(target, std::string(100000, 'x'), 0644));
    EXPECT_EQ(tests::ReadWholeFile(target), std::string(100000, 'x'));
    EXPECT_EQ(ModeOf(target), 0644u);
    EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"settings.ini"}) << "no hidden file left";
}

TEST(ReplaceFileAtomically, AFailedRenameLeavesTheTargetAndNoHiddenFile) {
    const tests::TTempFolder folder;
    // A folder that is not empty cannot be replaced by a file.
    const fs::path target = folder / "busy";
    fs::create_directories(target / "inside");
    EXPECT_FALSE(ReplaceFileAtomically(target, "content", 0600));
    EXPECT_TRUE(fs::is_directory(target / "inside"));
    EXPECT_EQ(Names(folder.Path()), std::vector<std::string>{"busy"});
}

TEST(ReplaceFileAtomically, AMissingFolderIsAFailure) {
    const tests::TTempFolder folder;
    EXPECT_FALSE(ReplaceFileAtomically(folder / "absent" / "file", "content", 0600));
    EXPECT_FALSE(fs::exists(folder / "absent"));
}

TEST(SyncFolder, FlushesAnExistingFolderAndFailsForAMissingOne) {
    const tests::TTempFolder folder;
    EXPECT_TRUE(SyncFolder(folder.Path()));
    EXPECT_FALSE(SyncFolder(folder / "absent"));
    tests::WriteWholeFile(folder / "file", "x");
    EXPECT_FALSE(SyncFolder(folder / "file")) << "not a folder either";
}

} // namespace
} // namespace quillock::platform
