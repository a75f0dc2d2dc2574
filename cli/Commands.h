// The subcommands of quillock-cli: one handler per command, each in its own file.
#pragma once

#include <string>
#include <string_view>

namespace quillock::cli {

// Exit codes of the terminal program.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;

// A handler receives the arguments after the command name (argv[0] is the
// command name itself) and returns the exit code.
using TCommandHandler = int (*)(int argc, char** argv);

struct TCommand {
    std::string_view Name;
    std::string_view Summary; // one line for the command list
    // Shown by "quillock-cli <command> --help"; arguments after the name.
    // In Usage and Options, CIPHERS and HASHES stand for the words of the
    // algorithm tables ("rijndael|blowfish").
    std::string_view Usage;
    TCommandHandler Run;
    std::string_view Options = {}; // what each option does, shown by --help only
};

// Prints "quillock-cli <command>: <message>" and the command's usage to stderr;
// returns ExitUsage so a handler can end with "return UsageError(...)".
int UsageError(std::string_view command, std::string_view message);

// When path cannot be opened for reading: prints the message a session gives
// for it ("Cannot open file! ...") and the reason ("PATH: No such file",
// "PATH: Permission denied") on stderr, and returns true.
bool ReportUnreadable(const std::string& path);

// Prints the command's --help to stdout; returns ExitOk.
int ShowHelp(std::string_view command);

// Seals nothing, writes nothing: whether the password and choices open a
// data file (cli/SealCommands.cpp).
int RunCheck(int argc, char** argv);

// Runs the known-answer tests of the two ciphers and the two digests.
int RunSelfCheck(int argc, char** argv);

// Seals a plain file into a data file, and unseals one (cli/SealCommands.cpp).
int RunSeal(int argc, char** argv);
int RunUnseal(int argc, char** argv);

// Lists, sets and resets the saved choices (cli/ConfigCommand.cpp).
int RunConfig(int argc, char** argv);

// One whole editing session of a data file (cli/EditCommand.cpp).
int RunEdit(int argc, char** argv);

// Seals what a session cut short left beside a data file (cli/EditCommand.cpp).
int RunRecover(int argc, char** argv);

} // namespace quillock::cli
