// Reporting how far a long step over a file has come.
#pragma once

#include <cstdint>
#include <functional>

namespace quillock::platform {

// Bytes done of the total; an empty function reports nowhere.
using TProgressFn = std::function<void(std::uint64_t done, std::uint64_t total)>;

} // namespace quillock::platform
