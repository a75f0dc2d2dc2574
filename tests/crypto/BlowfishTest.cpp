// Blowfish: the published known answers, the cyclic key schedule, agreement
// with OpenSSL's Blowfish, the refused 4-bit key and the scrubbed state.
#include "BlockCipherChecks.h"
#include "CipherReference.h"
#include "VecFile.h"

#include "crypto/Blowfish.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

namespace quillock::crypto {

// Read access to the key schedule, for the tests of Scrub and of the schedule.
struct TBlowfishInspector {
    static bool TablesAllOnes(const TDCP_blowfish& c) {
        const auto ones = [](std::uint32_t w) { return w == 0xFFFFFFFFu; };
        return std::all_of(c.PArray.begin(), c.PArray.end(), ones) &&
               std::all_of(c.SBoxes.begin(), c.SBoxes.end(),
                           [&](const auto& box) { return std::all_of(box.begin(), box.end(), ones); });
    }
    static bool SameSchedule(const TDCP_blowfish& a, const TDCP_blowfish& b) {
        return a.PArray == b.PArray && a.SBoxes == b.SBoxes;
    }
};

namespace {

using tests::Bytes;
using tests::ToHex;

TEST(Blowfish, PublishedVectors) {
    const auto records = tests::ReadVecFile(std::string(QUILLOCK_TEST_DATA) + "/cipher/blowfish.vec");
    ASSERT_EQ(records.size(), 34u + 24u);
    TDCP_blowfish cipher;
    ExpectPublishedVectors(cipher, records);
}

TEST(Blowfish, ClassQueriesAndSelfCheck) {
    ExpectClass<TDCP_blowfish>(5, "Blowfish", 448, 64);
}

// Every data file is keyed with a 20-byte digest; the schedule cycles the key
// bytes, so the same bytes repeated to 40 give the same schedule.
TEST(Blowfish, DigestKeyCyclesLikeItsRepetition) {
    const Bytes digest = reference::Pattern(20, 21);
    Bytes doubled = digest;
    doubled.insert(doubled.end(), digest.begin(), digest.end());
    const Bytes plain = reference::Pattern(64, 22);

    TDCP_blowfish short160;
    short160.Init(digest.data(), 160, nullptr);
    TDCP_blowfish long320;
    long320.Init(doubled.data(), 320, nullptr);
    EXPECT_TRUE(TBlowfishInspector::SameSchedule(short160, long320));

    const Bytes ours = EncryptBlocks(short160, plain);
    EXPECT_EQ(ToHex(ours), ToHex(EncryptBlocks(long320, plain)));
    EXPECT_EQ(ToHex(ours), ToHex(reference::OpenSslCrypt("BF-ECB", digest, {}, plain, true)));

    // A key of another length is a different key.
    TDCP_blowfish other;
    other.Init(digest.data(), 152, nullptr);
    EXPECT_FALSE(TBlowfishInspector::SameSchedule(short160, other));
}

TEST(Blowfish, AgreesWithOpenSslForRandomKeys) {
    std::mt19937 rng(19931201);
    for (std::size_t keyBytes = 1; keyBytes <= 56; ++keyBytes) {
        TDCP_blowfish cipher;
        ExpectAgreesWithOpenSsl(cipher, rng, keyBytes, 8 * 6, "BF-ECB");
    }
}

// A key size with a half byte uses the whole bytes only.
TEST(Blowfish, HalfByteOfKeyIsIgnored) {
    Bytes key = reference::Pattern(9, 31);
    const Bytes plain = reference::Pattern(16, 32);
    TDCP_blowfish whole;
    whole.Init(key.data(), 64, nullptr);
    key[8] = 0xFF;
    TDCP_blowfish withHalf;
    withHalf.Init(key.data(), 68, nullptr);
    EXPECT_TRUE(TBlowfishInspector::SameSchedule(whole, withHalf));
    EXPECT_EQ(ToHex(EncryptBlocks(withHalf, plain)),
              ToHex(reference::OpenSslCrypt("BF-ECB", Bytes(key.begin(), key.begin() + 8), {}, plain, true)));
}

// Four bits pass the generic size check but give no key byte to cycle over.
TEST(Blowfish, FourBitKeyIsRefused) {
    const Bytes key = reference::Pattern(8, 41);
    TDCP_blowfish fresh;
    try {
        fresh.Init(key.data(), 4, nullptr);
        ADD_FAILURE() << "a 4-bit key was accepted";
    } catch (const EDCP_cipher& e) {
        EXPECT_STREQ(e.what(), "Invalid key size");
    }
    ExpectUnkeyed(fresh);

    // A keyed cipher loses its previous key too.
    TDCP_blowfish keyed;
    keyed.Init(key.data(), 64, nullptr);
    EXPECT_THROW(keyed.Init(key.data(), 4, nullptr), EDCP_cipher);
    EXPECT_TRUE(TBlowfishInspector::TablesAllOnes(keyed));
    ExpectUnkeyed(keyed);
    EXPECT_THROW(keyed.Reset(), EDCP_blockcipher);

    // The key size check of the framework still applies above it.
    EXPECT_THROW(keyed.Init(key.data(), 452, nullptr), EDCP_cipher);
    EXPECT_THROW(keyed.Init(key.data(), 0, nullptr), EDCP_cipher);
    ExpectUnkeyed(keyed);
}

TEST(Blowfish, UnkeyedUntilInitAndAfterScrub) {
    TDCP_blowfish cipher;
    EXPECT_TRUE(TBlowfishInspector::TablesAllOnes(cipher));
    ExpectUnkeyed(cipher);

    const Bytes key = reference::Pattern(56, 51);
    const Bytes plain = reference::Pattern(24, 52);
    cipher.Init(key.data(), 448, nullptr);
    EXPECT_FALSE(TBlowfishInspector::TablesAllOnes(cipher));
    EXPECT_EQ(ToHex(EncryptBlocks(cipher, plain)), ToHex(reference::OpenSslCrypt("BF-ECB", key, {}, plain, true)));

    cipher.Scrub();
    EXPECT_TRUE(TBlowfishInspector::TablesAllOnes(cipher));
    ExpectUnkeyed(cipher);

    // Keying again starts from the published tables, not from what was left.
    const Bytes key2(key.begin(), key.begin() + 8);
    cipher.Init(key2.data(), 64, nullptr);
    TDCP_blowfish fresh;
    fresh.Init(key2.data(), 64, nullptr);
    EXPECT_TRUE(TBlowfishInspector::SameSchedule(cipher, fresh));
    EXPECT_EQ(ToHex(EncryptBlocks(cipher, plain)), ToHex(reference::OpenSslCrypt("BF-ECB", key2, {}, plain, true)));
}

} // namespace
} // namespace quillock::crypto
