// Starting the editor: command-line splitting, finding the executable,
// waiting, and the pause that ends a session.
#include "tests/support/EditorTestSupport.h"
#include "tests/support/ScriptedView.h"

#include "platform/Process.h"
#include "session/EditorLaunch.h"

#include <cstdlib>

namespace quillock::testing {
namespace {

using platform::ParseCommandLine;
using platform::QuoteArgument;
using platform::SplitArguments;
using Strings = std::vector<std::string>;

class EditorLaunchTest : public datafile::testing::TTempDirTest {
protected:
    // A shell script that ends with code.
    std::string Script(const std::string& name, int code, unsigned mode = 0755) {
        const std::string path = Path(name);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteText(path, "#!/bin/sh\nexit " + std::to_string(code) + "\n");
        std::filesystem::permissions(path, static_cast<std::filesystem::perms>(mode));
        return path;
    }
};

TEST(SplitArguments, FollowsTheDoubleQuoteRules) {
    EXPECT_EQ(SplitArguments(R"(a "b c" d)"), (Strings{"a", "b c", "d"}));
    EXPECT_EQ(SplitArguments("  a\t\tb  "), (Strings{"a", "b"}));
    EXPECT_EQ(SplitArguments(R"("")"), (Strings{""}));
    EXPECT_EQ(SplitArguments(R"(x"y z"w)"), (Strings{"xy zw"}));
    EXPECT_EQ(SplitArguments(R"("a""b")"), (Strings{"a\"b"}));
    EXPECT_EQ(SplitArguments(R"(a\b c\\d)"), (Strings{R"(a\b)", R"(c\\d)"}));
    EXPECT_EQ(SplitArguments(R"(a\"b)"), (Strings{"a\"b"}));
    EXPECT_EQ(SplitArguments(R"(a\\"b c")"), (Strings{R"(a\b c)"}));
    EXPECT_EQ(SplitArguments(R"(a\\\"b)"), (Strings{R"(a\"b)"}));
    EXPECT_EQ(SplitArguments(R"("unterminated quote)"), (Strings{"unterminated quote"}));
    EXPECT_TRUE(SplitArguments("   ").empty());
}

TEST(QuoteArgument, GivesEveryTextBackUnchanged) {
    // The plain case is the text between two double quotes.
    EXPECT_EQ(QuoteArgument("/n/diary.qlx.qlt"), "\"/n/diary.qlx.qlt\"");
    for (const std::string text :
         {"", "a b", "say \"hi\"", R"(back\slash)", R"(trailing\)", R"(two\\)", R"(\"mixed\\")", "\"", "tab\there"}) {
        EXPECT_EQ(SplitArguments(QuoteArgument(text)), Strings{text}) << text;
    }
}

TEST(EditorCommandLine, IsTheEditorAsTypedAndTheWorkingCopyInQuotes) {
    EXPECT_EQ(session::EditorCommandLine("Arbolix.exe", "/n/diary.qlx.qlt"), "Arbolix.exe \"/n/diary.qlx.qlt\"");
    EXPECT_EQ(session::EditorCommandLine("/opt/Arbolix Extra/ae", "/my notes/d.qlx.qlt"),
              "/opt/Arbolix Extra/ae \"/my notes/d.qlx.qlt\"");
}

TEST_F(EditorLaunchTest, UnquotedPathWithBlanksTakesTheLongestExecutablePrefix) {
    const std::string longer = Script("my editor/ed", 0);
    std::optional<platform::TCommandLine> parsed = ParseCommandLine(Path("my editor/ed") + " \"a b\" c");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->Executable, longer);
    EXPECT_EQ(parsed->Arguments, (Strings{"a b", "c"}));

    // A directory or a file that may not be run is passed over ...
    std::filesystem::create_directories(Path("my"));
    parsed = ParseCommandLine(Path("my editor/ed") + " x");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->Executable, longer);
    std::filesystem::remove(Path("my"));
    Script("my", 0, 0644);
    parsed = ParseCommandLine(Path("my editor/ed") + " x");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->Executable, longer);

    // ... and so is a shorter prefix that can be run (another user may have
    // planted it): the longest executable prefix wins.
    std::filesystem::remove(Path("my"));
    const std::string shorter = Script("my", 0);
    parsed = ParseCommandLine(Path("my editor/ed") + " x");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->Executable, longer);
    EXPECT_EQ(parsed->Arguments, Strings{"x"});

    // Only when the longer path is no program does the shorter one run, with
    // the rest as arguments; a quoted argument is never part of the path.
    std::filesystem::remove(longer);
    parsed = ParseCommandLine(Path("my editor/ed") + " \"x y\"");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->Executable, shorter);
    EXPECT_EQ(parsed->Arguments, (Strings{"editor/ed", "x y"}));
}

