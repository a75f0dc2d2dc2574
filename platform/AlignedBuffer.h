// A heap buffer aligned to the memory page, for large reads and writes; its
// contents are wiped before the memory is returned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

namespace quillock::platform {

// The alignment of every TAlignedBuffer: a page on the machines we run on.
inline constexpr std::size_t BufferAlignment = 4096;

class TAlignedBuffer {
public:
    // size bytes (rounded up to whole pages), uninitialised; std::bad_alloc when
    // the memory is not there.
    explicit TAlignedBuffer(std::size_t size);
    ~TAlignedBuffer();

    TAlignedBuffer(const TAlignedBuffer&) = delete;
    TAlignedBuffer& operator=(const TAlignedBuffer&) = delete;
    // A move leaves other empty; the content given up by an assignment is
    // released (wiped) at once.
    TAlignedBuffer(TAlignedBuffer&& other) noexcept { Swap(other); }
    TAlignedBuffer& operator=(TAlignedBuffer&& other) noexcept {
        TAlignedBuffer taken(std::move(other));
        Swap(taken);
        return *this;
    }

    [[nodiscard]] std::uint8_t* Data() noexcept { return FData; }
    [[nodiscard]] const std::uint8_t* Data() const noexcept { return FData; }
    // The size asked for.
    [[nodiscard]] std::size_t Size() const noexcept { return FSize; }

private:
    void Release() noexcept;
    void Swap(TAlignedBuffer& other) noexcept {
        std::swap(FData, other.FData);
        std::swap(FSize, other.FSize);
        std::swap(FCapacity, other.FCapacity);
    }

    std::uint8_t* FData = nullptr;
    std::size_t FSize = 0;
    std::size_t FCapacity = 0;
};

} // namespace quillock::platform
