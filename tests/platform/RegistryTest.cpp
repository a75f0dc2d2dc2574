// The settings store: first run, typed values, wrong types, permissions, and
// two programs saving at once.
#include "platform/Registry.h"
#include "platform/Files.h"
#include "platform/Text.h"
#include "tests/support/Checks.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>

#include <climits>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillock::platform {
namespace {

using tests::ReadWholeFile;
using tests::TEnvironmentVariable;
using tests::TTempFolder;
using tests::WriteWholeFile;

const std::string Key = "Software\\Quillock";

// The message of the ERegistryException that action raises ("" when none).
template <class TAction> std::string RegistryError(TAction action) {
    return tests::ErrorText<ERegistryException>(action);
}

mode_t ModeOf(const std::filesystem::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

class RegistryTest : public ::testing::Test {
protected:
    TTempFolder FFolder;
    TEnvironmentVariable FConfigHome{"XDG_CONFIG_HOME", FFolder.Path().string()};
    std::filesystem::path FFile = FFolder / "quillock/settings.ini";
};

TEST_F(RegistryTest, DefaultFileFollowsXdgConfigHome) {
    EXPECT_EQ(TRegistry::DefaultFile(), FFolder.Path() / "quillock/settings.ini");
    const TEnvironmentVariable home("HOME", "/home/somebody");
    for (const char* unusable : {"", "relative/config"}) {
        const TEnvironmentVariable config("XDG_CONFIG_HOME", unusable);
        EXPECT_EQ(TRegistry::DefaultFile(), std::filesystem::path("/home/somebody/.config/quillock/settings.ini"))
            << "XDG_CONFIG_HOME=" << unusable;
    }
    EXPECT_EQ(TRegistry().FileName(), FFile);
}

TEST_F(RegistryTest, FirstRunCreatesAnEmptyKeyOnlyWhenAllowed) {
    TRegistry registry;
    EXPECT_FALSE(registry.OpenKey(Key, false));
    EXPECT_FALSE(std::filesystem::exists(FFile)) << "opening without create must not write";

    ASSERT_TRUE(registry.OpenKey(Key, true));
    EXPECT_EQ(ModeOf(FFile.parent_path()), 0700u);
    EXPECT_EQ(ModeOf(FFile), 0600u);
    EXPECT_NE(ReadWholeFile(FFile).find("[Software\\Quillock]\n"), std::string::npos);

    EXPECT_FALSE(registry.ValueExists("ExeName"));
    EXPECT_EQ(registry.GetDataType("ExeName"), TRegDataType::rdUnknown);
    EXPECT_EQ(RegistryError([&] { (void)registry.ReadInteger("ExeNamePos"); }), "Failed to get data for 'ExeNamePos'");
    EXPECT_EQ(registry.ReadString("ExeName0"), "") << "a missing text reads as empty";

    TRegistry again;
    EXPECT_TRUE(again.OpenKey(Key, false)) << "the created key is stored";
    EXPECT_FALSE(again.OpenKey("Software\\Other", false));
}

TEST_F(RegistryTest, TypedValuesSurviveAReopen) {
    std::string everyByte;
    for (int c = 1; c < 256; ++c) {
        everyByte.push_back(static_cast<char>(c));
    }
    const std::string texts[] = {"",
                                 "Arbolix\xAE.exe",
                                 "C:\\Programmi\\Arbolix Extra\\ArbolixExtra.exe",
                                 "quote \" back \\ \\x41 end\\",
                                 std::string("nul\0inside", 10),
                                 everyByte};
    const std::int32_t numbers[] = {0, 2, -1, INT32_MIN, INT32_MAX};
    {
        TRegistry registry;
        ASSERT_TRUE(registry.OpenKey(Key, true));
        for (std::size_t i = 0; i < std::size(texts); ++i) {
            registry.WriteString("Text" + std::to_string(i), texts[i]);
        }
        for (std::size_t i = 0; i < std::size(numbers); ++i) {
            registry.WriteInteger("Number" + std::to_string(i), numbers[i]);
        }
        EXPECT_EQ(registry.ReadInteger("Number3"), INT32_MIN) << "a write is visible at once";
    }
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(Key, false));
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        const std::string name = "Text" + std::to_string(i);
        EXPECT_EQ(registry.GetDataType(name), TRegDataType::rdString);
        EXPECT_EQ(registry.ReadString(name), texts[i]) << name;
    }
    for (std::size_t i = 0; i < std::size(numbers); ++i) {
        const std::string name = "Number" + std::to_string(i);
        EXPECT_EQ(registry.GetDataType(name), TRegDataType::rdInteger);
        EXPECT_EQ(registry.ReadInteger(name), numbers[i]) << name;
    }

