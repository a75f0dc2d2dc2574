// Rijndael on the ARMv8 AES instructions (AESE/AESMC, AESD/AESIMC): single
// blocks and CBC, with several blocks in flight when decrypting. Only these
// functions are compiled for the instructions, so the program still starts on
// processors without them; the choice is made from the kernel's HWCAP_AES.
#include "crypto/AesInstructions.h"

#include "crypto/RijndaelRounds.h"

#if defined(__aarch64__)

#include <arm_neon.h>
#include <asm/hwcap.h>
#include <bit>
#include <sys/auxv.h>

#define QUILLOCK_AES_TARGET __attribute__((target("+crypto")))

namespace quillock::crypto::aes {
namespace {

// A round key's words hold row 0 in the low byte, so on this little-endian
// target its bytes lie in block order, as the instructions take them.
static_assert(std::endian::native == std::endian::little, "the round keys are loaded as bytes");

QUILLOCK_AES_TARGET inline uint8x16_t LoadKey(const std::uint32_t* roundKeys, int index) noexcept {
    return vld1q_u8(reinterpret_cast<const std::uint8_t*>(roundKeys + 4 * index));
}

template <int Rounds>
QUILLOCK_AES_TARGET inline void LoadKeys(const std::uint32_t* roundKeys, uint8x16_t* keys) noexcept {
#pragma GCC unroll 16
    for (int r = 0; r <= Rounds; ++r) {
        keys[r] = LoadKey(roundKeys, r);
    }
}

// AESE adds the round key before SubBytes and ShiftRows, so each instruction
// pair is one round shifted by its key addition; the last key is added alone.
template <int Rounds>
QUILLOCK_AES_TARGET inline uint8x16_t EncryptRounds(const uint8x16_t* keys, uint8x16_t x) noexcept {
#pragma GCC unroll 16
    for (int r = 0; r < Rounds - 1; ++r) {
        x = vaesmcq_u8(vaeseq_u8(x, keys[r]));
    }
    return veorq_u8(vaeseq_u8(x, keys[Rounds - 1]), keys[Rounds]);
}

// The equivalent inverse cipher: keys from the last to the first, the inner
// ones already through InvMixColumns.
template <int Rounds>
QUILLOCK_AES_TARGET inline uint8x16_t DecryptRounds(const uint8x16_t* keys, uint8x16_t x) noexcept {
#pragma GCC unroll 16
    for (int r = Rounds; r > 1; --r) {
        x = vaesimcq_u8(vaesdq_u8(x, keys[r]));
    }
    return veorq_u8(vaesdq_u8(x, keys[1]), keys[0]);
}

template <int Rounds>
QUILLOCK_AES_TARGET void CbcEncryptN(const std::uint32_t* roundKeys, std::uint8_t* chain, const std::uint8_t* in,
                                     std::uint8_t* out, std::size_t blocks) noexcept {
    uint8x16_t keys[Rounds + 1];
    LoadKeys<Rounds>(roundKeys, keys);
    uint8x16_t cv = vld1q_u8(chain);
    for (std::size_t i = 0; i < blocks; ++i, in += 16, out += 16) {
        cv = EncryptRounds<Rounds>(keys, veorq_u8(vld1q_u8(in), cv));
        vst1q_u8(out, cv);
    }
    vst1q_u8(chain, cv);
}

template <int Rounds>
QUILLOCK_AES_TARGET void CbcDecryptN(const std::uint32_t* roundKeys, std::uint8_t* chain, const std::uint8_t* in,
                                     std::uint8_t* out, std::size_t blocks) noexcept {
    constexpr std::size_t Lanes = 4;
    uint8x16_t keys[Rounds + 1];
    LoadKeys<Rounds>(roundKeys, keys);
    uint8x16_t cv = vld1q_u8(chain);
    // Every cipher block of a group is loaded before any plain block is
    // stored, so in and out may be the same buffer.
    for (; blocks >= Lanes; blocks -= Lanes, in += 16 * Lanes, out += 16 * Lanes) {
        uint8x16_t c[Lanes];
        uint8x16_t x[Lanes];
#pragma GCC unroll 4
        for (std::size_t j = 0; j < Lanes; ++j) {
            c[j] = vld1q_u8(in + 16 * j);
            x[j] = c[j];
        }
#pragma GCC unroll 16
        for (int r = Rounds; r > 1; --r) {
#pragma GCC unroll 4
            for (std::size_t j = 0; j < Lanes; ++j) {
                x[j] = vaesimcq_u8(vaesdq_u8(x[j], keys[r]));
            }
        }
#pragma GCC unroll 4
        for (std::size_t j = 0; j < Lanes; ++j) {
            x[j] = veorq_u8(vaesdq_u8(x[j], keys[1]), keys[0]);
        }
        vst1q_u8(out, veorq_u8(x[0], cv));
#pragma GCC unroll 4
        for (std::size_t j = 1; j < Lanes; ++j) {
            vst1q_u8(out + 16 * j, veorq_u8(x[j], c[j - 1]));
        }
        cv = c[Lanes - 1];
    }
    for (; blocks > 0; --blocks, in += 16, out += 16) {
        const uint8x16_t c = vld1q_u8(in);
        vst1q_u8(out, veorq_u8(DecryptRounds<Rounds>(keys, c), cv));
        cv = c;
    }
    vst1q_u8(chain, cv);
}

// One block, enciphered or deciphered.
template <int Rounds, bool Encrypting>
QUILLOCK_AES_TARGET void BlockN(const std::uint32_t* roundKeys, const std::uint8_t* in, std::uint8_t* out) noexcept {
    uint8x16_t keys[Rounds + 1];
    LoadKeys<Rounds>(roundKeys, keys);
    if constexpr (Encrypting) {
        vst1q_u8(out, EncryptRounds<Rounds>(keys, vld1q_u8(in)));
    } else {
        vst1q_u8(out, DecryptRounds<Rounds>(keys, vld1q_u8(in)));
    }
}

} // namespace

const char* const Name = "ARMv8 AES instructions";

bool Supported() noexcept {
    return (getauxval(AT_HWCAP) & HWCAP_AES) != 0;
}

void EncryptBlock(const std::uint32_t* roundKeys, std::uint32_t rounds, const std::uint8_t* in,
                  std::uint8_t* out) noexcept {
    WithRounds(rounds, [&]<int R>() { BlockN<R, true>(roundKeys, in, out); });
}

void DecryptBlock(const std::uint32_t* roundKeys, std::uint32_t rounds, const std::uint8_t* in,
                  std::uint8_t* out) noexcept {
    WithRounds(rounds, [&]<int R>() { BlockN<R, false>(roundKeys, in, out); });
}

void CbcEncrypt(const std::uint32_t* roundKeys, std::uint32_t rounds, std::uint8_t* chain, const std::uint8_t* in,
                std::uint8_t* out, std::size_t blocks) noexcept {
    WithRounds(rounds, [&]<int R>() { CbcEncryptN<R>(roundKeys, chain, in, out, blocks); });
}

void CbcDecrypt(const std::uint32_t* roundKeys, std::uint32_t rounds, std::uint8_t* chain, const std::uint8_t* in,
                std::uint8_t* out, std::size_t blocks) noexcept {
    WithRounds(rounds, [&]<int R>() { CbcDecryptN<R>(roundKeys, chain, in, out, blocks); });
}

} // namespace quillock::crypto::aes

#endif
