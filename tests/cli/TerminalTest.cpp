// quillock-cli on a pseudo-terminal, where having a terminal changes what it
// does: the question after a quick editor, the password typed twice for a
// first sealing (also by recover after an import cut short), and the
// percentage after the status line.
#include "tests/support/EditorTestSupport.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <map>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>

namespace quillock::testing {
namespace {

using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

const std::string Content = "Arbolix data file\nfirst entry\n";
const std::string Newer = Content + "second entry, typed before the crash\n";

// Every regular file of a folder with its bytes, to tell that nothing changed.
std::map<std::string, Bytes> FilesIn(const std::filesystem::path& folder) {
    std::map<std::string, Bytes> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[entry.path().filename().string()] = ReadBytes(entry.path());
        }
    }
    return files;
}

// What the program shows before an answer is typed, and the answer.
struct TStep {
    std::string Prompt;
    std::string Answer;
};

struct TRun {
    int ExitCode = -1;
    std::string Screen; // everything the terminal received
};

class TerminalTest : public datafile::testing::TTempDirTest {
protected:
    void SetUp() override {
        TTempDirTest::SetUp();
        Data = Path("diary.qlx");
    }

    // Runs quillock-cli with arguments on a new pseudo-terminal (its standard
    // input, output and error, and its controlling terminal; columns wide when
    // not 0), typing each answer once its prompt has appeared since the
    // previous answer.
    TRun RunOnTerminal(const Strings& arguments, const std::vector<TStep>& steps, unsigned short columns = 0) {
        Strings all{QUILLOCK_CLI_PATH};
        all.insert(all.end(), arguments.begin(), arguments.end());
        const std::string config = Path("config");
        int master = -1;
        std::fflush(nullptr);
        winsize size{24, columns, 0, 0};
        const pid_t child = ::forkpty(&master, nullptr, nullptr, columns != 0 ? &size : nullptr);
        if (child == 0) {
            std::vector<char*> argv;
            for (std::string& argument : all) {
                argv.push_back(argument.data());
            }
            argv.push_back(nullptr);
            ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        TRun run;
        if (child < 0) {
            ADD_FAILURE() << "forkpty failed";
            return run;
        }
        std::size_t step = 0;
        std::size_t searchFrom = 0;
        const auto deadline = std::chrono::steady_clock::now() + 30s;
        for (;;) {
            if (step < steps.size()) {
                const std::size_t at = run.Screen.find(steps[step].Prompt, searchFrom);
                if (at != std::string::npos) {
                    searchFrom = at + steps[step].Prompt.size();
                    const std::string& answer = steps[step].Answer;
                    EXPECT_EQ(::write(master, answer.data(), answer.size()), static_cast<ssize_t>(answer.size()));
                    ++step;
                    continue;
                }
            }
            pollfd wait{master, POLLIN, 0};
            if (::poll(&wait, 1, 100) > 0) {
                char buffer[4096];
                const ssize_t got = ::read(master, buffer, sizeof buffer);
                if (got <= 0) {
                    break; // the program has gone (EIO once the last slave is closed)
                }
                run.Screen.append(buffer, static_cast<std::size_t>(got));
            }
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "no end after 30 s; screen:\n" << run.Screen;
                ::kill(child, SIGKILL);
                break;
            }
        }
        int status = 0;
        EXPECT_EQ(::waitpid(child, &status, 0), child);
        ::close(master);
        run.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        EXPECT_EQ(step, steps.size()) << "prompt not shown: " << (step < steps.size() ? steps[step].Prompt : "")
                                      << "\nscreen:\n"
                                      << run.Screen;
        return run;
    }

    std::string Data;
};