    // The file is UTF-8 text a person can read: the single byte 0xAE is "®" there.
    const std::string file = ReadWholeFile(FFile);
    EXPECT_TRUE(Utf8ToCp1252(file).has_value()) << "the file is valid UTF-8";
    EXPECT_EQ(file.find("\xC2\x81"), std::string::npos) << "invisible controls are written as escapes";
    EXPECT_NE(file.find("\\x81\xE2\x80\x9A"), std::string::npos) << "0x81 escaped, 0x82 written as its character";
    EXPECT_NE(file.find("Text1=sz:\"Arbolix\xC2\xAE.exe\"\n"), std::string::npos) << file;
    EXPECT_NE(file.find("Number2=dword:-1\n"), std::string::npos) << file;
    EXPECT_NE(file.find("Text2=sz:\"C:\\\\Programmi\\\\Arbolix Extra\\\\ArbolixExtra.exe\"\n"), std::string::npos);
}

TEST_F(RegistryTest, ReadsAHandWrittenFile) {
    std::filesystem::create_directories(FFile.parent_path());
    WriteWholeFile(FFile, "\xEF\xBB\xBF# written by hand\r\n"
                          "[Software\\Quillock]\r\n"
                          "  ExeNamePos = dword:2\r\n"
                          "ExeName=sz:\"D:\\\\Arbolix\\xAE \\\"new\\\"\\tx\"\r\n"
                          "Path=expand_sz:\"%HOME%/arbolix\"\n"
                          "Utf=sz:\"\xE2\x82\xAC \xC3\xA9\"\n");
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(Key, false));
    EXPECT_EQ(registry.ReadInteger("ExeNamePos"), 2);
    EXPECT_EQ(registry.ReadString("ExeName"), "D:\\Arbolix\xAE \"new\"\tx");
    EXPECT_EQ(registry.GetDataType("Path"), TRegDataType::rdExpandString);
    EXPECT_EQ(registry.ReadString("Path"), "%HOME%/arbolix") << "expandable text is accepted as text";
    EXPECT_EQ(registry.ReadString("Utf"), "\x80 \xE9");
}

TEST_F(RegistryTest, WrongTypesAndMalformedValues) {
    std::filesystem::create_directories(FFile.parent_path());
    WriteWholeFile(FFile, "[Software\\Quillock]\n"
                          "ExeNamePos=sz:\"1\"\n"
                          "Algorithm=binary:0100\n"
                          "Hash=qword:1\n"
                          "ExeName=dword:7\n"
                          "NotANumber=dword:12abc\n"
                          "TooBig=dword:4294967296\n"
                          "Unterminated=sz:\"abc\n"
                          "BadEscape=sz:\"a\\qb\"\n"
                          "BadUtf8=sz:\"\xC3\x28\"\n"
                          "Unrepresentable=sz:\"\xE4\xB8\xAD\"\n"
                          "NoType=5\n");
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(Key, false));
    EXPECT_EQ(RegistryError([&] { (void)registry.ReadInteger("ExeNamePos"); }), "Invalid data type for 'ExeNamePos'");
    EXPECT_EQ(registry.GetDataType("Algorithm"), TRegDataType::rdBinary);
    EXPECT_EQ(RegistryError([&] { (void)registry.ReadInteger("Algorithm"); }), "Invalid data type for 'Algorithm'");
    EXPECT_EQ(RegistryError([&] { (void)registry.ReadString("Algorithm"); }), "Invalid data type for 'Algorithm'");
    EXPECT_EQ(RegistryError([&] { (void)registry.ReadInteger("Hash"); }), "Invalid data type for 'Hash'");
    EXPECT_EQ(RegistryError([&] { (void)registry.ReadString("ExeName"); }), "Invalid data type for 'ExeName'");
    for (const char* name :
         {"NotANumber", "TooBig", "Unterminated", "BadEscape", "BadUtf8", "Unrepresentable", "NoType"}) {
        EXPECT_TRUE(registry.ValueExists(name)) << name;
        EXPECT_EQ(registry.GetDataType(name), TRegDataType::rdUnknown) << name;
        EXPECT_EQ(RegistryError([&] { (void)registry.ReadString(name); }),
                  std::string("Invalid data type for '") + name + "'");
    }
}

