// Overwriting secrets in memory so that the compiler cannot drop the stores.
#pragma once

#include <cstddef>
#include <string>

namespace quillock::platform {

// Fills size bytes at data with fill. The stores are kept even when the memory
// is never read again (the usual fate of a wiped key schedule).
void SecureFill(void* data, std::size_t size, unsigned char fill) noexcept;

inline void SecureZero(void* data, std::size_t size) noexcept {
    SecureFill(data, size, 0x00);
}

// Overwrites the characters of text with zero bytes, then empties it.
void SecureClear(std::string& text) noexcept;

} // namespace quillock::platform
