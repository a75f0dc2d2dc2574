// Rijndael: published known answers, the zero padding of short keys, agreement
// with OpenSSL's AES, and the unkeyed and scrubbed states, each on the AES
// instructions and on the portable rounds; the two paths against each other.
#include "BlockCipherChecks.h"
#include "CipherReference.h"
#include "VecFile.h"

#include "crypto/Rijndael.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace quillock::crypto {

// Read access to the key schedule, for the tests of Scrub.
struct TRijndaelInspector {
    static std::uint32_t RoundCount(const TDCP_rijndael& c) { return c.RoundCount; }
    static bool SchedulesAllZero(const TDCP_rijndael& c) {
        const auto zero = [](std::uint32_t w) { return w == 0; };
        return std::all_of(c.EncryptRoundKeys.begin(), c.EncryptRoundKeys.end(), zero) &&
               std::all_of(c.DecryptRoundKeys.begin(), c.DecryptRoundKeys.end(), zero);
    }
};

namespace {

using tests::Bytes;
using tests::ToHex;

Bytes OpenSslEcb(const Bytes& aesKey, const Bytes& data, bool encrypt) {
    const std::string name = "AES-" + std::to_string(aesKey.size() * 8) + "-ECB";
    return reference::OpenSslCrypt(name, aesKey, {}, data, encrypt);
}

// Every test runs twice: with the AES instructions (skipped where the processor
// lacks them) and with the portable rounds forced.
class Rijndael : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam() && !RijndaelAccelerationAvailable()) {
            GTEST_SKIP() << "this processor has no AES instructions";
        }
        FPrevious = SetRijndaelAcceleration(GetParam());
    }
    void TearDown() override { SetRijndaelAcceleration(FPrevious); }

    // The key really runs on the path under test.
    static void ExpectPath(const TDCP_rijndael& cipher) { EXPECT_EQ(cipher.Accelerated(), GetParam()); }

private:
    bool FPrevious = true;
};

INSTANTIATE_TEST_SUITE_P(Paths, Rijndael, ::testing::Bool(), [](const ::testing::TestParamInfo<bool>& info) {
    return std::string(info.param ? "AesInstructions" : "Portable");
});

TEST_P(Rijndael, PublishedVectors) {
    const auto records = tests::ReadVecFile(std::string(QUILLOCK_TEST_DATA) + "/cipher/rijndael.vec");
    ASSERT_GE(records.size(), 3u);
    TDCP_rijndael cipher;
    ExpectPublishedVectors(cipher, records, [&] { ExpectPath(cipher); });
}

TEST_P(Rijndael, ClassQueriesAndSelfCheck) {
    ExpectClass<TDCP_rijndael>(9, "Rijndael", 256, 128);
}

// Keys of every accepted length agree with OpenSSL's AES keyed with the whole
// key bytes padded with zeros to 16, 24 or 32 bytes.
TEST_P(Rijndael, ShortKeysArePaddedWithZeros) {
    const Bytes keyMaterial = reference::Pattern(32, 7);
    const Bytes plain = reference::Pattern(64, 8);
    for (std::uint32_t bits = 4; bits <= 256; bits += 4) {
        SCOPED_TRACE("key of " + std::to_string(bits) + " bits");
        const std::size_t whole = bits / 8;
        const std::size_t padded = whole <= 16 ? 16 : (whole <= 24 ? 24 : 32);
        Bytes aesKey(keyMaterial.begin(), keyMaterial.begin() + static_cast<long>(whole));
        aesKey.resize(padded, 0);

        // A half byte at the end must be ignored, whatever its value.
        Bytes given(keyMaterial.begin(), keyMaterial.begin() + static_cast<long>((bits + 7) / 8));
        if (bits % 8 != 0) {
            given.back() = 0xFF;
        }
        TDCP_rijndael cipher;
        cipher.Init(given.data(), bits, nullptr);
        const Bytes cipherText = EncryptBlocks(cipher, plain);
        EXPECT_EQ(ToHex(cipherText), ToHex(OpenSslEcb(aesKey, plain, true)));
        EXPECT_EQ(ToHex(DecryptBlocks(cipher, cipherText)), ToHex(plain));
    }
}