TEST_F(RegistryTest, AWriteKeepsEverythingElseInTheFile) {
    std::filesystem::create_directories(FFile.parent_path());
    const std::string before = "# my notes\n"
                               "[Software\\Other]\n"
                               "Hash=dword:9\n"
                               "\n"
                               "[Software\\Quillock]\n"
                               "Hash=dword:1\n"
                               "something odd here\n"
                               "Odd=unknown:whatever\n"
                               "Hash=dword:5\n"
                               "\n"
                               "[Trailer]\n"
                               "X=sz:\"y\"\n";
    WriteWholeFile(FFile, before);
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(Key, false));
    EXPECT_EQ(registry.ReadInteger("Hash"), 1) << "the first line of a repeated name counts";
    registry.WriteInteger("Hash", 0);
    registry.WriteString("ExeName", "new");
    EXPECT_EQ(ReadWholeFile(FFile), "# my notes\n"
                                    "[Software\\Other]\n"
                                    "Hash=dword:9\n"
                                    "\n"
                                    "[Software\\Quillock]\n"
                                    "Hash=dword:0\n"
                                    "something odd here\n"
                                    "Odd=unknown:whatever\n"
                                    "ExeName=sz:\"new\"\n"
                                    "\n"
                                    "[Trailer]\n"
                                    "X=sz:\"y\"\n");
}

TEST_F(RegistryTest, WritesMergeWithWhatOthersSaved) {
    TRegistry first;
    TRegistry second;
    ASSERT_TRUE(first.OpenKey(Key, true));
    ASSERT_TRUE(second.OpenKey(Key, true));
    first.WriteInteger("Algorithm", 1);
    second.WriteInteger("Hash", 1);
    EXPECT_EQ(second.ReadInteger("Algorithm"), 1) << "a write reads what another copy saved";
    TRegistry third;
    ASSERT_TRUE(third.OpenKey(Key, false));
    EXPECT_EQ(third.ReadInteger("Algorithm"), 1);
    EXPECT_EQ(third.ReadInteger("Hash"), 1);
}

TEST_F(RegistryTest, WritingWithoutAKeyOrWithABadNameFails) {
    TRegistry registry;
    EXPECT_EQ(RegistryError([&] { registry.WriteInteger("Hash", 1); }), "Failed to set data for 'Hash'");
    ASSERT_TRUE(registry.OpenKey(Key, true));
    for (const std::string name : {"", "A=B", "Line\nBreak", "[Section]", "#Comment", " Padded"}) {
        EXPECT_EQ(RegistryError([&] { registry.WriteString(name, "x"); }), "Failed to set data for '" + name + "'");
    }
    registry.CloseKey();
    EXPECT_EQ(RegistryError([&] { registry.WriteString("ExeName", "x"); }), "Failed to set data for 'ExeName'");
    EXPECT_FALSE(registry.OpenKey("Bad]Key", true));
}

TEST_F(RegistryTest, UnreadableFile) {
    {
        TRegistry registry;
        ASSERT_TRUE(registry.OpenKey(Key, true));
        registry.WriteInteger("Hash", 1);
    }
    const std::string before = ReadWholeFile(FFile);
    TRegistry opened;
    ASSERT_TRUE(opened.OpenKey(Key, false));

    // No read permission bit: unreadable for everybody, the administrator too.
    std::filesystem::permissions(FFile, std::filesystem::perms::owner_write);
    TRegistry registry;
    EXPECT_FALSE(registry.OpenKey(Key, false));
    EXPECT_FALSE(registry.OpenKey(Key, true));
    EXPECT_EQ(RegistryError([&] { opened.WriteInteger("Algorithm", 1); }), "Failed to set data for 'Algorithm'")
        << "a write must not replace what it cannot read";
    std::filesystem::permissions(FFile, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(ReadWholeFile(FFile), before);

    // A folder where the file should be.
    std::filesystem::remove(FFile);
    std::filesystem::create_directory(FFile);
    EXPECT_FALSE(registry.OpenKey(Key, true));
}

TEST_F(RegistryTest, SeveralValuesAreStoredTogetherOrNotAtAll) {
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(Key, true));
    registry.WriteValues({{"Hash", 1, std::nullopt}, {"ExeName", 0, "vi \xAE"}});
    const std::string stored = ReadWholeFile(FFile);
    TRegistry reader;
    ASSERT_TRUE(reader.OpenKey(Key, false));
    EXPECT_EQ(reader.ReadInteger("Hash"), 1);
    EXPECT_EQ(reader.ReadString("ExeName"), "vi \xAE");
    // A bad name anywhere in the batch stores none of it, and says which.
    EXPECT_EQ(RegistryError([&] {
                  registry.WriteValues({{"Algorithm", 1, std::nullopt}, {"bad=name", 0, "x"}});
              }),
              "Failed to set data for 'bad=name'");
    EXPECT_EQ(ReadWholeFile(FFile), stored);

    // A change another copy of the program saved is seen at the next opening.
    {
        TRegistry other;
        ASSERT_TRUE(other.OpenKey(Key, false));
        other.WriteInteger("Hash", 0);
    }
    ASSERT_TRUE(reader.OpenKey(Key, false));
    EXPECT_EQ(reader.ReadInteger("Hash"), 0);
}

