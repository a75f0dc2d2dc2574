// The five chaining modes of both block sizes against OpenSSL and against the
// modes computed from OpenSSL's single-block cipher, including the unpadded
// tails, in-place use, splitting, the chain value and the counter. Rijndael runs
// every test on the AES instructions and on the portable rounds.
#include "CipherReference.h"
#include "crypto/Blowfish.h"
#include "crypto/Cipher.h"
#include "crypto/Rijndael.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace quillock::crypto;
using namespace quillock::crypto::reference;

constexpr TDCP_ciphermode AllModes[] = {cmCBC, cmCFB8bit, cmCFBblock, cmOFB, cmCTR};

const char* ModeName(TDCP_ciphermode mode) {
    switch (mode) {
    case cmCBC:
        return "CBC";
    case cmCFB8bit:
        return "CFB8";
    case cmCFBblock:
        return "CFBblock";
    case cmOFB:
        return "OFB";
    case cmCTR:
        return "CTR";
    }
    return "?";
}

// Accelerated: the key is set with the AES instructions allowed (the test is
// skipped where the processor lacks them) or with the portable rounds forced.
template <bool Accelerated> struct RijndaelTraits {
    using Cipher = TDCP_rijndael;
    static constexpr const char* Name = Accelerated ? "RijndaelAesInstructions" : "RijndaelPortable";
    static bool Available() { return !Accelerated || RijndaelAccelerationAvailable(); }
    static bool Select() { return SetRijndaelAcceleration(Accelerated); }
    static void Restore(bool previous) { SetRijndaelAcceleration(previous); }
    static void ExpectPath(const Cipher& cipher) { EXPECT_EQ(cipher.Accelerated(), Accelerated); }
    static constexpr std::size_t Block = 16;
    static std::vector<std::size_t> KeyBytes() { return {16, 20, 24, 32}; }
    static TOpenSslKey Key(const Bytes& key) { return RijndaelOpenSslKey(key); }
    // OpenSSL's own mode of that name, where it has one.
    static std::string OpenSslMode(const TOpenSslKey& key, TDCP_ciphermode mode) {
        const char* suffix[] = {"-CBC", "-CFB8", "-CFB", "-OFB", "-CTR"};
        return key.Family + suffix[mode];
    }
};

struct BlowfishTraits {
    using Cipher = TDCP_blowfish;
    static constexpr const char* Name = "Blowfish";
    static bool Available() { return true; }
    static bool Select() { return false; }
    static void Restore(bool) {}
    static void ExpectPath(const Cipher&) {}
    static constexpr std::size_t Block = 8;
    static std::vector<std::size_t> KeyBytes() { return {8, 20, 56}; }
    static TOpenSslKey Key(const Bytes& key) { return BlowfishOpenSslKey(key); }
    // OpenSSL offers Blowfish in CBC, 64-bit CFB and OFB only.
    static std::string OpenSslMode(const TOpenSslKey&, TDCP_ciphermode mode) {
        switch (mode) {
        case cmCBC:
            return "BF-CBC";
        case cmCFBblock:
            return "BF-CFB";
        case cmOFB:
            return "BF-OFB";
        default:
            return {};
        }
    }
};

template <class Traits> class ModesTest : public ::testing::Test {
protected:
    using Cipher = typename Traits::Cipher;
    static constexpr std::size_t N = Traits::Block;

    void SetUp() override {
        if (!Traits::Available()) {
            GTEST_SKIP() << "this processor has no AES instructions";
        }
        FPrevious = Traits::Select();
    }
    void TearDown() override { Traits::Restore(FPrevious); }
    bool FPrevious = true;

    static Bytes ChainOf(Cipher& cipher) {
        Bytes chain(N);
        cipher.GetChainVector(chain.data());
        return chain;
    }
    static Bytes Encrypt(Cipher& cipher, const Bytes& data) {
        Bytes out(data.size(), 0xA5);
        cipher.EncryptData(data.data(), out.data(), static_cast<std::uint32_t>(data.size()));
        return out;
    }
    static Bytes Decrypt(Cipher& cipher, const Bytes& data) {
        Bytes out(data.size(), 0xA5);
        cipher.DecryptData(data.data(), out.data(), static_cast<std::uint32_t>(data.size()));
        return out;
    }
    static Bytes BlockOf(Cipher& cipher, Bytes block) {
        cipher.EncryptBlock(block.data(), block.data());
        return block;
    }
};

