// Reading a password from the terminal, a file or a descriptor, as
// Windows-1252 bytes.
#include "cli/Password.h"

#include "platform/FileHandle.h"
#include "platform/Signals.h"
#include "platform/Text.h"
#include "platform/Wipe.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <ctime>
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
        const ssize_t got = platform::ReadByte(fd, c);
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

// Sets the terminal's foreground process group. A process that is not in
// the foreground group would be stopped by SIGTTOU for it, so the signal is
// blocked meanwhile. Async-signal-safe (a forked child calls it).
void SetForeground(int tty, pid_t group) noexcept {
    sigset_t block{};
    sigset_t old{};
    ::sigemptyset(&block);
    ::sigaddset(&block, SIGTTOU);
    ::sigprocmask(SIG_BLOCK, &block, &old);
    (void)::tcsetpgrp(tty, group);
    ::sigprocmask(SIG_SETMASK, &old, nullptr);
}

// The password command in its process group, ended (TERM, then KILL) and
// reaped when it is given up on; the terminal's foreground given back to the
// program.
class TCommandGroup {
public:
    TCommandGroup(pid_t child, int tty, pid_t foreground) : FChild(child), FTty(tty), FForeground(foreground) {}
    ~TCommandGroup() {
        TakeTerminalBack();
        if (FChild > 0) {
            End();
        }
    }
    TCommandGroup(const TCommandGroup&) = delete;
    TCommandGroup& operator=(const TCommandGroup&) = delete;

    void TakeTerminalBack() noexcept {
        if (FForeground > 0) {
            SetForeground(FTty, FForeground);
            FForeground = 0;
        }
    }

    // The command's status once it has ended within wait; nothing when it
    // is still running then.
    std::optional<int> WaitAtMost(std::chrono::milliseconds wait) {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        for (;;) {
            int status = 0;
            const pid_t done = ::waitpid(FChild, &status, WNOHANG);
            if (done == FChild) {
                FChild = -1;
                return status;
            }
            if (done < 0 && errno != EINTR) {
                FChild = -1;
                return 0; // reaped elsewhere: nothing more to learn
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return std::nullopt;
            }
            const timespec step{0, 10'000'000};
            ::nanosleep(&step, nullptr);
        }
    }

    // Ends the whole group (what the command started too) and reaps it.
    void End() noexcept {
        ::kill(-FChild, SIGTERM);
        int status = 0;
        for (int step = 0; step < 100 && ::waitpid(FChild, &status, WNOHANG) == 0; ++step) {
            const timespec pause{0, 10'000'000};
            ::nanosleep(&pause, nullptr);
        }
        ::kill(-FChild, SIGKILL);
        while (::waitpid(FChild, &status, 0) < 0 && errno == EINTR) {
        }
        FChild = -1;
    }

private:
    pid_t FChild;
    int FTty;
    pid_t FForeground;
};

// Runs command with sh -c, its output into a pipe, and takes the first line;
// see ReadPassword. The command keeps standard input and error, so it may ask
// on the terminal.
void ReadFromCommand(const TPasswordSource& source, std::string& line) {
    const std::string& command = source.Command;
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        throw EPasswordError(std::string("cannot run the password command: ") + std::strerror(errno));
    }
    TFd readEnd(ends[0]);
    TFd writeEnd(ends[1]);
    // The terminal goes to the command's group only when this program has it.
    const TFd tty(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
    const pid_t foreground = tty.Get() >= 0 && ::tcgetpgrp(tty.Get()) == ::getpgrp() ? ::getpgrp() : 0;
    const pid_t child = ::fork();
    if (child < 0) {
        throw EPasswordError(std::string("cannot run the password command: ") + std::strerror(errno));
    }
    if (child == 0) {
        ::setpgid(0, 0);
        if (foreground > 0) {
            SetForeground(tty.Get(), ::getpid());
        }
        platform::RestoreDefaultSignals();
        ::dup2(writeEnd.Get(), STDOUT_FILENO);
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    // Also here, so that the group exists whichever of the two runs first.
    (void)::setpgid(child, child);
    TCommandGroup group(child, tty.Get(), foreground);
    (void)writeEnd.Close();
    std::string error;
    try {
        ReadLine(readEnd.Get(), line, "the password command");
    } catch (const EPasswordError& e) {
        error = e.what();
    }
    // Nothing more is read: a command that goes on writing gets SIGPIPE, one
    // that left a child holding the pipe is not waited for on its account.
    (void)readEnd.Close();
    group.TakeTerminalBack();
    const std::optional<int> status = group.WaitAtMost(source.CommandWait);
    if (!status) {
        group.End();
        const std::string text =
            "Warning: the password command had not ended " +
            std::to_string(std::chrono::duration_cast<std::chrono::seconds>(source.CommandWait).count()) +
            " seconds after giving its line; it was stopped, with what it had started: " + command + "\n";
        (void)platform::WriteAll(STDERR_FILENO, text.data(), text.size());
    }
    if (!error.empty()) {
        throw EPasswordError(error);
    }
    // Ended by the pipe closed after its line (itself, or the command its
    // shell ran): it gave what was needed.
    const bool piped = status && !line.empty() &&
                       ((WIFSIGNALED(*status) && WTERMSIG(*status) == SIGPIPE) ||
                        (WIFEXITED(*status) && WEXITSTATUS(*status) == 128 + SIGPIPE));
    if (status && !piped && (!WIFEXITED(*status) || WEXITSTATUS(*status) != 0)) {
        throw EPasswordError("the password command failed (" +
                             (WIFEXITED(*status) ? "exit code " + std::to_string(WEXITSTATUS(*status))
                                                 : "signal " + std::to_string(WTERMSIG(*status))) +
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
        ReadFromCommand(source, line.Text);
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
