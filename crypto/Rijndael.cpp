// The Rijndael block cipher (AES, 128-bit block): table-driven rounds on words,
// the key expansion with zero padding and the equivalent inverse cipher.
#include "crypto/Rijndael.h"

#include "crypto/AesInstructions.h"
#include "crypto/RijndaelRounds.h"
#include "platform/Wipe.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace quillock::crypto {
namespace {

// ---- Constant tables ----
//
// Words hold the four bytes of a state column with row 0 in the low byte, so a
// column is the little-endian load of four consecutive block bytes.

// FIPS-197, Figure 7: the S-box.
constexpr std::uint8_t SBox[256] = {
    0x63, 0x7c, 0x77, 0x7b, 0xf2, 0x6b, 0x6f, 0xc5, 0x30, 0x01, 0x67, 0x2b, 0xfe, 0xd7, 0xab, 0x76, //
    0xca, 0x82, 0xc9, 0x7d, 0xfa, 0x59, 0x47, 0xf0, 0xad, 0xd4, 0xa2, 0xaf, 0x9c, 0xa4, 0x72, 0xc0, //
    0xb7, 0xfd, 0x93, 0x26, 0x36, 0x3f, 0xf7, 0xcc, 0x34, 0xa5, 0xe5, 0xf1, 0x71, 0xd8, 0x31, 0x15, //
    0x04, 0xc7, 0x23, 0xc3, 0x18, 0x96, 0x05, 0x9a, 0x07, 0x12, 0x80, 0xe2, 0xeb, 0x27, 0xb2, 0x75, //
    0x09, 0x83, 0x2c, 0x1a, 0x1b, 0x6e, 0x5a, 0xa0, 0x52, 0x3b, 0xd6, 0xb3, 0x29, 0xe3, 0x2f, 0x84, //
    0x53, 0xd1, 0x00, 0xed, 0x20, 0xfc, 0xb1, 0x5b, 0x6a, 0xcb, 0xbe, 0x39, 0x4a, 0x4c, 0x58, 0xcf, //
    0xd0, 0xef, 0xaa, 0xfb, 0x43, 0x4d, 0x33, 0x85, 0x45, 0xf9, 0x02, 0x7f, 0x50, 0x3c, 0x9f, 0xa8, //
    0x51, 0xa3, 0x40, 0x8f, 0x92, 0x9d, 0x38, 0xf5, 0xbc, 0xb6, 0xda, 0x21, 0x10, 0xff, 0xf3, 0xd2, //
    0xcd, 0x0c, 0x13, 0xec, 0x5f, 0x97, 0x44, 0x17, 0xc4, 0xa7, 0x7e, 0x3d, 0x64, 0x5d, 0x19, 0x73, //
    0x60, 0x81, 0x4f, 0xdc, 0x22, 0x2a, 0x90, 0x88, 0x46, 0xee, 0xb8, 0x14, 0xde, 0x5e, 0x0b, 0xdb, //
    0xe0, 0x32, 0x3a, 0x0a, 0x49, 0x06, 0x24, 0x5c, 0xc2, 0xd3, 0xac, 0x62, 0x91, 0x95, 0xe4, 0x79, //
    0xe7, 0xc8, 0x37, 0x6d, 0x8d, 0xd5, 0x4e, 0xa9, 0x6c, 0x56, 0xf4, 0xea, 0x65, 0x7a, 0xae, 0x08, //
    0xba, 0x78, 0x25, 0x2e, 0x1c, 0xa6, 0xb4, 0xc6, 0xe8, 0xdd, 0x74, 0x1f, 0x4b, 0xbd, 0x8b, 0x8a, //
    0x70, 0x3e, 0xb5, 0x66, 0x48, 0x03, 0xf6, 0x0e, 0x61, 0x35, 0x57, 0xb9, 0x86, 0xc1, 0x1d, 0x9e, //
    0xe1, 0xf8, 0x98, 0x11, 0x69, 0xd9, 0x8e, 0x94, 0x9b, 0x1e, 0x87, 0xe9, 0xce, 0x55, 0x28, 0xdf, //
    0x8c, 0xa1, 0x89, 0x0d, 0xbf, 0xe6, 0x42, 0x68, 0x41, 0x99, 0x2d, 0x0f, 0xb0, 0x54, 0xbb, 0x16, //
};

// The S-box and the field arithmetic are checked against their definitions
// when this file is compiled, so a mistyped entry cannot slip through.
constexpr std::uint8_t XTime(std::uint8_t x) {
    return static_cast<std::uint8_t>((x << 1) ^ ((x & 0x80) != 0 ? 0x1b : 0x00));
}

// Multiplication in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1 (0x11b).
constexpr std::uint8_t Mul(std::uint8_t a, std::uint8_t b) {
    std::uint8_t product = 0;
    while (b != 0) {
        if ((b & 1) != 0) {
            product ^= a;
        }
        a = XTime(a);
        b >>= 1;
    }
    return product;
}

constexpr std::uint8_t Rotl8(std::uint8_t x, int n) {
    return static_cast<std::uint8_t>((x << n) | (x >> (8 - n)));
}

// FIPS-197, 5.1.1: the multiplicative inverse followed by the affine transformation.
constexpr bool SBoxMatchesDefinition() {
    for (int x = 0; x < 256; ++x) {
        std::uint8_t inverse = 0;
        for (int y = 1; y < 256 && x != 0; ++y) {
            if (Mul(static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(y)) == 1) {
                inverse = static_cast<std::uint8_t>(y);
            }
        }
        const auto s = static_cast<std::uint8_t>(inverse ^ Rotl8(inverse, 1) ^ Rotl8(inverse, 2) ^ Rotl8(inverse, 3) ^
                                                 Rotl8(inverse, 4) ^ 0x63);
        if (s != SBox[x]) {
            return false;
        }
    }
    return true;
}
static_assert(SBoxMatchesDefinition(), "S-box differs from its definition");

// FIPS-197, Figure 14: the inverse S-box.
constexpr std::array<std::uint8_t, 256> MakeInverseSBox() {
    std::array<std::uint8_t, 256> inverse{};
    for (int x = 0; x < 256; ++x) {
        inverse[SBox[x]] = static_cast<std::uint8_t>(x);
    }
    return inverse;
}
constexpr std::array<std::uint8_t, 256> InverseSBox = MakeInverseSBox();

// FIPS-197, 5.2: Rcon[i] = x^(i-1) in GF(2^8); ten are enough for Nk = 4.
constexpr std::array<std::uint8_t, 10> RoundConstants = [] {
    std::array<std::uint8_t, 10> rcon{};
    std::uint8_t value = 0x01;
    for (auto& r : rcon) {
        r = value;
        value = XTime(value);
    }
    return rcon;
}();
static_assert(RoundConstants[8] == 0x1b && RoundConstants[9] == 0x36);

constexpr std::uint32_t Column(std::uint8_t row0, std::uint8_t row1, std::uint8_t row2, std::uint8_t row3) {
    return std::uint32_t{row0} | (std::uint32_t{row1} << 8) | (std::uint32_t{row2} << 16) | (std::uint32_t{row3} << 24);
}

constexpr std::uint32_t Rotl32(std::uint32_t x, int n) {
    return n == 0 ? x : (x << n) | (x >> (32 - n));
}

using TTable = std::array<std::uint32_t, 256>;
using TTables = std::array<TTable, 4>;

// Table r maps a byte b in row r of a column to the column that one
// multiplication by the matrix column (c0, c1, c2, c3), rotated down by r rows,
// contributes; box is applied to b first.
constexpr TTables MakeTables(const std::uint8_t* box, std::uint8_t c0, std::uint8_t c1, std::uint8_t c2,
                             std::uint8_t c3) {
    TTables tables{};
    for (int b = 0; b < 256; ++b) {
        const std::uint8_t s = box == nullptr ? static_cast<std::uint8_t>(b) : box[b];
        const std::uint32_t word = Column(Mul(s, c0), Mul(s, c1), Mul(s, c2), Mul(s, c3));
        for (int r = 0; r < 4; ++r) {
            tables[r][b] = Rotl32(word, 8 * r);
        }
    }
    return tables;
}

// SubBytes and MixColumns (column 02 01 01 03) in one lookup per byte.
constexpr TTables EncryptTables = MakeTables(SBox, 0x02, 0x01, 0x01, 0x03);
// InvSubBytes and InvMixColumns (column 0e 09 0d 0b).
constexpr TTables DecryptTables = MakeTables(InverseSBox.data(), 0x0e, 0x09, 0x0d, 0x0b);
// InvMixColumns alone, for turning round keys into those of the equivalent inverse cipher.
constexpr TTables KeyTables = MakeTables(nullptr, 0x0e, 0x09, 0x0d, 0x0b);

static_assert(EncryptTables[0][0] == Column(0xc6, 0x63, 0x63, 0xa5) &&
              EncryptTables[0][1] == Column(0xf8, 0x7c, 0x7c, 0x84));

constexpr std::uint8_t Byte(std::uint32_t word, int row) {
    return static_cast<std::uint8_t>(word >> (8 * row));
}

std::uint32_t LoadColumn(const std::uint8_t* p) noexcept {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

void StoreColumn(std::uint32_t word, std::uint8_t* p) noexcept {
    p[0] = Byte(word, 0);
    p[1] = Byte(word, 1);
    p[2] = Byte(word, 2);
    p[3] = Byte(word, 3);
}

constexpr std::uint32_t SubWord(std::uint32_t word) {
    return Column(SBox[Byte(word, 0)], SBox[Byte(word, 1)], SBox[Byte(word, 2)], SBox[Byte(word, 3)]);
}

// ---- Portable rounds ----
//
// The rounds work on a state of four column words, with the round count as a
// template argument so that they unroll. The block functions take the round
// keys and the round count only, so another implementation of the rounds can
// be chosen beside them.

#define QUILLOCK_INLINE inline __attribute__((always_inline))

// FIPS-197 Cipher: roundKeys holds Rounds + 1 round keys in order.
template <std::uint32_t Rounds>
QUILLOCK_INLINE void EncryptColumns(const std::uint32_t* rk, std::uint32_t* s) noexcept {
    const auto& t = EncryptTables;
    std::uint32_t s0 = s[0] ^ rk[0];
    std::uint32_t s1 = s[1] ^ rk[1];
    std::uint32_t s2 = s[2] ^ rk[2];
    std::uint32_t s3 = s[3] ^ rk[3];
    rk += 4;
    // ShiftRows takes row r of output column c from input column c + r. The
    // XORs pair up so that each round waits for two of them after the lookups,
    // not four: encryption is one long chain of rounds.
#pragma GCC unroll 14
    for (std::uint32_t round = 1; round < Rounds; ++round, rk += 4) {
        const std::uint32_t u0 =
            (t[0][Byte(s0, 0)] ^ t[1][Byte(s1, 1)]) ^ (t[2][Byte(s2, 2)] ^ t[3][Byte(s3, 3)] ^ rk[0]);
        const std::uint32_t u1 =
            (t[0][Byte(s1, 0)] ^ t[1][Byte(s2, 1)]) ^ (t[2][Byte(s3, 2)] ^ t[3][Byte(s0, 3)] ^ rk[1]);
        const std::uint32_t u2 =
            (t[0][Byte(s2, 0)] ^ t[1][Byte(s3, 1)]) ^ (t[2][Byte(s0, 2)] ^ t[3][Byte(s1, 3)] ^ rk[2]);
        const std::uint32_t u3 =
            (t[0][Byte(s3, 0)] ^ t[1][Byte(s0, 1)]) ^ (t[2][Byte(s1, 2)] ^ t[3][Byte(s2, 3)] ^ rk[3]);
        s0 = u0;
        s1 = u1;
        s2 = u2;
        s3 = u3;
    }
    // The last round has no MixColumns.
    s[0] = Column(SBox[Byte(s0, 0)], SBox[Byte(s1, 1)], SBox[Byte(s2, 2)], SBox[Byte(s3, 3)]) ^ rk[0];
    s[1] = Column(SBox[Byte(s1, 0)], SBox[Byte(s2, 1)], SBox[Byte(s3, 2)], SBox[Byte(s0, 3)]) ^ rk[1];
    s[2] = Column(SBox[Byte(s2, 0)], SBox[Byte(s3, 1)], SBox[Byte(s0, 2)], SBox[Byte(s1, 3)]) ^ rk[2];
    s[3] = Column(SBox[Byte(s3, 0)], SBox[Byte(s0, 1)], SBox[Byte(s1, 2)], SBox[Byte(s2, 3)]) ^ rk[3];
}

// FIPS-197 equivalent inverse cipher on Lanes independent states side by side:
// roundKeys holds Rounds + 1 round keys in encryption order, those of rounds 1
// to Rounds - 1 passed through InvMixColumns; they are used from the last to
// the first.
template <std::uint32_t Rounds, std::size_t Lanes>
QUILLOCK_INLINE void DecryptColumns(const std::uint32_t* roundKeys, std::uint32_t (*s)[4]) noexcept {
    const auto& t = DecryptTables;
    const std::uint32_t* rk = roundKeys + 4 * Rounds;
#pragma GCC unroll 4
    for (std::size_t l = 0; l < Lanes; ++l) {
        for (std::size_t c = 0; c < 4; ++c) {
            s[l][c] ^= rk[c];
        }
    }
    rk -= 4;
    // InvShiftRows takes row r of output column c from input column c - r.
#pragma GCC unroll 14
    for (std::uint32_t round = 1; round < Rounds; ++round, rk -= 4) {
#pragma GCC unroll 4
        for (std::size_t l = 0; l < Lanes; ++l) {
            const auto [s0, s1, s2, s3] = s[l];
            s[l][0] = t[0][Byte(s0, 0)] ^ t[1][Byte(s3, 1)] ^ t[2][Byte(s2, 2)] ^ t[3][Byte(s1, 3)] ^ rk[0];
            s[l][1] = t[0][Byte(s1, 0)] ^ t[1][Byte(s0, 1)] ^ t[2][Byte(s3, 2)] ^ t[3][Byte(s2, 3)] ^ rk[1];
            s[l][2] = t[0][Byte(s2, 0)] ^ t[1][Byte(s1, 1)] ^ t[2][Byte(s0, 2)] ^ t[3][Byte(s3, 3)] ^ rk[2];
            s[l][3] = t[0][Byte(s3, 0)] ^ t[1][Byte(s2, 1)] ^ t[2][Byte(s1, 2)] ^ t[3][Byte(s0, 3)] ^ rk[3];
        }
    }
    const auto& inv = InverseSBox;
#pragma GCC unroll 4
    for (std::size_t l = 0; l < Lanes; ++l) {
        const auto [s0, s1, s2, s3] = s[l];
        s[l][0] = Column(inv[Byte(s0, 0)], inv[Byte(s3, 1)], inv[Byte(s2, 2)], inv[Byte(s1, 3)]) ^ rk[0];
        s[l][1] = Column(inv[Byte(s1, 0)], inv[Byte(s0, 1)], inv[Byte(s3, 2)], inv[Byte(s2, 3)]) ^ rk[1];
        s[l][2] = Column(inv[Byte(s2, 0)], inv[Byte(s1, 1)], inv[Byte(s0, 2)], inv[Byte(s3, 3)]) ^ rk[2];
        s[l][3] = Column(inv[Byte(s3, 0)], inv[Byte(s2, 1)], inv[Byte(s1, 2)], inv[Byte(s0, 3)]) ^ rk[3];
    }
}

QUILLOCK_INLINE void LoadState(const std::uint8_t* p, std::uint32_t* s) noexcept {
    for (int c = 0; c < 4; ++c) {
        s[c] = LoadColumn(p + 4 * c);
    }
}

QUILLOCK_INLINE void StoreState(const std::uint32_t* s, std::uint8_t* p) noexcept {
    for (int c = 0; c < 4; ++c) {
        StoreColumn(s[c], p + 4 * c);
    }
}

template <std::uint32_t Rounds>
void EncryptBlockN(const std::uint32_t* roundKeys, const std::uint8_t* in, std::uint8_t* out) noexcept {
    std::uint32_t s[4];
    LoadState(in, s);
    EncryptColumns<Rounds>(roundKeys, s);
    StoreState(s, out);
}

template <std::uint32_t Rounds>
void DecryptBlockN(const std::uint32_t* roundKeys, const std::uint8_t* in, std::uint8_t* out) noexcept {
    std::uint32_t s[1][4];
    LoadState(in, s[0]);
    DecryptColumns<Rounds, 1>(roundKeys, s);
    StoreState(s[0], out);
}

// CBC over whole blocks; chain (16 bytes) carried in and out; in and out may be
// the same buffer.
template <std::uint32_t Rounds>
void CbcEncryptN(const std::uint32_t* roundKeys, std::uint8_t* chain, const std::uint8_t* in, std::uint8_t* out,
                 std::size_t blocks) noexcept {
    std::uint32_t s[4];
    LoadState(chain, s);
    for (std::size_t i = 0; i < blocks; ++i, in += 16, out += 16) {
        for (int c = 0; c < 4; ++c) {
            s[c] ^= LoadColumn(in + 4 * c);
        }
        EncryptColumns<Rounds>(roundKeys, s);
        StoreState(s, out);
    }
    StoreState(s, chain);
}

// Two blocks at a time: the table lookups of one fill the waits of the other.
template <std::uint32_t Rounds>
void CbcDecryptN(const std::uint32_t* roundKeys, std::uint8_t* chain, const std::uint8_t* in, std::uint8_t* out,
                 std::size_t blocks) noexcept {
    std::uint32_t cv[4];
    LoadState(chain, cv);
    for (; blocks >= 2; blocks -= 2, in += 32, out += 32) {
        std::uint32_t c[2][4];
        LoadState(in, c[0]);
        LoadState(in + 16, c[1]);
        std::uint32_t s[2][4] = {{c[0][0], c[0][1], c[0][2], c[0][3]}, {c[1][0], c[1][1], c[1][2], c[1][3]}};
        DecryptColumns<Rounds, 2>(roundKeys, s);
        for (int k = 0; k < 4; ++k) {
            s[0][k] ^= cv[k];
            s[1][k] ^= c[0][k];
            cv[k] = c[1][k];
        }
        StoreState(s[0], out);
        StoreState(s[1], out + 16);
    }
    if (blocks == 1) {
        std::uint32_t c[4];
        LoadState(in, c);
        std::uint32_t s[1][4] = {{c[0], c[1], c[2], c[3]}};
        DecryptColumns<Rounds, 1>(roundKeys, s);
        for (int k = 0; k < 4; ++k) {
            s[0][k] ^= cv[k];
            cv[k] = c[k];
        }
        StoreState(s[0], out);
    }
    StoreState(cv, chain);
}

void EncryptPortable(const std::uint32_t* roundKeys, std::uint32_t rounds, const std::uint8_t* in,
                     std::uint8_t* out) noexcept {
    WithRounds(rounds, [&]<std::uint32_t R>() { EncryptBlockN<R>(roundKeys, in, out); });
}

void DecryptPortable(const std::uint32_t* roundKeys, std::uint32_t rounds, const std::uint8_t* in,
                     std::uint8_t* out) noexcept {
    WithRounds(rounds, [&]<std::uint32_t R>() { DecryptBlockN<R>(roundKeys, in, out); });
}

void CbcEncryptPortable(const std::uint32_t* roundKeys, std::uint32_t rounds, std::uint8_t* chain,
                        const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) noexcept {
    WithRounds(rounds, [&]<std::uint32_t R>() { CbcEncryptN<R>(roundKeys, chain, in, out, blocks); });
}

void CbcDecryptPortable(const std::uint32_t* roundKeys, std::uint32_t rounds, std::uint8_t* chain,
                        const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) noexcept {
    WithRounds(rounds, [&]<std::uint32_t R>() { CbcDecryptN<R>(roundKeys, chain, in, out, blocks); });
}

// FIPS-197, 5.2 KeyExpansion for a key of nk words, into rounds + 1 round keys.
void ExpandPortable(const std::uint8_t* key, std::uint32_t nk, std::uint32_t rounds, std::uint32_t* w) noexcept {
    const std::uint32_t total = 4 * (rounds + 1);
    for (std::uint32_t i = 0; i < nk; ++i) {
        w[i] = LoadColumn(key + 4 * i);
    }
    for (std::uint32_t i = nk; i < total; ++i) {
        std::uint32_t temp = w[i - 1];
        if (i % nk == 0) {
            // RotWord moves row 1 to row 0, i.e. right by one byte in our word order.
            temp = SubWord(Rotl32(temp, 24)) ^ RoundConstants[i / nk - 1];
        } else if (nk > 6 && i % nk == 4) {
            temp = SubWord(temp);
        }
        w[i] = w[i - nk] ^ temp;
    }
}

std::uint32_t InvMixColumn(std::uint32_t word) noexcept {
    return KeyTables[0][Byte(word, 0)] ^ KeyTables[1][Byte(word, 1)] ^ KeyTables[2][Byte(word, 2)] ^
           KeyTables[3][Byte(word, 3)];
}

// FIPS-197 Appendix C.1, C.2 and C.3: key 00 01 02 ..., plain block 00 11 22 ... ff.
struct TKnownAnswer {
    std::uint32_t KeyBits;
    std::uint8_t Cipher[16];
};

constexpr std::uint8_t KnownAnswerPlain[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                               0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};

constexpr TKnownAnswer KnownAnswers[] = {
    {128, {0x69, 0xc4, 0xe0, 0xd8, 0x6a, 0x7b, 0x04, 0x30, 0xd8, 0xcd, 0xb7, 0x80, 0x70, 0xb4, 0xc5, 0x5a}},
    {192, {0xdd, 0xa9, 0x7c, 0xa4, 0x86, 0x4c, 0xdf, 0xe0, 0x6e, 0xaf, 0x70, 0xa0, 0xec, 0x0d, 0x71, 0x91}},
    {256, {0x8e, 0xa2, 0xb7, 0xca, 0x51, 0x67, 0x45, 0xbf, 0xea, 0xfc, 0x49, 0x90, 0x4b, 0x49, 0x60, 0x89}},
};

bool AesInstructionsPresent() noexcept {
    static const bool present = aes::Supported();
    return present;
}

std::atomic<bool>& AccelerationSwitch() noexcept {
    static std::atomic<bool> allowed{std::getenv("QUILLOCK_PORTABLE_CRYPTO") == nullptr};
    return allowed;
}

} // namespace

bool RijndaelAccelerationAvailable() noexcept {
    return AesInstructionsPresent();
}

const char* RijndaelAccelerationName() noexcept {
    return aes::Name;
}

bool SetRijndaelAcceleration(bool allowed) noexcept {
    return AccelerationSwitch().exchange(allowed);
}

bool RijndaelAccelerationAllowed() noexcept {
    return AccelerationSwitch().load();
}

TDCP_rijndael::~TDCP_rijndael() {
    if (Initialized()) {
        Scrub();
    }
}

bool TDCP_rijndael::SelfCheck() {
    std::uint8_t key[32];
    for (std::size_t i = 0; i < sizeof key; ++i) {
        key[i] = static_cast<std::uint8_t>(i);
    }
    TDCP_rijndael cipher;
    bool ok = true;
    for (const auto& answer : KnownAnswers) {
        std::uint8_t block[16];
        cipher.Init(key, answer.KeyBits, nullptr);
        cipher.EncryptBlock(KnownAnswerPlain, block);
        ok = ok && std::memcmp(block, answer.Cipher, sizeof block) == 0;
        cipher.DecryptBlock(block, block);
        ok = ok && std::memcmp(block, KnownAnswerPlain, sizeof block) == 0;
        cipher.Scrub();
    }
    return ok;
}

void TDCP_rijndael::ExpandKey(const void* key, std::uint32_t size) {
    // Whole bytes only, at most 32 of them.
    const std::size_t n = std::min<std::size_t>(size / 8, 32);
    std::uint8_t keyArea[32] = {};
    std::memcpy(keyArea, key, n);

    std::uint32_t nk = 8;
    RoundCount = 14;
    if (n <= 16) {
        nk = 4;
        RoundCount = 10;
    } else if (n <= 24) {
        nk = 6;
        RoundCount = 12;
    }
    ExpandPortable(keyArea, nk, RoundCount, EncryptRoundKeys.data());
    platform::SecureZero(keyArea, sizeof keyArea);

    DecryptRoundKeys = EncryptRoundKeys;
    for (std::uint32_t i = 4; i < 4 * RoundCount; ++i) {
        DecryptRoundKeys[i] = InvMixColumn(DecryptRoundKeys[i]);
    }
    // The instructions take the same round keys, so the choice is only which
    // rounds to run; it is made here, once per key.
    UseAesInstructions = RijndaelAccelerationAllowed() && AesInstructionsPresent();
}

void TDCP_rijndael::Scrub() {
    RoundCount = 0;
    UseAesInstructions = false;
    platform::SecureFill(EncryptRoundKeys.data(), sizeof EncryptRoundKeys, 0x00);
    platform::SecureFill(DecryptRoundKeys.data(), sizeof DecryptRoundKeys, 0x00);
    TDCP_blockcipher128::Scrub();
}

void TDCP_rijndael::CryptBlock(bool encrypting, const void* inBlock, void* outBlock) {
    CheckInitialized();
    const auto* in = static_cast<const std::uint8_t*>(inBlock);
    auto* out = static_cast<std::uint8_t*>(outBlock);
    const std::uint32_t* keys = encrypting ? EncryptRoundKeys.data() : DecryptRoundKeys.data();
    if (UseAesInstructions) {
        (encrypting ? aes::EncryptBlock : aes::DecryptBlock)(keys, RoundCount, in, out);
    } else {
        (encrypting ? EncryptPortable : DecryptPortable)(keys, RoundCount, in, out);
    }
}

template <bool Encrypting> void TDCP_rijndael::Cbc(const void* inData, void* outData, std::uint32_t size) {
    CheckInitialized();
    const auto* in = static_cast<const std::uint8_t*>(inData);
    auto* out = static_cast<std::uint8_t*>(outData);
    const std::size_t blocks = size / 16;
    const std::uint32_t* keys = Encrypting ? EncryptRoundKeys.data() : DecryptRoundKeys.data();
    if (UseAesInstructions) {
        (Encrypting ? aes::CbcEncrypt : aes::CbcDecrypt)(keys, RoundCount, ChainVector.data(), in, out, blocks);
    } else {
        (Encrypting ? CbcEncryptPortable : CbcDecryptPortable)(keys, RoundCount, ChainVector.data(), in, out, blocks);
    }
    // A tail shorter than a block is enciphered as output feedback from the
    // last ciphertext block (or the IV), with the forward cipher in
    // decryption too.
    FeedbackTail(in + 16 * blocks, out + 16 * blocks, size % 16);
}

void TDCP_rijndael::CbcEncrypt(const void* inData, void* outData, std::uint32_t size) {
    Cbc<true>(inData, outData, size);
}

void TDCP_rijndael::CbcDecrypt(const void* inData, void* outData, std::uint32_t size) {
    Cbc<false>(inData, outData, size);
}

} // namespace quillock::crypto
