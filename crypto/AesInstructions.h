// Rijndael rounds on the processor's AES instructions, over the round keys the
// portable key expansion makes (internal to the crypto layer): AES-NI on x86
// (RijndaelAESNI.cpp), the ARMv8 Cryptography Extensions on 64-bit Arm
// (RijndaelArmv8.cpp); other processor families have none here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillock::crypto::aes {

// The instructions' name ("AES-NI instructions", "ARMv8 AES instructions"),
// or nullptr where this build has none for its processor family.
extern const char* const Name;

// True when this processor executes them (AES and SSE4.1; HWCAP_AES).
[[nodiscard]] bool Supported() noexcept;

// The functions below may be called only when Supported() is true. Round keys
// are those of TDCP_rijndael: rounds + 1 keys of four little-endian words each;
// decryption takes the keys of the equivalent inverse cipher in encryption
// order. rounds is 10, 12 or 14.
void EncryptBlock(const std::uint32_t* roundKeys, std::uint32_t rounds, const std::uint8_t* in,
                  std::uint8_t* out) noexcept;
void DecryptBlock(const std::uint32_t* roundKeys, std::uint32_t rounds, const std::uint8_t* in,
                  std::uint8_t* out) noexcept;

// CBC over whole blocks, chain (16 bytes) carried in and out. in and out may
// be the same buffer.
void CbcEncrypt(const std::uint32_t* roundKeys, std::uint32_t rounds, std::uint8_t* chain, const std::uint8_t* in,
                std::uint8_t* out, std::size_t blocks) noexcept;
void CbcDecrypt(const std::uint32_t* roundKeys, std::uint32_t rounds, std::uint8_t* chain, const std::uint8_t* in,
                std::uint8_t* out, std::size_t blocks) noexcept;

} // namespace quillock::crypto::aes
