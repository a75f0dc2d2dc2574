#include "crypto/Hash160.h"

#include "platform/Wipe.h"

#include <cstring>

namespace quillock::crypto {

TDCP_hash160::~TDCP_hash160() {
    if (FInitialized) {
        Scrub();
    }
}

void TDCP_hash160::Init() {
    Scrub();
    ChainState = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
    FInitialized = true;
}

void TDCP_hash160::Scrub() {
    BitCountHigh = 0;
    BitCountLow = 0;
    BufferFill = 0;
    platform::SecureZero(BlockBuffer.data(), BlockBuffer.size());
    platform::SecureZero(ChainState.data(), sizeof ChainState);
    FInitialized = false;
}

void TDCP_hash160::Update(const void* buffer, std::uint32_t size) {
    if (!FInitialized) {
        throw EDCP_hash("Hash not initialized");
    }
    if (size == 0) {
        return; // buffer may be null then
    }
    // The two words count the message length in bits modulo 2^64.
    const std::uint32_t bits = size << 3;
    BitCountHigh += size >> 29;
    BitCountLow += bits;
    if (BitCountLow < bits) {
        ++BitCountHigh;
    }

    const auto* in = static_cast<const std::uint8_t*>(buffer);
    if (BufferFill > 0) {
        const std::uint32_t room = 64 - BufferFill;
        if (size < room) {
            std::memcpy(BlockBuffer.data() + BufferFill, in, size);
            BufferFill += size;
            return;
        }
        std::memcpy(BlockBuffer.data() + BufferFill, in, room);
        in += room;
        size -= room;
        Compress(BlockBuffer.data(), 1);
        BufferFill = 0;
        platform::SecureZero(BlockBuffer.data(), BlockBuffer.size());
    }
    // Whole blocks are compressed straight from the caller's buffer.
    if (size >= 64) {
        Compress(in, size / 64);
        in += size & ~std::uint32_t{63};
        size &= 63;
    }
    if (size > 0) {
        std::memcpy(BlockBuffer.data(), in, size);
        BufferFill = size;
    }
}

void TDCP_hash160::Final(void* digest) {
    if (!FInitialized) {
        throw EDCP_hash("Hash not initialized");
    }
    // The zeroed rest of the buffer is the padding; the length needs the last
    // eight bytes, so a block filled beyond 55 bytes is followed by one more.
    BlockBuffer[BufferFill] = 0x80;
    if (BufferFill >= 56) {
        Compress(BlockBuffer.data(), 1);
        platform::SecureZero(BlockBuffer.data(), BlockBuffer.size());
    }
    // The 64-bit length in the digest's byte order: least significant word
    // first for little-endian, most significant first for big-endian.
    const bool little = FOrder == TByteOrder::LittleEndian;
    StoreWord(BlockBuffer.data() + 56, little ? BitCountLow : BitCountHigh);
    StoreWord(BlockBuffer.data() + 60, little ? BitCountHigh : BitCountLow);
    Compress(BlockBuffer.data(), 1);
    auto* out = static_cast<std::uint8_t*>(digest);
    for (std::size_t i = 0; i < ChainState.size(); ++i) {
        StoreWord(out + 4 * i, ChainState[i]);
    }
    Scrub();
}

bool TDCP_hash160::GivesKnownDigests(std::span<const TKnownDigest> rows) {
    bool ok = true;
    for (const TKnownDigest& row : rows) {
        std::uint8_t digest[sizeof row.Digest];
        Init();
        UpdateString(row.Input);
        Final(digest);
        ok = ok && std::memcmp(digest, row.Digest, sizeof digest) == 0;
    }
    return ok;
}

void TDCP_hash160::StoreWord(std::uint8_t* at, std::uint32_t value) const noexcept {
    for (unsigned i = 0; i < 4; ++i) {
        const unsigned shift = FOrder == TByteOrder::LittleEndian ? 8 * i : 24 - 8 * i;
        at[i] = static_cast<std::uint8_t>(value >> shift);
    }
}

} // namespace quillock::crypto
