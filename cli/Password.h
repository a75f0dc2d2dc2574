// Reading a password for quillock-cli: from the terminal without echo, from
// the first line of a file, or from an open descriptor; never from the
// command line or the environment. The result is the Windows-1252 bytes the
// key is derived from, the same as the window hashes.
#pragma once

#include "platform/Secret.h"

#include <chrono>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include <termios.h>

namespace quillock::cli {

// A password could not be read or converted; the message says why.
class EPasswordError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What a command says of an empty password, which keys nothing.
inline constexpr std::string_view EmptyPasswordText = "the password is empty";

// How long a password command may go on after its first line was read and
// its output closed; then its process group is ended.
inline constexpr std::chrono::seconds PasswordCommandWait{30};

// Where the password comes from. All empty: the terminal.
struct TPasswordSource {
    std::string File;    // --password-file FILE: its first line, without the line ending
    int Fd = -1;         // --password-fd N: the first line read from descriptor N
    std::string Command; // --password-command CMD: the first line CMD (run by sh -c) prints
    // The password command's time after its first line (shorter in tests).
    std::chrono::milliseconds CommandWait = PasswordCommandWait;

    [[nodiscard]] bool FromTerminal() const { return File.empty() && Fd < 0 && Command.empty(); }
};

// How often a password typed on the terminal may turn out wrong before a
// command gives up (check, unseal, edit).
inline constexpr int MaxPasswordTries = 3;

// After a password that did not open the file (reported already): prints
// what to do next and returns whether another may be typed, which is only
// when it came from the terminal and fewer than MaxPasswordTries were tried.
[[nodiscard]] bool OfferAnotherTry(const TPasswordSource& source, int attempt);

// The names of the password options, for the commands' option tables.
inline constexpr const char* PasswordOptionNames[] = {"password-file", "password-fd", "password-command"};

// Takes one password option ("--password-file", "--password-fd" or
// "--password-command") and its value into source; false for any other
// option. Raises EPasswordError on a bad value or when a source was already
// given.
bool TakePasswordOption(std::string_view option, std::string_view value, TPasswordSource& source);

// For a command's option handler: takes the password option named
// PasswordOptionNames[index] and its value into source; returns what is
// wrong with them, empty when they were taken.
[[nodiscard]] std::string TakePasswordOptionAt(std::size_t index, std::string_view value, TPasswordSource& source);

// When args[index] is "--password-file" or "--password-fd", takes it and its
// value into source, moves index to the value and returns true; false for any
// other argument. Raises EPasswordError on a missing or bad value or when a
// source was already given.
bool TakePasswordOption(std::span<char* const> args, std::size_t& index, TPasswordSource& source);

// The password from source. On the terminal the prompt is shown and the
// answer is not echoed. A password file that others may read, or that belongs
// to someone else, is still read, with a warning line on stderr. A password
// command runs in a process group of its own, which has the terminal while
// the first line is awaited; once that line is read its output is closed
// (a command that goes on writing ends by SIGPIPE, which counts as done), and
// it gets source.CommandWait to end: then its group is ended, with a warning
// line, and the line read is the password. A command that cannot be run,
// fails or prints nothing is an error. Raises
// EPasswordError when there is nothing to read from or the text has a
// character without a Windows-1252 byte.
[[nodiscard]] platform::TSecretText ReadPassword(const TPasswordSource& source, std::string_view prompt);

// New passwords shorter than this many characters get a warning line.
inline constexpr std::size_t ShortPassword = 8;

// A password to seal with: from a file or descriptor as ReadPassword; on the
// terminal it is asked twice and both answers must agree. One shorter than
// ShortPassword is taken with a warning line on stderr.
[[nodiscard]] platform::TSecretText ReadNewPassword(const TPasswordSource& source);

// One answer typed on the terminal, not echoed, as Windows-1252 bytes.
[[nodiscard]] platform::TSecretText AskTerminalPassword(std::string_view prompt);

// Turns echo off on a terminal and restores the previous mode when it goes,
// also when an exception passes.
class TEchoGuard {
public:
    explicit TEchoGuard(int fd);
    ~TEchoGuard();
    TEchoGuard(const TEchoGuard&) = delete;
    TEchoGuard& operator=(const TEchoGuard&) = delete;

private:
    int FFd;
    termios FOld{};
    bool FActive = false;
};

} // namespace quillock::cli
