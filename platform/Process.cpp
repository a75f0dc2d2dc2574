// Starting a program named by a command line and waiting for it to end.
#include "platform/Process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quillock::platform {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsExecutableFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The folder of the running program, without a trailing '/'; empty when unknown.
std::string ProgramFolder() {
    std::string buffer(4096, '\0');
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return {};
        }
        if (static_cast<std::size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<std::size_t>(length));
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    const std::size_t slash = buffer.rfind('/');
    return slash == std::string::npos ? std::string() : buffer.substr(0, slash);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return name; // an empty PATH entry stands for the current directory
    }
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

// Ignores the terminal's interrupt and quit signals while a program that has
// the terminal runs, and restores the previous handling when it goes.
class TTerminalSignalGuard {
public:
    TTerminalSignalGuard() {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        FActive = ::sigaction(SIGINT, &ignore, &FOldInterrupt) == 0;
        FActive = ::sigaction(SIGQUIT, &ignore, &FOldQuit) == 0 && FActive;
    }
    ~TTerminalSignalGuard() {
        ::sigaction(SIGINT, &FOldInterrupt, nullptr);
        ::sigaction(SIGQUIT, &FOldQuit, nullptr);
    }
    TTerminalSignalGuard(const TTerminalSignalGuard&) = delete;
    TTerminalSignalGuard& operator=(const TTerminalSignalGuard&) = delete;

private:
    struct sigaction FOldInterrupt {};
    struct sigaction FOldQuit {};
    bool FActive = false;
};

// The spawn attributes and file actions, released on every path.
class TSpawnSetup {
public:
    TSpawnSetup() {
        FAttributesReady = ::posix_spawnattr_init(&Attributes) == 0;
        FActionsReady = ::posix_spawn_file_actions_init(&Actions) == 0;
    }
    ~TSpawnSetup() {
        if (FActionsReady) {
            ::posix_spawn_file_actions_destroy(&Actions);
        }
        if (FAttributesReady) {
            ::posix_spawnattr_destroy(&Attributes);
        }
    }
    TSpawnSetup(const TSpawnSetup&) = delete;
    TSpawnSetup& operator=(const TSpawnSetup&) = delete;

    // The child gets the default handling of the signals ignored here
    // (SIGPIPE by the whole program, see InstallSignalHandling), an
    // empty signal mask and only the three standard descriptors.
    [[nodiscard]] bool Prepare() {
        if (!FAttributesReady || !FActionsReady) {
            return false;
        }
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGINT);
        sigaddset(&defaults, SIGQUIT);
        sigaddset(&defaults, SIGPIPE);
        sigset_t mask;
        sigemptyset(&mask);
        return ::posix_spawnattr_setsigdefault(&Attributes, &defaults) == 0 &&
               ::posix_spawnattr_setsigmask(&Attributes, &mask) == 0 &&
               ::posix_spawnattr_setflags(&Attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK) == 0 &&
               ::posix_spawn_file_actions_addclosefrom_np(&Actions, 3) == 0;
    }

    posix_spawnattr_t Attributes{};
    posix_spawn_file_actions_t Actions{};

private:
    bool FAttributesReady = false;
    bool FActionsReady = false;
};

} // namespace

std::vector<std::string> SplitArguments(std::string_view text) {
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (IsBlank(c) && !quoted) {
            if (inArgument) {
                arguments.push_back(std::move(current));
                current.clear();
                inArgument = false;
            }
            ++i;
        } else if (c == '\\') {
            std::size_t end = i;
            while (end < text.size() && text[end] == '\\') {
                ++end;
            }
            const std::size_t count = end - i;
            inArgument = true;
            if (end < text.size() && text[end] == '"') {
                current.append(count / 2, '\\');
                if (count % 2 == 1) {
                    current.push_back('"');
                    i = end + 1;
                } else {
                    i = end; // the quote keeps its meaning
                }
            } else {
                current.append(count, '\\');
                i = end;
            }
        } else if (c == '"') {
            inArgument = true;
            if (quoted && i + 1 < text.size() && text[i + 1] == '"') {
                current.push_back('"');
                i += 2;
            } else {
                quoted = !quoted;
                ++i;
            }
        } else {
            current.push_back(c);
            inArgument = true;
            ++i;
        }
    }
    if (inArgument) {
        arguments.push_back(std::move(current));
    }
    return arguments;
}

