// The subcommands of quillock-cli: one handler per command, each in its own file.
#pragma once

#include "cli/Options.h"

#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillock::cli {

// Exit codes of the terminal program.
inline constexpr int ExitOk = 0;
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;

// A handler receives the arguments after the command name (argv[0] is the
// command name itself) and returns the exit code.
using TCommandHandler = int (*)(int argc, char** argv);

// A command as the dispatch, the parser and the help know it. In Operands,
// About, Notes and the options' help, CIPHERS and HASHES stand for the words
// of the algorithm tables ("rijndael|blowfish").
struct TCommand {
    std::string_view Name;
    std::string_view Summary;  // one line for the command list
    std::string_view Operands; // after the options in the usage line: "PLAIN SEALED"
    TCommandHandler Run;
    std::span<const TOption> Options = {};
    // Shown by --help before and after the options; paragraphs end with '\n'
    // and are wrapped to the width of the output.
    std::string_view About = {};
    std::string_view Notes = {};
};

// Every command, in the order the help lists them.
[[nodiscard]] std::span<const TCommand> AllCommands();
// The command of that name; nullptr for none.
[[nodiscard]] const TCommand* FindCommand(std::string_view name);
// The options of the command of that name (none for an unknown name).
[[nodiscard]] std::span<const TOption> CommandOptions(std::string_view name);

// Prints "quillock-cli <command>: <message>" and the command's usage to stderr;
// returns ExitUsage so a handler can end with "return UsageError(...)".
int UsageError(std::string_view command, std::string_view message);

// When path cannot be opened for reading: prints the message a session gives
// for it ("Cannot open file! ...") and the reason ("PATH: No such file",
// "PATH: Permission denied") on stderr, and returns true (cli/Report.cpp).
bool ReportUnreadable(const std::string& path);

// Prints the command's --help to stdout; returns ExitOk.
int ShowHelp(std::string_view command);

// Parses a command's arguments with its options (ParseCommandLine; the
// handler is needed only where the command has options). Returns the exit
// code when the command ends here, its help shown or a usage error reported;
// nothing to go on.
[[nodiscard]] std::optional<int> ParseOrEnd(std::string_view command, int argc, char** argv,
                                            std::vector<std::string>& operands, const TOptionHandler& handler = {});

// The list of commands, for "quillock-cli --help" (to stdout) and after a
// usage error of the program itself (to stderr).
void PrintUsage(std::ostream& out);

// "quillock-cli --version": the version and which code the processor lets
// the long steps use.
void PrintVersion(std::ostream& out);

// "quillock-cli help [COMMAND]".
int RunHelp(int argc, char** argv);

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
