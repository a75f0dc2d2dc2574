// The signal record: the first signal is kept, steps raise it unless a
// deferral holds, the pipe wakes an event loop, and SIGPIPE is a write error.
#include "platform/Signals.h"

#include "platform/Files.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <unistd.h>

namespace quillock::platform {
namespace {

TEST(SignalsTest, TheFirstSignalIsRecordedAndRaisedAtTheNextStepUnlessDeferred) {
    InstallSignalHandling();
    ForgetPendingSignal();
    EXPECT_NO_THROW(CheckInterrupted());
    EXPECT_EQ(SignalExitCode(), 0);
    ASSERT_EQ(::raise(SIGHUP), 0);
    // A second signal, of another kind or the same, changes nothing.
    ASSERT_EQ(::raise(SIGINT), 0);
    ASSERT_EQ(::raise(SIGHUP), 0);
    EXPECT_EQ(PendingSignal(), SIGHUP);
    EXPECT_EQ(SignalExitCode(), 128 + SIGHUP);
    struct pollfd ready {
        SignalPipe(), POLLIN, 0
    };
    EXPECT_EQ(::poll(&ready, 1, 0), 1) << "the pipe wakes an event loop";
    DrainSignalPipe();
    EXPECT_EQ(::poll(&ready, 1, 0), 0);
    {
        const TSignalDeferral outer;
        const TSignalDeferral inner;
        EXPECT_NO_THROW(CheckInterrupted());
    }
    try {
        CheckInterrupted();
        ADD_FAILURE() << "must raise";
    } catch (const EInterrupted& interrupted) {
        EXPECT_EQ(interrupted.Signal, SIGHUP);
    }
    EXPECT_EQ(SignalName(SIGQUIT), "SIGQUIT");
    ForgetPendingSignal();
    EXPECT_EQ(PendingSignal(), 0);
}

TEST(SignalsTest, AWriteToAClosedPipeFailsWithEpipe) {
    InstallSignalHandling();
    int ends[2] = {-1, -1};
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    errno = 0;
    EXPECT_EQ(::write(ends[1], "x", 1), -1);
    EXPECT_EQ(errno, EPIPE);
    ::close(ends[1]);
}

TEST(SignalsTest, ASignalDuringAWipeDoesNotCutItShort) {
    InstallSignalHandling();
    ForgetPendingSignal();
    const tests::TTempFolder folder;
    const std::string file = (folder / "diary.qlx.qlt").string();
    tests::WriteWholeFile(file, std::string(3 << 20, 'p'));
    int checks = 0;
    // The progress of a wipe is where a long step looks for signals: two
    // Ctrl-C there change nothing until the wipe is done.
    const TWipeResult wiped = WipeOwnFile(file, {}, [&](std::uint64_t, std::uint64_t) {
        ::raise(SIGINT);
        CheckInterrupted();
        ++checks;
    });
    EXPECT_EQ(wiped.State, TWipeState::Wiped);
    EXPECT_EQ(checks, 3);
    EXPECT_THROW(CheckInterrupted(), EInterrupted);
    ForgetPendingSignal();
}

} // namespace
} // namespace quillock::platform
