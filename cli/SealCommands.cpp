// "quillock-cli seal", "unseal" and "check": sealing a plain file into a data
// file and back, and testing a password, for recovery and scripting.
#include "cli/Commands.h"
#include "cli/Options.h"
#include "cli/Password.h"
#include "cli/Report.h"
#include "cli/TerminalHost.h"
#include "datafile/Algorithms.h"
#include "datafile/FileChecks.h"
#include "datafile/SealedFile.h"
#include "datafile/Unseal.h"
#include "platform/FileHandle.h"
#include "platform/Files.h"
#include "platform/Signals.h"
#include "platform/Stream.h"
#include "platform/Text.h"
#include "platform/Wipe.h"
#include "session/Session.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quillock::cli {
namespace {

// Standard input and output in place of a file name.
constexpr std::string_view StandardStream = "-";

struct TSealOptions {
    int Algorithm = 0; // Rijndael
    int Hash = 0;      // RIPEMD-160
    bool Compress = false;
    bool Raw = false;
    bool Salvage = false;
    bool Force = false;
    bool Quiet = false;
    TPasswordSource Password;
    std::vector<std::string> Files;
};

constexpr TSwitch<TSealOptions> SealSwitches[] = {
    {oCompress, &TSealOptions::Compress}, {oRaw, &TSealOptions::Raw},     {oSalvage, &TSealOptions::Salvage},
    {oForce, &TSealOptions::Force},       {oQuiet, &TSealOptions::Quiet},
};

std::string TakeOption(TOptionId id, std::string_view value, TSealOptions& options) {
    if (TakeSwitch<TSealOptions>(id, SealSwitches, options)) {
        return {};
    }
    switch (id) {
    case oCipher:
        return TakeIndex(datafile::CipherIndexOfWord(value), value, "cipher", options.Algorithm);
    case oHash:
        return TakeIndex(datafile::HashIndexOfWord(value), value, "hash", options.Hash);
    default:
        break;
    }
    // The three password options, in the order of PasswordOptionNames.
    return TakePasswordOptionAt(static_cast<std::size_t>(id - oPasswordFile), value, options.Password);
}

// True when both names lead to one existing file.
bool SameFile(const std::string& a, const std::string& b) {
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// Why the output name cannot be written to, reported; false when it can. Only a new
// name, or with --force an existing regular file, is ever replaced: a device,
// FIFO or folder at the name is refused always (the superuser's /dev/null
// stays a device). A link is judged by what it leads to; the new file then
// replaces the link itself, never what it points at.
bool RefusedTarget(const std::string& path, bool force) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return errno != ENOENT && Fail(path, std::string("cannot be looked at: ") + std::strerror(errno),
                                       "Check the folder's name and your rights to it; nothing has been written.");
    }
    if (S_ISLNK(info.st_mode) && ::stat(path.c_str(), &info) != 0) {
        info.st_mode = S_IFREG; // a dangling link: replaced like a file
    }
    if (S_ISREG(info.st_mode)) {
        return !force && Fail(path, "exists", "Give --force to replace it; nothing has been written.");
    }
    const char* kind = S_ISDIR(info.st_mode)                            ? "a folder"
                       : S_ISFIFO(info.st_mode)                         ? "a FIFO"
                       : S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) ? "a device"
                       : S_ISSOCK(info.st_mode)                         ? "a socket"
                                                                        : "not a regular file";
    return Fail(path, std::string("is ") + kind + ", not a regular file",
                "It is never replaced, not even with --force: give another name.");
}

// A regular file at one of our temporary names may be the only copy of a
// text from an earlier run cut short: it is never wiped to make room. Returns
// true after reporting the first such name. (A link or FIFO there is no
// text of anyone's; it is removed unread.)
bool LeftOverAt(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        struct stat info {};
        if (::lstat(name.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            return Fail(name, "exists, perhaps left by an earlier run that was cut short; it may hold plain text",
                        "Move it away first; nothing has been written.");
        }
    }
    return false;
}

