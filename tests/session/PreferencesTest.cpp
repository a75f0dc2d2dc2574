// Saving and loading the remembered choices through the settings store.
#include "session/Preferences.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

namespace quillock::session {
namespace {

using platform::TRegistry;
using tests::ReadWholeFile;
using tests::TTempFolder;
using tests::WriteWholeFile;

class PreferencesTest : public ::testing::Test {
protected:
    void Store(const std::string& values) {
        std::filesystem::create_directories(FFile.parent_path());
        WriteWholeFile(FFile, "[Software\\Quillock]\n" + values);
    }
    TPreferences Load(std::string& error) {
        TRegistry registry(FFile);
        return LoadPreferences(registry, &error);
    }
    // What the store loads, with no error to report.
    TPreferences LoadWithoutError() {
        std::string error;
        TPreferences loaded = Load(error);
        EXPECT_EQ(error, "");
        return loaded;
    }

    TTempFolder FFolder;
    std::filesystem::path FFile = FFolder / "quillock/settings.ini";
};

void ExpectDefaults(const TPreferences& preferences) {
    EXPECT_EQ(preferences.ExeNamePos, 0);
    EXPECT_EQ(preferences.Algorithm, 0);
    EXPECT_EQ(preferences.Hash, 0);
    EXPECT_EQ(preferences.ExeName, "Arbolix.exe");
    EXPECT_EQ(preferences.EditionPaths, DefaultEditionPaths);
}

TEST_F(PreferencesTest, FirstRunGivesTheDefaultsAndStoresAnEmptyKey) {
    std::string error = "left over";
    ExpectDefaults(Load(error));
    EXPECT_EQ(error, "");
    EXPECT_EQ(DefaultEditionPaths[1], "C:\\Programmi\\Arbolix Extra\\ArbolixExtra.exe");
    EXPECT_EQ(DefaultEditionPaths[2], "..\\Arbolix OFC\\ArbolixOFC.exe");
    TRegistry registry(FFile);
    ASSERT_TRUE(registry.OpenKey(PreferencesKey, false)) << "the key exists after loading";
    EXPECT_FALSE(registry.ValueExists("ExeNamePos")) << "nothing is written at load";
}

TEST_F(PreferencesTest, ValuesWithoutExeNameAreIgnored) {
    Store("ExeNamePos=dword:1\nAlgorithm=dword:1\nHash=sz:\"wrong\"\n");
    std::string error;
    ExpectDefaults(Load(error));
    EXPECT_EQ(error, "");
}

TEST_F(PreferencesTest, PrivateTempIsReadOnItsOwnAndKeptBySaves) {
    using platform::TPrivateTemp;
    const std::pair<const char*, TPrivateTemp> cases[] = {
        {"PrivateTemp=dword:1\n", TPrivateTemp::ptAlways},
        {"PrivateTemp=dword:0\n", TPrivateTemp::ptWhereNeeded},
        {"PrivateTemp=dword:2\n", TPrivateTemp::ptWhereNeeded},       // unknown: the default
        {"PrivateTemp=sz:\"always\"\n", TPrivateTemp::ptWhereNeeded}, // another type: the default
        // The other choices stop loading at the first missing one; this one is read all the same.
        {"ExeName=sz:\"ed\"\nPrivateTemp=dword:1\n", TPrivateTemp::ptAlways},
    };
    for (const auto& [stored, expected] : cases) {
        SCOPED_TRACE(stored);
        Store(stored);
        std::string error;
        EXPECT_EQ(Load(error).PrivateTemp, expected);
    }
    // A save of the other choices leaves the setting as the user wrote it.
    Store("PrivateTemp=dword:1\n");
    TRegistry registry(FFile);
    SavePreferences(registry, TPreferences{});
    std::string error;
    EXPECT_EQ(Load(error).PrivateTemp, TPrivateTemp::ptAlways);
}

TEST_F(PreferencesTest, SaveWritesTheSevenValuesInOrderAndLoadGivesThemBack) {
    TPreferences saved;
    saved.ExeNamePos = 1;
    saved.Algorithm = 1;
    saved.Hash = 1;
    saved.EditionPaths = {"/opt/arbolix", "/opt/Arbolix Extra/arbolix \"x\"", "../arbolix\xAE"};
    saved.ExeName = "/opt/Arbolix Extra/arbolix \"x\"";
    TRegistry registry(FFile);
    SavePreferences(registry, saved);

    const std::string file = ReadWholeFile(FFile);
    std::size_t position = 0;
    for (const char* name : {"ExeNamePos=dword:1", "Algorithm=dword:1", "Hash=dword:1",
                             "ExeName0=sz:", "ExeName1=sz:", "ExeName2=sz:\"../arbolix\xC2\xAE\"", "ExeName=sz:"}) {
        const std::size_t found = file.find(std::string("\n") + name, position);
        ASSERT_NE(found, std::string::npos) << name << " in\n" << file;
        position = found + 1;
    }

    const TPreferences loaded = LoadWithoutError();
    EXPECT_EQ(loaded.ExeNamePos, 1);
    EXPECT_EQ(loaded.Algorithm, 1);
    EXPECT_EQ(loaded.Hash, 1);
    EXPECT_EQ(loaded.EditionPaths, saved.EditionPaths);
    EXPECT_EQ(loaded.ExeName, saved.ExeName);
}

TEST_F(PreferencesTest, ExeNameBecomesThePathOfTheLoadedEdition) {
    Store("ExeNamePos=dword:2\nAlgorithm=dword:0\nHash=dword:1\nExeName0=sz:\"a\"\nExeName2=sz:\"old\"\n"
          "ExeName=sz:\"new\"\n");
    const TPreferences loaded = LoadWithoutError();
    EXPECT_EQ(loaded.ExeNamePos, 2);
    EXPECT_EQ(loaded.Hash, 1);
    EXPECT_EQ(loaded.EditionPaths[0], "a");
    EXPECT_EQ(loaded.EditionPaths[1], "") << "a missing path reads as empty";
    EXPECT_EQ(loaded.EditionPaths[2], "new");
    EXPECT_EQ(loaded.ExeName, "new");
}

TEST_F(PreferencesTest, LoadingStopsAtTheFirstBadValue) {
    struct TCase {
        const char* Values;
        const char* Error;
        int ExeNamePos, Algorithm, Hash;
        const char* ExeName0;
    };
    const TCase cases[] = {
        {"Algorithm=dword:1\nHash=dword:1\n", "Failed to get data for 'ExeNamePos'", 0, 0, 0, "Arbolix.exe"},
        {"ExeNamePos=dword:1\nHash=dword:1\n", "Failed to get data for 'Algorithm'", 1, 0, 0, "Arbolix.exe"},
        {"ExeNamePos=dword:1\nAlgorithm=dword:1\nHash=sz:\"1\"\n", "Invalid data type for 'Hash'", 1, 1, 0,
         "Arbolix.exe"},
        {"ExeNamePos=dword:1\nAlgorithm=dword:1\nHash=dword:1\nExeName0=sz:\"zero\"\nExeName1=dword:3\n",
         "Invalid data type for 'ExeName1'", 1, 1, 1, "zero"},
    };
    for (const TCase& c : cases) {
        Store(std::string(c.Values) + "ExeName=sz:\"stored\"\n");
        std::string error;
        const TPreferences loaded = Load(error);
        EXPECT_EQ(error, c.Error);
        EXPECT_EQ(loaded.ExeNamePos, c.ExeNamePos) << c.Error;
        EXPECT_EQ(loaded.Algorithm, c.Algorithm) << c.Error;
        EXPECT_EQ(loaded.Hash, c.Hash) << c.Error;
        EXPECT_EQ(loaded.EditionPaths[0], c.ExeName0) << c.Error;
        EXPECT_EQ(loaded.EditionPaths[2], DefaultEditionPaths[2]) << "paths not reached keep their defaults";
        EXPECT_EQ(loaded.ExeName, "Arbolix.exe") << "ExeName not reached keeps its default";
    }
}

TEST_F(PreferencesTest, ExeNameOfTheWrongTypeIsReported) {
    Store("ExeNamePos=dword:0\nAlgorithm=dword:1\nHash=dword:1\nExeName=dword:1\n");
    std::string error;
    const TPreferences loaded = Load(error);
    EXPECT_EQ(error, "Invalid data type for 'ExeName'");
    EXPECT_EQ(loaded.Algorithm, 1);
    EXPECT_EQ(loaded.ExeName, "Arbolix.exe");
}

TEST_F(PreferencesTest, IndicesOutOfRangeCountAsAbsent) {
    Store("ExeNamePos=dword:3\nAlgorithm=dword:-1\nHash=dword:2\nExeName0=sz:\"e0\"\nExeName=sz:\"path\"\n");
    const TPreferences loaded = LoadWithoutError();
    EXPECT_EQ(loaded.ExeNamePos, 0);
    EXPECT_EQ(loaded.Algorithm, 0);
    EXPECT_EQ(loaded.Hash, 0);
    EXPECT_EQ(loaded.EditionPaths[0], "path") << "loading went on past the bad indices";
    EXPECT_EQ(loaded.ExeName, "path");
}

TEST_F(PreferencesTest, UnreadableSettingsLoadTheDefaults) {
    Store("ExeNamePos=dword:1\nAlgorithm=dword:1\nHash=dword:1\nExeName=sz:\"x\"\n");
    std::filesystem::permissions(FFile, std::filesystem::perms::owner_write);
    std::string error;
    ExpectDefaults(Load(error));
    EXPECT_EQ(error, "");
}

TEST_F(PreferencesTest, SaveFailuresNameTheValue) {
    // The key cannot be created: the folder takes no new file.
    std::filesystem::create_directories(FFile.parent_path());
    std::filesystem::permissions(FFile.parent_path(),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    TRegistry registry(FFile);
    TPreferences preferences;
    try {
        SavePreferences(registry, preferences);
        ADD_FAILURE() << "saving into a read-only folder succeeded";
    } catch (const platform::ERegistryException& error) {
        EXPECT_STREQ(error.what(), "Failed to set data for 'ExeNamePos'");
    }

    // The key exists but the file is read-only: the first write fails, nothing changes.
    std::filesystem::permissions(FFile.parent_path(), std::filesystem::perms::owner_all);
    Store("Hash=dword:1\n");
    std::filesystem::permissions(FFile, std::filesystem::perms::owner_read);
    try {
        SavePreferences(registry, preferences);
        ADD_FAILURE() << "saving into a read-only file succeeded";
    } catch (const platform::ERegistryException& error) {
        EXPECT_STREQ(error.what(), "Failed to set data for 'ExeNamePos'");
    }
    EXPECT_EQ(ReadWholeFile(FFile), "[Software\\Quillock]\nHash=dword:1\n");
}

} // namespace
} // namespace quillock::session
