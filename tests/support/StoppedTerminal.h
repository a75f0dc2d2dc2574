// A process whose status lines go to a pseudo-terminal that is told to stop
// its output (Ctrl-S) before the process starts: its first write there holds
// it until the output goes on (Ctrl-Q), so that a signal comes exactly at that
// step. The output can also run until a text is shown and stop again, to hold
// the process at the write after it.
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <poll.h>
#include <pty.h>
#include <sstream>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillock::testing {

class TStoppedOutputRun {
public:
    // start forks the process with its standard error on the terminal's
    // other end (the descriptor it is given) and returns its id.
    explicit TStoppedOutputRun(const std::function<pid_t(int slave)>& start) {
        EXPECT_EQ(::openpty(&FMaster, &FSlave, nullptr, nullptr, nullptr), 0);
        StopOutput();
        // The process inherits only the terminal's other end.
        EXPECT_EQ(::fcntl(FMaster, F_SETFD, FD_CLOEXEC), 0);
        EXPECT_EQ(::fcntl(FSlave, F_SETFD, FD_CLOEXEC), 0);
        FChild = start(FSlave);
    }
    ~TStoppedOutputRun() {
        if (FChild > 0 && !FEnded) {
            ::kill(FChild, SIGKILL);
            ::waitpid(FChild, nullptr, 0);
        }
        ::close(FSlave);
        ::close(FMaster);
    }
    TStoppedOutputRun(const TStoppedOutputRun&) = delete;
    TStoppedOutputRun& operator=(const TStoppedOutputRun&) = delete;

    [[nodiscard]] pid_t Pid() const noexcept { return FChild; }

    // Waits until the process is held writing to the terminal, or in the
    // system call named (a read of standard input); false when it ended first,
    // or, as a failure, when it is not held there within two minutes.
    bool HeldIn(long call = SYS_write, int fd = STDERR_FILENO) {
        const std::string wanted = std::to_string(call) + " 0x" + std::to_string(fd) + " ";
        for (int look = 0;; ++look) {
            if (look == 60000) {
                ADD_FAILURE() << "the process was not held in system call " << call << " within two minutes";
                return false;
            }
            std::string line;
            std::getline(std::ifstream("/proc/" + std::to_string(FChild) + "/syscall"), line);
            if (line.starts_with(wanted)) {
                return true;
            }
            if (::waitpid(FChild, &FStatus, WNOHANG) == FChild) {
                FEnded = true;
                return false;
            }
            ::usleep(2000);
        }
    }

    // Lets the output go on until text is shown, stops it again and waits
    // until the process is held at its next write there; false when it ended
    // first.
    bool RunUntil(const std::string& text) {
        EXPECT_EQ(::write(FMaster, "\x11", 1), 1);
        while (Shown.find(text) == std::string::npos) {
            if (!ReadSome(100) && (FEnded || ::waitpid(FChild, &FStatus, WNOHANG) == FChild)) {
                // What it wrote last may reach this end only after its end.
                FEnded = true;
                while (ReadSome(100)) {
                }
                return false;
            }
        }
        StopOutput();
        const bool held = HeldIn();
        while (ReadSome(0)) {
        }
        return held;
    }

    // The bytes of the write the process is held in (see HeldIn).
    [[nodiscard]] std::string Pending() const {
        std::string line;
        std::getline(std::ifstream("/proc/" + std::to_string(FChild) + "/syscall"), line);
        std::istringstream fields(line);
        long call = 0;
        unsigned long fd = 0;
        unsigned long address = 0;
        unsigned long count = 0;
        fields >> call >> std::hex >> fd >> address >> count;
        std::string bytes(call == SYS_write ? count : 0, '\0');
        const int memory = ::open(("/proc/" + std::to_string(FChild) + "/mem").c_str(), O_RDONLY | O_CLOEXEC);
        const ssize_t got = ::pread(memory, bytes.data(), bytes.size(), static_cast<off_t>(address));
        ::close(memory);
        bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
        return bytes;
    }

    // Lets the output go on and waits for the end: the exit code (or
    // -signal), and what the terminal showed in Shown.
    int Finish() {
        EXPECT_EQ(::write(FMaster, "\x11", 1), 1);
        while (ReadSome(100) || (!FEnded && ::waitpid(FChild, &FStatus, WNOHANG) != FChild)) {
        }
        FEnded = true;
        return WIFEXITED(FStatus) ? WEXITSTATUS(FStatus) : -WTERMSIG(FStatus);
    }

    std::string Shown; // what the terminal showed so far

private:
    // Ctrl-S. The terminal takes it a moment later (its input is worked
    // through apart from the writer); once it has, its end reports no room
    // for output. Without this wait a loaded machine let the process run
    // past the write it was to be held at.
    void StopOutput() {
        EXPECT_EQ(::write(FMaster, "\x13", 1), 1);
        bool stopped = false;
        for (int look = 0; look < 5000 && !stopped; ++look) {
            pollfd room{FSlave, POLLOUT, 0};
            stopped = ::poll(&room, 1, 0) == 0;
            if (!stopped) {
                ::usleep(1000);
            }
        }
        EXPECT_TRUE(stopped) << "the terminal never stopped its output";
    }

    // Adds what the terminal has to show, waiting up to timeout ms for it;
    // false when there was nothing.
    bool ReadSome(int timeout) {
        pollfd ready{FMaster, POLLIN, 0};
        char buffer[4096];
        const ssize_t got = ::poll(&ready, 1, timeout) > 0 ? ::read(FMaster, buffer, sizeof buffer) : 0;
        if (got > 0) {
            Shown.append(buffer, static_cast<std::size_t>(got));
        }
        return got > 0;
    }

    int FMaster = -1;
    int FSlave = -1;
    pid_t FChild = -1;
    int FStatus = 0;
    bool FEnded = false;
};

} // namespace quillock::testing
