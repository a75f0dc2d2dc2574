// An import killed (SIGKILL) at every step it shows: the plain text is never
// lost (some file holds the newest saved text, or before the editor saved the
// text imported), the renamed plain file is owner-only, and running the
// session again, or recover, seals the newest text.
#include "tests/support/ReliabilitySupport.h"

namespace quillock::testing {
namespace {

const std::string Content = "Arbolix data file\r\nfirst entry\r\n";
const std::string Edited = Content + "edit";

class ImportKillTest : public datafile::testing::TTempDirTest, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        TTempDirTest::SetUp();
        Plain = Path("diary.qlt");
        Data = Path("diary.qlx");
    }

    void SetUpView(TScriptedView& view, const std::string& chosen) const {
        view.FName = chosen;
        view.FUseCompression = GetParam();
        view.YesNoAnswers = {TModalResult::mrYes};
        view.FExeName = FakeEditor + " append=edit";
    }

    // The text a file holds, whichever form it is in: plain, compressed, sealed.
    [[nodiscard]] static std::optional<std::string> AnyText(const std::string& path) {
        if (!Exists(path)) {
            return std::nullopt;
        }
        const Bytes bytes = ReadBytes(path);
        const std::string plain(bytes.begin(), bytes.end());
        if (plain.starts_with("Arbolix")) {
            return plain;
        }
        if (std::optional<std::string> inflated = ZlibInflate(bytes)) {
            return inflated;
        }
        return Unseal(path).Content;
    }

    std::string Plain;
    std::string Data;
};

TEST_P(ImportKillTest, NeverLosesThePlainTextAndSealsItWhenRunAgain) {
    Strings steps;
    {
        datafile::testing::WriteText(Plain, Content);
        TScriptedView view;
        SetUpView(view, Plain);
        ASSERT_EQ(view.Run(), 0);
        ASSERT_EQ(Unseal(Data).Content, Edited);
        steps = view.Events;
    }
    const auto saved = std::find(steps.begin(), steps.end(), "HideTrayIcon") - steps.begin();
    for (std::size_t step = 0; step < steps.size(); ++step) {
        if (step > 0 && steps[step] == steps[step - 1]) {
            continue;
        }
        SCOPED_TRACE("killed at step " + std::to_string(step) + ": " + steps[step]);
        std::filesystem::remove_all(Dir);
        std::filesystem::create_directories(Dir);
        datafile::testing::WriteText(Plain, Content);
        const int status = KilledAtStep(
            step, [&](TScriptedView& view) { SetUpView(view, Plain); }, &TScriptedView::Run);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        const std::filesystem::path killed = Dir.string() + "-killed";
        CopyFolder(Dir, killed);

        const bool editorSaved = static_cast<std::ptrdiff_t>(step) > saved;
        const std::string newest = editorSaved ? Edited : Content;
        bool held = false;
        for (const std::string& name : Listing(Dir)) {
            held = held || AnyText((Dir / name).string()) == newest;
        }
        EXPECT_TRUE(held) << "no file holds the newest text";
        const bool renamed = Exists(Data);
        if (renamed) {
            EXPECT_EQ(Mode(Data), 0600u) << "the plain text under its new name is the owner's alone";
        }

        // Running again: the import (of the file under whichever name it
        // has) or the sealed file, with the left-over files replaced.
        TScriptedView again;
        const bool plainStill = !renamed || ReadText(Data).starts_with("Arbolix");
        SetUpView(again, renamed ? Data : Plain);
        again.YesNoAnswers.clear();
        if (plainStill) {
            again.YesNoAnswers.push_back(TModalResult::mrYes); // import
        }
        if (Exists(Data + ".qlt") || Exists(Data + ".qlz")) {
            again.YesNoAnswers.push_back(TModalResult::mrYes); // replace the left-overs
        }
        again.FExeName = FakeEditor + " \"replace=" + newest + "\"";
        again.FinishedAnswers = {true};
        EXPECT_EQ(again.Run(), 0);
        EXPECT_EQ(Unseal(Data).Content, newest);
        for (const std::string& name : Listing(Dir)) {
            EXPECT_TRUE(name == "diary.qlx" || name == "diary.qlx.bak") << name;
        }

        // The same state brought back by recover. Before the rename the
        // plain file has its own name and a session imports it: recover
        // refuses it and changes nothing.
        std::filesystem::remove_all(Dir);
        CopyFolder(killed, Dir);
        std::filesystem::remove_all(killed);
        const Strings before = Listing(Dir);
        TScriptedView recovering;
        SetUpView(recovering, renamed ? Data : Plain);
        recovering.YesNoAnswers.clear();
        if (!renamed) {
            EXPECT_EQ(recovering.Recover(), 1);
            EXPECT_EQ(Listing(Dir), before);
            EXPECT_EQ(ReadText(Plain), Content);
            continue;
        }
        // Killed as the editor's window went, the edits are saved too.
        EXPECT_EQ(recovering.Recover(), 0);
        EXPECT_EQ(Unseal(Data).Content, static_cast<std::ptrdiff_t>(step) >= saved ? Edited : Content);
        EXPECT_EQ(Mode(Data), 0600u);
        for (const std::string& name : Listing(Dir)) {
            EXPECT_EQ(name, "diary.qlx") << "an import has no backup, and nothing plain stays";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Imports, ImportKillTest, ::testing::Bool(), [](const ::testing::TestParamInfo<bool>& info) {
    return std::string(info.param ? "Compressed" : "Plain");
});

} // namespace
} // namespace quillock::testing