std::string QuoteArgument(std::string_view argument) {
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted.push_back(c);
    }
    quoted.append(backslashes * 2, '\\');
    quoted.push_back('"');
    return quoted;
}

std::optional<std::string> FindExecutable(const std::string& name) {
    if (name.empty() || name.size() > MaxExecutablePathLength) {
        return std::nullopt;
    }
    if (name.find('/') != std::string::npos) {
        if (IsExecutableFile(name)) {
            return name;
        }
        return std::nullopt;
    }
    const std::string folder = ProgramFolder();
    if (!folder.empty()) {
        const std::string beside = JoinPath(folder, name);
        if (IsExecutableFile(beside)) {
            return beside;
        }
    }
    const char* path = std::getenv("PATH");
    const std::string_view folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    std::size_t start = 0;
    for (;;) {
        const std::size_t colon = folders.find(':', start);
        const std::string entry(folders.substr(start, colon == std::string_view::npos ? colon : colon - start));
        const std::string candidate = JoinPath(entry, name);
        if (IsExecutableFile(candidate)) {
            return candidate;
        }
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        start = colon + 1;
    }
}

std::optional<TCommandLine> ParseCommandLine(std::string_view commandLine) {
    std::size_t begin = 0;
    while (begin < commandLine.size() && IsBlank(commandLine[begin])) {
        ++begin;
    }
    const std::string_view line = commandLine.substr(begin);
    if (line.empty()) {
        return std::nullopt;
    }
    if (line.front() == '"') {
        const std::size_t close = line.find('"', 1);
        const std::string name(line.substr(1, close == std::string_view::npos ? close : close - 1));
        std::optional<std::string> executable = FindExecutable(name);
        if (!executable) {
            return std::nullopt;
        }
        const std::string_view rest = close == std::string_view::npos ? std::string_view() : line.substr(close + 1);
        return TCommandLine{std::move(*executable), SplitArguments(rest)};
    }
    // An unquoted path with blanks: the whole text up to the first quoted
    // argument is tried first, then shorter prefixes ending before a blank,
    // longest first, so that a program planted at a shorter prefix (a
    // "/opt/My" beside "/opt/My Editor") never wins over the one meant.
    const std::size_t quote = line.find('"');
    const std::string_view head = line.substr(0, quote);
    if (head.size() > MaxExecutablePathLength) {
        return std::nullopt;
    }
    std::size_t tried = 0;
    for (std::size_t end = head.size(); end > 0 && tried < MaxPrefixesTried; --end) {
        if (end < head.size() && !IsBlank(head[end])) {
            continue;
        }
        if (IsBlank(head[end - 1])) {
            continue; // the same prefix without its trailing blanks comes later
        }
        ++tried;
        std::optional<std::string> executable = FindExecutable(std::string(head.substr(0, end)));
        if (executable) {
            return TCommandLine{std::move(*executable), SplitArguments(line.substr(end))};
        }
    }
    return std::nullopt;
}

int RunAndWait(std::string_view commandLine, const std::function<void()>& waitStep) {
    const std::optional<TCommandLine> parsed = ParseCommandLine(commandLine);
    if (!parsed) {
        return -1;
    }
    std::vector<char*> argv;
    argv.reserve(parsed->Arguments.size() + 2);
    argv.push_back(const_cast<char*>(parsed->Executable.c_str()));
    for (const std::string& argument : parsed->Arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    TSpawnSetup setup;
    if (!setup.Prepare()) {
        return -1;
    }
    const TTerminalSignalGuard signals;
    pid_t child = 0;
    if (::posix_spawn(&child, parsed->Executable.c_str(), &setup.Actions, &setup.Attributes, argv.data(), environ) !=
        0) {
        return -1;
    }
    int status = 0;
    for (;;) {
        const pid_t ended = ::waitpid(child, &status, waitStep ? WNOHANG : 0);
        if (ended == child) {
            break;
        }
        if (ended == 0) {
            waitStep();
            continue;
        }
        if (errno != EINTR) {
            return 0; // the child is gone, but its status was taken elsewhere
        }
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : 0;
}

} // namespace quillock::platform