TEST_F(RegistryTest, AFileOverOneMebibyteIsDamagedAndNeverReplaced) {
    {
        TRegistry registry;
        ASSERT_TRUE(registry.OpenKey(Key, true));
        registry.WriteInteger("Hash", 1);
    }
    // A valid file padded with comment lines past 1 MiB.
    std::string padded = ReadWholeFile(FFile);
    while (padded.size() <= (std::size_t{1} << 20)) {
        padded += "; padding " + std::string(100, '-') + "\n";
    }
    std::ofstream(FFile, std::ios::binary | std::ios::trunc) << padded;
    TRegistry registry;
    EXPECT_FALSE(registry.OpenKey(Key, false));
    EXPECT_FALSE(registry.OpenKey(Key, true));
    EXPECT_EQ(ReadWholeFile(FFile), padded) << "what cannot be read is not replaced";
}

TEST_F(RegistryTest, ReadOnlyFileAndFolder) {
    {
        TRegistry registry;
        ASSERT_TRUE(registry.OpenKey(Key, true));
        registry.WriteInteger("Hash", 1);
    }
    const std::string before = ReadWholeFile(FFile);
    std::filesystem::permissions(FFile, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(Key, true)) << "an existing key opens on a read-only file";
    EXPECT_EQ(registry.ReadInteger("Hash"), 1);
    EXPECT_EQ(RegistryError([&] { registry.WriteInteger("Hash", 0); }), "Failed to set data for 'Hash'");
    EXPECT_EQ(RegistryError([&] { registry.WriteString("ExeName", "x"); }), "Failed to set data for 'ExeName'");
    EXPECT_FALSE(registry.OpenKey("Software\\Missing", true)) << "a key that cannot be stored cannot be created";
    EXPECT_EQ(ReadWholeFile(FFile), before);
    EXPECT_EQ(ModeOf(FFile), 0440u);

    // A folder without write permission: no file can be created or replaced in it.
    std::filesystem::permissions(FFile, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::filesystem::permissions(FFile.parent_path(),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    ASSERT_TRUE(registry.OpenKey(Key, false));
    EXPECT_EQ(RegistryError([&] { registry.WriteInteger("Hash", 0); }), "Failed to set data for 'Hash'");
    const auto folderMode = std::filesystem::status(FFile.parent_path()).permissions();
    std::filesystem::permissions(FFile.parent_path(), std::filesystem::perms::owner_all);
    std::filesystem::remove(FFile);
    std::filesystem::permissions(FFile.parent_path(), folderMode);
    EXPECT_FALSE(registry.OpenKey(Key, true));
    EXPECT_FALSE(std::filesystem::exists(FFile));
}

TEST_F(RegistryTest, ASymbolicLinkToTheFileIsKept) {
    std::filesystem::create_directories(FFile.parent_path());
    const auto real = FFolder / "dotfiles-settings.ini";
    WriteWholeFile(real, "[Software\\Quillock]\n");
    std::filesystem::create_symlink(real, FFile);
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(Key, false));
    registry.WriteInteger("Hash", 1);
    EXPECT_TRUE(std::filesystem::is_symlink(FFile));
    EXPECT_EQ(ReadWholeFile(real), "[Software\\Quillock]\nHash=dword:1\n");
}

// Two programs save their values at the same time, many times over: every value
// of both must be there at the end, and every reader sees a complete file.
TEST_F(RegistryTest, TwoProcessesSavingAtOnceLoseNothing) {
    constexpr int Rounds = 150;
    {
        TRegistry registry;
        ASSERT_TRUE(registry.OpenKey(Key, true));
    }
    pid_t children[2];
    for (int child = 0; child < 2; ++child) {
        children[child] = ::fork();
        ASSERT_GE(children[child], 0);
        if (children[child] == 0) {
            int status = 0;
            try {
                TRegistry registry;
                if (!registry.OpenKey(Key, false)) {
                    ::_exit(3);
                }
                for (int i = 0; i < Rounds; ++i) {
                    const std::string suffix = std::to_string(child) + "_" + std::to_string(i);
                    registry.WriteInteger("Number" + suffix, i);
                    registry.WriteString("Text" + suffix, "value \xAE " + suffix);
                }
            } catch (...) {
                status = 4;
            }
            ::_exit(status);
        }
    }
    // Meanwhile the file must always read as a whole key of well-typed values.
    int reads = 0;
    for (;;) {
        int finished = 0;
        for (pid_t& child : children) {
            int status = 0;
            if (child > 0 && ::waitpid(child, &status, WNOHANG) == child) {
                EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
                child = -1;
            }
            finished += child < 0 ? 1 : 0;
        }
        TRegistry reader;
        ASSERT_TRUE(reader.OpenKey(Key, false));
        ++reads;
        if (finished == 2) {
            break;
        }
    }
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(Key, false));
    for (int child = 0; child < 2; ++child) {
        for (int i = 0; i < Rounds; ++i) {
            const std::string suffix = std::to_string(child) + "_" + std::to_string(i);
            ASSERT_EQ(registry.ReadInteger("Number" + suffix), i) << suffix;
            ASSERT_EQ(registry.ReadString("Text" + suffix), "value \xAE " + suffix);
        }
    }
    EXPECT_GT(reads, 0);
    // No temporary file is left behind.
    for (const auto& entry : std::filesystem::directory_iterator(FFile.parent_path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name == "settings.ini" || name == "settings.ini.lock") << name;
    }
}