using CipherTypes = ::testing::Types<RijndaelTraits<true>, RijndaelTraits<false>, BlowfishTraits>;
struct TraitsName {
    template <class T> static std::string GetName(int) { return T::Name; }
};
TYPED_TEST_SUITE(ModesTest, CipherTypes, TraitsName);

// Every mode, every length from 0 to three blocks and every tail length, for
// several key sizes: the described modes computed from OpenSSL's block cipher,
// and OpenSSL's own modes where it has them (CBC on whole blocks only: its
// tail is our own construction).
TYPED_TEST(ModesTest, EveryModeAndLengthMatchesTheIndependentImplementation) {
    constexpr std::size_t N = TypeParam::Block;
    for (const std::size_t keyBytes : TypeParam::KeyBytes()) {
        const Bytes key = Pattern(keyBytes, static_cast<unsigned>(keyBytes));
        const Bytes iv = Pattern(N, 99);
        const TOpenSslKey sslKey = TypeParam::Key(key);
        for (const TDCP_ciphermode mode : AllModes) {
            for (std::size_t size = 0; size < 4 * N; ++size) {
                SCOPED_TRACE(testing::Message()
                             << "key " << keyBytes << " mode " << ModeName(mode) << " size " << size);
                const Bytes plain = Pattern(size, static_cast<unsigned>(size * 7 + mode));
                typename TypeParam::Cipher cipher;
                cipher.Init(key.data(), static_cast<std::uint32_t>(keyBytes * 8), iv.data());
                cipher.SetCipherMode(mode);
                TypeParam::ExpectPath(cipher);

                TReferenceModes ref(sslKey, N, iv);
                const Bytes expected = ref.Encrypt(mode, plain);
                const Bytes enc = this->Encrypt(cipher, plain);
                ASSERT_EQ(ToHex(enc), ToHex(expected));
                EXPECT_EQ(ToHex(this->ChainOf(cipher)), ToHex(ref.Chain())) << "chain after encrypting";

                const std::string sslMode = TypeParam::OpenSslMode(sslKey, mode);
                if (!sslMode.empty()) {
                    const std::size_t covered = mode == cmCBC ? size / N * N : size;
                    const Bytes head(plain.begin(), plain.begin() + static_cast<long>(covered));
                    EXPECT_EQ(ToHex(Bytes(enc.begin(), enc.begin() + static_cast<long>(covered))),
                              ToHex(OpenSslCrypt(sslMode, sslKey.Key, iv, head, true)));
                }

                // Decryption restores the data and leaves the same chain value
                // as the independent decryption.
                cipher.Reset();
                TReferenceModes refDec(sslKey, N, iv);
                EXPECT_EQ(ToHex(refDec.Decrypt(mode, enc)), ToHex(plain));
                EXPECT_EQ(ToHex(this->Decrypt(cipher, enc)), ToHex(plain));
                EXPECT_EQ(ToHex(this->ChainOf(cipher)), ToHex(refDec.Chain())) << "chain after decrypting";

                // In place equals out of place, both directions.
                cipher.Reset();
                Bytes buffer = plain;
                cipher.EncryptData(buffer.data(), buffer.data(), static_cast<std::uint32_t>(size));
                EXPECT_EQ(buffer, enc);
                cipher.Reset();
                cipher.DecryptData(buffer.data(), buffer.data(), static_cast<std::uint32_t>(size));
                EXPECT_EQ(buffer, plain);
            }
        }
    }
}