// An existing output may be the data file of a session that is running: its
// lock is taken and held until the command ends, so that neither the file nor
// the temporaries named after it change under the session. Returns the
// refusal, reported; false when the output is absent or the lock is held.
bool TakeSessionLock(platform::TFileLock& lock, const std::string& output) {
    struct stat info {};
    if (::lstat(output.c_str(), &info) != 0) {
        return false;
    }
    const std::string lockFile = session::LockFileOf(output);
    switch (lock.Take(lockFile, false)) {
    case platform::TFileLock::TResult::Taken:
        return false;
    case platform::TFileLock::TResult::Busy:
        return Fail(output, platform::MessageToUtf8(session::BusyLockText(output)),
                    "Finish that session first; nothing has been changed.");
    case platform::TFileLock::TResult::Foreign:
        return Fail(lockFile,
                    platform::MessageToUtf8(
                        platform::DescribeForeign(lockFile, {platform::TNameState::Foreign, lock.ForeignWhat()})) +
                        ", not a file of yours",
                    "Remove it; nothing has been changed.");
    case platform::TFileLock::TResult::Failed:
        break;
    }
    return Fail(lockFile, std::string("cannot create the lock file: ") + std::strerror(errno),
                "Check the folder's rights and free space; nothing has been changed.");
}

// What unseal --salvage says about what it recovered into plain. Exit 0
// when something was recovered (with a warning on stderr when the content
// was damaged), 1 when nothing could be decoded.
int SalvageReport(TTerminalDataFileHost& host, const datafile::TUnsealedFile& result, const std::string& plain) {
    if (result.Complete) {
        return ExitOk;
    }
    if (result.Content.Bytes == 0) {
        host.AskUser(datafile::DecryptionErrorText, datafile::TMsgDlgType::mtError, datafile::TMsgDlgButtons::mbOK);
        return Fail(host.FName, "nothing could be recovered (" + result.Damage + ")",
                    "Try FILE.bak or FILE.old of the data file, or unseal --raw for the bytes as they are.");
    }
    Report(std::cerr, plain,
           "warning: the content is damaged (" + result.Damage + "); " + std::to_string(result.Content.Bytes) +
               " bytes recovered: the rest of the content is missing and what was recovered is unchecked",
           "Compare it with a backup (FILE.bak, FILE.old) of the data file before you rely on it.");
    return ExitOk;
}

// Standard input as a stream read in order; a signal while it waits for
// input ends the wait.
class TInputStream final : public platform::TStream {
public:
    std::int64_t Read(void* buffer, std::int64_t count) override {
        for (;;) {
            const ssize_t got = ::read(STDIN_FILENO, buffer, static_cast<std::size_t>(count));
            if (got >= 0) {
                return got;
            }
            if (errno != EINTR) {
                throw platform::EInOutError(std::string("Cannot read standard input: ") + std::strerror(errno));
            }
            platform::CheckInterrupted();
        }
    }
    std::int64_t Write(const void* /*buffer*/, std::int64_t /*count*/) override { throw platform::EWriteError(); }
    std::int64_t Seek(std::int64_t /*offset*/, platform::TSeekOrigin /*origin*/) override {
        throw platform::EInOutError("Cannot seek in standard input");
    }
};

// Only a regular file is sealed by name (a FIFO or a device is given as '-');
// anything else is reported, true. Opened without waiting for a writer.
bool NotRegularFile(const std::string& path) {
    const platform::TFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (!file.Valid() || ::fstat(file.Get(), &info) != 0) {
        return Fail(path, std::string("cannot be opened: ") + std::strerror(errno),
                    "Check the name and your rights to it; nothing has been sealed.");
    }
    if (!S_ISREG(info.st_mode)) {
        return Fail(path, S_ISDIR(info.st_mode) ? "is a folder, not a file" : "is not a regular file",
                    "Give a plain file, or '-' to seal standard input; nothing has been sealed.");
    }
    return false;
}

// Raised by the look at the first bytes of standard input: nothing is sealed.
struct TNotEditorContent {
    datafile::TContentKind Kind;
};

