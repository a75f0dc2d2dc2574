// SHA-1 and RIPEMD-160: published vectors, block-edge lengths and arbitrary
// splits against OpenSSL, the length counter's carry, and the digest states.
#include "CipherReference.h"
#include "VecFile.h"
#include "crypto/Hash.h"
#include "crypto/RIPEMD160.h"
#include "crypto/SHA1.h"
#include "platform/Component.h"
#include "tests/support/Checks.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace quillock::crypto;
using namespace quillock::crypto::reference; // ToHex, Pattern, OpenSslDigest: the independent side

template <class T> Bytes Digest(const Bytes& data) {
    T hash;
    hash.Init();
    hash.Update(data.data(), static_cast<std::uint32_t>(data.size()));
    Bytes out(20);
    hash.Final(out.data());
    return out;
}

struct Sha1Traits {
    using Hash = TDCP_sha1;
    static constexpr const char* VecFile = "sha1.vec";
    static constexpr const char* OpenSslName = "SHA1";
    // FIPS 180-1, Appendix C.
    static constexpr const char* MillionA = "34aa973cd4c4daa4f61eeb2bdbad27316534016f";
};

struct Ripemd160Traits {
    using Hash = TDCP_ripemd160;
    static constexpr const char* VecFile = "ripemd160.vec";
    static constexpr const char* OpenSslName = "RIPEMD160";
    // The RIPEMD-160 paper's test table, last row.
    static constexpr const char* MillionA = "52783243c1697bdbe16d37f97f68f08325dc1528";
};

template <class Traits> class DigestTest : public ::testing::Test {};

using DigestTypes = ::testing::Types<Sha1Traits, Ripemd160Traits>;
TYPED_TEST_SUITE(DigestTest, DigestTypes);

TYPED_TEST(DigestTest, PublishedVectors) {
    using Hash = typename TypeParam::Hash;
    const auto records = quillock::tests::ReadVecFile(std::string(QUILLOCK_TEST_DATA) + "/hash/" + TypeParam::VecFile);
    ASSERT_GE(records.size(), 4u);
    for (const auto& record : records) {
        EXPECT_EQ(ToHex(Digest<Hash>(record.Hex("In"))), ToHex(record.Hex("Out"))) << "line " << record.Line;
    }
}

TYPED_TEST(DigestTest, MillionA) {
    using Hash = typename TypeParam::Hash;
    const Bytes a(1000000, 'a');
    EXPECT_EQ(ToHex(Digest<Hash>(a)), TypeParam::MillionA);
    // The same message in pieces that straddle block edges.
    Hash hash;
    hash.Init();
    for (std::size_t done = 0; done < a.size();) {
        const std::size_t piece = std::min<std::size_t>(a.size() - done, 997);
        hash.Update(a.data() + done, static_cast<std::uint32_t>(piece));
        done += piece;
    }
    Bytes out(20);
    hash.Final(out.data());
    EXPECT_EQ(ToHex(out), TypeParam::MillionA);
}

// Every length up to three blocks, with 55/56 (the padding needs a further
// block from 56 on) and 63/64 among them.
TYPED_TEST(DigestTest, LengthsAroundBlockEdgesMatchOpenSsl) {
    using Hash = typename TypeParam::Hash;
    for (std::size_t size = 0; size <= 192; ++size) {
        const Bytes data = Pattern(size, static_cast<unsigned>(size));
        EXPECT_EQ(ToHex(Digest<Hash>(data)), ToHex(OpenSslDigest(TypeParam::OpenSslName, data))) << "size " << size;
    }
}

