// Signals at every stage: before the editor a session wipes what it made and
// changes nothing; once the editor started it ends as usual (the edits
// sealed) and only then the program ends; seal and unseal leave nothing; a
// closed output is a write error, not a crash.
#include "tests/support/ReliabilitySupport.h"
#include "tests/support/StoppedTerminal.h"

#include "platform/Signals.h"

#include <cstring>
#include <fstream>
#include <map>
#include <sys/ioctl.h>
#include <sys/syscall.h>

namespace quillock::testing {
namespace {

const std::string Content = "Arbolix data file\r\nfirst entry\r\n";
const std::string Edited = Content + "edit";
constexpr int EndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
// What the child of a step reports: stopped by the signal, or the session
// over with the signal still to act on.
constexpr int StoppedCode = 40;
constexpr int FinishedCode = 50;

struct TSignalCase {
    const char* Name;
    bool Compress;
    bool Import;
    bool Private; // a group folder: the temporaries live in a private folder in memory
};

void PrintTo(const TSignalCase& signalCase, std::ostream* out) {
    *out << signalCase.Name;
}

class SignalAtEveryStep : public datafile::testing::TTempDirTest, public ::testing::WithParamInterface<TSignalCase> {
protected:
    void Prepare() {
        std::filesystem::remove_all(Dir);
        std::filesystem::create_directories(Dir);
        std::filesystem::permissions(Dir, static_cast<std::filesystem::perms>(GetParam().Private ? 0770 : 0700));
        if (GetParam().Import) {
            WriteText(Given(), Content);
        } else {
            SealContent(Given(), Content, GetParam().Compress);
        }
    }
    [[nodiscard]] std::string Given() const { return Path(GetParam().Import ? "diary.txt" : "diary.qlx"); }

    void SetUpView(TScriptedView& view) const {
        view.FName = Given();
        view.FUseCompression = GetParam().Compress;
        view.FExeName = FakeEditor + " append=edit";
        if (GetParam().Import) {
            view.YesNoAnswers = {TModalResult::mrYes};
        }
    }
    // What is left in the private folders.
    [[nodiscard]] Strings PrivateLeft() const {
        const std::filesystem::path folders = Runtime.Path() + "/quillock";
        return std::filesystem::exists(folders) ? Listing(folders) : Strings{};
    }

