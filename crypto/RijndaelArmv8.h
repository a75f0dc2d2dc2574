// Rijndael rounds on the ARMv8 Cryptography Extensions, over the round keys the
// portable key expansion makes (internal to the crypto layer; 64-bit Arm only).
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillock::crypto::armv8 {

// True when this processor executes the AES instructions (HWCAP_AES).
[[nodiscard]] bool Supported() noexcept;

// The same contract as the functions of RijndaelAESNI.h: rounds + 1 round keys
// of four little-endian words each; decryption takes the keys of the
// equivalent inverse cipher in encryption order; rounds is 10, 12 or 14; in
// and out may be the same buffer. Only when Supported() is true.
void EncryptBlock(const std::uint32_t* roundKeys, std::uint32_t rounds, const std::uint8_t* in,
                  std::uint8_t* out) noexcept;
void DecryptBlock(const std::uint32_t* roundKeys, std::uint32_t rounds, const std::uint8_t* in,
                  std::uint8_t* out) noexcept;
void CbcEncrypt(const std::uint32_t* roundKeys, std::uint32_t rounds, std::uint8_t* chain, const std::uint8_t* in,
                std::uint8_t* out, std::size_t blocks) noexcept;
void CbcDecrypt(const std::uint32_t* roundKeys, std::uint32_t rounds, std::uint8_t* chain, const std::uint8_t* in,
                std::uint8_t* out, std::size_t blocks) noexcept;

} // namespace quillock::crypto::armv8
