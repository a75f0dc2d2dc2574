// Tests of turning core dumps off, each in a forked child so the test
// process itself keeps its settings.
#include "platform/Hardening.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillock::platform {
namespace {

// Runs body in a child and returns its wait status.
template <typename TBody> int InChild(TBody body) {
    const pid_t child = ::fork();
    if (child == 0) {
        body();
        ::_exit(0);
    }
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    return status;
}

TEST(DisableCoreDumps, LeavesTheProcessUndumpableWithNoCoreLimit) {
    // The child reports each finding in its exit code: 0 when all hold.
    const int status = InChild([] {
        if (::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) != 1) {
            ::_exit(10); // a test process starts dumpable, or the check means nothing
        }
        if (!DisableCoreDumps()) {
            ::_exit(11);
        }
        if (::prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) != 0) {
            ::_exit(12);
        }
        struct rlimit limit {};
        if (::getrlimit(RLIMIT_CORE, &limit) != 0 || limit.rlim_cur != 0 || limit.rlim_max != 0) {
            ::_exit(13);
        }
        ::_exit(0);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(DisableCoreDumps, ACrashAfterwardsWritesNoCore) {
    const int status = InChild([] {
        // Allow the largest core the hard limit permits, so the check below
        // depends on the call and not on how the tests were started.
        struct rlimit limit {};
        if (::getrlimit(RLIMIT_CORE, &limit) == 0) {
            limit.rlim_cur = limit.rlim_max;
            (void)::setrlimit(RLIMIT_CORE, &limit);
        }
        (void)DisableCoreDumps();
        std::signal(SIGABRT, SIG_DFL);
        std::abort();
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
    EXPECT_FALSE(WCOREDUMP(status)) << "the kernel reports a core dump";
}

TEST(DisableCoreDumps, ProgramsStartedAfterwardsInheritTheZeroLimit) {
    const int status = InChild([] {
        (void)DisableCoreDumps();
        ::execl("/bin/sh", "sh", "-c", "test \"$(ulimit -c)\" = 0", static_cast<char*>(nullptr));
        ::_exit(127);
    });
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

} // namespace
} // namespace quillock::platform
