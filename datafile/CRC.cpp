// CRC-32 as used by zlib and Ethernet, and the checksum of a whole file.
#include "datafile/CRC.h"

#include "datafile/CRCInstructions.h"
#include "platform/AlignedBuffer.h"
#include "platform/Files.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace quillock::datafile {
namespace {

// Slicing table k maps a byte to its checksum followed by k zero bytes, so
// eight bytes are folded in with eight independent lookups. Computed when the
// program is compiled from the polynomial.
constexpr std::array<std::array<std::uint32_t, 256>, 8> SlicingTables = [] {
    std::array<std::array<std::uint32_t, 256>, 8> tables{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit) {
            c = (c & 1) != 0 ? (c >> 1) ^ 0xEDB88320 : c >> 1;
        }
        tables[0][i] = c;
    }
    for (std::size_t k = 1; k < 8; ++k) {
        for (std::size_t i = 0; i < 256; ++i) {
            const std::uint32_t previous = tables[k - 1][i];
            tables[k][i] = (previous >> 8) ^ tables[0][previous & 0xFF];
        }
    }
    return tables;
}();
// Entries of the table published with zlib and the Ethernet standard.
static_assert(SlicingTables[0][1] == 0x77073096 && SlicingTables[0][2] == 0xEE0E612C &&
              SlicingTables[0][255] == 0x2D02EF8D);

// Below this many bytes the set-up of the folding costs more than it saves.
constexpr std::size_t FoldThreshold = 128;

bool InstructionsPresent() noexcept {
    static const bool present = hw::Supported();
    return present;
}

// Eight bytes as the little-endian word the slicing tables take, on any processor.
std::uint64_t LoadLittle64(const std::uint8_t* bytes) noexcept {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    if constexpr (std::endian::native == std::endian::big) {
        word = __builtin_bswap64(word);
    }
    return word;
}

std::atomic<bool>& AccelerationSwitch() noexcept {
    static std::atomic<bool> allowed{std::getenv("QUILLOCK_PORTABLE_CRYPTO") == nullptr};
    return allowed;
}

// Pieces in which a file is checksummed, so memory use does not grow with the file.
constexpr std::size_t CrcPiece = 256 * 1024;

} // namespace

// Entry i is i run through eight steps of the reflected polynomial 0xEDB88320.
const std::array<std::uint32_t, 256> CRC32Table = SlicingTables[0];

std::uint32_t UpdateCRC32(std::uint32_t crc, const void* buffer, std::size_t len) noexcept {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    for (std::size_t i = 0; i < len; ++i) {
        crc = (crc >> 8) ^ SlicingTables[0][(crc ^ bytes[i]) & 0xFF];
    }
    return crc;
}

std::uint32_t UpdateCRC32Slicing(std::uint32_t crc, const void* buffer, std::size_t len) noexcept {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    const auto& t = SlicingTables;
    for (; len >= 8; len -= 8, bytes += 8) {
        const std::uint64_t word = LoadLittle64(bytes) ^ crc;
        crc = (t[7][word & 0xFF] ^ t[6][(word >> 8) & 0xFF]) ^ (t[5][(word >> 16) & 0xFF] ^ t[4][(word >> 24) & 0xFF]) ^
              (t[3][(word >> 32) & 0xFF] ^ t[2][(word >> 40) & 0xFF]) ^ (t[1][(word >> 48) & 0xFF] ^ t[0][word >> 56]);
    }
    return UpdateCRC32(crc, bytes, len);
}

std::uint32_t UpdateCRC32Fast(std::uint32_t crc, const void* buffer, std::size_t len) noexcept {
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    if (len >= FoldThreshold && InstructionsPresent() && AccelerationSwitch().load(std::memory_order_relaxed)) {
        std::size_t done = 0;
        crc = hw::Fold(crc, bytes, len, done);
        bytes += done;
        len -= done;
    }
    return UpdateCRC32Slicing(crc, bytes, len);
}

bool CRC32AccelerationAvailable() noexcept {
    return InstructionsPresent();
}

const char* CRC32AccelerationName() noexcept {
    return hw::Name;
}

bool SetCRC32Acceleration(bool allowed) noexcept {
    return AccelerationSwitch().exchange(allowed);
}

bool FileCRC32(const platform::TAtPath& path, std::uint32_t& crc, const platform::TProgressFn& progress) {
    // A file without any write bit is read-only and is not opened: the
    // checksum is taken only of a file that could also be opened for writing.
    struct stat info {};
    if (!platform::StatName(path, info, true) || !S_ISREG(info.st_mode) || platform::IsReadOnly(info)) {
        return false;
    }
    // One page-aligned piece of the file at a time; no memory, no checksum.
    std::optional<platform::TAlignedBuffer> buffer;
    try {
        buffer.emplace(CrcPiece);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const int fd = ::openat(path.Folder(), path.Name(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL); // a hint only
    std::uint32_t running = 0xFFFFFFFF;
    std::uint64_t total = 0;
    bool ok = true;
    const auto size = static_cast<std::uint64_t>(info.st_size);
    if (progress) {
        progress(0, size);
    }
    for (;;) {
        const ssize_t got = ::read(fd, buffer->Data(), CrcPiece);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            ok = false;
            break;
        }
        if (got == 0) {
            break;
        }
        running = UpdateCRC32Fast(running, buffer->Data(), static_cast<std::size_t>(got));
        total += static_cast<std::uint64_t>(got);
        if (progress) {
            progress(std::min(total, size), size);
        }
    }
    ::close(fd); // a failing close changes nothing that was read
    if (!ok) {
        return false;
    }
    if (total != 0) {
        crc = running ^ 0xFFFFFFFF;
    }
    return true;
}

} // namespace quillock::datafile
