// Turning core dumps off for the whole process.
#include "platform/Hardening.h"

#include <sys/prctl.h>
#include <sys/resource.h>

namespace quillock::platform {

bool DisableCoreDumps() noexcept {
    // Both limits to zero: a process may always lower its hard limit.
    const struct rlimit none { 0, 0 };
    const bool limited = ::setrlimit(RLIMIT_CORE, &none) == 0;
    const bool undumpable = ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0;
    return limited && undumpable;
}

} // namespace quillock::platform
