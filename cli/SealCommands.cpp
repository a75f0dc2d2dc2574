// "quillock-cli seal" and "quillock-cli unseal": sealing a plain file into a
// data file and back, for recovery and scripting.
#include "cli/Commands.h"
#include "cli/Password.h"
#include "cli/TerminalHost.h"
#include "datafile/Compression.h"
#include "datafile/FileChecks.h"
#include "datafile/SealedFile.h"
#include "platform/Stream.h"
#include "platform/Wipe.h"

#include <cerrno>
#include <cstring>
#include <iostream>
#include <span>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace quillock::cli {
namespace {

struct TSealOptions {
    int Algorithm = 0; // Rijndael
    int Hash = 0;      // RIPEMD-160
    bool Compress = false;
    bool Raw = false;
    TPasswordSource Password;
    std::vector<std::string> Files;
};

// Parses the options both commands share plus the one flag of the command;
// returns an error text, empty on success.
std::string ParseOptions(std::span<char* const> args, std::string_view flag, TSealOptions& options) {
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            options.Files.emplace_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--cipher" || arg == "--hash") {
            if (i + 1 >= args.size()) {
                return std::string(arg) + " needs a value";
            }
            const std::string_view value = args[++i];
            if (arg == "--cipher" && (value == "rijndael" || value == "blowfish")) {
                options.Algorithm = value == "rijndael" ? 0 : 1;
            } else if (arg == "--hash" && (value == "ripemd160" || value == "sha1")) {
                options.Hash = value == "ripemd160" ? 0 : 1;
            } else {
                return "unknown value '" + std::string(value) + "' for " + std::string(arg);
            }
        } else if (arg == flag) {
            (flag == "--compress" ? options.Compress : options.Raw) = true;
        } else {
            try {
                if (!TakePasswordOption(args, i, options.Password)) {
                    return "unknown option '" + std::string(arg) + "'";
                }
            } catch (const EPasswordError& e) {
                return e.what();
            }
        }
    }
    if (options.Files.size() != 2) {
        return "expects two files";
    }
    return {};
}

// True when both names lead to one existing file.
bool SameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// Wipes a temporary file on a path that is already failing; its own failure
// must not hide the first one.
void WipeQuietly(datafile::TDataFileHost& host, const std::string& path) noexcept {
    try {
        datafile::WipeFile(host, path);
    } catch (...) {
    }
}

int Fail(std::string_view command, const std::string& message) {
    std::cerr << "quillock-cli " << command << ": " << message << '\n';
    return ExitFailure;
}

int Seal(const TSealOptions& options) {
    const std::string& plain = options.Files[0];
    const std::string& sealed = options.Files[1];
    TTerminalDataFileHost host;
    host.FDataFile = sealed;
    host.FAlgorithm = options.Algorithm;
    host.FHash = options.Hash;
    try {
        host.FPassword = ReadNewPassword(options.Password);
    } catch (const EPasswordError& e) {
        return Fail("seal", e.what());
    }
    if (host.FPassword.empty()) {
        return Fail("seal", "the password is empty");
    }
    try {
        if (!options.Compress) {
            if (!datafile::CheckHeader(host, plain)) {
                std::cerr << "quillock-cli seal: warning: " << plain
                          << " is not an Arbolix file; unseal it with --raw\n";
            }
            datafile::Encrypt(host, plain, sealed);
            return ExitOk;
        }
        // The compressed content is plain data too: it lives in an owner-only
        // temporary file beside the data file and is wiped on every path.
        const std::string intermediate = sealed + ".qlz";
        try {
            datafile::CompressFile(plain, intermediate);
            datafile::Encrypt(host, intermediate, sealed);
        } catch (...) {
            WipeQuietly(host, intermediate);
            throw;
        }
        datafile::WipeFile(host, intermediate);
    } catch (const datafile::TProgramExit& exit) {
        return exit.ExitCode;
    }
    return ExitOk;
}

int Unseal(const TSealOptions& options) {
    const std::string& sealed = options.Files[0];
    const std::string& plain = options.Files[1];
    TTerminalDataFileHost host;
    // The temporary files are named after the output, as a session names
    // them after the data file, so a decryption error wipes exactly these.
    host.FDataFile = plain;
    host.FAlgorithm = options.Algorithm;
    host.FHash = options.Hash;
    try {
        host.FPassword = ReadPassword(options.Password, "Password: ");
    } catch (const EPasswordError& e) {
        return Fail("unseal", e.what());
    }
    const std::string intermediate = plain + ".qlz";
    const std::string working = plain + ".qlt";
    try {
        if (options.Raw) {
            datafile::Decrypt(host, sealed, plain);
            return ExitOk;
        }
        try {
            datafile::Decrypt(host, sealed, intermediate);
            if (datafile::CheckHeader(host, intermediate)) {
                if (std::rename(intermediate.c_str(), plain.c_str()) != 0) {
                    throw platform::EInOutError("Cannot rename " + intermediate + " to " + plain + ": " +
                                                std::strerror(errno));
                }
            } else {
                datafile::DecompressFile(host, intermediate, working);
                datafile::WipeFile(host, intermediate);
                if (std::rename(working.c_str(), plain.c_str()) != 0) {
                    throw platform::EInOutError("Cannot rename " + working + " to " + plain + ": " +
                                                std::strerror(errno));
                }
            }
        } catch (...) {
            WipeQuietly(host, intermediate);
            WipeQuietly(host, working);
            throw;
        }
    } catch (const datafile::TProgramExit& exit) {
        return exit.ExitCode;
    }
    return ExitOk;
}

} // namespace

int RunSeal(int argc, char** argv) {
    TSealOptions options;
    const std::string error =
        ParseOptions(std::span<char* const>(argv, static_cast<std::size_t>(argc)), "--compress", options);
    if (!error.empty()) {
        return UsageError("seal", error);
    }
    if (SameFile(options.Files[0], options.Files[1])) {
        return UsageError("seal", "PLAIN and SEALED are the same file");
    }
    return Seal(options);
}

int RunUnseal(int argc, char** argv) {
    TSealOptions options;
    const std::string error =
        ParseOptions(std::span<char* const>(argv, static_cast<std::size_t>(argc)), "--raw", options);
    if (!error.empty()) {
        return UsageError("unseal", error);
    }
    if (SameFile(options.Files[0], options.Files[1])) {
        return UsageError("unseal", "SEALED and PLAIN are the same file");
    }
    return Unseal(options);
}

} // namespace quillock::cli