// What every data file uses: the 20-byte digest as a 160-bit key.
TEST_P(Rijndael, DigestKeyIsAes192WithFourZeroBytes) {
    const Bytes digest = reference::Pattern(20, 11);
    Bytes padded = digest;
    padded.resize(24, 0);
    const Bytes plain = reference::Pattern(48, 12);

    TDCP_rijndael short160;
    short160.Init(digest.data(), 160, nullptr);
    TDCP_rijndael full192;
    full192.Init(padded.data(), 192, nullptr);
    ExpectPath(short160);
    EXPECT_EQ(TRijndaelInspector::RoundCount(short160), 12u);

    const Bytes viaShort = EncryptBlocks(short160, plain);
    EXPECT_EQ(ToHex(viaShort), ToHex(EncryptBlocks(full192, plain)));
    EXPECT_EQ(ToHex(viaShort), ToHex(reference::OpenSslCrypt("AES-192-ECB", padded, {}, plain, true)));
    EXPECT_EQ(ToHex(DecryptBlocks(short160, viaShort)), ToHex(plain));
}

TEST_P(Rijndael, AgreesWithOpenSslForRandomKeys) {
    std::mt19937 rng(20240601);
    for (const std::size_t keyBytes : {16u, 24u, 32u}) {
        for (int trial = 0; trial < 20; ++trial) {
            TDCP_rijndael cipher;
            ExpectAgreesWithOpenSsl(cipher, rng, keyBytes, 16 * 8, "AES-" + std::to_string(keyBytes * 8) + "-ECB",
                                    [&] { ExpectPath(cipher); });
        }
    }
}

TEST_P(Rijndael, UnkeyedUntilInitAndAfterScrub) {
    TDCP_rijndael cipher;
    EXPECT_EQ(TRijndaelInspector::RoundCount(cipher), 0u);
    EXPECT_TRUE(TRijndaelInspector::SchedulesAllZero(cipher));
    ExpectUnkeyed(cipher);

    const Bytes key = reference::Pattern(32, 3);
    const Bytes plain = reference::Pattern(16, 4);
    cipher.Init(key.data(), 256, nullptr);
    EXPECT_EQ(TRijndaelInspector::RoundCount(cipher), 14u);
    EXPECT_FALSE(TRijndaelInspector::SchedulesAllZero(cipher));
    const Bytes expected = OpenSslEcb(key, plain, true);
    EXPECT_EQ(ToHex(EncryptBlocks(cipher, plain)), ToHex(expected));

    cipher.Scrub();
    EXPECT_EQ(TRijndaelInspector::RoundCount(cipher), 0u);
    EXPECT_TRUE(TRijndaelInspector::SchedulesAllZero(cipher));
    EXPECT_FALSE(cipher.Accelerated());
    ExpectUnkeyed(cipher);

    // Keying again restores full function, now with a shorter key and fewer rounds.
    const Bytes key128(key.begin(), key.begin() + 16);
    cipher.Init(key128.data(), 128, nullptr);
    EXPECT_EQ(TRijndaelInspector::RoundCount(cipher), 10u);
    EXPECT_EQ(ToHex(EncryptBlocks(cipher, plain)), ToHex(OpenSslEcb(key128, plain, true)));
}

// A refused key size leaves the cipher unkeyed, with the previous key wiped.
TEST_P(Rijndael, RefusedKeySizeWipesPreviousKey) {
    const Bytes key = reference::Pattern(40, 5);
    TDCP_rijndael cipher;
    cipher.Init(key.data(), 128, nullptr);
    for (const std::uint32_t bits : {0u, 6u, 260u, 320u}) {
        SCOPED_TRACE(bits);
        EXPECT_THROW(
            {
                try {
                    cipher.Init(key.data(), bits, nullptr);
                } catch (const EDCP_cipher& e) {
                    EXPECT_STREQ(e.what(), "Invalid key size");
                    throw;
                }
            },
            EDCP_cipher);
        EXPECT_TRUE(TRijndaelInspector::SchedulesAllZero(cipher));
        ExpectUnkeyed(cipher);
        cipher.Init(key.data(), 128, nullptr);
    }
}

