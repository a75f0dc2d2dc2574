// Keeping the process's secrets out of core files and away from debuggers of
// the same user.
#pragma once

namespace quillock::platform {

// Makes the process non-dumpable (no core file, no ptrace attach and no reading
// of its memory through /proc by other processes of the same user) and sets
// its core-file size limit to zero, which the programs it starts inherit.
// Called first thing in main, before any password or plain data is in memory.
// Returns false when a step was refused; the program carries on either way.
bool DisableCoreDumps() noexcept;

} // namespace quillock::platform
