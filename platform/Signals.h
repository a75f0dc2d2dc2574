// Ending the program cleanly on a signal: the handler only records which
// signal came; the program looks at that record at its steps and in its long
// loops, and decides there what a clean end is (wipe, or finish first).
#pragma once

#include <sys/types.h>

#include <string>

namespace quillock::platform {

// Thrown at a step or in a long loop once a signal has come and the work in
// hand may be cut short. It deliberately does not derive from std::exception,
// so that the operations' handlers, which turn failures into reports, let it
// pass to the clean-up paths and on to the program's entry point.
struct EInterrupted {
    int Signal;
};

// Records SIGINT, SIGTERM, SIGHUP and SIGQUIT from now on, and ignores
// SIGPIPE, so that a write to a closed output fails with EPIPE like any other
// write. Blocking reads and waits return early (EINTR) when one comes. Called
// once, early in main; a second call does nothing.
void InstallSignalHandling() noexcept;

// The first of those signals that came; 0 while none has.
[[nodiscard]] int PendingSignal() noexcept;

// 128 + the pending signal, the exit code of a program it ended; 0 when none came.
[[nodiscard]] int SignalExitCode() noexcept;

// Raises EInterrupted when a signal is pending and no TSignalDeferral is alive.
void CheckInterrupted();

// Reads one byte from fd into c, reading again after an interruption once
// CheckInterrupted has let it pass: 1 for a byte, 0 at the end of the input,
// -1 on an error (errno says which).
[[nodiscard]] ssize_t ReadByte(int fd, char& c);

// While one lives, CheckInterrupted raises nothing: for work that must not be
// cut short once begun (sealing, a wipe, the session after its editor ran).
// The signal stays pending and is acted on afterwards.
class TSignalDeferral {
public:
    TSignalDeferral() noexcept;
    ~TSignalDeferral();
    TSignalDeferral(const TSignalDeferral&) = delete;
    TSignalDeferral& operator=(const TSignalDeferral&) = delete;
};

// The read end of a pipe that becomes readable when a signal comes, for an
// event loop that waits on descriptors; -1 before InstallSignalHandling.
[[nodiscard]] int SignalPipe() noexcept;

// Empties the pipe (the signal stays pending), for an event loop that has
// seen it become readable.
void DrainSignalPipe() noexcept;

// "SIGINT", "SIGTERM", ...; "signal N" for others.
[[nodiscard]] std::string SignalName(int signal);

// For a forked child about to start another program: the default handling
// of SIGPIPE again (an ignored signal stays ignored across exec).
// Async-signal-safe.
void RestoreDefaultSignals() noexcept;

// For tests: forgets the pending signal and empties the pipe.
void ForgetPendingSignal() noexcept;

} // namespace quillock::platform