// Long runs: every count of whole blocks up to several groups of blocks in
// flight, with every tail, in place and out of place, and continued from the
// chain value of an earlier call.
TYPED_TEST(ModesTest, LongRunsMatchTheIndependentImplementation) {
    constexpr std::size_t N = TypeParam::Block;
    const Bytes key = Pattern(20, 31);
    const Bytes iv = Pattern(N, 32);
    const TOpenSslKey sslKey = TypeParam::Key(key);
    for (const TDCP_ciphermode mode : AllModes) {
        typename TypeParam::Cipher cipher;
        cipher.Init(key.data(), 160, iv.data());
        cipher.SetCipherMode(mode);
        TypeParam::ExpectPath(cipher);
        TReferenceModes ref(sslKey, N, iv);
        // The first part of each round leaves a chain value the next run starts from.
        const Bytes lead = Pattern(3 * N, 33);
        const Bytes leadEnc = this->Encrypt(cipher, lead);
        EXPECT_EQ(ToHex(leadEnc), ToHex(ref.Encrypt(mode, lead)));
        for (std::size_t run = 0; run < 28 * 3; ++run) {
            const std::size_t tails[] = {0, 1, N - 1};
            const std::size_t size = run / 3 * N + tails[run % 3];
            SCOPED_TRACE(testing::Message() << ModeName(mode) << " size " << size);
            const Bytes plain = Pattern(size, static_cast<unsigned>(size + mode));
            TReferenceModes encRef = ref;
            const Bytes expected = encRef.Encrypt(mode, plain);

            cipher.Reset();
            this->Encrypt(cipher, lead);
            Bytes buffer = plain;
            cipher.EncryptData(buffer.data(), buffer.data(), static_cast<std::uint32_t>(size));
            ASSERT_EQ(ToHex(buffer), ToHex(expected));
            EXPECT_EQ(ToHex(this->ChainOf(cipher)), ToHex(encRef.Chain()));

            cipher.Reset();
            this->Decrypt(cipher, leadEnc);
            EXPECT_EQ(ToHex(this->Decrypt(cipher, expected)), ToHex(plain));
            cipher.Reset();
            this->Decrypt(cipher, leadEnc);
            cipher.DecryptData(buffer.data(), buffer.data(), static_cast<std::uint32_t>(size));
            EXPECT_EQ(buffer, plain);
            TReferenceModes decRef = ref;
            decRef.Decrypt(mode, expected);
            EXPECT_EQ(ToHex(this->ChainOf(cipher)), ToHex(decRef.Chain()));
        }
    }
}

// Two calls equal one exactly when the first part ends on a block edge (or
// always, for byte-wise feedback); either way they equal the described modes
// with the chain value carried over.
TYPED_TEST(ModesTest, SplittingRules) {
    constexpr std::size_t N = TypeParam::Block;
    const Bytes key = Pattern(20, 1);
    const Bytes iv = Pattern(N, 2);
    const Bytes plain = Pattern(3 * N + 5, 3);
    for (const TDCP_ciphermode mode : AllModes) {
        typename TypeParam::Cipher cipher;
        cipher.Init(key.data(), 160, iv.data());
        cipher.SetCipherMode(mode);
        const Bytes whole = this->Encrypt(cipher, plain);
        for (std::size_t split = 0; split <= plain.size(); ++split) {
            SCOPED_TRACE(testing::Message() << ModeName(mode) << " split " << split);
            const Bytes first(plain.begin(), plain.begin() + static_cast<long>(split));
            const Bytes second(plain.begin() + static_cast<long>(split), plain.end());
            cipher.Reset();
            Bytes parts = this->Encrypt(cipher, first);
            const Bytes rest = this->Encrypt(cipher, second);
            parts.insert(parts.end(), rest.begin(), rest.end());

            TReferenceModes ref(TypeParam::Key(key), N, iv);
            Bytes expected = ref.Encrypt(mode, first);
            const Bytes refRest = ref.Encrypt(mode, second);
            expected.insert(expected.end(), refRest.begin(), refRest.end());
            EXPECT_EQ(ToHex(parts), ToHex(expected));

            if (mode == cmCFB8bit || split % N == 0 || split == plain.size()) {
                EXPECT_EQ(parts, whole);
            } else {
                EXPECT_NE(parts, whole);
            }

            // Decryption split the same way restores the data.
            cipher.Reset();
            Bytes back = this->Decrypt(cipher, Bytes(parts.begin(), parts.begin() + static_cast<long>(split)));
            const Bytes backRest = this->Decrypt(cipher, Bytes(parts.begin() + static_cast<long>(split), parts.end()));
            back.insert(back.end(), backRest.begin(), backRest.end());
            EXPECT_EQ(back, plain);
        }
    }
}

