// CRC-32 as used by zlib and Ethernet (reflected polynomial 0xEDB88320).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace quillock::datafile {

extern const std::array<std::uint32_t, 256> CRC32Table;

// Runs len bytes of buffer through the running checksum crc, one byte at a time.
[[nodiscard]] std::uint32_t UpdateCRC32(std::uint32_t crc, const void* buffer, std::size_t len) noexcept;

// The CRC-32 of the whole file into crc; true when the file was read. crc is
// written only when the file was read and is not empty.
bool FileCRC32(const std::string& path, std::uint32_t& crc);

} // namespace quillock::datafile
