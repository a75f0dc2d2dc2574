// CRC-32 by folding 64 bytes at a time with carry-less multiplication and a
// final Barrett reduction. Only these functions are compiled for those
// instructions, so the program still starts on processors without them.
#include "datafile/CRCInstructions.h"

#include <cstdlib>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

#define QUILLOCK_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))
#endif

namespace quillock::datafile::hw {

#if defined(__x86_64__) || defined(__i386__)
namespace {

// Folding constants for the reflected polynomial 0xEDB88320, as x^n mod P(x)
// bit-reflected and shifted by one: fold by 512 bits (K1, K2), by 128 bits
// (K3, K4), 64 to 32 bits (K5), then the Barrett reduction by P(x) and
// floor(x^64 / P(x)). The tests check the result against the byte-wise table.
constexpr long long K1 = 0x154442bd4;
constexpr long long K2 = 0x1c6e41596;
constexpr long long K3 = 0x1751997d0;
constexpr long long K4 = 0x0ccaa009e;
constexpr long long K5 = 0x163cd6124;
constexpr long long PolyReflected = 0x1db710641;
constexpr long long MuReflected = 0x1f7011641;

QUILLOCK_CLMUL_TARGET inline __m128i Load(const std::uint8_t* p) noexcept {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// x folded forward over 128 bits of stream by the constant pair, plus next.
QUILLOCK_CLMUL_TARGET inline __m128i FoldInto(__m128i x, __m128i constants, __m128i next) noexcept {
    const __m128i low = _mm_clmulepi64_si128(x, constants, 0x00);
    const __m128i high = _mm_clmulepi64_si128(x, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

} // namespace

const char* const Name = "carry-less multiplication";

bool Supported() noexcept {
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
}

QUILLOCK_CLMUL_TARGET std::uint32_t Fold(std::uint32_t crc, const std::uint8_t* data, std::size_t len,
                                         std::size_t& done) noexcept {
    const std::uint8_t* const start = data;
    __m128i x0 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
    __m128i x1 = Load(data + 16);
    __m128i x2 = Load(data + 32);
    __m128i x3 = Load(data + 48);
    data += 64;
    len -= 64;

    // Four independent lanes, each folded forward by 512 bits per step.
    const __m128i k1k2 = _mm_set_epi64x(K2, K1);
    while (len >= 64) {
        x0 = FoldInto(x0, k1k2, Load(data));
        x1 = FoldInto(x1, k1k2, Load(data + 16));
        x2 = FoldInto(x2, k1k2, Load(data + 32));
        x3 = FoldInto(x3, k1k2, Load(data + 48));
        data += 64;
        len -= 64;
    }

    // The lanes into one, then any further whole 16 bytes.
    const __m128i k3k4 = _mm_set_epi64x(K4, K3);
    __m128i x = FoldInto(x0, k3k4, x1);
    x = FoldInto(x, k3k4, x2);
    x = FoldInto(x, k3k4, x3);
    while (len >= 16) {
        x = FoldInto(x, k3k4, Load(data));
        data += 16;
        len -= 16;
    }

    // 128 to 64 bits, which also appends the 32 zero bits of the remainder.
    const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);
    x = _mm_xor_si128(_mm_clmulepi64_si128(x, k3k4, 0x10), _mm_srli_si128(x, 8));
    // 64 to 32 bits.
    x = _mm_xor_si128(_mm_srli_si128(x, 4),
                      _mm_clmulepi64_si128(_mm_and_si128(x, mask32), _mm_set_epi64x(0, K5), 0x00));
    // Barrett reduction to the 32-bit remainder.
    const __m128i polyMu = _mm_set_epi64x(MuReflected, PolyReflected);
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, mask32), polyMu, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), polyMu, 0x00);
    x = _mm_xor_si128(x, t);

    done = static_cast<std::size_t>(data - start);
    return static_cast<std::uint32_t>(_mm_extract_epi32(x, 1));
}

#elif !defined(__aarch64__) // no CRC instructions here: the slicing tables are always used

const char* const Name = nullptr;
bool Supported() noexcept {
    return false;
}
std::uint32_t Fold(std::uint32_t, const std::uint8_t*, std::size_t, std::size_t&) noexcept {
    std::abort();
}

#endif

} // namespace quillock::datafile::hw