TYPED_TEST(DigestTest, AnySplitGivesTheSameDigest) {
    using Hash = typename TypeParam::Hash;
    const Bytes data = Pattern(3000, 7);
    const std::string expected = ToHex(OpenSslDigest(TypeParam::OpenSslName, data));
    std::mt19937 rng(42);
    for (int round = 0; round < 200; ++round) {
        Hash hash;
        hash.Init();
        std::size_t done = 0;
        while (done < data.size()) {
            // Mostly small pieces, sometimes several blocks at once, sometimes nothing.
            const std::size_t limit = round % 3 == 0 ? 3 : (round % 3 == 1 ? 70 : 400);
            const std::size_t piece = std::min<std::size_t>(data.size() - done, rng() % (limit + 1));
            hash.Update(data.data() + done, static_cast<std::uint32_t>(piece));
            done += piece;
        }
        Bytes out(20);
        hash.Final(out.data());
        ASSERT_EQ(ToHex(out), expected) << "round " << round;
    }
    // One byte at a time.
    Hash hash;
    hash.Init();
    for (const auto b : data) {
        hash.Update(&b, 1);
    }
    Bytes out(20);
    hash.Final(out.data());
    EXPECT_EQ(ToHex(out), expected);
}

TYPED_TEST(DigestTest, UpdateStringFeedsExactlyTheBytes) {
    using Hash = typename TypeParam::Hash;
    const std::string text("pass\0word\xAE", 10);
    Hash hash;
    hash.Init();
    hash.UpdateString(text);
    hash.UpdateString("");
    hash.Update(nullptr, 0); // nothing, with no buffer behind it
    Bytes out(20);
    hash.Final(out.data());
    EXPECT_EQ(ToHex(out), ToHex(OpenSslDigest(TypeParam::OpenSslName, Bytes(text.begin(), text.end()))));
}

// 2^29 bytes is 2^32 bits: the low counter word wraps and must carry.
TYPED_TEST(DigestTest, BitCounterCarriesPastFourGigabits) {
    using Hash = typename TypeParam::Hash;
    const Bytes piece = Pattern(1 << 20, 3);
    constexpr int Pieces = 513; // 513 MiB, just past the carry
    Hash hash;
    hash.Init();
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    OpenSslDigest(TypeParam::OpenSslName, {}); // loads the providers
    std::unique_ptr<EVP_MD, decltype(&EVP_MD_free)> md(EVP_MD_fetch(nullptr, TypeParam::OpenSslName, nullptr),
                                                       &EVP_MD_free);
    ASSERT_TRUE(md);
    ASSERT_EQ(EVP_DigestInit_ex(ctx.get(), md.get(), nullptr), 1);
    for (int i = 0; i < Pieces; ++i) {
        hash.Update(piece.data(), static_cast<std::uint32_t>(piece.size()));
        ASSERT_EQ(EVP_DigestUpdate(ctx.get(), piece.data(), piece.size()), 1);
    }
    hash.Update(piece.data(), 5); // a partial block after the carry
    ASSERT_EQ(EVP_DigestUpdate(ctx.get(), piece.data(), 5), 1);
    Bytes expected(EVP_MAX_MD_SIZE);
    unsigned int len = 0;
    ASSERT_EQ(EVP_DigestFinal_ex(ctx.get(), expected.data(), &len), 1);
    expected.resize(len);
    Bytes out(20);
    hash.Final(out.data());
    EXPECT_EQ(ToHex(out), ToHex(expected));
}

template <class F> void ExpectNotInitialized(F&& f) {
    EXPECT_EQ(quillock::tests::ErrorText<EDCP_hash>(f), "Hash not initialized");
}

TYPED_TEST(DigestTest, UnstartedUpdateAndFinalRaise) {
    using Hash = typename TypeParam::Hash;
    Hash hash;
    EXPECT_FALSE(hash.Initialized());
    const std::uint8_t byte = 'a';
    Bytes out(20, 0x5A);
    ExpectNotInitialized([&] { hash.Update(&byte, 1); });
    ExpectNotInitialized([&] { hash.UpdateString("abc"); });
    ExpectNotInitialized([&] { hash.Final(out.data()); });
    EXPECT_EQ(out, Bytes(20, 0x5A)) << "a refused Final wrote the digest";
}

