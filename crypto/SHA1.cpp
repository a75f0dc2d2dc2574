// The SHA-1 message digest (160 bits): the unrolled compression function.
#include "crypto/SHA1.h"

#include <bit>
#include <cstring>
#include <string_view>

namespace quillock::crypto {
namespace {

// The message schedule is kept as a ring of 16 words: word i of the 80-word
// expansion lives in w[i mod 16] from the step that needs it on.
inline std::uint32_t Expand(std::uint32_t* w, unsigned i) noexcept {
    w[i] = std::rotl(w[(i + 13) & 15] ^ w[(i + 8) & 15] ^ w[(i + 2) & 15] ^ w[i], 1);
    return w[i];
}

// One step of each of the four rounds: e takes the new word, b is rotated.
inline void Step1(std::uint32_t a, std::uint32_t& b, std::uint32_t c, std::uint32_t d, std::uint32_t& e,
                  std::uint32_t w) noexcept {
    e += std::rotl(a, 5) + (d ^ (b & (c ^ d))) + w + 0x5A827999u;
    b = std::rotl(b, 30);
}

inline void Step2(std::uint32_t a, std::uint32_t& b, std::uint32_t c, std::uint32_t d, std::uint32_t& e,
                  std::uint32_t w) noexcept {
    e += std::rotl(a, 5) + (b ^ c ^ d) + w + 0x6ED9EBA1u;
    b = std::rotl(b, 30);
}

inline void Step3(std::uint32_t a, std::uint32_t& b, std::uint32_t c, std::uint32_t d, std::uint32_t& e,
                  std::uint32_t w) noexcept {
    e += std::rotl(a, 5) + ((b & c) | (d & (b | c))) + w + 0x8F1BBCDCu;
    b = std::rotl(b, 30);
}

inline void Step4(std::uint32_t a, std::uint32_t& b, std::uint32_t c, std::uint32_t d, std::uint32_t& e,
                  std::uint32_t w) noexcept {
    e += std::rotl(a, 5) + (b ^ c ^ d) + w + 0xCA62C1D6u;
    b = std::rotl(b, 30);
}

} // namespace

void TDCP_sha1::Compress(const std::uint8_t* data, std::size_t count) {
    ForEachBlock(data, count, [this](std::uint32_t* w) {
        auto [a, b, c, d, e] = ChainState;

        Step1(a, b, c, d, e, w[0]);
        Step1(e, a, b, c, d, w[1]);
        Step1(d, e, a, b, c, w[2]);
        Step1(c, d, e, a, b, w[3]);
        Step1(b, c, d, e, a, w[4]);
        Step1(a, b, c, d, e, w[5]);
        Step1(e, a, b, c, d, w[6]);
        Step1(d, e, a, b, c, w[7]);
        Step1(c, d, e, a, b, w[8]);
        Step1(b, c, d, e, a, w[9]);
        Step1(a, b, c, d, e, w[10]);
        Step1(e, a, b, c, d, w[11]);
        Step1(d, e, a, b, c, w[12]);
        Step1(c, d, e, a, b, w[13]);
        Step1(b, c, d, e, a, w[14]);
        Step1(a, b, c, d, e, w[15]);
        Step1(e, a, b, c, d, Expand(w, 0));
        Step1(d, e, a, b, c, Expand(w, 1));
        Step1(c, d, e, a, b, Expand(w, 2));
        Step1(b, c, d, e, a, Expand(w, 3));
        Step2(a, b, c, d, e, Expand(w, 4));
        Step2(e, a, b, c, d, Expand(w, 5));
        Step2(d, e, a, b, c, Expand(w, 6));
        Step2(c, d, e, a, b, Expand(w, 7));
        Step2(b, c, d, e, a, Expand(w, 8));
        Step2(a, b, c, d, e, Expand(w, 9));
        Step2(e, a, b, c, d, Expand(w, 10));
        Step2(d, e, a, b, c, Expand(w, 11));
        Step2(c, d, e, a, b, Expand(w, 12));
        Step2(b, c, d, e, a, Expand(w, 13));
        Step2(a, b, c, d, e, Expand(w, 14));
        Step2(e, a, b, c, d, Expand(w, 15));
        Step2(d, e, a, b, c, Expand(w, 0));
        Step2(c, d, e, a, b, Expand(w, 1));
        Step2(b, c, d, e, a, Expand(w, 2));
        Step2(a, b, c, d, e, Expand(w, 3));
        Step2(e, a, b, c, d, Expand(w, 4));
        Step2(d, e, a, b, c, Expand(w, 5));
        Step2(c, d, e, a, b, Expand(w, 6));
        Step2(b, c, d, e, a, Expand(w, 7));
        Step3(a, b, c, d, e, Expand(w, 8));
        Step3(e, a, b, c, d, Expand(w, 9));
        Step3(d, e, a, b, c, Expand(w, 10));
        Step3(c, d, e, a, b, Expand(w, 11));
        Step3(b, c, d, e, a, Expand(w, 12));
        Step3(a, b, c, d, e, Expand(w, 13));
        Step3(e, a, b, c, d, Expand(w, 14));
        Step3(d, e, a, b, c, Expand(w, 15));
        Step3(c, d, e, a, b, Expand(w, 0));
        Step3(b, c, d, e, a, Expand(w, 1));
        Step3(a, b, c, d, e, Expand(w, 2));
        Step3(e, a, b, c, d, Expand(w, 3));
        Step3(d, e, a, b, c, Expand(w, 4));
        Step3(c, d, e, a, b, Expand(w, 5));
        Step3(b, c, d, e, a, Expand(w, 6));
        Step3(a, b, c, d, e, Expand(w, 7));
        Step3(e, a, b, c, d, Expand(w, 8));
        Step3(d, e, a, b, c, Expand(w, 9));
        Step3(c, d, e, a, b, Expand(w, 10));
        Step3(b, c, d, e, a, Expand(w, 11));
        Step4(a, b, c, d, e, Expand(w, 12));
        Step4(e, a, b, c, d, Expand(w, 13));
        Step4(d, e, a, b, c, Expand(w, 14));
        Step4(c, d, e, a, b, Expand(w, 15));
        Step4(b, c, d, e, a, Expand(w, 0));
        Step4(a, b, c, d, e, Expand(w, 1));
        Step4(e, a, b, c, d, Expand(w, 2));
        Step4(d, e, a, b, c, Expand(w, 3));
        Step4(c, d, e, a, b, Expand(w, 4));
        Step4(b, c, d, e, a, Expand(w, 5));
        Step4(a, b, c, d, e, Expand(w, 6));
        Step4(e, a, b, c, d, Expand(w, 7));
        Step4(d, e, a, b, c, Expand(w, 8));
        Step4(c, d, e, a, b, Expand(w, 9));
        Step4(b, c, d, e, a, Expand(w, 10));
        Step4(a, b, c, d, e, Expand(w, 11));
        Step4(e, a, b, c, d, Expand(w, 12));
        Step4(d, e, a, b, c, Expand(w, 13));
        Step4(c, d, e, a, b, Expand(w, 14));
        Step4(b, c, d, e, a, Expand(w, 15));
        ChainState[0] += a;
        ChainState[1] += b;
        ChainState[2] += c;
        ChainState[3] += d;
        ChainState[4] += e;
    });
}

bool TDCP_sha1::SelfCheck() {
    // FIPS 180-1, Appendix A and B.
    static constexpr TKnownDigest Rows[] = {
        {"abc", {0xa9, 0x99, 0x3e, 0x36, 0x47, 0x06, 0x81, 0x6a, 0xba, 0x3e,
                 0x25, 0x71, 0x78, 0x50, 0xc2, 0x6c, 0x9c, 0xd0, 0xd8, 0x9d}},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         {0x84, 0x98, 0x3e, 0x44, 0x1c, 0x3b, 0xd2, 0x6e, 0xba, 0xae,
          0x4a, 0xa1, 0xf9, 0x51, 0x29, 0xe5, 0xe5, 0x46, 0x70, 0xf1}},
    };
    TDCP_sha1 hash;
    return hash.GivesKnownDigests(Rows);
}

} // namespace quillock::crypto