// The unpadded CBC tail from the cipher's own block function: one block of
// output feedback from the last ciphertext block, or from the IV.
TYPED_TEST(ModesTest, CbcTailIsOutputFeedbackOfTheLastBlock) {
    constexpr std::size_t N = TypeParam::Block;
    const Bytes key = Pattern(20, 4);
    const Bytes iv = Pattern(N, 5);
    typename TypeParam::Cipher cipher;
    cipher.Init(key.data(), 160, iv.data());
    typename TypeParam::Cipher blocks;
    blocks.Init(key.data(), 160, iv.data());

    // Shorter than a block: input XOR E(IV).
    const Bytes shortPlain = Pattern(N - 1, 6);
    const Bytes shortEnc = this->Encrypt(cipher, shortPlain);
    const Bytes eiv = this->BlockOf(blocks, iv);
    for (std::size_t j = 0; j < shortPlain.size(); ++j) {
        EXPECT_EQ(shortEnc[j], shortPlain[j] ^ eiv[j]) << j;
    }
    EXPECT_EQ(this->ChainOf(cipher), eiv);

    // One block and four bytes: C1 = E(P1 XOR IV), tail XOR E(C1).
    cipher.Reset();
    const Bytes plain = Pattern(N + 4, 7);
    const Bytes enc = this->Encrypt(cipher, plain);
    Bytes p1(plain.begin(), plain.begin() + static_cast<long>(N));
    for (std::size_t j = 0; j < N; ++j) {
        p1[j] ^= iv[j];
    }
    const Bytes c1 = this->BlockOf(blocks, p1);
    EXPECT_EQ(Bytes(enc.begin(), enc.begin() + static_cast<long>(N)), c1);
    const Bytes ec1 = this->BlockOf(blocks, c1);
    for (std::size_t j = 0; j < 4; ++j) {
        EXPECT_EQ(enc[N + j], plain[N + j] ^ ec1[j]) << j;
    }

    // Decrypting the tail uses the forward cipher too and ends on the same chain
    // value.
    cipher.Reset();
    EXPECT_EQ(this->Decrypt(cipher, enc), plain);
    EXPECT_EQ(this->ChainOf(cipher), ec1);
}

TYPED_TEST(ModesTest, MissingIvIsTheEncryptedZeroBlock) {
    constexpr std::size_t N = TypeParam::Block;
    const Bytes key = Pattern(20, 8);
    typename TypeParam::Cipher a;
    a.Init(key.data(), 160, nullptr);
    const TOpenSslKey sslKey = TypeParam::Key(key);
    const Bytes ezero = OpenSslCrypt(sslKey.Family + "-ECB", sslKey.Key, {}, Bytes(N, 0), true);
    EXPECT_EQ(ToHex(this->ChainOf(a)), ToHex(ezero));

    // Two ciphers keyed alike give the same output, and it is CBC under that IV.
    typename TypeParam::Cipher b;
    b.Init(key.data(), 160, nullptr);
    const Bytes plain = Pattern(5 * N, 9);
    const Bytes encA = this->Encrypt(a, plain);
    EXPECT_EQ(encA, this->Encrypt(b, plain));
    EXPECT_EQ(ToHex(encA), ToHex(OpenSslCrypt(TypeParam::OpenSslMode(sslKey, cmCBC), sslKey.Key, ezero, plain, true)));
}

TYPED_TEST(ModesTest, ChainVectorResetAndSetInitVector) {
    constexpr std::size_t N = TypeParam::Block;
    const Bytes key = Pattern(20, 10);
    const Bytes iv = Pattern(N, 11);
    typename TypeParam::Cipher cipher;
    cipher.Init(key.data(), 160, iv.data());
    EXPECT_EQ(this->ChainOf(cipher), iv);

    // After two CBC blocks the chain value is the last ciphertext block, not the
    // IV.
    const Bytes plain = Pattern(2 * N, 12);
    const Bytes enc = this->Encrypt(cipher, plain);
    EXPECT_EQ(this->ChainOf(cipher), Bytes(enc.begin() + static_cast<long>(N), enc.end()));
    cipher.Reset();
    EXPECT_EQ(this->ChainOf(cipher), iv);
    EXPECT_EQ(this->Encrypt(cipher, plain), enc);

    // A new IV replaces the old one and resets.
    const Bytes iv2 = Pattern(N, 13);
    cipher.SetInitVector(iv2.data());
    EXPECT_EQ(this->ChainOf(cipher), iv2);
    const TOpenSslKey sslKey = TypeParam::Key(key);
    EXPECT_EQ(ToHex(this->Encrypt(cipher, plain)),
              ToHex(OpenSslCrypt(TypeParam::OpenSslMode(sslKey, cmCBC), sslKey.Key, iv2, plain, true)));
    cipher.Reset();
    EXPECT_EQ(this->ChainOf(cipher), iv2);

    // Nothing to do: every mode leaves the chain value alone.
    for (const TDCP_ciphermode mode : AllModes) {
        cipher.SetCipherMode(mode);
        std::uint8_t untouched = 0x5A;
        cipher.EncryptData(&untouched, &untouched, 0);
        cipher.DecryptData(&untouched, &untouched, 0);
        EXPECT_EQ(untouched, 0x5A);
        EXPECT_EQ(this->ChainOf(cipher), iv2) << ModeName(mode);
    }
}