// The same key on both paths gives the same bytes in every mode, over runs long
// enough for several groups of blocks in flight, split at uneven places and in place.
TEST(RijndaelPaths, AesInstructionsAgreeWithPortableRounds) {
    if (!RijndaelAccelerationAvailable()) {
        GTEST_SKIP() << "this processor has no AES instructions";
    }
    const bool previous = RijndaelAccelerationAllowed();
    std::mt19937 rng(7);
    const Bytes iv = reference::Pattern(16, 21);
    for (const std::uint32_t bits : {128u, 160u, 192u, 256u}) {
        const Bytes key = reference::Pattern(32, bits);
        SetRijndaelAcceleration(true);
        TDCP_rijndael fast;
        fast.Init(key.data(), bits, iv.data());
        SetRijndaelAcceleration(false);
        TDCP_rijndael portable;
        portable.Init(key.data(), bits, iv.data());
        // A key keeps the rounds it was set with, whatever the switch says later.
        ASSERT_TRUE(fast.Accelerated());
        ASSERT_FALSE(portable.Accelerated());
        SetRijndaelAcceleration(previous);

        for (const TDCP_ciphermode mode : {cmCBC, cmCFB8bit, cmCFBblock, cmOFB, cmCTR}) {
            SCOPED_TRACE(testing::Message() << "key bits " << bits << " mode " << int{mode});
            fast.SetCipherMode(mode);
            portable.SetCipherMode(mode);
            fast.Reset();
            portable.Reset();
            const Bytes plain = reference::Pattern(4099, bits + mode);
            // Pieces of up to 40 blocks, some with a tail (which ends the chain
            // as the splitting rules say); decryption takes the same pieces.
            std::vector<std::size_t> pieces;
            for (std::size_t at = 0; at < plain.size();) {
                pieces.push_back(std::min<std::size_t>(plain.size() - at, 16 * (rng() % 40) + rng() % 3));
                at += pieces.back();
            }
            const auto run = [&pieces](TDCP_rijndael& cipher, bool encrypt, const Bytes& in, Bytes& out) {
                std::size_t at = 0;
                for (const std::size_t piece : pieces) {
                    const auto n = static_cast<std::uint32_t>(piece);
                    if (encrypt) {
                        cipher.EncryptData(in.data() + at, out.data() + at, n);
                    } else {
                        cipher.DecryptData(in.data() + at, out.data() + at, n);
                    }
                    at += piece;
                }
            };
            Bytes viaFast = plain; // in place
            run(fast, true, viaFast, viaFast);
            Bytes viaPortable(plain.size());
            run(portable, true, plain, viaPortable);
            ASSERT_EQ(ToHex(viaFast), ToHex(viaPortable));
            Bytes chainFast(16);
            Bytes chainPortable(16);
            fast.GetChainVector(chainFast.data());
            portable.GetChainVector(chainPortable.data());
            EXPECT_EQ(chainFast, chainPortable);

            fast.Reset();
            portable.Reset();
            Bytes backFast(plain.size());
            run(fast, false, viaFast, backFast);
            run(portable, false, viaPortable, viaPortable);
            EXPECT_EQ(backFast, plain);
            EXPECT_EQ(viaPortable, plain);
        }
    }
}

// The instructions are those of the processor family the program was built for.
TEST(RijndaelPaths, InstructionsBelongToTheProcessorFamily) {
#if defined(__aarch64__)
    EXPECT_STREQ(RijndaelAccelerationName(), "ARMv8 AES instructions");
#elif defined(__x86_64__) || defined(__i386__)
    EXPECT_STREQ(RijndaelAccelerationName(), "AES-NI instructions");
#else
    EXPECT_EQ(RijndaelAccelerationName(), nullptr);
    EXPECT_FALSE(RijndaelAccelerationAvailable());
#endif
}

} // namespace
} // namespace quillock::crypto
