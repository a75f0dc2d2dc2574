// CRC-32 as used by zlib and Ethernet (reflected polynomial 0xEDB88320).
#pragma once

#include "platform/Files.h"
#include "platform/Progress.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quillock::datafile {

extern const std::array<std::uint32_t, 256> CRC32Table;

// Runs len bytes of buffer through the running checksum crc, one byte at a time.
[[nodiscard]] std::uint32_t UpdateCRC32(std::uint32_t crc, const void* buffer, std::size_t len) noexcept;

// The same checksum as UpdateCRC32, computed many bytes at a time: by the
// processor's instructions where it has them (and they are allowed: carry-less
// multiplication on x86, the CRC32 instructions on 64-bit Arm), otherwise by
// eight slicing tables.
[[nodiscard]] std::uint32_t UpdateCRC32Fast(std::uint32_t crc, const void* buffer, std::size_t len) noexcept;
// The slicing tables alone, eight bytes per step; on any processor.
[[nodiscard]] std::uint32_t UpdateCRC32Slicing(std::uint32_t crc, const void* buffer, std::size_t len) noexcept;

// True when this processor has those instructions.
[[nodiscard]] bool CRC32AccelerationAvailable() noexcept;
// Their name ("carry-less multiplication", "ARMv8 CRC32 instructions"), or
// nullptr where this build has none for its processor family.
[[nodiscard]] const char* CRC32AccelerationName() noexcept;
// Process-wide: whether UpdateCRC32Fast may use those instructions. Allowed by
// default, unless the environment variable QUILLOCK_PORTABLE_CRYPTO is set when
// first asked. Returns the previous choice.
bool SetCRC32Acceleration(bool allowed) noexcept;

// The CRC-32 of the whole file into crc; true when the file was read. crc is
// written only when the file was read and is not empty. The file is read in
// page-aligned pieces, so memory use does not grow with it.
// Progress reports the bytes read, from 0.
bool FileCRC32(const platform::TAtPath& path, std::uint32_t& crc, const platform::TProgressFn& progress = {});

} // namespace quillock::datafile