TEST_F(EditorLaunchTest, APathTooLongOrWithTooManyBlanksIsNeverSearched) {
    const std::string editor = Script("ed", 0);
    std::string words;
    for (std::size_t word = 1; word < platform::MaxPrefixesTried; ++word) {
        words += " a";
    }
    // The executable is found as the last prefix allowed ...
    std::optional<platform::TCommandLine> parsed = ParseCommandLine(editor + words);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->Executable, editor);
    // ... and not behind one word more, nor behind a path that is too long.
    EXPECT_FALSE(ParseCommandLine(editor + words + " a"));
    const std::string longest = editor + " " + std::string(platform::MaxExecutablePathLength - editor.size() - 1, 'a');
    EXPECT_TRUE(ParseCommandLine(longest));
    EXPECT_FALSE(ParseCommandLine(longest + "a"));
}

TEST_F(EditorLaunchTest, QuotedExecutableIsTakenWhole) {
    Script("my", 0);
    const std::string editor = Script("my editor/ed", 0);
    const std::optional<platform::TCommandLine> parsed = ParseCommandLine("\"" + editor + "\" \"/x y/f.qlt\"");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->Executable, editor);
    EXPECT_EQ(parsed->Arguments, Strings{"/x y/f.qlt"});
    // Quoted, the folder is taken whole: it is no executable, and "my" beside it is not tried.
    const std::string folder = Path("my editor");
    EXPECT_FALSE(ParseCommandLine("\"" + folder + "\" file"));
}

TEST_F(EditorLaunchTest, BareNameIsLookedUpBesideTheProgramThenInPath) {
    const char* saved = std::getenv("PATH");
    const std::string oldPath = saved != nullptr ? saved : "";
    std::filesystem::create_directories(Path("bin"));
    ASSERT_EQ(::setenv("PATH", Path("bin").c_str(), 1), 0);
    // This test program's own folder comes first.
    std::optional<platform::TCommandLine> parsed = ParseCommandLine("session_tests --flag");
    EXPECT_TRUE(parsed && parsed->Executable.ends_with("/session_tests") &&
                !parsed->Executable.starts_with(Path("bin")));
    // Then the folders of PATH.
    const std::string tool = Script("bin/quillock-test-tool", 0);
    parsed = ParseCommandLine("quillock-test-tool arg");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->Executable, tool);
    EXPECT_EQ(parsed->Arguments, Strings{"arg"});
    EXPECT_FALSE(ParseCommandLine("quillock-no-such-tool arg"));
    ::setenv("PATH", oldPath.c_str(), 1);
}

TEST_F(EditorLaunchTest, ExecuteAndWaitReturnsMinusOneOnlyWhenNothingStarts) {
    EXPECT_EQ(session::ExecuteAndWait(Path("no such editor") + " \"file\"", 1), -1);
    EXPECT_EQ(session::ExecuteAndWait("", 1), -1);
    EXPECT_EQ(session::ExecuteAndWait("   ", 1), -1);
    Script("plain", 0, 0644);
    EXPECT_EQ(session::ExecuteAndWait(Path("plain") + " x", 1), -1);
    // The program's exit code does not matter, but it is never -1.
    EXPECT_EQ(session::ExecuteAndWait(Script("ok", 0) + " x", 1), 0);
    EXPECT_EQ(session::ExecuteAndWait(Script("fails", 255) + " x", 1), 255);
}

TEST_F(EditorLaunchTest, WaitsForTheEditorAndPassesLongCommandLinesWhole) {
    const std::string record = Path("argv");
    const std::string file = Path("the file.qlt");
    WriteText(file, "x");
    const std::string longArgument(3000, 'q');
    // Written after a pause: seen only if the wait covered it.
    const std::string line =
        FakeEditor + " sleep=200 record=" + record + " append=" + longArgument + " " + QuoteArgument(file);
    EXPECT_EQ(session::ExecuteAndWait(line, 1), 0);
    EXPECT_EQ(ReadText(file), "x" + longArgument);
    EXPECT_EQ(ReadText(record), "sleep=200\nrecord=" + record + "\nappend=" + longArgument + "\n" + file + "\n");
}

TEST(PumpDelay, HandlesMessagesBeforeEachStepOfAHundredMilliseconds) {
    for (const auto& [milliseconds, steps] : {std::pair{1000, 10}, {250, 2}, {99, 0}, {100, 1}, {0, 0}}) {
        TScriptedView view;
        session::PumpDelay(view, static_cast<std::uint16_t>(milliseconds));
        EXPECT_EQ(view.PumpCount, steps) << milliseconds;
        EXPECT_EQ(view.Events, Strings(static_cast<std::size_t>(steps), "Sleep:100")) << milliseconds;
    }
}

} // namespace
} // namespace quillock::testing
