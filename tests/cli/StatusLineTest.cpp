// The status line on a terminal whose output a signal cut short: what
// follows is still shown.
#include "cli/StatusLine.h"
#include "platform/Signals.h"
#include "tests/support/StoppedTerminal.h"
#include "tests/support/TempFolder.h"

namespace quillock::testing {
namespace {

TEST(StatusLine, AStatusCutShortBySignalLeavesTheNextOnesShown) {
    if (tests::UnderEmulation()) {
        GTEST_SKIP() << "under qemu's user-mode emulation /proc/PID/syscall shows the emulator's own system "
                        "calls, so the hold at the write cannot be seen";
    }
    TStoppedOutputRun run([](int slave) {
        std::fflush(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(slave, STDERR_FILENO);
            platform::InstallSignalHandling();
            cli::TStatusLine line;
            line.Show("Decrypting.."); // held until the signal cuts it short
            line.Show("Checking CRC..");
            line.Progress(1, 2);
            line.Close();
            ::_exit(platform::PendingSignal() == SIGTERM ? 0 : 1);
        }
        return child;
    });
    ASSERT_TRUE(run.HeldIn());
    ::kill(run.Pid(), SIGTERM);
    EXPECT_EQ(run.Finish(), 0);
    EXPECT_EQ(run.Shown, "\r\nChecking CRC..\rChecking CRC.. 50%\r\n");
}

} // namespace
} // namespace quillock::testing
