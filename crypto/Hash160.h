// What the two 160-bit digests share: 64-byte blocks, five chaining words
// with the same starting values, the buffering of partial blocks, the bit
// counter and the padding. They differ in the compression function and in the
// byte order of the length and of the result.
#pragma once

#include "crypto/Hash.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace quillock::crypto {

class TDCP_hash160 : public TDCP_hash {
public:
    ~TDCP_hash160() override;

    void Init() override;
    void Final(void* digest) override;
    void Scrub() override;
    void Update(const void* buffer, std::uint32_t size) override;

protected:
    enum class TByteOrder { LittleEndian, BigEndian };

    TDCP_hash160(platform::TComponent* owner, TByteOrder order) : TDCP_hash(owner), FOrder(order) {}

    // Runs the compression function over count whole blocks at data.
    virtual void Compress(const std::uint8_t* data, std::size_t count) = 0;

    std::array<std::uint32_t, 5> ChainState{};

private:
    void StoreWord(std::uint8_t* at, std::uint32_t value) const noexcept;

    TByteOrder FOrder;
    std::uint32_t BitCountHigh = 0;
    std::uint32_t BitCountLow = 0;
    std::uint32_t BufferFill = 0;
    std::array<std::uint8_t, 64> BlockBuffer{}; // bytes at and beyond BufferFill are zero
};

} // namespace quillock::crypto
