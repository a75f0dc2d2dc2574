// The Blowfish block cipher: 64-bit block, 16 rounds, keys of 8 to 448 bits.
#pragma once

#include "crypto/Cipher.h"

#include <array>
#include <cstdint>
#include <string>

namespace quillock::crypto {

struct TBlowfishInspector; // test access to the key schedule

class TDCP_blowfish final : public TDCP_blockcipher64 {
public:
    explicit TDCP_blowfish(platform::TComponent* owner = nullptr) : TDCP_blockcipher64(owner) { Scrub(); }
    ~TDCP_blowfish() override;

    static int Id() { return 5; }
    static std::string Algorithm() { return "Blowfish"; }
    static int MaxKeySize() { return 448; }
    // Two of the published known answers with 64-bit keys.
    static bool SelfCheck();

    [[nodiscard]] const TDCP_cipherclass& ClassType() const override { return CipherClassOf<TDCP_blowfish>(); }

    // The key schedule cycles over the key bytes, so a key needs one whole byte:
    // a 4-bit key is refused with "Invalid key size" and leaves the cipher unkeyed.
    void Init(const void* key, std::uint32_t size, const void* iv) override;
    // The published schedule: the key bytes XORed cyclically into the P-array,
    // then 521 encryptions replace the P-array and the S-boxes.
    void ExpandKey(const void* key, std::uint32_t size) override;
    void Scrub() override;
    // Blocks are two big-endian halves, as in the published reference.
    void EncryptBlock(const void* inBlock, void* outBlock) override { CryptBlock(true, inBlock, outBlock); }
    void DecryptBlock(const void* inBlock, void* outBlock) override { CryptBlock(false, inBlock, outBlock); }

    // CBC as in every block cipher, with the rounds inline rather than one
    // virtual call per block.
    void CbcEncrypt(const void* inData, void* outData, std::uint32_t size) override;
    void CbcDecrypt(const void* inData, void* outData, std::uint32_t size) override;

private:
    friend struct TBlowfishInspector;

    // The 16 rounds over the two halves of a block, one way or the other.
    template <bool Encrypting> void Halves(std::uint32_t& left, std::uint32_t& right) const noexcept;
    void CryptBlock(bool encrypting, const void* inBlock, void* outBlock);
    template <bool Encrypting> void Cbc(const void* inData, void* outData, std::uint32_t size);

    std::array<std::array<std::uint32_t, 256>, 4> SBoxes{};
    std::array<std::uint32_t, 18> PArray{};
};

} // namespace quillock::crypto
