// Recording the signals that end the program, for the steps to act on.
#include "platform/Signals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace quillock::platform {
namespace {

// The signals handled, with the names the program reports them by.
struct THandled {
    int Number;
    const char* Name;
};
constexpr THandled Handled[] = {{SIGINT, "SIGINT"}, {SIGTERM, "SIGTERM"}, {SIGHUP, "SIGHUP"}, {SIGQUIT, "SIGQUIT"}};

// Written by the handler: only lock-free atomics and write(2) there.
std::atomic<int> Pending{0};
std::atomic<int> PipeWrite{-1};
std::atomic<int> PipeRead{-1};
std::atomic<int> Deferrals{0};

static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void RecordSignal(int signal) {
    const int saved = errno;
    int none = 0;
    // The first signal is the one reported; later ones (a second Ctrl-C
    // during the clean-up) change nothing.
    (void)Pending.compare_exchange_strong(none, signal);
    const int fd = PipeWrite.load();
    if (fd >= 0) {
        const char byte = 1;
        (void)!::write(fd, &byte, 1);
    }
    errno = saved;
}

} // namespace

void InstallSignalHandling() noexcept {
    if (PipeRead.load() >= 0) {
        return;
    }
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) == 0) {
        PipeRead.store(ends[0]);
        PipeWrite.store(ends[1]);
    }
    struct sigaction record {};
    record.sa_handler = &RecordSignal;
    sigemptyset(&record.sa_mask);
    for (const THandled& handled : Handled) {
        sigaddset(&record.sa_mask, handled.Number);
    }
    // No SA_RESTART: a blocking read (a prompt) returns, so that its loop
    // looks at the record.
    record.sa_flags = 0;
    for (const THandled& handled : Handled) {
        (void)::sigaction(handled.Number, &record, nullptr);
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    (void)::sigaction(SIGPIPE, &ignore, nullptr);
}

int PendingSignal() noexcept {
    return Pending.load();
}

int SignalExitCode() noexcept {
    const int signal = PendingSignal();
    return signal == 0 ? 0 : 128 + signal;
}

void CheckInterrupted() {
    const int signal = PendingSignal();
    if (signal != 0 && Deferrals.load() == 0) {
        throw EInterrupted{signal};
    }
}

ssize_t ReadByte(int fd, char& c) {
    for (;;) {
        const ssize_t got = ::read(fd, &c, 1);
        if (got >= 0 || errno != EINTR) {
            return got;
        }
        CheckInterrupted();
    }
}

TSignalDeferral::TSignalDeferral() noexcept {
    Deferrals.fetch_add(1);
}

TSignalDeferral::~TSignalDeferral() {
    Deferrals.fetch_sub(1);
}

int SignalPipe() noexcept {
    return PipeRead.load();
}

std::string SignalName(int signal) {
    for (const THandled& handled : Handled) {
        if (handled.Number == signal) {
            return handled.Name;
        }
    }
    return "signal " + std::to_string(signal);
}

void RestoreDefaultSignals() noexcept {
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    (void)::sigaction(SIGPIPE, &standard, nullptr);
}

void DrainSignalPipe() noexcept {
    char bytes[64];
    const int fd = PipeRead.load();
    while (fd >= 0 && ::read(fd, bytes, sizeof bytes) > 0) {
    }
}

void ForgetPendingSignal() noexcept {
    Pending.store(0);
    DrainSignalPipe();
}

} // namespace quillock::platform
