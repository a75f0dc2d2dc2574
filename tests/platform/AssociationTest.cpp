// The ".qlx" association files, the cache refresh, and the program's own names.
#include "platform/Association.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace quillock::platform {
namespace {

using tests::ReadWholeFile;
using tests::TEnvironmentVariable;

// The value of key in a desktop entry's text ("" when absent); fails the test
// when the key appears more than once.
std::string EntryValue(const std::string& entry, const std::string& key) {
    const std::string prefix = "\n" + key + "=";
    const std::size_t found = entry.find(prefix);
    if (found == std::string::npos) {
        return "";
    }
    EXPECT_EQ(entry.find(prefix, found + 1), std::string::npos) << key << " repeated";
    const std::size_t start = found + prefix.size();
    return entry.substr(start, entry.find('\n', start) - start);
}

// Splits an Exec value into arguments as a desktop environment does: first the
// string escapes (\\ \s \n \t \r), then the quoting of arguments, then %% to %.
std::vector<std::string> ExecArguments(const std::string& value) {
    std::string unescaped;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            unescaped.push_back(value[i]);
            continue;
        }
        const char next = value[++i];
        unescaped.push_back(next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next);
    }
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    for (std::size_t i = 0; i < unescaped.size(); ++i) {
        const char c = unescaped[i];
        if (c == ' ') {
            if (inArgument) {
                arguments.push_back(current);
            }
            current.clear();
            inArgument = false;
        } else if (c == '"') {
            inArgument = true;
            for (++i; i < unescaped.size() && unescaped[i] != '"'; ++i) {
                if (unescaped[i] == '\\' && i + 1 < unescaped.size()) {
                    ++i;
                }
                current.push_back(unescaped[i]);
            }
        } else {
            inArgument = true;
            current.push_back(c);
        }
    }
    if (inArgument) {
        arguments.push_back(current);
    }
    for (std::string& argument : arguments) {
        for (std::size_t at = argument.find("%%"); at != std::string::npos; at = argument.find("%%", at + 1)) {
            argument.erase(at, 1);
        }
    }
    return arguments;
}

class AssociationTest : public ::testing::Test {
protected:
    tests::TTempFolder FFolder;
    TEnvironmentVariable FDataHome{"XDG_DATA_HOME", (FFolder / "data").string()};
    // No cache tools unless a test provides them.
    TEnvironmentVariable FPath{"PATH", (FFolder / "no-tools").string()};
    std::filesystem::path FDesktopFile = FFolder / "data/applications/quillock.desktop";
    std::filesystem::path FMimeFile = FFolder / "data/mime/packages/quillock.xml";
};

TEST_F(AssociationTest, DataHomeFallsBackToTheHomeFolder) {
    EXPECT_EQ(DataHome(), FFolder / "data");
    const TEnvironmentVariable home("HOME", "/home/somebody");
    for (const char* unusable : {"", "relative"}) {
        const TEnvironmentVariable data("XDG_DATA_HOME", unusable);
        EXPECT_EQ(DataHome(), std::filesystem::path("/home/somebody/.local/share"));
    }
}

