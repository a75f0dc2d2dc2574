// Overwriting secrets in memory so that the compiler cannot drop the stores.
#include "platform/Wipe.h"

#include <cstring>

namespace quillock::platform {

void SecureFill(void* data, std::size_t size, unsigned char fill) noexcept {
    if (size == 0) {
        return;
    }
    std::memset(data, fill, size);
    // The empty assembly statement claims to read the memory, so the memset
    // above is not a dead store however the buffer is used afterwards.
    __asm__ __volatile__("" : : "r"(data) : "memory");
}

void SecureClear(std::string& text) noexcept {
    SecureZero(text.data(), text.size());
    text.clear();
}

} // namespace quillock::platform
