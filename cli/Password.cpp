// Reading a password from the terminal, a file or a descriptor, as
// Windows-1252 bytes.
#include "cli/Password.h"

#include "platform/FileHandle.h"
#include "platform/Signals.h"
#include "platform/Text.h"
#include "platform/Wipe.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace quillock::cli {
namespace {

// Far beyond any password the window accepts (255 characters).
constexpr std::size_t MaxLine = 4096;

// Wipes the text it holds when it goes.
struct TSecret {
    std::string Text;
    TSecret() = default;
    TSecret(const TSecret&) = delete;
    TSecret& operator=(const TSecret&) = delete;
    ~TSecret() { platform::SecureClear(Text); }
};

using platform::TFd;

// Reads one line byte by byte (so nothing after it is consumed), without its
// line ending ("\n" or "\r\n"), into line.
void ReadLine(int fd, std::string& line, const std::string& from) {
    // Room for the longest line at once: growing would leave copies of the
    // first characters in memory given back unwiped.
    line.reserve(MaxLine + 1);
    for (;;) {
        char c = 0;
        const ssize_t got = ::read(fd, &c, 1);
        if (got < 0 && errno == EINTR) {
            platform::CheckInterrupted();
            continue;
        }
        if (got < 0) {
            throw EPasswordError("cannot read the password from " + from + ": " + std::strerror(errno));
        }
        if (got == 0 || c == '\n') {
            break;
        }
        if (line.size() >= MaxLine) {
            throw EPasswordError("the password line from " + from + " is too long");
        }
        line.push_back(c);
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
}

platform::TSecretText ToCp1252(const std::string& utf8) {
    std::optional<std::string> bytes = platform::Utf8ToCp1252(utf8);
    if (!bytes) {
        throw EPasswordError("the password holds a character that has no Windows-1252 byte (or is not UTF-8 text); "
                             "such a password cannot be typed in the window either");
    }
    platform::TSecretText secret(*bytes);
    platform::SecureClear(*bytes);
    return secret;
}

// A password file that someone else may read, or may have written, holds a
// password that is no longer only the user's.
void WarnAboutExposure(int fd, const std::string& path) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        return;
    }
    std::string why;
    if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        why = "other users may read or change it (mode " + std::to_string((info.st_mode >> 6) & 7) +
              std::to_string((info.st_mode >> 3) & 7) + std::to_string(info.st_mode & 7) + "; chmod 600 it)";
    } else if (info.st_uid != ::geteuid()) {
        why = "it belongs to another user (uid " + std::to_string(info.st_uid) + ")";
    } else {
        return;
    }
    const std::string text = "Warning: the password file " + path + " is not private: " + why + "\n";
    (void)platform::WriteAll(STDERR_FILENO, text.data(), text.size());
}

// Runs command with sh -c, its output into a pipe, and takes the first line.
// The command keeps standard input and error, so it may ask on the terminal.
void ReadFromCommand(const std::string& command, std::string& line) {
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        throw EPasswordError(std::string("cannot run the password command: ") + std::strerror(errno));
    }
    TFd readEnd(ends[0]);
    TFd writeEnd(ends[1]);
    const pid_t child = ::fork();
    if (child < 0) {
        throw EPasswordError(std::string("cannot run the password command: ") + std::strerror(errno));
    }
    if (child == 0) {
        platform::RestoreDefaultSignals();
        ::dup2(writeEnd.Get(), STDOUT_FILENO);
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    (void)writeEnd.Close();
    std::string error;
    try {
        ReadLine(readEnd.Get(), line, "the password command");
    } catch (const EPasswordError& e) {
        error = e.what();
    }
    // The rest of the output is read and dropped, so the command is not
    // stopped by a full pipe before it ends.
    char rest[512];
    for (;;) {
        const ssize_t got = ::read(readEnd.Get(), rest, sizeof rest);
        if (got == 0 || (got < 0 && errno != EINTR)) {
            break;
        }
    }
    platform::SecureZero(rest, sizeof rest);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!error.empty()) {
        throw EPasswordError(error);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw EPasswordError("the password command failed (" +
                             (WIFEXITED(status) ? "exit code " + std::to_string(WEXITSTATUS(status))
                                                : "signal " + std::to_string(WTERMSIG(status))) +
                             "): " + command);
    }
    if (line.empty()) {
        throw EPasswordError("the password command printed no password: " + command);
    }
}

} // namespace

TEchoGuard::TEchoGuard(int fd) : FFd(fd) {
    if (::tcgetattr(fd, &FOld) != 0) {
        return; // not a terminal: nothing to hide or restore
    }
    termios quiet = FOld;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL);
    if (::tcsetattr(fd, TCSAFLUSH, &quiet) != 0) {
        throw EPasswordError(std::string("cannot turn off the terminal's echo: ") + std::strerror(errno));
    }
    FActive = true;
}