// The settings name the program run on the plain text: a file or folder
// that someone else owns or may change is not used, and never replaced.
TEST_F(RegistryTest, SettingsOthersCanChangeAreNotUsedAndNeverReplaced) {
    {
        TRegistry registry;
        ASSERT_TRUE(registry.OpenKey(Key, true));
        registry.WriteString("ExeName", "/usr/bin/own-editor");
    }
    const std::string saved = ReadWholeFile(FFile);
    const auto expectDistrusted = [&](const std::string& what) {
        TRegistry registry;
        const std::string distrust = registry.Distrust();
        EXPECT_NE(distrust.find("\"" + FFile.string() + "\" is not used: " + what), std::string::npos) << distrust;
        ASSERT_TRUE(registry.OpenKey(Key, true));
        EXPECT_FALSE(registry.ValueExists("ExeName")) << "the defaults";
        registry.WriteString("ExeName", "/tmp/their-editor");
        EXPECT_EQ(ReadWholeFile(FFile), saved) << "never replaced";
    };
    ASSERT_EQ(::chmod(FFile.c_str(), 0666), 0);
    expectDistrusted("the settings file is owned by " + UserName(::geteuid()) +
                     " and can be changed by other users (mode 666)");
    ASSERT_EQ(::chmod(FFile.c_str(), 0600), 0);
    ASSERT_EQ(::chmod(FFile.parent_path().c_str(), 0770), 0);
    expectDistrusted("its folder \"" + FFile.parent_path().string() + "\" is owned by");
    ASSERT_EQ(::chmod(FFile.parent_path().c_str(), 0700), 0);
    // $XDG_CONFIG_HOME itself: shared but sticky is fine, shared without is not.
    ASSERT_EQ(::chmod(FFolder.Path().c_str(), 01777), 0);
    EXPECT_EQ(TRegistry().Distrust(), "");
    ASSERT_EQ(::chmod(FFolder.Path().c_str(), 0777), 0);
    expectDistrusted("its folder \"" + FFolder.Path().string() + "\"");
    ASSERT_EQ(::chmod(FFolder.Path().c_str(), 0700), 0);
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a settings file of another user needs root to make (chown); run the tests as root";
    }
    ASSERT_EQ(::chown(FFile.c_str(), 65534, 65534), 0);
    expectDistrusted("the settings file is owned by " + UserName(65534));
}

} // namespace
} // namespace quillock::platform
