// CRC-32 by the ARMv8 CRC32 instructions, whose polynomial is zlib's
// (reflected 0xEDB88320): eight bytes per instruction. Only this function is
// compiled for them, so the program still starts on processors without them;
// the choice is made from the kernel's HWCAP_CRC32.
#include "datafile/CRCInstructions.h"

#if defined(__aarch64__)

#include <arm_acle.h>
#include <asm/hwcap.h>
#include <bit>
#include <cstring>
#include <sys/auxv.h>

namespace quillock::datafile::hw {

static_assert(std::endian::native == std::endian::little, "the words are taken as loaded");

const char* const Name = "ARMv8 CRC32 instructions";

bool Supported() noexcept {
    return (getauxval(AT_HWCAP) & HWCAP_CRC32) != 0;
}

__attribute__((target("+crc"))) std::uint32_t Fold(std::uint32_t crc, const std::uint8_t* data, std::size_t len,
                                                   std::size_t& done) noexcept {
    const std::uint8_t* const start = data;
    // Single bytes up to an 8-byte boundary, so the words are aligned loads.
    for (; len > 0 && (reinterpret_cast<std::uintptr_t>(data) & 7) != 0; --len, ++data) {
        crc = __crc32b(crc, *data);
    }
    // The instruction takes the word's first byte from its low end, as this
    // little-endian target loads it.
    for (; len >= 8; len -= 8, data += 8) {
        std::uint64_t word;
        std::memcpy(&word, data, sizeof word);
        crc = __crc32d(crc, word);
    }
    for (; len > 0; --len, ++data) {
        crc = __crc32b(crc, *data);
    }
    done = static_cast<std::size_t>(data - start);
    return crc;
}

} // namespace quillock::datafile::hw

#endif
