// The Rijndael block cipher with a 128-bit block (AES), keys of 4 to 256 bits.
#pragma once

#include "crypto/Cipher.h"

#include <array>
#include <cstdint>
#include <string>

namespace quillock::crypto {

struct TRijndaelInspector; // test access to the key schedule

// True when this processor executes the AES instructions.
[[nodiscard]] bool RijndaelAccelerationAvailable() noexcept;
// The AES instructions this build can use on its processor family ("AES-NI
// instructions", "ARMv8 AES instructions"), or nullptr where it has none.
[[nodiscard]] const char* RijndaelAccelerationName() noexcept;
// Process-wide choice between the AES instructions (where the processor has
// them) and the portable rounds, taken by each key when it is set: a cipher
// keeps the rounds it was keyed with. Allowed by default, unless the
// environment variable QUILLOCK_PORTABLE_CRYPTO is set when first asked.
// Returns the previous choice.
bool SetRijndaelAcceleration(bool allowed) noexcept;
[[nodiscard]] bool RijndaelAccelerationAllowed() noexcept;

class TDCP_rijndael final : public TDCP_blockcipher128 {
public:
    // Room for round keys 0 to 14 of four words each.
    static constexpr std::size_t MaxRoundKeyWords = 4 * 15;
    using TRoundKeys = std::array<std::uint32_t, MaxRoundKeyWords>;

    explicit TDCP_rijndael(platform::TComponent* owner = nullptr) : TDCP_blockcipher128(owner) { Scrub(); }
    ~TDCP_rijndael() override;

    static int Id() { return 9; }
    static std::string Algorithm() { return "Rijndael"; }
    static int MaxKeySize() { return 256; }
    // Known answers of FIPS-197 for the three key sizes.
    static bool SelfCheck();

    [[nodiscard]] const TDCP_cipherclass& ClassType() const override { return CipherClassOf<TDCP_rijndael>(); }

    // Keys of fewer than 16, 24 or 32 whole bytes are padded with zero bytes
    // to the next of those lengths (so a 160-bit key is a 192-bit key ending in
    // four zero bytes); a trailing half byte is ignored.
    void ExpandKey(const void* key, std::uint32_t size) override;
    void Scrub() override;
    void EncryptBlock(const void* inBlock, void* outBlock) override { CryptBlock(true, inBlock, outBlock); }
    void DecryptBlock(const void* inBlock, void* outBlock) override { CryptBlock(false, inBlock, outBlock); }

    // CBC as in every block cipher, without a virtual call per block; the AES
    // instructions decrypt several blocks at once.
    void CbcEncrypt(const void* inData, void* outData, std::uint32_t size) override;
    void CbcDecrypt(const void* inData, void* outData, std::uint32_t size) override;

    // True when the current key runs on the AES instructions.
    [[nodiscard]] bool Accelerated() const noexcept { return UseAesInstructions; }

private:
    friend struct TRijndaelInspector;

    // One block, or CBC over the whole blocks and the tail, one way or the other.
    void CryptBlock(bool encrypting, const void* inBlock, void* outBlock);
    template <bool Encrypting> void Cbc(const void* inData, void* outData, std::uint32_t size);

    std::uint32_t RoundCount = 0;
    bool UseAesInstructions = false;
    // Words hold the bytes of a column with row 0 in the low byte.
    TRoundKeys EncryptRoundKeys{};
    // The round keys of the equivalent inverse cipher, in encryption order.
    TRoundKeys DecryptRoundKeys{};
};

} // namespace quillock::crypto
