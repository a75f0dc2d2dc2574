// Tests of the CLI's password input: options, files, descriptors, the
// Windows-1252 conversion and the echo guard on a pseudo-terminal.
#include "cli/Password.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace quillock::cli {
namespace {

std::string TempFile(const std::string& content) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quillock-password-XXXXXX").string();
    const int fd = ::mkstemp(pattern.data());
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
    ::close(fd);
    return pattern;
}

TEST(Password, FirstLineOfAFileWithoutItsLineEnding) {
    for (const std::string& content :
         {std::string("secret\nsecond line\n"), std::string("secret\r\n"), std::string("secret")}) {
        const std::string file = TempFile(content);
        TPasswordSource source;
        source.File = file;
        EXPECT_EQ(ReadPassword(source, "unused").View(), "secret");
        std::filesystem::remove(file);
    }
}

TEST(Password, Utf8IsConvertedToWindows1252AndUnmappableCharactersAreRefused) {
    const std::string file = TempFile("Gr\xC3\xBCn 3\xE2\x82\xAC\n"); // "Grün 3€"
    TPasswordSource source;
    source.File = file;
    EXPECT_EQ(ReadPassword(source, "").View(), "Gr\xFCn 3\x80");
    std::filesystem::remove(file);

    const std::string omega = TempFile("\xCE\xA9mega\n"); // Greek capital omega
    source.File = omega;
    EXPECT_THROW((void)ReadPassword(source, ""), EPasswordError);
    std::filesystem::remove(omega);
}

TEST(Password, FromADescriptorOnlyTheFirstLineIsConsumed) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const std::string data = "one\ntwo\n";
    ASSERT_EQ(::write(fds[1], data.data(), data.size()), static_cast<ssize_t>(data.size()));
    ::close(fds[1]);
    TPasswordSource source;
    source.Fd = fds[0];
    EXPECT_EQ(ReadPassword(source, "").View(), "one");
    EXPECT_EQ(ReadPassword(source, "").View(), "two");
    ::close(fds[0]);
}

TEST(Password, OptionParsing) {
    char prog[] = "unseal", file[] = "--password-file", name[] = "pw.txt", fd[] = "--password-fd", three[] = "3",
         bad[] = "3x", other[] = "--raw";
    {
        char* args[] = {prog, file, name};
        TPasswordSource source;
        std::size_t index = 1;
        EXPECT_TRUE(TakePasswordOption(args, index, source));
        EXPECT_EQ(index, 2u);
        EXPECT_EQ(source.File, "pw.txt");
    }
    {
        char* args[] = {prog, fd, three, file, name};
        TPasswordSource source;
        std::size_t index = 1;
        EXPECT_TRUE(TakePasswordOption(args, index, source));
        EXPECT_EQ(source.Fd, 3);
        index = 3;
        EXPECT_THROW(TakePasswordOption(args, index, source), EPasswordError) << "only one source";
    }
    {
        char* args[] = {prog, fd, bad};
        TPasswordSource source;
        std::size_t index = 1;
        EXPECT_THROW(TakePasswordOption(args, index, source), EPasswordError);
    }
    {
        char* args[] = {prog, other, fd};
        TPasswordSource source;
        std::size_t index = 1;
        EXPECT_FALSE(TakePasswordOption(args, index, source));
        index = 2;
        EXPECT_THROW(TakePasswordOption(args, index, source), EPasswordError) << "missing value";
    }
}

// A command's process found by the pid it wrote to file; gone once it has
// ended and been reaped (by whoever is its parent then).
bool Running(const std::string& pidFile) {
    std::ifstream in(pidFile);
    pid_t pid = 0;
    in >> pid;
    if (pid <= 0) {
        return false;
    }
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    stat >> field >> field >> field; // pid, (name), state
    return stat && field != "Z";
}

void Stop(const std::string& pidFile) {
    std::ifstream in(pidFile);
    pid_t pid = 0;
    if (in >> pid && pid > 0) {
        ::kill(pid, SIGKILL);
    }
    std::filesystem::remove(pidFile);
}

TEST(PasswordCommand, TheFirstLineIsTakenWithoutWaitingForWhatTheCommandLeftRunning) {
    const std::string pidFile = TempFile("");
    TPasswordSource source;
    // A child that keeps the output open (and its error closed, so the test
    // runner does not wait for it either), and a command that never stops
    // writing: neither holds the reading up.
    source.Command = "exec 2>&-; sleep 1000 & echo $! >" + pidFile + "; echo pw";
    EXPECT_EQ(ReadPassword(source, "").View(), "pw");
    source.Command = "yes pw";
    EXPECT_EQ(ReadPassword(source, "").View(), "pw");
    Stop(pidFile);
}

TEST(PasswordCommand, OneThatDoesNotEndInTimeIsEndedWithWhatItStarted) {
    const std::string pidFile = TempFile("");
    TPasswordSource source;
    source.CommandWait = std::chrono::milliseconds(100);
    source.Command = "exec 2>&-; sleep 1000 & echo $! >" + pidFile + "; echo pw; wait";
    EXPECT_EQ(ReadPassword(source, "").View(), "pw");
    // Its whole process group was ended: the sleep it started goes too.
    for (int step = 0; step < 500 && Running(pidFile); ++step) {
        ::usleep(10'000);
    }
    EXPECT_FALSE(Running(pidFile));
    Stop(pidFile);
    // A command that fails after its line still fails.
    source.Command = "echo pw; exit 3";
    EXPECT_THROW((void)ReadPassword(source, ""), EPasswordError);
}

TEST(EchoGuard, TurnsEchoOffAndRestoresItWhenAnExceptionPasses) {
    int master = -1;
    int slave = -1;
    ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    termios mode{};
    ASSERT_EQ(::tcgetattr(slave, &mode), 0);
    mode.c_lflag |= ECHO;
    ASSERT_EQ(::tcsetattr(slave, TCSANOW, &mode), 0);
    try {
        const TEchoGuard guard(slave);
        ASSERT_EQ(::tcgetattr(slave, &mode), 0);
        EXPECT_EQ(mode.c_lflag & ECHO, 0u);
        throw std::runtime_error("interrupted");
    } catch (const std::runtime_error&) {
    }
    ASSERT_EQ(::tcgetattr(slave, &mode), 0);
    EXPECT_NE(mode.c_lflag & ECHO, 0u);
    ::close(slave);
    ::close(master);
}

} // namespace
} // namespace quillock::cli
