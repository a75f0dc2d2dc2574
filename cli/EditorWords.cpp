// Taking an editor's shell words apart with /bin/sh.
#include "cli/EditorWords.h"

#include "platform/FileHandle.h"
#include "platform/Process.h"
#include "platform/Signals.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillock::cli {

std::vector<std::string> SplitShellWords(const std::string& words) {
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        throw EEditorWords(std::string("cannot start the shell to read the editor's words: ") + std::strerror(errno));
    }
    platform::TFd readEnd(ends[0]);
    platform::TFd writeEnd(ends[1]);
    const pid_t child = ::fork();
    if (child < 0) {
        throw EEditorWords(std::string("cannot start the shell to read the editor's words: ") + std::strerror(errno));
    }
    if (child == 0) {
        platform::RestoreDefaultSignals();
        ::dup2(writeEnd.Get(), STDOUT_FILENO);
        // Each word ends with a NUL, which no word can hold.
        ::execl("/bin/sh", "sh", "-c", "eval \"set -- $1\" && printf '%s\\0' \"$@\"", "sh", words.c_str(),
                static_cast<char*>(nullptr));
        ::_exit(127);
    }
    (void)writeEnd.Close();
    std::string output;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(readEnd.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        output.append(buffer, static_cast<std::size_t>(got));
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw EEditorWords("the shell cannot read the editor's words: " + words);
    }
    std::vector<std::string> split;
    for (std::size_t at = 0; at < output.size();) {
        const std::size_t end = output.find('\0', at);
        split.push_back(output.substr(at, end - at));
        at = end == std::string::npos ? output.size() : end + 1;
    }
    if (split.empty() || split.front().empty()) {
        throw EEditorWords("the editor's words name no program: '" + words + "'");
    }
    return split;
}

std::string EditorCommandFromShellWords(const std::string& words) {
    const std::vector<std::string> split = SplitShellWords(words);
    if (split.front().find('"') != std::string::npos) {
        throw EEditorWords("an editor whose name holds a double quote cannot be started: " + split.front());
    }
    std::string command;
    for (const std::string& word : split) {
        if (!command.empty()) {
            command += ' ';
        }
        command += platform::QuoteArgument(word);
    }
    return command;
}

} // namespace quillock::cli
