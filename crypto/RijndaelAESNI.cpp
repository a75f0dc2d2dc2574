// Rijndael on the processor's AES instructions: single blocks and CBC, with
// several blocks in flight when decrypting. Only these functions are compiled
// for the AES instructions, so the program still starts on processors without them.
#include "crypto/AesInstructions.h"

#include "crypto/RijndaelRounds.h"

#include <cstdlib>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#define QUILLOCK_AES_TARGET __attribute__((target("aes,sse4.1")))
#endif

namespace quillock::crypto::aes {

#if defined(__x86_64__) || defined(__i386__)
namespace {

// Round keys are stored byte for byte in block order, so one unaligned load
// gives the key as the instructions expect it.
QUILLOCK_AES_TARGET inline __m128i LoadKey(const std::uint32_t* roundKeys, int index) noexcept {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(roundKeys + 4 * index));
}

template <int Rounds> QUILLOCK_AES_TARGET inline void LoadKeys(const std::uint32_t* roundKeys, __m128i* keys) noexcept {
#pragma GCC unroll 16
    for (int r = 0; r <= Rounds; ++r) {
        keys[r] = LoadKey(roundKeys, r);
    }
}

QUILLOCK_AES_TARGET inline __m128i Load(const std::uint8_t* p) noexcept {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

QUILLOCK_AES_TARGET inline void Store(std::uint8_t* p, __m128i value) noexcept {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), value);
}

template <int Rounds> QUILLOCK_AES_TARGET inline __m128i EncryptRounds(const __m128i* keys, __m128i x) noexcept {
#pragma GCC unroll 16
    for (int r = 1; r < Rounds; ++r) {
        x = _mm_aesenc_si128(x, keys[r]);
    }
    return _mm_aesenclast_si128(x, keys[Rounds]);
}

// The equivalent inverse cipher: keys from the last to the first, the inner ones
// already through InvMixColumns.
template <int Rounds> QUILLOCK_AES_TARGET inline __m128i DecryptRounds(const __m128i* keys, __m128i x) noexcept {
#pragma GCC unroll 16
    for (int r = Rounds - 1; r > 0; --r) {
        x = _mm_aesdec_si128(x, keys[r]);
    }
    return _mm_aesdeclast_si128(x, keys[0]);
}

template <int Rounds>
QUILLOCK_AES_TARGET void CbcEncryptN(const std::uint32_t* roundKeys, std::uint8_t* chain, const std::uint8_t* in,
                                     std::uint8_t* out, std::size_t blocks) noexcept {
    __m128i keys[Rounds + 1];
    LoadKeys<Rounds>(roundKeys, keys);
    __m128i cv = Load(chain);
    for (std::size_t i = 0; i < blocks; ++i, in += 16, out += 16) {
        // The whitening of the plain block does not wait for the previous block.
        const __m128i whitened = _mm_xor_si128(Load(in), keys[0]);
        cv = EncryptRounds<Rounds>(keys, _mm_xor_si128(whitened, cv));
        Store(out, cv);
    }
    Store(chain, cv);
}

template <int Rounds>
QUILLOCK_AES_TARGET void CbcDecryptN(const std::uint32_t* roundKeys, std::uint8_t* chain, const std::uint8_t* in,
                                     std::uint8_t* out, std::size_t blocks) noexcept {
    constexpr std::size_t Lanes = 8;
    __m128i keys[Rounds + 1];
    LoadKeys<Rounds>(roundKeys, keys);
    __m128i cv = Load(chain);
    // Every cipher block of a group is loaded before any plain block is stored,
    // so in and out may be the same buffer.
    for (; blocks >= Lanes; blocks -= Lanes, in += 16 * Lanes, out += 16 * Lanes) {
        __m128i c[Lanes];
        __m128i x[Lanes];
#pragma GCC unroll 8
        for (std::size_t j = 0; j < Lanes; ++j) {
            c[j] = Load(in + 16 * j);
            x[j] = _mm_xor_si128(c[j], keys[Rounds]);
        }
#pragma GCC unroll 16
        for (int r = Rounds - 1; r > 0; --r) {
#pragma GCC unroll 8
            for (std::size_t j = 0; j < Lanes; ++j) {
                x[j] = _mm_aesdec_si128(x[j], keys[r]);
            }
        }
#pragma GCC unroll 8
        for (std::size_t j = 0; j < Lanes; ++j) {
            x[j] = _mm_aesdeclast_si128(x[j], keys[0]);
        }
        Store(out, _mm_xor_si128(x[0], cv));
#pragma GCC unroll 8
        for (std::size_t j = 1; j < Lanes; ++j) {
            Store(out + 16 * j, _mm_xor_si128(x[j], c[j - 1]));
        }
        cv = c[Lanes - 1];
    }
    for (; blocks > 0; --blocks, in += 16, out += 16) {
        const __m128i c = Load(in);
        __m128i x = _mm_xor_si128(c, keys[Rounds]);
        x = DecryptRounds<Rounds>(keys, x);
        Store(out, _mm_xor_si128(x, cv));
        cv = c;
    }
    Store(chain, cv);
}

// One block, enciphered or deciphered.
template <int Rounds, bool Encrypting>
QUILLOCK_AES_TARGET void BlockN(const std::uint32_t* roundKeys, const std::uint8_t* in, std::uint8_t* out) noexcept {
    __m128i keys[Rounds + 1];
    LoadKeys<Rounds>(roundKeys, keys);
    if constexpr (Encrypting) {
        Store(out, EncryptRounds<Rounds>(keys, _mm_xor_si128(Load(in), keys[0])));
    } else {
        Store(out, DecryptRounds<Rounds>(keys, _mm_xor_si128(Load(in), keys[Rounds])));
    }
}

} // namespace

const char* const Name = "AES-NI instructions";

bool Supported() noexcept {
    __builtin_cpu_init();
    return __builtin_cpu_supports("aes") && __builtin_cpu_supports("sse4.1");
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

#elif !defined(__aarch64__) // no AES instructions here: the portable rounds are always used

const char* const Name = nullptr;
bool Supported() noexcept {
    return false;
}
void EncryptBlock(const std::uint32_t*, std::uint32_t, const std::uint8_t*, std::uint8_t*) noexcept {
    std::abort();
}
void DecryptBlock(const std::uint32_t*, std::uint32_t, const std::uint8_t*, std::uint8_t*) noexcept {
    std::abort();
}
void CbcEncrypt(const std::uint32_t*, std::uint32_t, std::uint8_t*, const std::uint8_t*, std::uint8_t*,
                std::size_t) noexcept {
    std::abort();
}
void CbcDecrypt(const std::uint32_t*, std::uint32_t, std::uint8_t*, const std::uint8_t*, std::uint8_t*,
                std::size_t) noexcept {
    std::abort();
}

#endif

} // namespace quillock::crypto::aes