TEST_F(TerminalTest, QuickEditorIsAskedAboutOnATerminal) {
    SealContent(Data, Content, false);
    WriteText(Path("password"), "secret\n");
    const Bytes sealed = ReadBytes(Data);
    const Strings edit{"edit", "--password-file", Path("password"), "--editor", FakeEditor + " keep", Data};
    const std::string question = ": The editor returned within 3 seconds and the working copy is unchanged.";
    // n: the working copy stays, and the session ends with 1.
    TRun run = RunOnTerminal(edit, {{"(Enter = n) ", "n\n"}});
    EXPECT_EQ(run.ExitCode, 1) << run.Screen;
    EXPECT_NE(run.Screen.find(question), std::string::npos) << run.Screen;
    // The terminal's words: answers, not buttons.
    EXPECT_NE(run.Screen.find("Answer y when you have finished editing"), std::string::npos) << run.Screen;
    EXPECT_EQ(run.Screen.find("Click [Yes]"), std::string::npos) << run.Screen;
    EXPECT_EQ(ReadText(Data + ".qlt"), Content);
    EXPECT_EQ(ReadBytes(Data), sealed);
    std::filesystem::remove(Data + ".qlt");
    // y: checked and wiped as usual.
    run = RunOnTerminal(edit, {{"(Enter = n) ", "y\n"}});
    EXPECT_EQ(run.ExitCode, 0) << run.Screen;
    EXPECT_NE(run.Screen.find("No changes done."), std::string::npos) << run.Screen;
    EXPECT_FALSE(Exists(Data + ".qlt"));
    // --editor-returns-at-once answers it on a terminal too.
    const Strings atOnce{
        "edit", "--editor-returns-at-once", "--password-file", Path("password"), "--editor", FakeEditor + " keep",
        Data};
    run = RunOnTerminal(atOnce, {});
    EXPECT_EQ(run.ExitCode, 0) << run.Screen;
    EXPECT_EQ(run.Screen.find(question), std::string::npos) << run.Screen;
}

// A typed password that does not open the file gets a second and a third
// try (edit: with the temporary files of the failed try gone before the next
// prompt); from a file there is one try.
TEST_F(TerminalTest, AWrongPasswordIsAskedAgainTwiceOnATerminal) {
    SealContent(Data, Content, false);
    const auto before = FilesIn(Dir);
    const Strings edit{"edit", "--editor-returns-at-once", "--editor", FakeEditor + " keep", Data};
    TRun run = RunOnTerminal(edit, {{"Password: ", "wrong\n"}, {"Password: ", "bad\n"}, {"Password: ", "secret\n"}});
    EXPECT_EQ(run.ExitCode, 0) << run.Screen;
    EXPECT_EQ(FilesIn(Dir), before);
    for (const Strings& command : {edit, Strings{"check", Data}, Strings{"unseal", Data, Path("out")}}) {
        run = RunOnTerminal(command, {{"Password: ", "a\n"}, {"Password: ", "b\n"}, {"Password: ", "c\n"}});
        EXPECT_EQ(run.ExitCode, 1) << run.Screen;
        EXPECT_NE(run.Screen.find("Try again (3 of 3)"), std::string::npos) << run.Screen;
        std::size_t prompts = 0;
        for (std::size_t at = 0; (at = run.Screen.find("Password: ", at)) != std::string::npos; ++at) {
            ++prompts;
        }
        EXPECT_EQ(prompts, 3U) << run.Screen;
        EXPECT_EQ(FilesIn(Dir), before) << command[0];
    }
    WriteText(Path("password"), "wrong\n");
    run = RunOnTerminal({"check", "--password-file", Path("password"), Data}, {});
    EXPECT_EQ(run.ExitCode, 1) << run.Screen;
    EXPECT_EQ(run.Screen.find("Try again"), std::string::npos) << run.Screen;
}