TEchoGuard::~TEchoGuard() {
    if (FActive) {
        ::tcsetattr(FFd, TCSAFLUSH, &FOld);
    }
}

bool TakePasswordOption(std::span<char* const> args, std::size_t& index, TPasswordSource& source) {
    const std::string_view option = args[index];
    if (option != "--password-file" && option != "--password-fd" && option != "--password-command") {
        return false;
    }
    if (index + 1 >= args.size()) {
        throw EPasswordError(std::string(option) + " needs a value");
    }
    const std::string_view value = args[index + 1];
    const bool taken = TakePasswordOption(option, value, source);
    ++index;
    return taken;
}

std::string TakePasswordOptionAt(std::size_t index, std::string_view value, TPasswordSource& source) {
    try {
        (void)TakePasswordOption("--" + std::string(PasswordOptionNames[index]), value, source);
    } catch (const EPasswordError& e) {
        return e.what();
    }
    return {};
}

bool TakePasswordOption(std::string_view option, std::string_view value, TPasswordSource& source) {
    if (option != "--password-file" && option != "--password-fd" && option != "--password-command") {
        return false;
    }
    if (!source.FromTerminal()) {
        throw EPasswordError("give only one of --password-file, --password-fd and --password-command");
    }
    if (option == "--password-file") {
        if (value.empty()) {
            throw EPasswordError("--password-file needs a file name");
        }
        source.File = value;
    } else if (option == "--password-command") {
        if (value.empty()) {
            throw EPasswordError("--password-command needs a command");
        }
        source.Command = value;
    } else {
        int fd = -1;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), fd);
        if (error != std::errc() || end != value.data() + value.size() || fd < 0) {
            throw EPasswordError("--password-fd needs a descriptor number, not '" + std::string(value) + "'");
        }
        source.Fd = fd;
    }
    return true;
}

bool OfferAnotherTry(const TPasswordSource& source, int attempt) {
    const bool again = source.FromTerminal() && attempt < MaxPasswordTries;
    const std::string text =
        again ? "Try again (" + std::to_string(attempt + 1) + " of " + std::to_string(MaxPasswordTries) + ").\n"
              : std::string("Give the right password, or --cipher and --hash as the file was sealed; bytes sealed "
                            "with --raw come back with unseal --raw, and a damaged file may still give part of its "
                            "text with unseal --salvage.\n");
    (void)platform::WriteAll(STDERR_FILENO, text.data(), text.size());
    return again;
}

platform::TSecretText AskTerminalPassword(std::string_view prompt) {
    const TFd tty(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (tty.Get() < 0) {
        throw EPasswordError("no terminal to ask the password on; use --password-file FILE or --password-fd N");
    }
    TSecret line;
    {
        // Echo goes off before the prompt shows, so an answer typed as soon
        // as it appears is neither echoed nor flushed away.
        const TEchoGuard guard(tty.Get());
        (void)platform::WriteAll(tty.Get(), prompt.data(), prompt.size());
        ReadLine(tty.Get(), line.Text, "the terminal");
    }
    (void)platform::WriteAll(tty.Get(), "\n", 1);
    return ToCp1252(line.Text);
}

platform::TSecretText ReadPassword(const TPasswordSource& source, std::string_view prompt) {
    TSecret line;
    if (!source.File.empty()) {
        const TFd file(::open(source.File.c_str(), O_RDONLY | O_CLOEXEC));
        if (file.Get() < 0) {
            throw EPasswordError("cannot open the password file " + source.File + ": " + std::strerror(errno));
        }
        WarnAboutExposure(file.Get(), source.File);
        ReadLine(file.Get(), line.Text, source.File);
    } else if (!source.Command.empty()) {
        ReadFromCommand(source.Command, line.Text);
    } else if (source.Fd >= 0) {
        ReadLine(source.Fd, line.Text, "descriptor " + std::to_string(source.Fd));
    } else {
        return AskTerminalPassword(prompt);
    }
    return ToCp1252(line.Text);
}

namespace {

// A short password is taken (files sealed with one must keep working), with a word about it.
platform::TSecretText WarnIfShort(platform::TSecretText password) {
    if (!password.Empty() && password.View().size() < ShortPassword) {
        const std::string text = "Warning: the new password is shorter than " + std::to_string(ShortPassword) +
                                 " characters; a longer one is far harder to guess.\n";
        (void)platform::WriteAll(STDERR_FILENO, text.data(), text.size());
    }
    return password;
}

} // namespace

platform::TSecretText ReadNewPassword(const TPasswordSource& source) {
    if (!source.FromTerminal()) {
        return WarnIfShort(ReadPassword(source, {}));
    }
    platform::TSecretText first = AskTerminalPassword("New password: ");
    const platform::TSecretText second = AskTerminalPassword("New password again: ");
    if (first != second) {
        throw EPasswordError("the two passwords are not equal");
    }
    return WarnIfShort(std::move(first));
}

} // namespace quillock::cli
