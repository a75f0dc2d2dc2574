// What the two 160-bit digests share: 64-byte blocks, five chaining words
// with the same starting values, the buffering of partial blocks, the bit
// counter and the padding. They differ in the compression function and in the
// byte order of the length and of the result.
#pragma once

#include "crypto/Hash.h"
#include "platform/Wipe.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

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

    // A known answer: the digest of Input.
    struct TKnownDigest {
        std::string_view Input;
        std::uint8_t Digest[20];
    };

    // Runs the compression function over count whole blocks at data.
    virtual void Compress(const std::uint8_t* data, std::size_t count) = 0;

    // Calls compress with the sixteen words of each of the count blocks at
    // data, read in this digest's byte order (compress may change them); the
    // words are wiped at the end.
    template <class Compress> void ForEachBlock(const std::uint8_t* data, std::size_t count, Compress compress) {
        std::uint32_t words[16];
        for (; count > 0; --count, data += 64) {
            for (unsigned i = 0; i < 16; ++i) {
                words[i] = LoadWord(data + 4 * i);
            }
            compress(words);
        }
        platform::SecureZero(words, sizeof words);
    }

    // Whether this object gives every row's digest.
    [[nodiscard]] bool GivesKnownDigests(std::span<const TKnownDigest> rows);

    std::array<std::uint32_t, 5> ChainState{};

private:
    [[nodiscard]] std::uint32_t LoadWord(const std::uint8_t* at) const noexcept {
        if (FOrder == TByteOrder::LittleEndian) {
            return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
                   (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
        }
        return (static_cast<std::uint32_t>(at[0]) << 24) | (static_cast<std::uint32_t>(at[1]) << 16) |
               (static_cast<std::uint32_t>(at[2]) << 8) | static_cast<std::uint32_t>(at[3]);
    }
    void StoreWord(std::uint8_t* at, std::uint32_t value) const noexcept;

    TByteOrder FOrder;
    std::uint32_t BitCountHigh = 0;
    std::uint32_t BitCountLow = 0;
    std::uint32_t BufferFill = 0;
    std::array<std::uint8_t, 64> BlockBuffer{}; // bytes at and beyond BufferFill are zero
};

} // namespace quillock::crypto