TEST_F(TerminalTest, FirstSealingAsksTwiceAndRefusesAMismatch) {
    WriteText(Path("plain"), Content);
    const std::string sealed = Path("new.qlx");
    TRun run = RunOnTerminal({"seal", Path("plain"), sealed},
                             {{"New password: ", "secret\n"}, {"New password again: ", "secreT\n"}});
    EXPECT_EQ(run.ExitCode, 1) << run.Screen;
    EXPECT_NE(run.Screen.find("not equal"), std::string::npos) << run.Screen;
    EXPECT_FALSE(Exists(sealed));
    // Not echoed.
    EXPECT_EQ(run.Screen.find("secret"), std::string::npos) << run.Screen;
    run = RunOnTerminal({"seal", Path("plain"), sealed},
                        {{"New password: ", "secret\n"}, {"New password again: ", "secret\n"}});
    EXPECT_EQ(run.ExitCode, 0) << run.Screen;
    EXPECT_EQ(Unseal(sealed).Content, Content);
}

TEST_F(TerminalTest, ImportAsksTwiceAndAMismatchRenamesNothing) {
    const std::string plain = Path("diary.qlt");
    WriteText(plain, Content);
    const Strings edit{"edit", "--yes", "--editor", FakeEditor + " append=x", plain};
    TRun run = RunOnTerminal(edit, {{"New password: ", "secret\n"}, {"New password again: ", "other\n"}});
    EXPECT_EQ(run.ExitCode, 1) << run.Screen;
    EXPECT_EQ(ReadText(plain), Content);
    EXPECT_FALSE(Exists(Data));
    run = RunOnTerminal(edit, {{"New password: ", "secret\n"}, {"New password again: ", "secret\n"}});
    EXPECT_EQ(run.ExitCode, 0) << run.Screen;
    EXPECT_FALSE(Exists(plain));
    EXPECT_EQ(Unseal(Data).Content, Content + "x");
    // Opening the sealed file later asks once.
    run = RunOnTerminal({"check", Data}, {{"Password: ", "secret\n"}});
    EXPECT_EQ(run.ExitCode, 0) << run.Screen;
    EXPECT_EQ(run.Screen.find("again"), std::string::npos) << run.Screen;
}

// An import cut short leaves the plain file under the sealed name, maybe with
// a newer working copy beside it: recover seals it for the first time, so the
// new password is typed twice, and a mismatch stops before anything changes.
TEST_F(TerminalTest, RecoverOfAnImportCutShortAsksTwiceAndAMismatchChangesNothing) {
    WriteText(Data, Content);
    WriteText(Data + ".qlt", Newer);
    const auto before = FilesIn(Dir);
    TRun run = RunOnTerminal({"recover", Data}, {{"New password: ", "fresh\n"}, {"New password again: ", "fresH\n"}});
    EXPECT_EQ(run.ExitCode, 1) << run.Screen;
    EXPECT_NE(run.Screen.find("not equal"), std::string::npos) << run.Screen;
    EXPECT_EQ(run.Screen.find("fresh"), std::string::npos) << run.Screen; // not echoed
    EXPECT_EQ(FilesIn(Dir), before);

    run = RunOnTerminal({"recover", Data}, {{"New password: ", "fresh\n"}, {"New password again: ", "fresh\n"}});
    EXPECT_EQ(run.ExitCode, 0) << run.Screen;
    EXPECT_FALSE(Exists(Data + ".qlt"));
    EXPECT_FALSE(Exists(Data + ".qlz"));
    EXPECT_FALSE(Exists(Data + ".bak")); // the plain file is no backup
    EXPECT_EQ(Unseal(Data, {.Password = "fresh"}).Content, Newer);
    // The program opens it with the new password, and only with that.
    run = RunOnTerminal({"check", Data}, {{"Password: ", "fresh\n"}});
    EXPECT_EQ(run.ExitCode, 0) << run.Screen;
    EXPECT_NE(run.Screen.find("opens: "), std::string::npos) << run.Screen;
    run = RunOnTerminal({"check", Data},
                        {{"Password: ", "fresH\n"}, {"Password: ", "fresH\n"}, {"Password: ", "fresH\n"}});
    EXPECT_EQ(run.ExitCode, 1) << run.Screen;

    // Without a working copy the plain file itself is sealed.
    const std::string alone = Path("alone.qlx");
    WriteText(alone, Content);
    run = RunOnTerminal({"recover", alone}, {{"New password: ", "other\n"}, {"New password again: ", "other\n"}});
    EXPECT_EQ(run.ExitCode, 0) << run.Screen;
    EXPECT_EQ(Unseal(alone, {.Password = "other"}).Content, Content);
    EXPECT_FALSE(Exists(alone + ".qlt"));
    EXPECT_FALSE(Exists(alone + ".qlz"));
}

