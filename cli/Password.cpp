// Reading a password from the terminal, a file or a descriptor, as
// Windows-1252 bytes.
#include "cli/Password.h"

#include "platform/FileHandle.h"
#include "platform/Text.h"
#include "platform/Wipe.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <unistd.h>

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
    for (;;) {
        char c = 0;
        const ssize_t got = ::read(fd, &c, 1);
        if (got < 0 && errno == EINTR) {
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

std::string ToCp1252(const std::string& utf8) {
    std::optional<std::string> bytes = platform::Utf8ToCp1252(utf8);
    if (!bytes) {
        throw EPasswordError("the password holds a character that has no Windows-1252 byte (or is not UTF-8 text); "
                             "such a password cannot be typed in the window either");
    }
    return std::move(*bytes);
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
    if (option != "--password-file" && option != "--password-fd") {
        return false;
    }
    if (!source.File.empty() || source.Fd >= 0) {
        throw EPasswordError("give only one of --password-file and --password-fd");
    }
    if (index + 1 >= args.size()) {
        throw EPasswordError(std::string(option) + " needs a value");
    }
    const std::string_view value = args[++index];
    if (option == "--password-file") {
        if (value.empty()) {
            throw EPasswordError("--password-file needs a file name");
        }
        source.File = value;
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

std::string AskTerminalPassword(std::string_view prompt) {
    const TFd tty(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (tty.Get() < 0) {
        throw EPasswordError("no terminal to ask the password on; use --password-file FILE or --password-fd N");
    }
    (void)platform::WriteAll(tty.Get(), prompt.data(), prompt.size());
    TSecret line;
    {
        const TEchoGuard guard(tty.Get());
        ReadLine(tty.Get(), line.Text, "the terminal");
    }
    (void)platform::WriteAll(tty.Get(), "\n", 1);
    return ToCp1252(line.Text);
}

std::string ReadPassword(const TPasswordSource& source, std::string_view prompt) {
    TSecret line;
    if (!source.File.empty()) {
        const TFd file(::open(source.File.c_str(), O_RDONLY | O_CLOEXEC));
        if (file.Get() < 0) {
            throw EPasswordError("cannot open the password file " + source.File + ": " + std::strerror(errno));
        }
        ReadLine(file.Get(), line.Text, source.File);
    } else if (source.Fd >= 0) {
        ReadLine(source.Fd, line.Text, "descriptor " + std::to_string(source.Fd));
    } else {
        return AskTerminalPassword(prompt);
    }
    return ToCp1252(line.Text);
}

std::string ReadNewPassword(const TPasswordSource& source) {
    if (!source.File.empty() || source.Fd >= 0) {
        return ReadPassword(source, {});
    }
    TSecret first;
    first.Text = AskTerminalPassword("New password: ");
    TSecret second;
    second.Text = AskTerminalPassword("New password again: ");
    if (first.Text != second.Text) {
        throw EPasswordError("the two passwords are not equal");
    }
    std::string result = first.Text;
    return result;
}

} // namespace quillock::cli