// A session opens only what holds an editor file (with --compress: before
// compression). Anything else, empty included, is sealed with --raw only;
// unseal --raw gives its bytes back. The refusal, in one place.
int RefuseNotEditor(const std::string& plain, datafile::TContentKind kind) {
    const std::string name = plain == StandardStream ? std::string("standard input") : plain;
    return Fail(name,
                std::string(kind == datafile::TContentKind::ckEmpty
                                ? "is empty"
                                : "is not an Arbolix file (its first line does not name the editor)") +
                    ": a session could not open the data file; nothing has been sealed",
                "Give --raw to seal the bytes as they are, and read them back with unseal --raw.");
}

int Seal(const TSealOptions& options) {
    const std::string& plain = options.Files[0];
    const std::string& sealed = options.Files[1];
    if (RefusedTarget(sealed, options.Force)) {
        return ExitFailure;
    }
    platform::TFileLock lock;
    if (TakeSessionLock(lock, sealed)) {
        return ExitFailure;
    }
    if (plain != StandardStream && ReportUnreadable(plain)) {
        return ExitFailure;
    }
    TTerminalDataFileHost host(options.Quiet);
    host.FName = sealed;
    host.FAlgorithm = options.Algorithm;
    host.FHash = options.Hash;
    host.FStep = "Sealing..";
    // Standard input is sealed as it streams: nothing plain reaches the disk.
    const bool fromInput = plain == StandardStream;
    // Asked once nothing else stands in the way.
    try {
        host.FPassword = ReadNewPassword(options.Password);
    } catch (const EPasswordError& e) {
        return Fail(sealed, e.what(), "Nothing has been sealed.");
    }
    if (host.FPassword.Empty()) {
        return Fail(sealed, EmptyPasswordText, "Give a password; nothing has been sealed.");
    }
    if (!fromInput && NotRegularFile(plain)) {
        return ExitFailure;
    }
    if (!fromInput && !options.Raw) {
        // The session's own test, on the plain bytes before any compression.
        datafile::TContentKind kind = datafile::TContentKind::ckNeither;
        try {
            kind = datafile::FileContentKind(plain);
        } catch (const std::exception& e) {
            return Fail(plain, std::string("cannot be read: ") + e.what(), "Nothing has been sealed.");
        }
        if (kind != datafile::TContentKind::ckEditorFile) {
            return RefuseNotEditor(plain, kind);
        }
    }
    try {
        if (fromInput) {
            // Standard input is judged by its first line, before that line is
            // sealed: a refusal raises out of the sealing, which then removes
            // its temporary (ciphertext only) and leaves SEALED as it was.
            TInputStream input;
            datafile::THeaderScan scan;
            std::uint64_t seen = 0;
            bool decided = options.Raw;
            (void)datafile::EncryptStream(
                host, input, sealed, options.Compress, [&](const std::uint8_t* data, std::size_t size) {
                    seen += size;
                    if (!decided && scan.Feed(data, size)) {
                        decided = true;
                        if (!scan.NamesEditor()) {
                            throw TNotEditorContent{seen == 0 ? datafile::TContentKind::ckEmpty
                                                              : datafile::TContentKind::ckNeither};
                        }
                    }
                });
            host.EndProgress();
        } else if (!options.Compress) {
            datafile::Encrypt(host, plain, sealed);
        } else {
            // Compressed as it is sealed: no compressed plain copy is
            // written beside SEALED.
            platform::TFileStream input(plain, platform::fmOpenRead);
            (void)datafile::EncryptStream(host, input, sealed, true, {}, input.Size());
            host.EndProgress();
        }
    } catch (const datafile::EDataFileError& error) {
        return ReportDataFileError(host, error);
    } catch (const datafile::TProgramExit& exit) {
        return exit.ExitCode;
    } catch (const TNotEditorContent& refused) {
        host.EndProgress();
        return RefuseNotEditor(plain, refused.Kind);
    }
    return ExitOk;
}