// A sealed file has a password already: recover asks it once, without a
// confirmation, seals the working copy's text and keeps the old file as the
// backup. A wrong one changes nothing.
TEST_F(TerminalTest, RecoverOfASealedFileAsksThePasswordOnce) {
    SealContent(Data, Content, false);
    const Bytes sealed = ReadBytes(Data);
    WriteText(Data + ".qlt", Newer);
    const auto before = FilesIn(Dir);
    TRun run = RunOnTerminal({"recover", Data}, {{"Password: ", "wrong\n"}});
    EXPECT_EQ(run.ExitCode, 1) << run.Screen;
    EXPECT_NE(run.Screen.find("does not open: wrong password"), std::string::npos) << run.Screen;
    EXPECT_EQ(FilesIn(Dir), before);

    run = RunOnTerminal({"recover", Data}, {{"Password: ", "secret\n"}});
    EXPECT_EQ(run.ExitCode, 0) << run.Screen;
    const std::size_t prompt = run.Screen.find("Password: ");
    ASSERT_NE(prompt, std::string::npos) << run.Screen;
    EXPECT_EQ(run.Screen.find("Password: ", prompt + 1), std::string::npos) << run.Screen;
    EXPECT_EQ(run.Screen.find("again"), std::string::npos) << run.Screen;
    EXPECT_EQ(run.Screen.find("New password"), std::string::npos) << run.Screen;
    EXPECT_EQ(Unseal(Data).Content, Newer);
    EXPECT_EQ(ReadBytes(Data + ".bak"), sealed);
    EXPECT_FALSE(Exists(Data + ".qlt"));
    EXPECT_FALSE(Exists(Data + ".qlz"));

    // Nothing left over now: said so without asking (a prompt here would go
    // unanswered until the harness gives up).
    const auto after = FilesIn(Dir);
    run = RunOnTerminal({"recover", Data}, {});
    EXPECT_EQ(run.ExitCode, 0) << run.Screen;
    EXPECT_NE(run.Screen.find("Nothing to recover"), std::string::npos) << run.Screen;
    EXPECT_EQ(run.Screen.find("assword"), std::string::npos) << run.Screen;
    EXPECT_EQ(FilesIn(Dir), after);
}

TEST_F(TerminalTest, LongStepsShowAPercentageAfterTheStatus) {
    // Big enough for several pieces, so the percentage is shown more than once.
    std::string big = "Arbolix data file\n";
    while (big.size() < 3 * 1024 * 1024) {
        big += "a line of text that compresses, numbered " + std::to_string(big.size()) + "\n";
    }
    SealContent(Data, big, true);
    WriteText(Path("password"), "secret\n");
    const TRun run = RunOnTerminal({"check", "--password-file", Path("password"), Data}, {});
    EXPECT_EQ(run.ExitCode, 0) << run.Screen;
    // Updated in place: back to the start of the line, the status, the figure.
    EXPECT_NE(run.Screen.find("\rChecking.. 100%"), std::string::npos) << run.Screen;
    EXPECT_NE(run.Screen.find("opens: compressed content, " + std::to_string(big.size()) + " bytes"), std::string::npos)
        << run.Screen;
}

// The lines the terminal received, without the carriage returns it adds.
Strings LinesOf(const std::string& screen) {
    Strings lines;
    std::string line;
    for (const char c : screen) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line.push_back(c);
        }
    }
    return lines;
}

