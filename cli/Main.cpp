// Entry point of quillock-cli: the process set-up, then the dispatch to the
// subcommand named by the first argument.
#include "cli/Commands.h"
#include "platform/FileHandle.h"
#include "platform/Hardening.h"
#include "platform/Signals.h"

#include <iostream>
#include <span>
#include <string>
#include <string_view>

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
    if (name == "--help" || name == "-h") {
        PrintUsage(std::cout);
        return ExitOk;
    }
    if (name == "--version" || name == "-V") {
        PrintVersion(std::cout);
        return ExitOk;
    }
    const TCommand* command = FindCommand(name);
    if (command == nullptr) {
        std::cerr << "quillock-cli: unknown command '" << name << "'\n";
        PrintUsage(std::cerr);
        return ExitUsage;
    }
    try {
        const int code = command->Run(argc - 1, argv + 1);
        // A signal that came while the work had to be finished first (the
        // editor running, sealing) ends the program now.
        const int signalled = quillock::platform::SignalExitCode();
        return signalled != 0 ? signalled : code;
    } catch (const quillock::platform::EInterrupted& interrupted) {
        // Whatever the command had made is wiped on the way here. The line
        // is written past the stream, whose state a status line cut short by
        // the signal may have failed, and a second signal does not cut it.
        std::cerr.clear();
        const std::string line = "quillock-cli " + std::string(name) + ": stopped by " +
                                 quillock::platform::SignalName(interrupted.Signal) +
                                 "; nothing was changed, and no temporary file is left\n";
        (void)quillock::platform::WriteAll(STDERR_FILENO, line.data(), line.size());
        return 128 + interrupted.Signal;
    } catch (const std::exception& e) {
        std::cerr << "quillock-cli " << name << ": " << e.what() << '\n';
        return ExitFailure;
    }
}
