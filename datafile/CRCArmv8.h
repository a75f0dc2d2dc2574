// CRC-32 on the ARMv8 CRC32 instructions (internal to the data-file layer; 64-bit Arm only).
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillock::datafile::armv8 {

// True when this processor has the CRC32 instructions (HWCAP_CRC32).
[[nodiscard]] bool Supported() noexcept;

// The same contract as clmul::Fold: runs len bytes through the running
// checksum crc (the state of UpdateCRC32) and sets done to the count of bytes
// consumed, here all of them. Only when Supported() is true.
[[nodiscard]] std::uint32_t Fold(std::uint32_t crc, const std::uint8_t* data, std::size_t len,
                                 std::size_t& done) noexcept;

} // namespace quillock::datafile::armv8