TYPED_TEST(ModesTest, ModeChangeAppliesFromTheNextCall) {
    constexpr std::size_t N = TypeParam::Block;
    const Bytes key = Pattern(20, 14);
    const Bytes iv = Pattern(N, 15);
    typename TypeParam::Cipher cipher;
    cipher.Init(key.data(), 160, iv.data());
    EXPECT_EQ(cipher.CipherMode(), cmCBC);
    TReferenceModes ref(TypeParam::Key(key), N, iv);
    const Bytes plain = Pattern(2 * N + 3, 16);
    Bytes expected;
    Bytes got;
    for (const TDCP_ciphermode mode : {cmCBC, cmOFB, cmCFB8bit, cmCTR, cmCFBblock}) {
        cipher.SetCipherMode(mode);
        const Bytes part = this->Encrypt(cipher, plain);
        got.insert(got.end(), part.begin(), part.end());
        const Bytes refPart = ref.Encrypt(mode, plain);
        expected.insert(expected.end(), refPart.begin(), refPart.end());
    }
    EXPECT_EQ(ToHex(got), ToHex(expected));
}

TYPED_TEST(ModesTest, CounterIsOneBigEndianNumber) {
    constexpr std::size_t N = TypeParam::Block;
    const Bytes key = Pattern(20, 17);
    typename TypeParam::Cipher cipher;
    cipher.Init(key.data(), 160, nullptr);

    Bytes iv(N, 0x00);
    iv[N - 3] = 0x01;
    iv[N - 2] = 0xFF;
    iv[N - 1] = 0xFF;
    cipher.SetInitVector(iv.data());
    cipher.StepCounter();
    Bytes expected(N, 0x00);
    expected[N - 3] = 0x02;
    EXPECT_EQ(this->ChainOf(cipher), expected);
    cipher.StepCounter();
    expected[N - 1] = 0x01;
    EXPECT_EQ(this->ChainOf(cipher), expected);

    // All ones wraps to all zeros.
    cipher.SetInitVector(Bytes(N, 0xFF).data());
    cipher.StepCounter();
    EXPECT_EQ(this->ChainOf(cipher), Bytes(N, 0x00));

    // Counter mode across carries in the low bytes and a full wrap, against
    // the independent counter (OpenSSL's own CTR for the 16-byte block).
    for (const Bytes& start : {Bytes(N, 0xFF), [] {
                                   Bytes v(N, 0x37);
                                   v[N - 1] = 0xF9;
                                   v[N - 2] = 0xFF;
                                   v[N - 3] = 0xFF;
                                   return v;
                               }()}) {
        cipher.SetInitVector(start.data());
        cipher.SetCipherMode(cmCTR);
        const Bytes plain = Pattern(12 * N + 3, 18);
        TReferenceModes ref(TypeParam::Key(key), N, start);
        EXPECT_EQ(ToHex(this->Encrypt(cipher, plain)), ToHex(ref.Encrypt(cmCTR, plain)));
        EXPECT_EQ(this->ChainOf(cipher), ref.Chain());
        if (N == 16) {
            const TOpenSslKey sslKey = TypeParam::Key(key);
            cipher.Reset();
            EXPECT_EQ(ToHex(this->Encrypt(cipher, plain)),
                      ToHex(OpenSslCrypt(sslKey.Family + "-CTR", sslKey.Key, start, plain, true)));
        }
    }
}

} // namespace
