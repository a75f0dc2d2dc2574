// Entry point of quillock-cli: dispatches to the subcommand named by the first argument.
#include "cli/Commands.h"
#include "platform/Hardening.h"

#include <iostream>
#include <span>
#include <string>
#include <string_view>

namespace quillock::cli {
namespace {

constexpr std::string_view ProgramName = "quillock-cli";

// The subcommands, in the order the help lists them.
constexpr TCommand Commands[] = {
    {"edit", "open a data file in the editor and seal it again (imports a plain editor file)",
     "[--editor CMD] [--edition 0|1|2] [--cipher rijndael|blowfish] [--hash ripemd160|sha1] "
     "[--compress | --decompress] [--no-double-backup] [--change-password] [--change-algorithm] "
     "[--new-password-file FILE] [--new-cipher rijndael|blowfish] [--new-hash ripemd160|sha1] [--yes] "
     "[--editor-returns-at-once] [--quiet] [--password-file FILE | --password-fd N] FILE",
     &RunEdit},
    {"selfcheck", "run the known-answer tests of the ciphers and digests", "", &RunSelfCheck},
    {"seal", "seal a plain file into a data file",
     "[--cipher rijndael|blowfish] [--hash ripemd160|sha1] [--compress] [--password-file FILE | --password-fd N] "
     "PLAIN SEALED",
     &RunSeal},
    {"unseal", "unseal a data file into a plain file",
     "[--cipher rijndael|blowfish] [--hash ripemd160|sha1] [--raw | --salvage] "
     "[--password-file FILE | --password-fd N] SEALED PLAIN",
     &RunUnseal},
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

void PrintCommandUsage(std::ostream& out, const TCommand& command) {
    out << "usage: " << ProgramName << ' ' << command.Name;
    if (!command.Usage.empty()) {
        out << ' ' << command.Usage;
    }
    out << "\n  " << command.Summary << '\n';
}

void PrintUsage(std::ostream& out) {
    out << "usage: " << ProgramName << " <command> [arguments]\n"
        << "       " << ProgramName << " <command> --help\n\ncommands:\n";
    for (const auto& command : Commands) {
        out << "  " << command.Name << std::string(command.Name.size() < 12 ? 12 - command.Name.size() : 1, ' ')
            << command.Summary << '\n';
    }
}

} // namespace

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
    const TCommand* command = FindCommand(name);
    if (command == nullptr) {
        std::cerr << ProgramName << ": unknown command '" << name << "'\n";
        PrintUsage(std::cerr);
        return ExitUsage;
    }
    if (args.size() >= 3 && IsHelp(args[2])) {
        PrintCommandUsage(std::cout, *command);
        return ExitOk;
    }
    try {
        return command->Run(argc - 1, argv + 1);
    } catch (const std::exception& e) {
        std::cerr << ProgramName << ' ' << name << ": " << e.what() << '\n';
        return ExitFailure;
    }
}
