// The RIPEMD-160 message digest: the unrolled compression function with its
// two parallel lines.
#include "crypto/RIPEMD160.h"

#include <bit>
#include <cstring>
#include <string_view>

namespace quillock::crypto {
namespace {

// The five boolean functions; the left line uses them in the order 1..5, the
// right line in the order 5..1.
struct F1 {
    static std::uint32_t Apply(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept { return x ^ y ^ z; }
};
struct F2 {
    static std::uint32_t Apply(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept {
        return (x & y) | (~x & z);
    }
};
struct F3 {
    static std::uint32_t Apply(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept { return (x | ~y) ^ z; }
};
struct F4 {
    static std::uint32_t Apply(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept {
        return (x & z) | (y & ~z);
    }
};
struct F5 {
    static std::uint32_t Apply(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept { return x ^ (y | ~z); }
};

// Round constants of the left (KL) and right (KR) lines.
constexpr std::uint32_t KL1 = 0x00000000u;
constexpr std::uint32_t KL2 = 0x5A827999u;
constexpr std::uint32_t KL3 = 0x6ED9EBA1u;
constexpr std::uint32_t KL4 = 0x8F1BBCDCu;
constexpr std::uint32_t KL5 = 0xA953FD4Eu;
constexpr std::uint32_t KR1 = 0x50A28BE6u;
constexpr std::uint32_t KR2 = 0x5C4DD124u;
constexpr std::uint32_t KR3 = 0x6D703EF3u;
constexpr std::uint32_t KR4 = 0x7A6D76E9u;
constexpr std::uint32_t KR5 = 0x00000000u;

// One step: a takes the new word, c is rotated by ten; the caller renames the
// five variables from step to step instead of moving them.
template <class F>
inline void Step(std::uint32_t& a, std::uint32_t b, std::uint32_t& c, std::uint32_t d, std::uint32_t e,
                 std::uint32_t xk, int s) noexcept {
    a = std::rotl(a + F::Apply(b, c, d) + xk, s) + e;
    c = std::rotl(c, 10);
}

} // namespace

void TDCP_ripemd160::Compress(const std::uint8_t* data, std::size_t count) {
    ForEachBlock(data, count, [this](const std::uint32_t* x) {
        auto [a, b, c, d, e] = ChainState;
        auto [ar, br, cr, dr, er] = ChainState;

        // Left line, round 1
        Step<F1>(a, b, c, d, e, x[0] + KL1, 11);
        Step<F1>(e, a, b, c, d, x[1] + KL1, 14);
        Step<F1>(d, e, a, b, c, x[2] + KL1, 15);
        Step<F1>(c, d, e, a, b, x[3] + KL1, 12);
        Step<F1>(b, c, d, e, a, x[4] + KL1, 5);
        Step<F1>(a, b, c, d, e, x[5] + KL1, 8);
        Step<F1>(e, a, b, c, d, x[6] + KL1, 7);
        Step<F1>(d, e, a, b, c, x[7] + KL1, 9);
        Step<F1>(c, d, e, a, b, x[8] + KL1, 11);
        Step<F1>(b, c, d, e, a, x[9] + KL1, 13);
        Step<F1>(a, b, c, d, e, x[10] + KL1, 14);
        Step<F1>(e, a, b, c, d, x[11] + KL1, 15);
        Step<F1>(d, e, a, b, c, x[12] + KL1, 6);
        Step<F1>(c, d, e, a, b, x[13] + KL1, 7);
        Step<F1>(b, c, d, e, a, x[14] + KL1, 9);
        Step<F1>(a, b, c, d, e, x[15] + KL1, 8);
        // Left line, round 2
        Step<F2>(e, a, b, c, d, x[7] + KL2, 7);
        Step<F2>(d, e, a, b, c, x[4] + KL2, 6);
        Step<F2>(c, d, e, a, b, x[13] + KL2, 8);
        Step<F2>(b, c, d, e, a, x[1] + KL2, 13);
        Step<F2>(a, b, c, d, e, x[10] + KL2, 11);
        Step<F2>(e, a, b, c, d, x[6] + KL2, 9);
        Step<F2>(d, e, a, b, c, x[15] + KL2, 7);
        Step<F2>(c, d, e, a, b, x[3] + KL2, 15);
        Step<F2>(b, c, d, e, a, x[12] + KL2, 7);
        Step<F2>(a, b, c, d, e, x[0] + KL2, 12);
        Step<F2>(e, a, b, c, d, x[9] + KL2, 15);
        Step<F2>(d, e, a, b, c, x[5] + KL2, 9);
        Step<F2>(c, d, e, a, b, x[2] + KL2, 11);
        Step<F2>(b, c, d, e, a, x[14] + KL2, 7);
        Step<F2>(a, b, c, d, e, x[11] + KL2, 13);
        Step<F2>(e, a, b, c, d, x[8] + KL2, 12);
        // Left line, round 3
        Step<F3>(d, e, a, b, c, x[3] + KL3, 11);
        Step<F3>(c, d, e, a, b, x[10] + KL3, 13);
        Step<F3>(b, c, d, e, a, x[14] + KL3, 6);
        Step<F3>(a, b, c, d, e, x[4] + KL3, 7);
        Step<F3>(e, a, b, c, d, x[9] + KL3, 14);
        Step<F3>(d, e, a, b, c, x[15] + KL3, 9);
        Step<F3>(c, d, e, a, b, x[8] + KL3, 13);
        Step<F3>(b, c, d, e, a, x[1] + KL3, 15);
        Step<F3>(a, b, c, d, e, x[2] + KL3, 14);
        Step<F3>(e, a, b, c, d, x[7] + KL3, 8);
        Step<F3>(d, e, a, b, c, x[0] + KL3, 13);
        Step<F3>(c, d, e, a, b, x[6] + KL3, 6);
        Step<F3>(b, c, d, e, a, x[13] + KL3, 5);
        Step<F3>(a, b, c, d, e, x[11] + KL3, 12);
        Step<F3>(e, a, b, c, d, x[5] + KL3, 7);
        Step<F3>(d, e, a, b, c, x[12] + KL3, 5);
        // Left line, round 4
        Step<F4>(c, d, e, a, b, x[1] + KL4, 11);
        Step<F4>(b, c, d, e, a, x[9] + KL4, 12);
        Step<F4>(a, b, c, d, e, x[11] + KL4, 14);
        Step<F4>(e, a, b, c, d, x[10] + KL4, 15);
        Step<F4>(d, e, a, b, c, x[0] + KL4, 14);
        Step<F4>(c, d, e, a, b, x[8] + KL4, 15);
        Step<F4>(b, c, d, e, a, x[12] + KL4, 9);
        Step<F4>(a, b, c, d, e, x[4] + KL4, 8);
        Step<F4>(e, a, b, c, d, x[13] + KL4, 9);
        Step<F4>(d, e, a, b, c, x[3] + KL4, 14);
        Step<F4>(c, d, e, a, b, x[7] + KL4, 5);
        Step<F4>(b, c, d, e, a, x[15] + KL4, 6);
        Step<F4>(a, b, c, d, e, x[14] + KL4, 8);
        Step<F4>(e, a, b, c, d, x[5] + KL4, 6);
        Step<F4>(d, e, a, b, c, x[6] + KL4, 5);
        Step<F4>(c, d, e, a, b, x[2] + KL4, 12);
        // Left line, round 5
        Step<F5>(b, c, d, e, a, x[4] + KL5, 9);
        Step<F5>(a, b, c, d, e, x[0] + KL5, 15);
        Step<F5>(e, a, b, c, d, x[5] + KL5, 5);
        Step<F5>(d, e, a, b, c, x[9] + KL5, 11);
        Step<F5>(c, d, e, a, b, x[7] + KL5, 6);
        Step<F5>(b, c, d, e, a, x[12] + KL5, 8);
        Step<F5>(a, b, c, d, e, x[2] + KL5, 13);
        Step<F5>(e, a, b, c, d, x[10] + KL5, 12);
        Step<F5>(d, e, a, b, c, x[14] + KL5, 5);
        Step<F5>(c, d, e, a, b, x[1] + KL5, 12);
        Step<F5>(b, c, d, e, a, x[3] + KL5, 13);
        Step<F5>(a, b, c, d, e, x[8] + KL5, 14);
        Step<F5>(e, a, b, c, d, x[11] + KL5, 11);
        Step<F5>(d, e, a, b, c, x[6] + KL5, 8);
        Step<F5>(c, d, e, a, b, x[15] + KL5, 5);
        Step<F5>(b, c, d, e, a, x[13] + KL5, 6);
        // Right line, round 1
        Step<F5>(ar, br, cr, dr, er, x[5] + KR1, 8);
        Step<F5>(er, ar, br, cr, dr, x[14] + KR1, 9);
        Step<F5>(dr, er, ar, br, cr, x[7] + KR1, 9);
        Step<F5>(cr, dr, er, ar, br, x[0] + KR1, 11);
        Step<F5>(br, cr, dr, er, ar, x[9] + KR1, 13);
        Step<F5>(ar, br, cr, dr, er, x[2] + KR1, 15);
        Step<F5>(er, ar, br, cr, dr, x[11] + KR1, 15);
        Step<F5>(dr, er, ar, br, cr, x[4] + KR1, 5);
        Step<F5>(cr, dr, er, ar, br, x[13] + KR1, 7);
        Step<F5>(br, cr, dr, er, ar, x[6] + KR1, 7);
        Step<F5>(ar, br, cr, dr, er, x[15] + KR1, 8);
        Step<F5>(er, ar, br, cr, dr, x[8] + KR1, 11);
        Step<F5>(dr, er, ar, br, cr, x[1] + KR1, 14);
        Step<F5>(cr, dr, er, ar, br, x[10] + KR1, 14);
        Step<F5>(br, cr, dr, er, ar, x[3] + KR1, 12);
        Step<F5>(ar, br, cr, dr, er, x[12] + KR1, 6);
        // Right line, round 2
        Step<F4>(er, ar, br, cr, dr, x[6] + KR2, 9);
        Step<F4>(dr, er, ar, br, cr, x[11] + KR2, 13);
        Step<F4>(cr, dr, er, ar, br, x[3] + KR2, 15);
        Step<F4>(br, cr, dr, er, ar, x[7] + KR2, 7);
        Step<F4>(ar, br, cr, dr, er, x[0] + KR2, 12);
        Step<F4>(er, ar, br, cr, dr, x[13] + KR2, 8);
        Step<F4>(dr, er, ar, br, cr, x[5] + KR2, 9);
        Step<F4>(cr, dr, er, ar, br, x[10] + KR2, 11);
        Step<F4>(br, cr, dr, er, ar, x[14] + KR2, 7);
        Step<F4>(ar, br, cr, dr, er, x[15] + KR2, 7);
        Step<F4>(er, ar, br, cr, dr, x[8] + KR2, 12);
        Step<F4>(dr, er, ar, br, cr, x[12] + KR2, 7);
        Step<F4>(cr, dr, er, ar, br, x[4] + KR2, 6);
        Step<F4>(br, cr, dr, er, ar, x[9] + KR2, 15);
        Step<F4>(ar, br, cr, dr, er, x[1] + KR2, 13);
        Step<F4>(er, ar, br, cr, dr, x[2] + KR2, 11);
        // Right line, round 3
        Step<F3>(dr, er, ar, br, cr, x[15] + KR3, 9);
        Step<F3>(cr, dr, er, ar, br, x[5] + KR3, 7);
        Step<F3>(br, cr, dr, er, ar, x[1] + KR3, 15);
        Step<F3>(ar, br, cr, dr, er, x[3] + KR3, 11);
        Step<F3>(er, ar, br, cr, dr, x[7] + KR3, 8);
        Step<F3>(dr, er, ar, br, cr, x[14] + KR3, 6);
        Step<F3>(cr, dr, er, ar, br, x[6] + KR3, 6);
        Step<F3>(br, cr, dr, er, ar, x[9] + KR3, 14);
        Step<F3>(ar, br, cr, dr, er, x[11] + KR3, 12);
        Step<F3>(er, ar, br, cr, dr, x[8] + KR3, 13);
        Step<F3>(dr, er, ar, br, cr, x[12] + KR3, 5);
        Step<F3>(cr, dr, er, ar, br, x[2] + KR3, 14);
        Step<F3>(br, cr, dr, er, ar, x[10] + KR3, 13);
        Step<F3>(ar, br, cr, dr, er, x[0] + KR3, 13);
        Step<F3>(er, ar, br, cr, dr, x[4] + KR3, 7);
        Step<F3>(dr, er, ar, br, cr, x[13] + KR3, 5);
        // Right line, round 4
        Step<F2>(cr, dr, er, ar, br, x[8] + KR4, 15);
        Step<F2>(br, cr, dr, er, ar, x[6] + KR4, 5);
        Step<F2>(ar, br, cr, dr, er, x[4] + KR4, 8);
        Step<F2>(er, ar, br, cr, dr, x[1] + KR4, 11);
        Step<F2>(dr, er, ar, br, cr, x[3] + KR4, 14);
        Step<F2>(cr, dr, er, ar, br, x[11] + KR4, 14);
        Step<F2>(br, cr, dr, er, ar, x[15] + KR4, 6);
        Step<F2>(ar, br, cr, dr, er, x[0] + KR4, 14);
        Step<F2>(er, ar, br, cr, dr, x[5] + KR4, 6);
        Step<F2>(dr, er, ar, br, cr, x[12] + KR4, 9);
        Step<F2>(cr, dr, er, ar, br, x[2] + KR4, 12);
        Step<F2>(br, cr, dr, er, ar, x[13] + KR4, 9);
        Step<F2>(ar, br, cr, dr, er, x[9] + KR4, 12);
        Step<F2>(er, ar, br, cr, dr, x[7] + KR4, 5);
        Step<F2>(dr, er, ar, br, cr, x[10] + KR4, 15);
        Step<F2>(cr, dr, er, ar, br, x[14] + KR4, 8);
        // Right line, round 5
        Step<F1>(br, cr, dr, er, ar, x[12] + KR5, 8);
        Step<F1>(ar, br, cr, dr, er, x[15] + KR5, 5);
        Step<F1>(er, ar, br, cr, dr, x[10] + KR5, 12);
        Step<F1>(dr, er, ar, br, cr, x[4] + KR5, 9);
        Step<F1>(cr, dr, er, ar, br, x[1] + KR5, 12);
        Step<F1>(br, cr, dr, er, ar, x[5] + KR5, 5);
        Step<F1>(ar, br, cr, dr, er, x[8] + KR5, 14);
        Step<F1>(er, ar, br, cr, dr, x[7] + KR5, 6);
        Step<F1>(dr, er, ar, br, cr, x[6] + KR5, 8);
        Step<F1>(cr, dr, er, ar, br, x[2] + KR5, 13);
        Step<F1>(br, cr, dr, er, ar, x[13] + KR5, 6);
        Step<F1>(ar, br, cr, dr, er, x[14] + KR5, 5);
        Step<F1>(er, ar, br, cr, dr, x[0] + KR5, 15);
        Step<F1>(dr, er, ar, br, cr, x[3] + KR5, 13);
        Step<F1>(cr, dr, er, ar, br, x[9] + KR5, 11);
        Step<F1>(br, cr, dr, er, ar, x[11] + KR5, 11);
        // Combine the two lines, rotating the chaining words by one place.
        const std::uint32_t t = ChainState[1] + c + dr;
        ChainState[1] = ChainState[2] + d + er;
        ChainState[2] = ChainState[3] + e + ar;
        ChainState[3] = ChainState[4] + a + br;
        ChainState[4] = ChainState[0] + b + cr;
        ChainState[0] = t;
    });
}

bool TDCP_ripemd160::SelfCheck() {
    // RIPEMD-160 paper (Dobbertin, Bosselaers, Preneel), test vectors.
    static constexpr TKnownDigest Rows[] = {
        {"a", {0x0b, 0xdc, 0x9d, 0x2d, 0x25, 0x6b, 0x3e, 0xe9, 0xda, 0xae,
               0x34, 0x7b, 0xe6, 0xf4, 0xdc, 0x83, 0x5a, 0x46, 0x7f, 0xfe}},
        {"abcdefghijklmnopqrstuvwxyz", {0xf7, 0x1c, 0x27, 0x10, 0x9c, 0x69, 0x2c, 0x1b, 0x56, 0xbb,
                                        0xdc, 0xeb, 0x5b, 0x9d, 0x28, 0x65, 0xb3, 0x70, 0x8d, 0xbc}},
    };
    TDCP_ripemd160 hash;
    return hash.GivesKnownDigests(Rows);
}

} // namespace quillock::crypto