// Where the unsealed bytes go: a descriptor, or nowhere.
class TPlainSink final : public datafile::TContentSink {
public:
    explicit TPlainSink(int fd = -1) : FFd(fd) {}
    void Put(const std::uint8_t* data, std::size_t size) override {
        if (FFd >= 0 && !platform::WriteAll(FFd, data, size)) {
            throw platform::EInOutError(std::string("Cannot write standard output: ") + std::strerror(errno));
        }
    }

private:
    int FFd;
};

// Reads the password for sealed into host and tells what it opens. Typed on
// the terminal, a password that opens neither text nor compressed data is
// reported and asked again, up to MaxPasswordTries; given by a file, a
// descriptor or a command it counts at once. unseal --raw takes such a
// content with a warning, --salvage as it is (its damage report follows).
// Returns the exit code when the command ends here, -1 to go on.
int ReadOpeningPassword(const TSealOptions& options, TTerminalDataFileHost& host, const std::string& sealed,
                        datafile::TContentKind& kind) {
    for (int attempt = 1;; ++attempt) {
        try {
            host.FPassword = ReadPassword(options.Password, "Password: ");
        } catch (const EPasswordError& e) {
            return Fail(sealed, e.what(), "Nothing has been written.");
        }
        kind = datafile::SealedContentKind(host, sealed);
        host.EndProgress();
        if (kind != datafile::TContentKind::ckNeither) {
            return -1;
        }
        const std::string why = datafile::NeitherContentText(options.Algorithm, options.Hash);
        if (options.Salvage) {
            return -1;
        }
        if (options.Raw) {
            Report(std::cerr, sealed,
                   "warning: the result is neither an editor file nor compressed data (" + why + ")");
            return -1;
        }
        Report(std::cerr, sealed, "does not open: " + why);
        if (!OfferAnotherTry(options.Password, attempt)) {
            return ExitFailure;
        }
    }
}

int Unseal(const TSealOptions& options) {
    const std::string& sealed = options.Files[0];
    const std::string& plain = options.Files[1];
    const bool toOutput = plain == StandardStream;
    if (toOutput && options.Salvage) {
        return UsageError("unseal", "--salvage needs a PLAIN file, not standard output");
    }
    platform::TFileLock lock;
    if (!toOutput) {
        if (RefusedTarget(plain, options.Force)) {
            return ExitFailure;
        }
        if (TakeSessionLock(lock, plain)) {
            return ExitFailure;
        }
    }
    if (ReportUnreadable(sealed)) {
        return ExitFailure;
    }
    TTerminalDataFileHost host(options.Quiet);
    host.FName = plain;
    host.FSubject = sealed;
    host.FAlgorithm = options.Algorithm;
    host.FHash = options.Hash;
    host.FStep = "Unsealing..";
    if (!toOutput) {
        if (LeftOverAt({datafile::UnsealingTempName(plain)})) {
            return ExitFailure;
        }
    }
    try {
        datafile::TContentKind kind = datafile::TContentKind::ckNeither;
        if (const int code = ReadOpeningPassword(options, host, sealed, kind); code >= 0) {
            return code;
        }
        if (toOutput) {
            // Nothing plain is written to disk: deciphered and decompressed
            // piece by piece straight to standard output.
            TPlainSink sink(STDOUT_FILENO);
            (void)datafile::UnsealInto(host, sealed, options.Raw, sink);
            host.EndProgress();
            return ExitOk;
        }
        // Deciphered and decompressed as it streams into one owner-only
        // temporary beside PLAIN, renamed over it (an old PLAIN with --force)
        // only once whole: a failure or a signal part way wipes it and leaves
        // no partial plain file.
        const datafile::TUnsealMode mode = options.Raw       ? datafile::TUnsealMode::umRaw
                                           : options.Salvage ? datafile::TUnsealMode::umSalvage
                                                             : datafile::TUnsealMode::umInflate;
        const datafile::TUnsealedFile unsealed = datafile::UnsealToFile(host, sealed, plain, mode);
        host.EndProgress();
        if (options.Salvage) {
            return SalvageReport(host, unsealed, plain);
        }
    } catch (const datafile::EDataFileError& error) {
        return ReportDataFileError(host, error);
    } catch (const datafile::TProgramExit& exit) {
        return exit.ExitCode;
    }
    return ExitOk;
}

