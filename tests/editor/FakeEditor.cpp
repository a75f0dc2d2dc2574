// A stand-in for the editor in tests: does to the file it is given what its
// arguments or the environment say, so that every path of a session can be
// driven.
//
// usage: fake-editor [ACTION...] FILE
// Actions come from FAKE_EDITOR_ACTIONS (separated by ';') first, then from
// the arguments before FILE, and run in order:
//   keep            leave the file alone
//   append=TEXT     add TEXT at the end (an absent file stays absent)
//   replace=TEXT    rewrite the file in place with TEXT
//   rename=TEXT     write TEXT to a new file beside it and rename it over FILE
//   empty           cut the file to 0 bytes
//   delete          remove the file
//   readonly        take every write permission off the file
//   mkdir=PATH      make a folder at PATH (a name the session needs later)
//   record=PATH     write every argument (FILE too), one a line, to PATH
//   copy=PATH       copy the file as it is now to PATH
//   mode=PATH       write the file's permission bits in octal to PATH
//   sleep=MS        wait MS milliseconds
//   signal=N        send signal number N to the program that started it
//   fork            the rest runs in a child; this process ends at once
//   exit=CODE       end with CODE once the actions are done
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

bool WriteFile(const std::string& path, const std::string& text, int flags) {
    const int fd = ::open(path.c_str(), flags | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    return ::close(fd) == 0 && ok;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "fake-editor: no file given\n";
        return 2;
    }
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const std::string file = arguments.back();
    std::vector<std::string> actions;
    if (const char* fromEnvironment = std::getenv("FAKE_EDITOR_ACTIONS")) {
        std::string text = fromEnvironment;
        std::size_t start = 0;
        while (start <= text.size()) {
            const std::size_t end = text.find(';', start);
            const std::string action = text.substr(start, end == std::string::npos ? end : end - start);
            if (!action.empty()) {
                actions.push_back(action);
            }
            if (end == std::string::npos) {
                break;
            }
            start = end + 1;
        }
    }
    actions.insert(actions.end(), arguments.begin(), arguments.end() - 1);

    int exitCode = 0;
    for (const std::string& action : actions) {
        const std::size_t equals = action.find('=');
        const std::string name = action.substr(0, equals);
        const std::string value = equals == std::string::npos ? std::string() : action.substr(equals + 1);
        bool ok = true;
        if (name == "keep") {
        } else if (name == "append") {
            ok = WriteFile(file, value, O_APPEND);
        } else if (name == "replace") {
            ok = WriteFile(file, value, O_TRUNC);
        } else if (name == "rename") {
            const std::string temporary = file + ".fake-editor~";
            ok = WriteFile(temporary, value, O_CREAT | O_TRUNC) && std::rename(temporary.c_str(), file.c_str()) == 0;
        } else if (name == "empty") {
            ok = ::truncate(file.c_str(), 0) == 0;
        } else if (name == "delete") {
            ok = ::unlink(file.c_str()) == 0;
        } else if (name == "readonly") {
            ok = ::chmod(file.c_str(), 0400) == 0;
        } else if (name == "mkdir") {
            ok = ::mkdir(value.c_str(), 0700) == 0;
        } else if (name == "record") {
            std::string lines;
            for (const std::string& argument : arguments) {
                lines += argument + "\n";
            }
            ok = WriteFile(value, lines, O_CREAT | O_TRUNC);
        } else if (name == "copy") {
            ok = WriteFile(value, ReadFile(file), O_CREAT | O_TRUNC);
        } else if (name == "mode") {
            struct stat info {};
            char octal[16];
            ok = ::stat(file.c_str(), &info) == 0 &&
                 std::snprintf(octal, sizeof octal, "%o\n", static_cast<unsigned>(info.st_mode & 07777)) > 0 &&
                 WriteFile(value, octal, O_CREAT | O_TRUNC);
        } else if (name == "signal") {
            ok = ::kill(::getppid(), std::atoi(value.c_str())) == 0;
        } else if (name == "sleep") {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(value.c_str())));
        } else if (name == "fork") {
            const pid_t child = ::fork();
            if (child < 0) {
                ok = false;
            } else if (child > 0) {
                return 0;
            } else {
                ::setsid();
            }
        } else if (name == "exit") {
            exitCode = std::atoi(value.c_str());
        } else {
            std::cerr << "fake-editor: unknown action '" << action << "'\n";
            return 2;
        }
        if (!ok) {
            std::cerr << "fake-editor: " << action << " failed on " << file << ": " << std::strerror(errno) << '\n';
        }
    }
    return exitCode;
}
