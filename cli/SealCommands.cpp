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
    bool Salvage = false;
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
        } else if (arg == "--salvage" && flag == "--raw") {
            options.Salvage = true;
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
    if (options.Raw && options.Salvage) {
        return "--raw and --salvage exclude each other";
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

void RenameOrRaise(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0) {
        throw platform::EInOutError("Cannot rename " + from + " to " + to + ": " + std::strerror(errno));
    }
}

// True when the deciphered content is stored as it is: a plain Arbolix file,
// or nothing at all (an empty content seals to an empty file).
bool IsStoredPlain(datafile::TDataFileHost& host, const std::string& content) {
    struct stat info {};
    if (::stat(content.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size == 0) {
        return true;
    }
    return datafile::CheckHeader(host, content);
}

// Decompresses as much of a damaged compressed content as still decodes into
// plain. Exit 0 when something was recovered (with a warning on stderr when
// the content was damaged), 1 when nothing could be decoded.
int SalvageInto(TTerminalDataFileHost& host, const std::string& intermediate, const std::string& working,
                const std::string& plain) {
    const datafile::TSalvageResult result = datafile::SalvageDecompressFile(intermediate, working);
    datafile::WipeFile(host, intermediate);
    if (result.Complete) {
        RenameOrRaise(working, plain);
        return ExitOk;
    }
    if (result.Recovered == 0) {
        datafile::WipeFile(host, working);
        host.AskUser("Decryption Error!\r\n\r\n(Maybe you have selected the wrong algorithm/hashing?)",
                     datafile::TMsgDlgType::mtError, datafile::TMsgDlgButtons::mbOK);
        std::cerr << "quillock-cli unseal: nothing could be recovered (" << result.Damage << ")\n";
        return ExitFailure;
    }
    RenameOrRaise(working, plain);
    std::cerr << "quillock-cli unseal: warning: the content is damaged (" << result.Damage << "); " << result.Recovered
              << " bytes recovered into " << plain
              << ": the rest of the content is missing and what was recovered is unchecked\n";
    return ExitOk;
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
        try {
            // Even the raw bytes go through the owner-only temporary name, so
            // a failure part way (a full disk) leaves no partial plain file.
            datafile::Decrypt(host, sealed, intermediate);
            if (options.Raw || IsStoredPlain(host, intermediate)) {
                RenameOrRaise(intermediate, plain);
            } else if (options.Salvage) {
                return SalvageInto(host, intermediate, working, plain);
            } else {
                datafile::DecompressFile(host, intermediate, working);
                datafile::WipeFile(host, intermediate);
                RenameOrRaise(working, plain);
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