std::size_t Widest(const Strings& lines) {
    std::size_t widest = 0;
    for (const std::string& line : lines) {
        widest = std::max(widest, line.size());
    }
    return widest;
}

TEST_F(TerminalTest, HelpIsWrappedToTheTerminalsWidth) {
    for (const Strings& help : {Strings{"edit", "--help"}, Strings{"help", "unseal"}, Strings{"-h"}}) {
        const TRun narrow = RunOnTerminal(help, {}, 50);
        EXPECT_EQ(narrow.ExitCode, 0) << narrow.Screen;
        EXPECT_LE(Widest(LinesOf(narrow.Screen)), 50U) << narrow.Screen;
        // A wide terminal gets fewer, longer lines: the width is the terminal's.
        const TRun wide = RunOnTerminal(help, {}, 160);
        EXPECT_GT(Widest(LinesOf(wide.Screen)), 80U) << wide.Screen;
        EXPECT_LT(LinesOf(wide.Screen).size(), LinesOf(narrow.Screen).size()) << wide.Screen;
    }
}

TEST_F(TerminalTest, QuietShowsNoStatusOrPercentageButStillTheErrors) {
    std::string big = "Arbolix data file\n";
    while (big.size() < 1024 * 1024) {
        big += "a line of text that compresses, numbered " + std::to_string(big.size()) + "\n";
    }
    SealContent(Data, big, true);
    WriteText(Path("password"), "secret\n");
    std::filesystem::permissions(Path("password"), std::filesystem::perms::owner_read);
    for (const std::string quiet : {"-q", "--quiet"}) {
        TRun run = RunOnTerminal({"unseal", quiet, "--password-file", Path("password"), Data, Path("out")}, {});
        EXPECT_EQ(run.ExitCode, 0) << run.Screen;
        EXPECT_EQ(run.Screen, "");
        EXPECT_EQ(ReadText(Path("out")), big);
        run = RunOnTerminal({"unseal", quiet, "--password-file", Path("password"), Data, Path("out")}, {});
        EXPECT_EQ(run.ExitCode, 1) << run.Screen;
        EXPECT_NE(run.Screen.find(Path("out")), std::string::npos) << "the refusal is still shown: " << run.Screen;
        std::filesystem::remove(Path("out"));
    }
    const Strings edit{"edit", "-q", "--password-file", Path("password"), "--editor", FakeEditor + " append=x", Data};
    const TRun session = RunOnTerminal(edit, {});
    EXPECT_EQ(session.ExitCode, 0) << session.Screen;
    EXPECT_EQ(session.Screen.find('%'), std::string::npos) << session.Screen;
    EXPECT_EQ(session.Screen.find(".."), std::string::npos) << "no status line: " << session.Screen;
    EXPECT_EQ(Unseal(Data).Content, big + "x");
}

// A password command may ask on the terminal: its process group has the
// terminal while the line is awaited (a background group would be stopped),
// and the program has it back afterwards for its own questions.
TEST_F(TerminalTest, APasswordCommandMayAskOnTheTerminal) {
    SealContent(Data, Content, false);
    const std::string ask = "printf 'Passphrase? ' >/dev/tty; read -r answer </dev/tty; echo \"$answer\"";
    const TRun run = RunOnTerminal({"check", "--password-command", ask, Data}, {{"Passphrase? ", "secret\n"}});
    EXPECT_EQ(run.ExitCode, 0) << run.Screen;
    EXPECT_NE(run.Screen.find("opens: plain editor content"), std::string::npos) << run.Screen;
    const TRun wrong =
        RunOnTerminal({"unseal", "--password-command", ask, Data, Path("out")}, {{"Passphrase? ", "wrong\n"}});
    EXPECT_EQ(wrong.ExitCode, 1) << wrong.Screen;
    EXPECT_FALSE(Exists(Path("out")));
}

} // namespace
} // namespace quillock::testing
