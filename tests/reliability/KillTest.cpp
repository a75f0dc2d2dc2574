// A session killed (SIGKILL) at every step it shows: some file still holds the
// newest saved text or the one before (the newest once the editor has saved),
// the next run warns about the left-over files and names them, and the text
// can be brought back into the data file: by hand through a session, or by
// recover, which seals the newest text itself.
#include "tests/support/ReliabilitySupport.h"

namespace quillock::testing {
namespace {

const std::string Content = "Arbolix data file\r\nfirst entry\r\n";
const std::string Edited = Content + "edit";

struct TKillCase {
    const char* Name;
    bool Compress;
    bool ChangePass;
};

// Names the case in test listings (instead of its bytes, which hold a pointer).
void PrintTo(const TKillCase& killCase, std::ostream* out) {
    *out << killCase.Name;
}

class KillAtEveryStep : public datafile::testing::TTempDirTest, public ::testing::WithParamInterface<TKillCase> {
protected:
    void SetUp() override {
        TTempDirTest::SetUp();
        Data = Path("diary.qlx");
    }

    void SetUpView(TScriptedView& view) const {
        view.FName = Data;
        view.FUseCompression = GetParam().Compress;
        view.FChangePass = GetParam().ChangePass;
        view.FDoubleBackup = true;
        if (GetParam().ChangePass) {
            view.InputAnswers = {"secret", "secret"};
        }
        view.FExeName = FakeEditor + " append=edit";
    }

    std::string Data;
};

TEST_P(KillAtEveryStep, LeavesTheTextRecoverable) {
    // The steps of an undisturbed session.
    SealContent(Data, Content, false);
    Strings steps;
    {
        TScriptedView view;
        SetUpView(view);
        ASSERT_EQ(view.Run(), 0);
        ASSERT_EQ(Unseal(Data).Content, Edited);
        steps = view.Events;
    }
    const auto saved = std::find(steps.begin(), steps.end(), "HideTrayIcon") - steps.begin();
    ASSERT_LT(saved, static_cast<std::ptrdiff_t>(steps.size()));

    for (std::size_t step = 0; step < steps.size(); ++step) {
        if (step > 0 && steps[step] == steps[step - 1]) {
            continue; // the same place again (the closing pause)
        }
        SCOPED_TRACE("killed at step " + std::to_string(step) + ": " + steps[step]);
        std::filesystem::remove_all(Dir);
        std::filesystem::create_directories(Dir);
        SealContent(Data, Content, false);
        std::filesystem::permissions(Data, static_cast<std::filesystem::perms>(0640));

        const int status = KilledAtStep(
            step, [&](TScriptedView& view) { SetUpView(view); }, &TScriptedView::Run);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        const std::filesystem::path killed = Dir.string() + "-killed";
        CopyFolder(Dir, killed);

        // The invariant: the newest saved text, or before the editor saved the one before.
        const bool editorSaved = static_cast<std::ptrdiff_t>(step) > saved;
        const Strings newest = FilesHolding(Data, editorSaved ? Edited : Content);
        EXPECT_FALSE(newest.empty());
        const std::optional<std::string> inDataFile = TextIn(Data, "");
        EXPECT_TRUE(inDataFile == Content || inDataFile == Edited);
        EXPECT_EQ(Mode(Data), 0640u);
        for (const std::string suffix : {".qlt", ".qlz"}) {
            if (Exists(Data + suffix)) {
                EXPECT_EQ(Mode(Data + suffix), 0600u) << suffix;
            }
        }
        if (Exists(Data + ".bak")) {
            EXPECT_EQ(Mode(Data + ".bak"), 0640u);
            EXPECT_EQ(TextIn(Data, ".bak"), Content);
        }

        // The next run: the left-over warning names the files; No leaves all as it is.
        const bool leftOver = Exists(Data + ".qlt") || Exists(Data + ".qlz");
        // The lock file of the killed run is taken over and removed.
        const auto WithoutLock = [](Strings names) {
            std::erase(names, "diary.qlx.qlk");
            return names;
        };
        const Strings before = WithoutLock(Listing(Dir));
        std::vector<Bytes> contents;
        for (const std::string& name : before) {
            contents.push_back(ReadBytes(Dir / name));
        }
        if (leftOver) {
            TScriptedView next;
            SetUpView(next);
            next.YesNoAnswers = {TModalResult::mrNo};
            EXPECT_EQ(next.Run(), 1);
            ASSERT_EQ(next.Messages.size(), 1u);
            ExpectWarningNamesTheFiles(next.Messages[0], Data);
            EXPECT_EQ(Listing(Dir), before);
            EXPECT_FALSE(Exists(Data + ".qlk"));
            for (std::size_t i = 0; i < before.size(); ++i) {
                EXPECT_EQ(ReadBytes(Dir / before[i]), contents[i]) << before[i];
            }
        }

        // Bringing the newest text back: when the data file does not hold it
        // yet, the user copies it out of the named file and types it in again.
        const std::string newestText = editorSaved ? Edited : Content;
        const bool inData = inDataFile == newestText;
        TScriptedView recover;
        SetUpView(recover);
        recover.FChangePass = false;
        recover.InputAnswers.clear();
        if (leftOver) {
            recover.YesNoAnswers = {TModalResult::mrYes};
        }
        if (inData) {
            recover.FExeName = FakeEditor + " keep";
            recover.FinishedAnswers = {true};
        } else {
            recover.FExeName = FakeEditor + " \"replace=" + newestText + "\"";
        }
        EXPECT_EQ(recover.Run(), 0);
        EXPECT_EQ(Unseal(Data).Content, newestText);
        for (const std::string& name : Listing(Dir)) {
            EXPECT_TRUE(name == "diary.qlx" || name == "diary.qlx.bak" || name == "diary.qlx.old") << name;
        }

        // The same state brought back by recover: the newest text sealed
        // without an editor, the data file it replaced in the backup, and
        // nothing plain left.
        std::filesystem::remove_all(Dir);
        CopyFolder(killed, Dir);
        std::filesystem::remove_all(killed);
        // Killed as the editor's window went, the edits are saved too.
        const std::string recovered = static_cast<std::ptrdiff_t>(step) >= saved ? Edited : Content;
        TScriptedView recovering;
        SetUpView(recovering);
        recovering.FChangePass = false;
        recovering.InputAnswers.clear();
        EXPECT_EQ(recovering.Recover(), 0);
        EXPECT_FALSE(recovering.Saw("ShowTrayIcon")) << "no editor runs";
        EXPECT_EQ(Unseal(Data).Content, recovered);
        EXPECT_EQ(Mode(Data), 0640u);
        if (inDataFile != recovered) {
            EXPECT_EQ(TextIn(Data, ".bak"), inDataFile) << "the replaced data file is the backup";
        }
        for (const std::string& name : Listing(Dir)) {
            EXPECT_TRUE(name == "diary.qlx" || name == "diary.qlx.bak" || name == "diary.qlx.old") << name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sessions, KillAtEveryStep,
                         ::testing::Values(TKillCase{"Plain", false, false}, TKillCase{"Compressed", true, false},
                                           TKillCase{"PasswordChange", false, true}),
                         [](const ::testing::TestParamInfo<TKillCase>& info) { return std::string(info.param.Name); });

} // namespace
} // namespace quillock::testing