TEST_F(AssociationTest, AStartWritesTheEntryAndTheMovedProgramReplacesIt) {
    ASSERT_TRUE(WriteAssociationCommand("/opt/quillock/bin/quillock"));
    std::string entry = ReadWholeFile(FDesktopFile);
    EXPECT_TRUE(entry.starts_with("[Desktop Entry]\n"));
    EXPECT_EQ(EntryValue(entry, "Type"), "Application");
    EXPECT_EQ(EntryValue(entry, "Exec"), "/opt/quillock/bin/quillock %f");
    EXPECT_EQ(EntryValue(entry, "MimeType"), "application/x-quillock-sealed;");

    // The program moved to a folder with a space in its name.
    ASSERT_TRUE(WriteAssociationCommand("/home/me/My Tools/quillock"));
    entry = ReadWholeFile(FDesktopFile);
    EXPECT_EQ(EntryValue(entry, "Exec"), "\"/home/me/My Tools/quillock\" %f");
    EXPECT_EQ(EntryValue(entry, "MimeType"), "application/x-quillock-sealed;");
    struct stat info {};
    ASSERT_EQ(::stat(FDesktopFile.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& file : std::filesystem::directory_iterator(FDesktopFile.parent_path())) {
        ++files;
    }
    EXPECT_EQ(files, 1u) << "no temporary file is left";
}

TEST_F(AssociationTest, ExecQuotesAwkwardPaths) {
    EXPECT_EQ(EntryValue(DesktopEntry("/tmp/a b/$x\\\"q%"), "Exec"), "\"/tmp/a b/\\\\$x\\\\\\\\\\\\\"q%%\" %f");
    for (const std::string path : {"/usr/bin/quillock", "/opt/x y/quillock", "/opt/$HOME/`id`/q", "/a\\b/c\"d'e",
                                   "/100%/q", "/tab\there/new\nline", "/x;y&z|w/(q)*?#~<>"}) {
        const auto arguments = ExecArguments(EntryValue(DesktopEntry(path), "Exec"));
        ASSERT_EQ(arguments.size(), 2u) << path;
        EXPECT_EQ(arguments[0], path);
        EXPECT_EQ(arguments[1], "%f");
    }
    // A relative program path is made absolute.
    const auto arguments = ExecArguments(EntryValue(DesktopEntry("bin/quillock"), "Exec"));
    EXPECT_EQ(arguments.at(0), (std::filesystem::current_path() / "bin/quillock").string());
}

TEST_F(AssociationTest, TheMimePackageMapsTheExtension) {
    ASSERT_TRUE(RegisterExtension());
    const std::string package = ReadWholeFile(FMimeFile);
    EXPECT_NE(package.find("<mime-type type=\"application/x-quillock-sealed\">"), std::string::npos);
    EXPECT_NE(package.find("<comment>Sealed Arbolix data file</comment>"), std::string::npos);
    EXPECT_NE(package.find("<glob pattern=\"*.qlx\"/>"), std::string::npos);
    EXPECT_EQ(package, ReadWholeFile(std::filesystem::path(QUILLOCK_SOURCE_DATA) / "quillock.xml"))
        << "the installed package and the per-user one agree";
}

TEST_F(AssociationTest, TheInstalledEntryOpensSealedFiles) {
    const std::string entry = ReadWholeFile(std::filesystem::path(QUILLOCK_SOURCE_DATA) / "quillock.desktop");
    EXPECT_EQ(EntryValue(entry, "Exec"), "quillock %f");
    EXPECT_EQ(EntryValue(entry, "MimeType"), EntryValue(DesktopEntry("/q"), "MimeType"));
    EXPECT_EQ(EntryValue(entry, "Icon"), "quillock");
}

TEST_F(AssociationTest, TheRealMimeDatabaseLearnsTheGlob) {
    const TEnvironmentVariable path("PATH", "/usr/local/bin:/usr/bin:/bin");
    if (!std::filesystem::exists("/usr/bin/update-mime-database")) {
        GTEST_SKIP() << "update-mime-database is not installed";
    }
    ASSERT_TRUE(RegisterExtension());
    const std::string globs = ReadWholeFile(FFolder / "data/mime/globs2");
    EXPECT_NE(globs.find("application/x-quillock-sealed:*.qlx"), std::string::npos) << globs;
}

TEST_F(AssociationTest, CacheToolsRunOnTheirFolders) {
    const auto tools = FFolder / "tools";
    const auto log = FFolder / "log";
    std::filesystem::create_directory(tools);
    for (const char* tool : {"update-desktop-database", "update-mime-database"}) {
        tests::WriteWholeFile(tools / tool, "#!/bin/sh\necho \"$0 $*\" >> '" + log.string() +
                                                "'\necho noise; echo more noise >&2\nexit 1\n");
        std::filesystem::permissions(tools / tool, std::filesystem::perms::owner_all);
    }
    const TEnvironmentVariable path("PATH", tools.string());
    EXPECT_TRUE(WriteAssociationCommand("/usr/bin/quillock")) << "a failing tool does not fail the step";
    EXPECT_TRUE(RegisterExtension());
    EXPECT_EQ(ReadWholeFile(log),
              (tools / "update-desktop-database").string() + " " + (FFolder / "data/applications").string() + "\n" +
                  (tools / "update-mime-database").string() + " " + (FFolder / "data/mime").string() + "\n");
}

TEST_F(AssociationTest, MissingToolsAreIgnored) {
    EXPECT_TRUE(WriteAssociationCommand("/usr/bin/quillock"));
    EXPECT_TRUE(RegisterExtension());
    EXPECT_TRUE(std::filesystem::exists(FDesktopFile));
    EXPECT_TRUE(std::filesystem::exists(FMimeFile));
}

TEST_F(AssociationTest, EachStepFailsOnItsOwn) {
    // A file where the data folder should be: nothing can be written below it.
    tests::WriteWholeFile(FFolder / "blocker", "");
    const TEnvironmentVariable dataHome("XDG_DATA_HOME", (FFolder / "blocker/share").string());
    EXPECT_FALSE(WriteAssociationCommand("/usr/bin/quillock"));
    EXPECT_FALSE(RegisterExtension());
    EXPECT_FALSE(WriteAssociationCommand(""));

    const TEnvironmentVariable dataHome2("XDG_DATA_HOME", (FFolder / "data").string());
    std::filesystem::create_directories(FMimeFile);
    EXPECT_TRUE(WriteAssociationCommand("/usr/bin/quillock")) << "a blocked MIME package leaves the entry alone";
    EXPECT_FALSE(RegisterExtension());
}

TEST(ApplicationTitleTest, FileNameWithoutExtensionCapitalised) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:/Tools/QuilLock.EXE", "Quillock"},
        {"/usr/bin/quillock", "Quillock"},
        {"/usr/bin/QUILLOCK-CLI", "Quillock-cli"},
        {"/opt/my.tools/quil.lock.exe", "Quil.lock"},
        {"9Lives", "9lives"},
        {"q\xC3\x89Z.bin", "Q\xC3\x89z"}, // bytes of other characters are left alone
        {"", ""},
    };
    for (const auto& [path, title] : cases) {
        EXPECT_EQ(ApplicationTitle(path), title) << path;
    }
}

TEST(RunningProgramPathTest, IsThisTestProgram) {
    const auto path = RunningProgramPath();
    EXPECT_TRUE(path.is_absolute());
    EXPECT_EQ(path.filename(), "platform_tests");
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
}

} // namespace
} // namespace quillock::platform
