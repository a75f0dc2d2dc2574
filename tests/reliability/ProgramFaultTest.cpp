// quillock-cli edit and the session against the world around them: editors
// that are killed or leave side files, two copies of the program on one data
// file, and the password kept out of arguments, environment, settings and
// output.
#include "tests/support/ReliabilitySupport.h"

#include <chrono>
#include <fcntl.h>
#include <thread>

namespace quillock::testing {
namespace {

const std::string Content = "Arbolix data file\nfirst entry\n";

class ProgramFaultTest : public datafile::testing::TTempDirTest {
protected:
    void SetUp() override {
        TTempDirTest::SetUp();
        Data = Path("diary.qlx");
        WriteText(Path("password"), Password + "\n");
        SealContent(Data, Content, false, {Password, 0, 0});
    }

    // A shell script usable as the editor.
    std::string Script(const std::string& name, const std::string& body) const {
        const std::string path = Path(name);
        WriteText(path, "#!/bin/sh\n" + body);
        std::filesystem::permissions(path, static_cast<std::filesystem::perms>(0700));
        return path;
    }

    // Starts quillock-cli edit on the data file with the editor; stdin empty,
    // stdout and stderr to the file output.
    pid_t Start(const std::string& editor, const std::string& output, const Strings& extra = {}) const {
        Strings all{QUILLOCK_CLI_PATH, "edit", "--password-file", Path("password"), "--editor", editor};
        all.insert(all.end(), extra.begin(), extra.end());
        all.push_back(Data);
        return StartProgram(all, "/dev/null", output, Path("config"));
    }