TYPED_TEST(DigestTest, FinalTwiceRaisesAndInitRestores) {
    using Hash = typename TypeParam::Hash;
    Hash hash;
    hash.Init();
    hash.UpdateString("abc");
    Bytes first(20);
    hash.Final(first.data());
    EXPECT_FALSE(hash.Initialized());
    Bytes second(20, 0);
    ExpectNotInitialized([&] { hash.Final(second.data()); });
    EXPECT_EQ(second, Bytes(20, 0));

    hash.Init();
    hash.UpdateString("abc");
    hash.Final(second.data());
    EXPECT_EQ(first, second);
    EXPECT_EQ(ToHex(first), ToHex(OpenSslDigest(TypeParam::OpenSslName, {'a', 'b', 'c'})));
}

TYPED_TEST(DigestTest, InitDiscardsAndScrubStops) {
    using Hash = typename TypeParam::Hash;
    Hash hash;
    hash.Init();
    hash.UpdateString(std::string(100, 'x')); // buffered and compressed state to forget
    hash.Init();
    hash.UpdateString("abc");
    Bytes out(20);
    hash.Final(out.data());
    EXPECT_EQ(ToHex(out), ToHex(OpenSslDigest(TypeParam::OpenSslName, {'a', 'b', 'c'})));

    hash.Init();
    hash.UpdateString("abc");
    hash.Scrub();
    EXPECT_FALSE(hash.Initialized());
    ExpectNotInitialized([&] { hash.UpdateString("d"); });
    ExpectNotInitialized([&] { hash.Final(out.data()); });
}

TYPED_TEST(DigestTest, ClassQueriesWithoutAnInstance) {
    using Hash = typename TypeParam::Hash;
    const TDCP_hashclass& cls = HashClassOf<Hash>();
    EXPECT_EQ(cls.HashSize(), 160);
    EXPECT_TRUE(cls.SelfCheck());
    // The instance reports the same class.
    Hash hash;
    EXPECT_EQ(&hash.ClassType(), &cls);
    // Created through the class reference: a working object of that class.
    auto created = cls.Create(nullptr);
    ASSERT_TRUE(created);
    EXPECT_EQ(&created->ClassType(), &cls);
    created->Init();
    created->UpdateString("abc");
    Bytes out(20);
    created->Final(out.data());
    EXPECT_EQ(ToHex(out), ToHex(OpenSslDigest(TypeParam::OpenSslName, {'a', 'b', 'c'})));
}

TEST(DigestClass, IdentityOfTheTwoDigests) {
    EXPECT_EQ(HashClassOf<TDCP_sha1>().Id(), 2);
    EXPECT_EQ(HashClassOf<TDCP_sha1>().Algorithm(), "SHA1");
    EXPECT_EQ(HashClassOf<TDCP_ripemd160>().Id(), 10);
    EXPECT_EQ(HashClassOf<TDCP_ripemd160>().Algorithm(), "RipeMD-160");
    // The abstract base keeps its neutral answers.
    EXPECT_EQ(TDCP_hash::Id(), -1);
    EXPECT_EQ(TDCP_hash::Algorithm(), "");
    EXPECT_EQ(TDCP_hash::HashSize(), -1);
    EXPECT_FALSE(TDCP_hash::SelfCheck());
}

TEST(DigestClass, OwnedDigestIsRegisteredWithItsOwner) {
    quillock::platform::TComponent owner;
    auto* sha = new TDCP_sha1(&owner);
    auto* rmd = new TDCP_ripemd160(&owner);
    EXPECT_EQ(sha->Owner(), &owner);
    EXPECT_EQ(owner.ComponentCount(), 2u);
    delete sha; // freeing it early detaches it
    EXPECT_EQ(owner.ComponentCount(), 1u);
    rmd->Init(); // the owner frees the started one (under the leak checker: no leak)
}

} // namespace
