// No plain copy left at rest that the session does not need: the blocks of an
// imported plain file, a working copy the editor left read-only, files the
// editor wrote beside it, and how the working copy reaches the editor.
#include "tests/support/EditorTestSupport.h"
#include "tests/support/ScriptedView.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillock::testing {
namespace {

using Strings = std::vector<std::string>;

const std::string Content = "Arbolix data file\r\nfirst entry\r\n";

using PlainTextLeftTest = TViewTest;

TEST_F(PlainTextLeftTest, AnImportOverwritesTheOldPlainBlocksOnceSealed) {
    const std::string plain = Path("diary.qlt");
    datafile::testing::WriteText(plain, Content);
    ASSERT_EQ(::chmod(plain.c_str(), 0644), 0);
    // Held open, the plain file's blocks stay reachable after its name has
    // gone: what they hold at the end is what a disk would still hold.
    const int held = ::open(plain.c_str(), O_RDONLY);
    ASSERT_GE(held, 0);
    View.FName = plain;
    View.YesNoAnswers = {TModalResult::mrYes};
    Editor("keep");
    View.FinishedAnswers = {true};
    EXPECT_EQ(View.Run(), 0);
    // Owner-only from the rename on; the sealed file keeps that mode.
    EXPECT_EQ(Mode(Data), 0600u);
    std::string old(Content.size(), 'x');
    EXPECT_EQ(::pread(held, old.data(), old.size(), 0), static_cast<ssize_t>(old.size()));
    ::close(held);
    EXPECT_EQ(old, std::string(Content.size(), '\0'));
    EXPECT_EQ(Unseal(Data).Content, Content);
    EXPECT_EQ(Listing(Dir), Strings{"diary.qlx"});
}

TEST_F(PlainTextLeftTest, AWorkingCopyLeftReadOnlyIsStillWiped) {
    SealContent(Data, Content, false);
    Editor("append=x readonly");
    EXPECT_EQ(View.Run(), 0);
    EXPECT_EQ(Unseal(Data).Content, Content + "x");
    EXPECT_EQ(Listing(Dir), (Strings{"diary.qlx", "diary.qlx.bak"}));

    // The same without a change: nothing sealed, nothing left.
    TScriptedView view;
    view.FName = Data;
    view.FExeName = FakeEditor + " readonly";
    view.FinishedAnswers = {true};
    EXPECT_EQ(view.Run(), 0);
    EXPECT_EQ(Listing(Dir), (Strings{"diary.qlx", "diary.qlx.bak"}));
}

TEST_F(PlainTextLeftTest, EditorLeftoversOfThisSessionAreWipedAndNamed) {
    SealContent(Data, Content, false);
    Editor("copy=" + Path(".diary.qlx.qlt.swp") + " copy=" + Path("#diary.qlx.qlt#") + " append=x");
    EXPECT_EQ(View.Run(), 0);
    EXPECT_EQ(Listing(Dir), (Strings{"diary.qlx", "diary.qlx.bak"}));
    EXPECT_TRUE(View.Saw("Status:Wiping data.. (and the editor's .diary.qlx.qlt.swp, #diary.qlx.qlt#)"));
}

TEST_F(PlainTextLeftTest, EditorLeftoversOfASessionCutShortAreNamedInTheWarning) {
    // Only a session's editor names its copies so: one from before this
    // session was left by a session cut short, and holds its text.
    SealContent(Data, Content, false);
    datafile::testing::WriteText(Path("diary.qlx.qlt~"), "older");
    View.YesNoAnswers = {TModalResult::mrNo};
    EXPECT_EQ(View.Run(), 1);
    ASSERT_EQ(View.Messages.size(), 1u);
    EXPECT_NE(View.Messages[0].find("\r\n\"" + Path("diary.qlx.qlt~") +
                                    "\": the editor's copy of the working copy, unencrypted, changed "),
              std::string::npos)
        << View.Messages[0];
    EXPECT_EQ(Listing(Dir), (Strings{"diary.qlx", "diary.qlx.qlt~"}));

    // [Yes] overwrites it as it overwrites the working copy.
    TScriptedView again;
    again.FName = Data;
    again.YesNoAnswers = {TModalResult::mrYes};
    again.FExeName = FakeEditor + " append=x";
    EXPECT_EQ(again.Run(), 0);
    EXPECT_EQ(Listing(Dir), (Strings{"diary.qlx", "diary.qlx.bak"}));
}

TEST_F(PlainTextLeftTest, AFailureBeforeTheEditorRanLeavesNoPlainCopy) {
    // A compressed content whose decoding cannot be written (a file-size
    // limit stands in for a full disk): both temporaries go.
    const std::string big(3 << 20, 'a');
    SealContent(Data, "Arbolix data file\r\n" + big, true);
    const datafile::testing::Bytes sealed = datafile::testing::ReadBytes(Data);
    const int code = datafile::testing::WithFileSizeLimit(1 << 20, [&] {
        if (const int exitCode = View.Run(); exitCode != 0) {
            throw datafile::TProgramExit{exitCode};
        }
    });
    EXPECT_EQ(code, 1);
    EXPECT_EQ(Listing(Dir), Strings{"diary.qlx"});
    EXPECT_EQ(datafile::testing::ReadBytes(Data), sealed);
}

TEST_F(PlainTextLeftTest, TheWorkingCopyReachesTheEditorAsAnAbsolutePath) {
    // A data file named like an option or an editor command, given relative.
    for (const std::string name : {"-x", "+!cmd"}) {
        SCOPED_TRACE(name);
        const std::string folder = Dir.string();
        SealContent(Path(name), Content, false);
        TScriptedView view;
        const std::string previous = std::filesystem::current_path().string();
        std::filesystem::current_path(folder);
        view.FName = name;
        view.FExeName = FakeEditor + " record=" + Path("arguments");
        view.FinishedAnswers = {true};
        EXPECT_EQ(view.Run(), 0);
        std::filesystem::current_path(previous);
        EXPECT_EQ(ReadText(Path("arguments")), "record=" + Path("arguments") + "\n" + Path(name) + ".qlt\n");
    }
}

} // namespace
} // namespace quillock::testing
