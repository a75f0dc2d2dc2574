// Entry point of quillock-cli: dispatches to the subcommand named by the first argument.
#include "cli/Commands.h"
#include "crypto/Rijndael.h"
#include "datafile/Algorithms.h"
#include "datafile/CRC.h"
#include "datafile/Compression.h"
#include "platform/Hardening.h"
#include "platform/Signals.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <span>
#include <string>
#include <string_view>
#include <sys/utsname.h>
#include <unistd.h>
#include <utility>

namespace quillock::cli {
namespace {

constexpr std::string_view ProgramName = "quillock-cli";

int RunHelp(int argc, char** argv);

// The subcommands, in the order the help lists them.
constexpr TCommand Commands[] = {
    {"check", "say whether the password and choices open a data file (writes nothing)",
     "[--cipher CIPHERS] [--hash HASHES] "
     "[--password-file FILE | --password-fd N | --password-command CMD] SEALED",
     &RunCheck,
     "  --cipher, --hash       how SEALED was sealed (default: rijndael, ripemd160)\n"
     "  --password-file FILE   read the password from the first line of FILE (--password-fd N: from\n"
     "                         descriptor N; --password-command CMD: from the first line CMD prints);\n"
     "                         otherwise it is typed on the terminal without echo\n"
     "Prints \"opens: compressed content, N bytes\" or \"opens: plain editor content\" and exits 0;\n"
     "for a wrong password or choice, the decryption error and exit code 1. Nothing is written to disk."},
    {"config", "list the saved choices, or set or reset one (the window changes them too)",
     "[list | set NAME VALUE | reset [NAME]]", &RunConfig,
     "The choices both programs start from, in the settings file (its name is the first line of the list):\n"
     "  list                   each NAME=VALUE with where it comes from: the settings file, or the default\n"
     "  set NAME VALUE         ExeNamePos 0|1|2 (the editor edition), Algorithm CIPHERS, Hash HASHES,\n"
     "                         ExeName0..ExeName2 (each edition's editor), ExeName (the chosen edition's),\n"
     "                         PrivateTemp 0|1 (1: plain temporaries always in a private folder in memory)\n"
     "  reset [NAME]           NAME, or every choice, back to its default\n"
     "Options of the other commands (--editor, --cipher, ...) are for their run only and never saved."},
    {"edit", "open a data file in the editor and seal it again (imports a plain editor file)",
     "[--editor CMD] [--edition 0|1|2] [--cipher CIPHERS] [--hash HASHES] "
     "[--compress | --decompress] [--no-double-backup] [--change-password] [--change-algorithm] "
     "[--new-password-file FILE] [--new-cipher CIPHERS] [--new-hash HASHES] [--yes] "
     "[--editor-returns-at-once] [--quiet] [--private-temp] "
     "[--password-file FILE | --password-fd N | --password-command CMD] FILE",
     &RunEdit,
     "FILE is a data file (.qlx) or a plain editor file to import (it is renamed to .qlx and sealed).\n"
     "Choices not given are the saved ones (quillock-cli config); the options are for this run only.\n"
     "  --editor CMD           the editor: a path or a name looked up in PATH, arguments allowed;\n"
     "                         the working copy is added in double quotes. Without it, when the saved\n"
     "                         editor is the default and cannot be found: $VISUAL, $EDITOR,\n"
     "                         sensible-editor or vi (a line says which)\n"
     "  --edition 0|1|2        use the editor path saved for that edition\n"
     "  --cipher, --hash       how FILE is sealed (default: the saved choice, else rijndael, ripemd160)\n"
     "  --compress             seal compressed; --decompress: seal uncompressed\n"
     "  --no-double-backup     keep FILE.bak only, without the older copy FILE.old\n"
     "  --change-password      ask for a new password at the end (typed twice, or --new-password-file)\n"
     "  --change-algorithm     ask for a new cipher and digest at the end (or --new-cipher, --new-hash)\n"
     "  --yes                  answer y to the import question and to the quick-editor question\n"
     "  --editor-returns-at-once\n"
     "                         the editor returns before editing is done by design (it hands the file\n"
     "                         over): do not ask whether editing is finished\n"
     "  --quiet                show messages only, not the progress lines\n"
     "  --private-temp         keep the working copy and the intermediate file in a private folder in\n"
     "                         memory for this run, even where beside FILE would be safe (the setting\n"
     "                         PrivateTemp=1 does so always; by default only where needed)\n"
     "  --password-file FILE   read the password from the first line of FILE (--password-fd N: from\n"
     "                         descriptor N; --password-command CMD: from the first line CMD prints);\n"
     "                         otherwise it is typed on the terminal without echo, twice for an import\n"
     "The working copy is beside FILE where nobody else can change FILE's folder or one above it and\n"
     "the file system overwrites in place; else in a private folder in memory ($XDG_RUNTIME_DIR, else\n"
     "/dev/shm). A line says where, and why, at the start.\n"
     "Questions are answered on standard input with y or n; Enter gives the default shown, the end of\n"
     "input n. When the editor is back at once and standard input is not a terminal, the session goes on.\n"
     "Exit code 0 when the session ended normally, 1 on any failure (the editor could not be started\n"
     "included), 2 for a usage error."},
    {"help", "show the commands, or the help of one command", "[COMMAND]", &RunHelp},
    {"recover", "seal the newest text a session cut short left beside a data file",
     "[--cipher CIPHERS] [--hash HASHES] [--compress | --decompress] [--no-double-backup] [--quiet] "
     "[--private-temp] [--password-file FILE | --password-fd N | --password-command CMD] FILE",
     &RunRecover,
     "After a session was cut short (a crash, a kill, a power cut), FILE.qlt (the working copy) or\n"
     "FILE.qlz (the intermediate file) may hold the newest text. recover first checks that the password\n"
     "opens FILE, then compares both with FILE's content and seals the newest text into FILE the way a\n"
     "session does: FILE.bak and FILE.old rotated, FILE replaced only once the new one is complete, the\n"
     "temporary files wiped. A copy cut short, or one that holds what FILE holds, is wiped, not sealed.\n"
     "When FILE is still the plain file of an import cut short, it is sealed itself (or the newer\n"
     "working copy), under a new password typed twice.\n"
     "  --cipher, --hash       how FILE is sealed (default: the saved choice, else rijndael, ripemd160)\n"
     "  --compress             seal compressed; --decompress: seal uncompressed (default: as FILE was)\n"
     "  --no-double-backup     keep FILE.bak only, without the older copy FILE.old\n"
     "  --quiet                show messages only, not the progress lines\n"
     "  --private-temp         keep the working copy and the intermediate file in a private folder in\n"
     "                         memory for this run, even where beside FILE would be safe (the setting\n"
     "                         PrivateTemp=1 does so always; by default only where needed)\n"
     "  --password-file FILE   read the password from the first line of FILE (--password-fd N: from\n"
     "                         descriptor N; --password-command CMD: from the first line CMD prints);\n"
     "                         otherwise it is typed on the terminal without echo\n"
     "Exit code 0 when the newest text is sealed in FILE (or was already), 1 on failure (a file that is\n"
     "neither a plain editor file nor compressed data stops it, with nothing changed), 2 for a usage error."},
    {"seal", "seal a plain file into a data file",
     "[--cipher CIPHERS] [--hash HASHES] [--compress] [--raw] [--force] "
     "[--password-file FILE | --password-fd N | --password-command CMD] PLAIN SEALED",
     &RunSeal,
     "PLAIN '-' is standard input. PLAIN must be an editor file (its first line names the editor), as\n"
     "a session can open only that; anything else, an empty file too, is refused unless --raw is given.\n"
     "  --cipher, --hash       CIPHERS and HASHES (default: rijndael, ripemd160)\n"
     "  --compress             compress the content with zlib before sealing it\n"
     "  --raw                  seal any bytes as they are (read them back with unseal --raw)\n"
     "  --force                replace an existing SEALED (only a regular file, never a device or FIFO)\n"
     "  --password-file FILE   read the password from the first line of FILE (--password-fd N: from\n"
     "                         descriptor N; --password-command CMD: from the first line CMD prints);\n"
     "                         otherwise it is typed twice on the terminal without echo\n"
     "SEALED is replaced only once the new one is complete. Exit code 0, 1 on failure, 2 for a usage error."},
    {"selfcheck", "run the known-answer tests of the ciphers and digests", "", &RunSelfCheck},
    {"unseal", "unseal a data file into a plain file",
     "[--cipher CIPHERS] [--hash HASHES] [--raw | --salvage] [--force] "
     "[--password-file FILE | --password-fd N | --password-command CMD] SEALED PLAIN",
     &RunUnseal,
     "PLAIN '-' is standard output: nothing plain is written to disk then.\n"
     "  --cipher, --hash       how SEALED was sealed (default: rijndael, ripemd160)\n"
     "  --raw                  write the deciphered bytes as they are, without decompressing\n"
     "  --salvage              for a damaged compressed content: write what still decodes\n"
     "  --force                replace an existing PLAIN (only a regular file, never a device or FIFO)\n"
     "  --password-file FILE   read the password from the first line of FILE (--password-fd N: from\n"
     "                         descriptor N; --password-command CMD: from the first line CMD prints);\n"
     "                         otherwise it is typed on the terminal without echo\n"
     "PLAIN is created owner-only. Exit code 0, 1 on failure (nothing is left), 2 for a usage error."},
};

const TCommand* FindCommand(std::string_view name) {
    for (const auto& command : Commands) {
        if (command.Name == name) {
            return &command;
        }
    }
    return nullptr;
}

bool IsHelp(std::string_view arg) {
    return arg == "--help" || arg == "-h";
}

// The words of an algorithm table, as one choice: "rijndael|blowfish".
template <class TEntry> std::string Choices(std::span<const TEntry> entries) {
    std::string words;
    for (const TEntry& entry : entries) {
        if (!words.empty()) {
            words += '|';
        }
        words += entry.Word;
    }
    return words;
}

// A help text with CIPHERS and HASHES spelt out from the tables.
std::string WithChoices(std::string_view text) {
    std::string result(text);
    for (const auto& [name, words] :
         {std::pair<std::string_view, std::string>{"CIPHERS", Choices(datafile::Ciphers())},
          std::pair<std::string_view, std::string>{"HASHES", Choices(datafile::Hashes())}}) {
        for (std::size_t at = 0; (at = result.find(name, at)) != std::string::npos; at += words.size()) {
            result.replace(at, name.size(), words);
        }
    }
    return result;
}

void PrintCommandUsage(std::ostream& out, const TCommand& command) {
    out << "usage: " << ProgramName << ' ' << command.Name;
    if (!command.Usage.empty()) {
        out << ' ' << WithChoices(command.Usage);
    }
    out << "\n  " << command.Summary << '\n';
}

void PrintCommandHelp(std::ostream& out, const TCommand& command) {
    PrintCommandUsage(out, command);
    if (!command.Options.empty()) {
        out << '\n' << WithChoices(command.Options) << '\n';
    }
}

void PrintUsage(std::ostream& out) {
    out << "usage: " << ProgramName << " <command> [arguments]\n"
        << "       " << ProgramName << " <command> --help | help [COMMAND] | --version\n\ncommands:\n";
    for (const auto& command : Commands) {
        out << "  " << command.Name << std::string(command.Name.size() < 12 ? 12 - command.Name.size() : 1, ' ')
            << command.Summary << '\n';
    }
}

// Which code the processor lets the long steps use.
void PrintVersion(std::ostream& out) {
    out << ProgramName << ' ' << QUILLOCK_VERSION << '\n';
    struct utsname system {};
    if (::uname(&system) == 0) {
        out << "Processor: " << system.machine << '\n';
    }
    // fast is the name of the instructions this build has for the processor
    // family, nullptr where it has none.
    const auto path = [](bool available, bool allowed, const char* fast) -> std::string {
        if (fast == nullptr) {
            return "portable (no instructions for this processor in this build)";
        }
        if (available && allowed) {
            return fast;
        }
        return available ? std::string("portable (") + fast + " turned off by QUILLOCK_PORTABLE_CRYPTO)"
                         : std::string("portable (the processor lacks ") + fast + ")";
    };
    out << "Rijndael: "
        << path(crypto::RijndaelAccelerationAvailable(), crypto::RijndaelAccelerationAllowed(),
                crypto::RijndaelAccelerationName())
        << '\n';
    // Asking for the choice means setting it; it is put back at once.
    const bool crcAllowed = datafile::SetCRC32Acceleration(true);
    (void)datafile::SetCRC32Acceleration(crcAllowed);
    out << "CRC-32: " << path(datafile::CRC32AccelerationAvailable(), crcAllowed, datafile::CRC32AccelerationName())
        << '\n';
    out << "Compression: " << datafile::CompressionPathName() << '\n';
}

// "quillock-cli help [COMMAND]".
int RunHelp(int argc, char** argv) {
    if (argc > 2) {
        return UsageError("help", std::string("unexpected argument '") + argv[2] + "'");
    }
    if (argc < 2) {
        PrintUsage(std::cout);
        return ExitOk;
    }
    const TCommand* command = FindCommand(IsHelp(argv[1]) ? "help" : argv[1]);
    if (command == nullptr) {
        std::cerr << ProgramName << ": unknown command '" << argv[1] << "'\n";
        PrintUsage(std::cerr);
        return ExitUsage;
    }
    PrintCommandHelp(std::cout, *command);
    return ExitOk;
}

} // namespace

int ShowHelp(std::string_view command) {
    if (const TCommand* found = FindCommand(command)) {
        PrintCommandHelp(std::cout, *found);
    }
    return ExitOk;
}

bool ReportUnreadable(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        ::close(fd);
        return false;
    }
    const int error = errno;
    const char* reason = error == ENOENT   ? "No such file"
                         : error == EACCES ? "Permission denied"
                                           : std::strerror(error);
    std::cerr << "Error: Cannot open file! (maybe it has the Read Only attribute?)\n\nPlease check your data.\n"
              << path << ": " << reason << '\n';
    return true;
}