    TPrivateRuntime Runtime;
};

TEST_P(SignalAtEveryStep, WipesBeforeTheEditorAndSealsTheEditsAfterIt) {
    Prepare();
    Strings steps;
    {
        TScriptedView view;
        SetUpView(view);
        ASSERT_EQ(view.Run(), 0);
        steps = view.Events;
    }
    // The last look before the editor starts comes after its status line
    // and the window's hiding.
    const auto editorAt = std::find(steps.begin(), steps.end(), "ShowTrayIcon") - steps.begin();
    ASSERT_LT(editorAt, static_cast<std::ptrdiff_t>(steps.size()));
    for (const int signal : EndingSignals) {
        for (std::size_t step = 0; step < steps.size(); ++step) {
            if (step > 0 && steps[step] == steps[step - 1]) {
                continue;
            }
            SCOPED_TRACE(platform::SignalName(signal) + " at step " + std::to_string(step) + ": " + steps[step]);
            Prepare();
            const Bytes before = ReadBytes(Given());
            const int status = InChild([&] {
                platform::InstallSignalHandling();
                TScriptedView view;
                SetUpView(view);
                view.OnEvent = [&view, step, signal](const std::string&) {
                    if (view.Events.size() == step + 1) {
                        ::raise(signal);
                    }
                };
                try {
                    const int result = view.Run();
                    return result == 0 && platform::PendingSignal() == signal ? FinishedCode : 60 + result;
                } catch (const platform::EInterrupted& interrupted) {
                    return interrupted.Signal == signal ? StoppedCode : 61;
                }
            });
            ASSERT_TRUE(WIFEXITED(status)) << status;
            if (static_cast<std::ptrdiff_t>(step) < editorAt) {
                EXPECT_EQ(WEXITSTATUS(status), StoppedCode);
                // Nothing changed, nothing left: an import's rename undone.
                EXPECT_EQ(Listing(Dir), Strings{std::filesystem::path(Given()).filename().string()});
                EXPECT_EQ(ReadBytes(Given()), before);
                EXPECT_EQ(PrivateLeft(), Strings{});
            } else {
                EXPECT_EQ(WEXITSTATUS(status), FinishedCode);
                EXPECT_EQ(Unseal(Path("diary.qlx")).Content, Edited);
                EXPECT_EQ(FilesHolding(Path("diary.qlx"), Edited), Strings{""});
                for (const char* suffix : {".qlt", ".qlz", ".qln", ".bak.qln", ".qlk"}) {
                    EXPECT_FALSE(Exists(Path("diary.qlx") + suffix)) << suffix;
                }
                EXPECT_EQ(PrivateLeft(), Strings{});
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sessions, SignalAtEveryStep,
                         ::testing::Values(TSignalCase{"Plain", false, false, false},
                                           TSignalCase{"Compressed", true, false, false},
                                           TSignalCase{"Import", false, true, false},
                                           TSignalCase{"PrivateFolder", true, false, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

// ---- through the program ----

class SignalsThroughTheProgram : public datafile::testing::TTempDirTest {
protected:
    void SetUp() override {
        TTempDirTest::SetUp();
        Data = Path("diary.qlx");
        WriteText(Path("password"), "secret\n");
        std::filesystem::permissions(Path("password"), std::filesystem::perms::owner_read);
    }

    // Runs the program to its end; the exit code (or -signal).
    int Run(const Strings& arguments, const std::string& input = "/dev/null") {
        Strings all{QUILLOCK_CLI_PATH};
        all.insert(all.end(), arguments.begin(), arguments.end());
        const pid_t child = StartProgram(all, input, Path("output"), Path("config"));
        int status = 0;
        EXPECT_EQ(::waitpid(child, &status, 0), child);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }

    // A password command that sends signal to the program first.
    [[nodiscard]] static std::string SignallingPassword(int signal) {
        return "kill -s " + platform::SignalName(signal).substr(3) + " $PPID; echo secret";
    }

    std::string Data;
};

TEST_F(SignalsThroughTheProgram, WhileTheEditorRunsTheTerminalsSignalsAreIgnoredAndTheOthersEndTheSessionAsUsual) {
    for (const int signal : EndingSignals) {
        SCOPED_TRACE(platform::SignalName(signal));
        SealContent(Data, Content, false);
        const std::string editor = FakeEditor + " append=edit signal=" + std::to_string(signal) + " append=more";
        const int code = Run({"edit", "--password-file", Path("password"), "--editor", editor, Data});
        const bool terminal = signal == SIGINT || signal == SIGQUIT;
        EXPECT_EQ(code, terminal ? 0 : 128 + signal) << ReadText(Path("output"));
        EXPECT_EQ(Unseal(Data).Content, Edited + "more");
        EXPECT_FALSE(Exists(Data + ".qlt"));
        EXPECT_FALSE(Exists(Data + ".qlz"));
    }
}

TEST_F(SignalsThroughTheProgram, BeforeAnyWorkEveryCommandStopsWithNothingChangedAndNothingLeft) {
    WriteText(Path("plain.txt"), Content);
    for (const int signal : EndingSignals) {
        SealContent(Data, Content, true);
        const Bytes sealed = ReadBytes(Data);
        const std::string password = SignallingPassword(signal);
        const std::vector<std::pair<Strings, std::string>> commands = {
            {{"edit", "--password-command", password, "--editor", FakeEditor + " append=edit", Data}, "/dev/null"},
            {{"seal", "--compress", "--password-command", password, Path("plain.txt"), Path("new.qlx")}, "/dev/null"},
            {{"seal", "--password-command", password, Path("plain.txt"), Path("new.qlx")}, "/dev/null"},
            {{"seal", "--compress", "--password-command", password, "-", Path("new.qlx")}, Path("plain.txt")},
            {{"unseal", "--password-command", password, Data, Path("out.txt")}, "/dev/null"},
        };
        for (const auto& [arguments, input] : commands) {
            SCOPED_TRACE(platform::SignalName(signal) + " " + arguments[0] + " " + arguments[1]);
            EXPECT_EQ(Run(arguments, input), 128 + signal);
            const std::string output = ReadText(Path("output"));
            EXPECT_NE(output.find("stopped by " + platform::SignalName(signal) +
                                  "; nothing was changed, and no temporary file is left\n"),
                      std::string::npos)
                << output;
            std::filesystem::remove(Path("output"));
            EXPECT_EQ(Listing(Dir), (Strings{"config", "diary.qlx", "password", "plain.txt"}));
            EXPECT_EQ(ReadBytes(Data), sealed);
        }
    }
}

// quillock-cli with arguments, started with its status lines on the
// terminal's end it is given (see TStoppedOutputRun).
std::function<pid_t(int)> Cli(Strings arguments, const std::string& input, const std::string& output,
                              const std::string& configHome) {
    arguments.insert(arguments.begin(), QUILLOCK_CLI_PATH);
    return [=](int slave) { return StartProgram(arguments, input, output, configHome, slave); };
}

// How a command ended by a signal says so.
std::string StoppedLine(int signal) {
    return "stopped by " + platform::SignalName(signal) + "; nothing was changed, and no temporary file is left";
}

TEST_F(SignalsThroughTheProgram, DuringTheWorkSealAndUnsealWipeWhatTheyMadeAndStop) {
    // A content of several pieces, stored plain and compressed; the outputs
    // exist already (--force), so that an output replaced too early shows.
    std::string text = Content;
    for (int line = 0; text.size() < 600000; ++line) {
        text += "entry " + std::to_string(line) + ": the quick brown fox\r\n";
    }
    WriteText(Path("plain.txt"), text);
    SealContent(Path("plain.qlx"), text, false);
    SealContent(Path("compressed.qlx"), text, true);
    WriteText(Path("new.qlx"), "old sealed");
    WriteText(Path("out.txt"), "old plain");
    WriteText(Path("long-password"), "a longer password\n");
    std::filesystem::permissions(Path("long-password"), std::filesystem::perms::owner_read);
    std::filesystem::create_directories(Path("config"));
    const Strings files = Listing(Dir);
    const std::vector<Strings> commands = {
        {"seal", "--force", "--password-file", Path("long-password"), Path("plain.txt"), Path("new.qlx")},
        {"seal", "--force", "--compress", "--password-file", Path("long-password"), Path("plain.txt"), Path("new.qlx")},
        {"unseal", "--force", "--password-file", Path("password"), Path("plain.qlx"), Path("out.txt")},
        {"unseal", "--force", "--password-file", Path("password"), Path("compressed.qlx"), Path("out.txt")},
        {"unseal", "--force", "--salvage", "--password-file", Path("password"), Path("compressed.qlx"),
         Path("out.txt")},
    };
    for (const int signal : EndingSignals) {
        for (const Strings& arguments : commands) {
            for (const int times : {1, 2}) {
                SCOPED_TRACE(platform::SignalName(signal) + " x" + std::to_string(times) + ": " + arguments[0] + " " +
                             arguments[2] + " " + arguments[arguments.size() - 2]);
                TStoppedOutputRun run(Cli(arguments, "/dev/null", Path("stdout"), Path("config")));
                ASSERT_TRUE(run.HeldIn()) << "ended before its first status line";
                // Its first temporary is made: the work has begun.
                const std::string made = arguments[0] == "seal" ? Path("new.qlx.qln") : Path("out.txt.qlt");
                EXPECT_TRUE(Exists(made)) << made;
                for (int i = 0; i < times; ++i) {
                    ::kill(run.Pid(), signal);
                }
                EXPECT_EQ(run.Finish(), 128 + signal) << run.Shown;
                EXPECT_NE(run.Shown.find(StoppedLine(signal)), std::string::npos) << run.Shown;
                std::filesystem::remove(Path("stdout"));
                EXPECT_EQ(Listing(Dir), files);
                EXPECT_TRUE(ReadText(Path("new.qlx")) == "old sealed") << "the old SEALED replaced";
                EXPECT_TRUE(ReadText(Path("out.txt")) == "old plain") << "the old PLAIN replaced";
            }
        }
    }
}

TEST_F(SignalsThroughTheProgram, SealFromAnInputStillComingWipesNothingPlainAndStops) {
    const std::string piece(200000, 'x');
    std::filesystem::create_directories(Path("config"));
    for (const int signal : EndingSignals) {
        for (const bool compress : {false, true}) {
            SCOPED_TRACE(platform::SignalName(signal) + (compress ? " --compress" : ""));
            int ends[2] = {-1, -1};
            ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
            Strings arguments{"seal", "--password-file", Path("password"), "-", Path("new.qlx")};
            if (compress) {
                arguments.insert(arguments.begin() + 1, "--compress");
            }
            arguments.insert(arguments.begin(), QUILLOCK_CLI_PATH);
            const pid_t child =
                StartProgram(arguments, "/proc/self/fd/" + std::to_string(ends[0]), Path("output"), Path("config"));
            ::close(ends[0]);
            // The first part of the input is taken (the pipe holds less than
            // it), then the program waits for more.
            const std::string first = Content + piece;
            ASSERT_EQ(::write(ends[1], first.data(), first.size()), static_cast<ssize_t>(first.size()));
            for (int available = 1; available > 0;) {
                ASSERT_EQ(::ioctl(ends[1], FIONREAD, &available), 0);
                ::usleep(2000);
            }
            for (std::string line;; ::usleep(2000)) {
                std::getline(std::ifstream("/proc/" + std::to_string(child) + "/syscall"), line);
                if (line.starts_with(std::to_string(SYS_read) + " 0x0 ")) {
                    break;
                }
            }
            EXPECT_TRUE(Exists(Path("new.qlx.qln")));
            ::kill(child, signal);
            int status = 0;
            EXPECT_EQ(::waitpid(child, &status, 0), child);
            ::close(ends[1]);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 128 + signal) << status;
            const std::string output = ReadText(Path("output"));
            EXPECT_NE(output.find(StoppedLine(signal)), std::string::npos) << output;
            std::filesystem::remove(Path("output"));
            EXPECT_EQ(Listing(Dir), (Strings{"config", "password"}));
        }
    }
}

TEST_F(SignalsThroughTheProgram, RecoverFinishesWhatItBeganAndThenStops) {
    for (const int signal : EndingSignals) {
        for (const int times : {1, 2}) {
            SCOPED_TRACE(platform::SignalName(signal) + " x" + std::to_string(times));
            SealContent(Data, Content, false);
            WriteText(Data + ".qlt", Edited);
            TStoppedOutputRun run(Cli({"recover", "--password-file", Path("password"), Data}, "/dev/null",
                                      Path("stdout"), Path("config")));
            ASSERT_TRUE(run.HeldIn()) << "ended before its first status line";
            for (int i = 0; i < times; ++i) {
                ::kill(run.Pid(), signal);
            }
            // The left-over copy may be the only one of the newest text: it is
            // sealed all the same, and the program ends only then.
            EXPECT_EQ(run.Finish(), 128 + signal) << run.Shown;
            EXPECT_EQ(Unseal(Data).Content, Edited);
            EXPECT_FALSE(Exists(Data + ".qlt"));
            EXPECT_FALSE(Exists(Data + ".qlk"));
            std::filesystem::remove(Path("stdout"));
            for (const char* backup : {".bak", ".old"}) {
                std::filesystem::remove(Data + backup);
            }
        }
    }
}

// Each command held at each of its stages: the output runs until the
// stage's line is shown, then stops, so that the next status write on that
// line (a percentage of that stage) holds the program there. A held line of
// "\n" is the end of that line: the step after that line's work. The copy
// of the old data file to its backup is over in a few milliseconds, too
// soon to be held in; the stages on both sides of it are.
struct TStageCase {
    const char* Command;
    const char* Until; // shown before the hold
    const char* Held;  // the line the held write is part of
    bool Finished;     // the work is done as usual (else stopped, nothing changed)
};

TEST_F(SignalsThroughTheProgram, AtEachStageEachSignalEndsTheWorkAsItsRuleSays) {
    const Bytes sample = datafile::testing::SampleContent(5 << 20);
    const std::string text = Content + std::string(sample.begin(), sample.end());
    SealContent(Path("sealed"), text, true);
    const Bytes sealed = ReadBytes(Path("sealed"));
    std::filesystem::create_directories(Path("config"));
    const TPrivateRuntime runtime;
    const std::string editor = FakeEditor + " append=edit sleep=100";
    const std::map<std::string, Strings> commands = {
        {"edit", {"edit", "--private-temp", "--password-file", Path("password"), "--editor", editor, Data}},
        {"recover", {"recover", "--password-file", Path("password"), Data}},
        {"seal", {"seal", "--force", "--password-file", Path("password"), Path("plain.txt"), Path("out")}},
        {"seal --compress",
         {"seal", "--compress", "--force", "--password-file", Path("password"), Path("plain.txt"), Path("out")}},
        {"unseal", {"unseal", "--force", "--password-file", Path("password"), Data, Path("out")}},
    };
    const TStageCase stages[] = {
        {"edit", "Decrypting..", "Decrypting..", false},
        {"edit", "Decompressing..", "Decompressing..", false},
        {"edit", "Checking CRC..", "Checking CRC..", false},
        {"edit", "Starting Arbolix..\r\n", "Checking CRC..", true}, // held from the editor's end
        {"edit", "Compressing..", "Compressing..", true},
        {"edit", "Encrypting..", "Encrypting..", true},
        {"edit", "Encrypting.. [Compressed] 100%", "\n", true},
        {"edit", "Wiping data..", "Wiping data..", true},
        {"recover", "Comparing the left-over files..", "Comparing the left-over files..", true},
        {"recover", "Compressing..", "Compressing..", true},
        {"recover", "Encrypting..", "Encrypting..", true},
        {"recover", "Wiping data..", "Wiping data..", true},
        {"seal", "Sealing.. 100%", "\n", true},
        {"seal --compress", "Sealing..", "Sealing..", false},
        {"seal --compress", "Sealing.. 100%", "\n", true},
        {"unseal", "Unsealing..", "Unsealing..", false},
        {"unseal", "Unsealing.. 100%", "\n", true},
    };
    for (std::size_t row = 0; row < std::size(stages); ++row) {
        // Every signal takes the same way out: the four take turns.
        const TStageCase& stage = stages[row];
        const int signal = EndingSignals[row % std::size(EndingSignals)];
        const std::string command = commands.at(stage.Command)[0];
        SCOPED_TRACE(std::string(stage.Command) + " at " + stage.Until + ", " + platform::SignalName(signal));
        // The hold comes a moment after the line is shown: a short stage (or
        // the whole run) may be over by then, and the run is tried again.
        for (int attempt = 0;; ++attempt) {
            ASSERT_LT(attempt, 8) << "never held there";
            std::filesystem::remove_all(runtime.Path() + "/quillock"); // left by a run that missed
            for (const std::string& name : Listing(Dir)) {
                if (name != "config" && name != "password") {
                    std::filesystem::remove(Path(name));
                }
            }
            WriteBytes(Data, sealed);
            WriteText(Path("plain.txt"), text);
            WriteText(Path("out"), "old");
            if (command == "recover") {
                WriteText(Data + ".qlt", text + "edit");
            }
            const Strings before = Listing(Dir);
            TStoppedOutputRun run(Cli(commands.at(stage.Command), "/dev/null", Path("stdout"), Path("config")));
            // Held on the line where Until was shown, in its write of Held.
            const bool held = run.RunUntil(stage.Until);
            const std::string pending = held ? run.Pending() : std::string();
            const std::size_t shown = run.Shown.find(stage.Until) + std::strlen(stage.Until);
            const std::string line = run.Shown.substr(run.Shown.find_last_of('\n') + 1) + pending;
            if (!held || pending.empty() || run.Shown.find('\n', shown) != std::string::npos ||
                (stage.Held == std::string("\n")
                     ? pending != "\n"
                     : pending.find('\n') != std::string::npos || line.find(stage.Held) == std::string::npos)) {
                continue;
            }
            ::kill(run.Pid(), signal);
            EXPECT_EQ(run.Finish(), 128 + signal) << run.Shown;
            EXPECT_EQ(run.Shown.find(StoppedLine(signal)) == std::string::npos, stage.Finished) << run.Shown;
            std::filesystem::remove(Path("stdout"));
            const std::string privateFolders = runtime.Path() + "/quillock";
            EXPECT_TRUE(!Exists(privateFolders) || Listing(privateFolders).empty());
            // Sealed anew, the data file's old content is its backup.
            Strings after = before;
            if (stage.Finished && (command == "edit" || command == "recover")) {
                std::erase(after, "diary.qlx.qlt");
                after.push_back("diary.qlx.bak");
                std::sort(after.begin(), after.end());
            }
            EXPECT_EQ(Listing(Dir), after);
            if (!stage.Finished) {
                EXPECT_EQ(ReadBytes(Data), sealed);
                EXPECT_EQ(ReadText(Path("out")), "old");
            } else if (command == "seal") {
                EXPECT_TRUE(Unseal(Path("out")).Content == text);
            } else if (command == "unseal") {
                EXPECT_TRUE(ReadText(Path("out")) == text);
            } else {
                EXPECT_TRUE(Unseal(Data).Content == text + "edit");
            }
            break;
        }
    }
}

TEST_F(SignalsThroughTheProgram, AClosedOutputIsAWriteErrorNotACrash) {
    SealContent(Data, Content, false);
    // The messages go into a pipe nobody reads any more (edit ... 2>&1 | head).
    int ends[2] = {-1, -1};
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    const auto runInto = [&](Strings arguments) {
        arguments.insert(arguments.begin(), QUILLOCK_CLI_PATH);
        const pid_t child =
            StartProgram(arguments, "/dev/null", "/proc/self/fd/" + std::to_string(ends[1]), Path("config"));
        int status = 0;
        EXPECT_EQ(::waitpid(child, &status, 0), child);
        return status;
    };
    int status = runInto({"edit", "--password-file", Path("password"), "--editor", FakeEditor + " append=edit", Data});
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(Unseal(Data).Content, Edited);
    EXPECT_FALSE(Exists(Data + ".qlt"));
    // Unsealed to the closed output: a failure like any write error.
    status = runInto({"unseal", "--password-file", Path("password"), Data, "-"});
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << status;
    ::close(ends[1]);
}

} // namespace
} // namespace quillock::testing
