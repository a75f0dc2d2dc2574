// CRC-32 by carry-less multiplication (internal to the data-file layer).
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillock::datafile::clmul {

// True when this processor has the carry-less multiply and SSE4.1 instructions.
[[nodiscard]] bool Supported() noexcept;

// Runs len bytes through the running checksum crc (the same state as
// UpdateCRC32); len must be at least 64. Returns the checksum after the last
// whole 16 bytes and sets done to the count of bytes consumed: the caller
// finishes the rest. Only when Supported() is true.
[[nodiscard]] std::uint32_t Fold(std::uint32_t crc, const std::uint8_t* data, std::size_t len,
                                 std::size_t& done) noexcept;

} // namespace quillock::datafile::clmul
