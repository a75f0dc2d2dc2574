// CRC-32 on the processor's own instructions (internal to the data-file layer):
// carry-less multiplication on x86 (CRCClmul.cpp), the CRC32 instructions on
// 64-bit Arm (CRCArmv8.cpp); other processor families have none here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillock::datafile::hw {

// The instructions' name ("carry-less multiplication", "ARMv8 CRC32
// instructions"), or nullptr where this build has none for its processor family.
extern const char* const Name;

// True when this processor has them (the carry-less multiply and SSE4.1;
// HWCAP_CRC32).
[[nodiscard]] bool Supported() noexcept;

// Runs len bytes through the running checksum crc (the same state as
// UpdateCRC32); len must be at least 64. Returns the checksum after the bytes
// it consumed (the last whole 16 bytes by folding, all of them on Arm) and
// sets done to their count: the caller finishes the rest. Only when
// Supported() is true.
[[nodiscard]] std::uint32_t Fold(std::uint32_t crc, const std::uint8_t* data, std::size_t len,
                                 std::size_t& done) noexcept;

} // namespace quillock::datafile::hw