int Check(const TSealOptions& options) {
    if (ReportUnreadable(options.Files[0])) {
        return ExitFailure;
    }
    TTerminalDataFileHost host(options.Quiet);
    host.FName = options.Files[0];
    host.FAlgorithm = options.Algorithm;
    host.FHash = options.Hash;
    host.FStep = "Checking..";
    try {
        datafile::TContentKind kind = datafile::TContentKind::ckNeither;
        if (const int code = ReadOpeningPassword(options, host, options.Files[0], kind); code >= 0) {
            return code;
        }
        if (kind == datafile::TContentKind::ckEmpty) {
            return Fail(options.Files[0],
                        "the content is empty: any password opens it, and a session has nothing to edit",
                        "Seal an editor file into it (quillock-cli seal --force PLAIN SEALED).");
        }
        if (kind == datafile::TContentKind::ckEditorFile) {
            std::cout << "opens: plain editor content\n";
            return ExitOk;
        }
        TPlainSink nowhere;
        const datafile::TUnsealed content = datafile::UnsealInto(host, options.Files[0], false, nowhere);
        host.EndProgress();
        std::cout << "opens: compressed content, " << content.Bytes << " bytes\n";
    } catch (const datafile::EDataFileError& error) {
        return ReportDataFileError(host, error);
    } catch (const datafile::TProgramExit& exit) {
        return exit.ExitCode;
    }
    return ExitOk;
}

// Parses a command's arguments; the return is the exit code when the command
// ends here (help, a usage error), or -1 to go on.
int Parse(std::string_view command, int argc, char** argv, std::size_t files, TSealOptions& options) {
    if (const std::optional<int> end =
            ParseOrEnd(command, argc, argv, options.Files,
                       [&](TOptionId id, std::string_view value) { return TakeOption(id, value, options); })) {
        return *end;
    }
    if (options.Files.size() != files) {
        return UsageError(command, files == 1 ? "expects one data file" : "expects two files");
    }
    if (options.Raw && options.Salvage) {
        return UsageError(command, "--raw and --salvage exclude each other");
    }
    if (files == 2 && options.Files[0] == StandardStream && options.Files[1] == StandardStream) {
        return UsageError(command, "only one of the two files can be '-'");
    }
    if (files == 2 && SameFile(options.Files[0], options.Files[1])) {
        return UsageError(command, command == "seal" ? "PLAIN and SEALED are the same file"
                                                     : "SEALED and PLAIN are the same file");
    }
    return -1;
}

// A command of this file: its name, how many files it takes, which of them
// is the data file, what it says when that is '-' (empty: '-' is left to the
// command) and what it does.
struct TSealCommand {
    std::string_view Name;
    std::size_t Files;
    std::size_t Sealed;
    std::string_view SealedIsAStream;
    int (*Run)(const TSealOptions& options);
};

int ParseAndRun(const TSealCommand& command, int argc, char** argv) {
    TSealOptions options;
    if (const int code = Parse(command.Name, argc, argv, command.Files, options); code >= 0) {
        return code;
    }
    if (!command.SealedIsAStream.empty() && options.Files[command.Sealed] == StandardStream) {
        return UsageError(command.Name, command.SealedIsAStream);
    }
    return command.Run(options);
}

} // namespace

int RunSeal(int argc, char** argv) {
    return ParseAndRun({"seal", 2, 1, "SEALED must be a file ('-' is standard input for PLAIN)", Seal}, argc, argv);
}

int RunUnseal(int argc, char** argv) {
    return ParseAndRun({"unseal", 2, 0, "SEALED must be a file ('-' is standard output for PLAIN)", Unseal}, argc,
                       argv);
}

int RunCheck(int argc, char** argv) {
    return ParseAndRun({"check", 1, 0, {}, Check}, argc, argv);
}

} // namespace quillock::cli