    static int Wait(pid_t child) {
        int status = 0;
        EXPECT_EQ(::waitpid(child, &status, 0), child);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // Waits until a file exists (another process makes it).
    static bool AppearsSoon(const std::string& path) {
        for (int i = 0; i < 1500; ++i) {
            if (Exists(path)) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    const std::string Password = "Pw-7f3c9e1d-quill";
    std::string Data;
};

TEST_F(ProgramFaultTest, EditorKilledAfterSavingIsSealedBeforeSavingIsAsked) {
    // Killed after a save: what it saved is sealed.
    TScriptedView saved;
    saved.FName = Data;
    saved.SetPassword(Password);
    saved.FExeName = Script("saves-then-dies", "printf more >> \"$1\"\nkill -9 $$\n");
    EXPECT_EQ(saved.Run(), 0);
    EXPECT_EQ(Unseal(Data, {Password, 0, 0}).Content, Content + "more");
    EXPECT_EQ(Listing(Dir), (Strings{"diary.qlx", "diary.qlx.bak", "password", "saves-then-dies"}));

    // Killed at once, nothing saved: it may have handed the file on, so the
    // user is asked; No keeps the working copy.
    const Bytes sealed = ReadBytes(Data);
    TScriptedView died;
    died.FName = Data;
    died.SetPassword(Password);
    died.FExeName = Script("dies", "kill -9 $$\n");
    died.FinishedAnswers = {false};
    EXPECT_EQ(died.Run(), 1);
    EXPECT_TRUE(died.Saw("ConfirmEditingFinished"));
    EXPECT_EQ(ReadBytes(Data), sealed);
    EXPECT_EQ(ReadText(Data + ".qlt"), Content + "more");
    EXPECT_EQ(Mode(Data + ".qlt"), 0600u);
}

TEST_F(ProgramFaultTest, SideFilesOfTheEditorDoNotDisturbTheSession) {
    // A backup copy and a swap file beside the working copy, made mode 0644.
    TScriptedView view;
    view.FName = Data;
    view.SetPassword(Password);
    view.FExeName = Script("leaves-side-files", "cp \"$1\" \"$1~\"\nprintf swap > \"$1.swp\"\nchmod 644 \"$1~\"\n"
                                                "printf x >> \"$1\"\n");
    EXPECT_EQ(view.Run(), 0);
    EXPECT_EQ(Unseal(Data, {Password, 0, 0}).Content, Content + "x");
    // The session's own temporary files are gone, and so is the editor's
    // backup copy, which holds the plain text; a file of a name no editor
    // uses for the text stays as the editor left it.
    EXPECT_EQ(Listing(Dir),
              (Strings{"diary.qlx", "diary.qlx.bak", "diary.qlx.qlt.swp", "leaves-side-files", "password"}));
    EXPECT_TRUE(view.Saw("Status:Wiping data.. (and the editor's diary.qlx.qlt~)"));
}

TEST_F(ProgramFaultTest, ASecondCopyOnTheSameDataFileRefusesAndTouchesNothing) {
    const std::string go = Path("go");
    const std::string first = Script("first-editor", "touch \"" + Path("started") + "\"\nwhile [ ! -e \"" + go +
                                                         "\" ]; do sleep 0.05; done\nprintf first >> \"$1\"\n");
    const pid_t running = Start(first, Path("first-output"));
    ASSERT_TRUE(AppearsSoon(Path("started")));
    const Bytes workingCopy = ReadBytes(Data + ".qlt");
    const Bytes sealed = ReadBytes(Data);

    const pid_t second = Start(Script("second-editor", "printf second >> \"$1\"\n"), Path("second-output"));
    EXPECT_EQ(Wait(second), 1);
    const std::string output = ReadText(Path("second-output"));
    EXPECT_NE(output.find(": \"" + Data + "\" is being edited by another copy of this program (it holds \"" + Data +
                          ".qlk\").\n\nFinish that session first. Nothing has been changed here."),
              std::string::npos)
        << output;
    // No left-over question was asked, and nothing changed.
    EXPECT_EQ(output.find("ALREADY EXISTS"), std::string::npos) << output;
    EXPECT_EQ(ReadBytes(Data + ".qlt"), workingCopy);
    EXPECT_EQ(ReadBytes(Data), sealed);
    EXPECT_TRUE(Exists(Data + ".qlk"));

    WriteText(go, "");
    EXPECT_EQ(Wait(running), 0) << ReadText(Path("first-output"));
    EXPECT_EQ(Unseal(Data, {Password, 0, 0}).Content, Content + "first");
    EXPECT_FALSE(Exists(Data + ".qlk"));
    EXPECT_FALSE(Exists(Data + ".qlt"));

    // Once the first has ended, a new run goes ahead.
    const pid_t later = Start(Script("later-editor", "printf later >> \"$1\"\n"), Path("later-output"));
    EXPECT_EQ(Wait(later), 0) << ReadText(Path("later-output"));
    EXPECT_EQ(Unseal(Data, {Password, 0, 0}).Content, Content + "firstlater");
}

TEST_F(ProgramFaultTest, PasswordNeverInArgumentsEnvironmentSettingsOrOutput) {
    // The editor records its own arguments and environment, and those of the
    // program that started it.
    const std::string editor =
        Script("recording-editor", "printf '%s\\n' \"$0\" \"$@\" > \"" + Path("editor-argv") + "\"\nenv > \"" +
                                       Path("editor-env") + "\"\ntr '\\0' '\\n' < /proc/$PPID/cmdline > \"" +
                                       Path("parent-argv") + "\"\ntr '\\0' '\\n' < /proc/$PPID/environ > \"" +
                                       Path("parent-env") + "\"\nprintf x >> \"$1\"\n");
    const pid_t run = Start(editor, Path("output"), {"--change-password", "--new-password-file", Path("new-password")});
    (void)run;
    // (the new password file is missing: a failure that prints messages too)
    EXPECT_EQ(Wait(run), 1);
    WriteText(Path("new-password"), "New-" + Password + "\n");
    const pid_t second =
        Start(editor, Path("output2"), {"--change-password", "--new-password-file", Path("new-password")});
    EXPECT_EQ(Wait(second), 0) << ReadText(Path("output2"));
    EXPECT_EQ(Unseal(Data, {"New-" + Password, 0, 0}).Content, Content + "x");

    const std::string parentArgv = ReadText(Path("parent-argv"));
    EXPECT_NE(parentArgv.find(QUILLOCK_CLI_PATH), std::string::npos) << parentArgv; // it was the program
    for (const std::string name : {"editor-argv", "editor-env", "parent-argv", "parent-env", "output", "output2",
                                   "config/quillock/settings.ini"}) {
        ASSERT_TRUE(Exists(Path(name))) << name;
        const std::string text = ReadText(Path(name));
        EXPECT_FALSE(text.empty()) << name;
        EXPECT_EQ(text.find(Password), std::string::npos) << name << ":\n" << text;
    }
    // Nor in any file the session leaves, the sealed ones included.
    for (const std::string& name : Listing(Dir)) {
        if (name != "password" && name != "new-password" && std::filesystem::is_regular_file(Dir / name)) {
            EXPECT_EQ(ReadText(Dir / name).find(Password), std::string::npos) << name;
        }
    }
}

} // namespace
} // namespace quillock::testing