int UsageError(std::string_view command, std::string_view message) {
    std::cerr << ProgramName << ' ' << command << ": " << message << '\n';
    if (const TCommand* found = FindCommand(command)) {
        PrintCommandUsage(std::cerr, *found);
    }
    return ExitUsage;
}

} // namespace quillock::cli

int main(int argc, char** argv) {
    using namespace quillock::cli;
    // Before any password or plain data is in memory.
    quillock::platform::DisableCoreDumps();
    quillock::platform::InstallSignalHandling();
    const std::span<char*> args(argv, static_cast<std::size_t>(argc));
    if (args.size() < 2) {
        PrintUsage(std::cerr);
        return ExitUsage;
    }
    const std::string_view name = args[1];
    if (IsHelp(name)) {
        PrintUsage(std::cout);
        return ExitOk;
    }
    if (name == "--version" || name == "-V") {
        PrintVersion(std::cout);
        return ExitOk;
    }
    const TCommand* command = FindCommand(name);
    if (command == nullptr) {
        std::cerr << ProgramName << ": unknown command '" << name << "'\n";
        PrintUsage(std::cerr);
        return ExitUsage;
    }
    if (command->Name == "selfcheck" && args.size() >= 3 && IsHelp(args[2])) {
        PrintCommandHelp(std::cout, *command);
        return ExitOk;
    }
    try {
        const int code = command->Run(argc - 1, argv + 1);
        // A signal that came while the work had to be finished first (the
        // editor running, sealing) ends the program now.
        const int signalled = quillock::platform::SignalExitCode();
        return signalled != 0 ? signalled : code;
    } catch (const quillock::platform::EInterrupted& interrupted) {
        // Whatever the command had made is wiped on the way here.
        std::cerr << ProgramName << ' ' << name << ": stopped by " << quillock::platform::SignalName(interrupted.Signal)
                  << "; nothing was changed, and no temporary file is left" << std::endl;
        return 128 + interrupted.Signal;
    } catch (const std::exception& e) {
        std::cerr << ProgramName << ' ' << name << ": " << e.what() << '\n';
        return ExitFailure;
    }
}
