// The cipher framework: passphrase keying, the stream routines, the text
// routines, the class-level queries, the owner rule and every failure with the
// state it leaves behind.
#include "CipherReference.h"
#include "crypto/Base64.h"
#include "crypto/Blowfish.h"
#include "crypto/Cipher.h"
#include "crypto/Hash.h"
#include "crypto/RIPEMD160.h"
#include "crypto/Rijndael.h"
#include "crypto/SHA1.h"
#include "platform/Component.h"
#include "platform/Stream.h"
#include "tests/support/Checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

using namespace quillock::crypto;
using namespace quillock::crypto::reference;
using quillock::platform::TComponent;
using quillock::platform::TMemoryStream;
using quillock::platform::TSeekOrigin;
using quillock::platform::TStream;

constexpr TDCP_ciphermode AllModes[] = {cmCBC, cmCFB8bit, cmCFBblock, cmOFB, cmCTR};

// A digest under the test's control, to reach the failure paths of passphrase
// keying and to watch ownership.
struct TFakeDigestControl {
    static inline int Live = 0;
    static inline int HashBits = 160;
    static inline bool CreateThrows = false;
    static inline bool FinalThrows = false;
    static inline TComponent* LastOwner = nullptr;
    static inline Bytes Output;
    static void Reset() {
        HashBits = 160;
        CreateThrows = false;
        FinalThrows = false;
        LastOwner = nullptr;
        Output = Pattern(64, 77);
    }
};

class TFakeDigest final : public TDCP_hash {
public:
    explicit TFakeDigest(TComponent* owner = nullptr) : TDCP_hash(owner) {
        if (TFakeDigestControl::CreateThrows) {
            throw std::bad_alloc();
        }
        ++TFakeDigestControl::Live;
        TFakeDigestControl::LastOwner = owner;
    }
    ~TFakeDigest() override { --TFakeDigestControl::Live; }

    static int Id() { return 1000; }
    static std::string Algorithm() { return "Fake"; }
    static int HashSize() { return TFakeDigestControl::HashBits; }
    static bool SelfCheck() { return true; }
    [[nodiscard]] const TDCP_hashclass& ClassType() const override { return HashClassOf<TFakeDigest>(); }

    void Init() override { FInitialized = true; }
    void Update(const void*, std::uint32_t) override {}
    void Final(void* digest) override {
        if (TFakeDigestControl::FinalThrows) {
            throw EDCP_hash("Hash not initialized");
        }
        if (HashSize() >= 8) { // a digest of no whole byte may come with no buffer at all
            std::memcpy(digest, TFakeDigestControl::Output.data(), static_cast<std::size_t>(HashSize() / 8));
        }
        FInitialized = false;
    }
};

// A 16-byte block cipher that shows its IV and chain buffers, for the wiping
// rules.
class TProbeCipher final : public TDCP_blockcipher128 {
public:
    using TDCP_blockcipher128::TDCP_blockcipher128;

    static int Id() { return 1000; }
    static std::string Algorithm() { return "Probe"; }
    static int MaxKeySize() { return 128; }
    static bool SelfCheck() { return false; }
    [[nodiscard]] const TDCP_cipherclass& ClassType() const override { return CipherClassOf<TProbeCipher>(); }

    void ExpandKey(const void* key, std::uint32_t size) override {
        FKey.fill(0);
        std::memcpy(FKey.data(), key, size / 8);
    }
    void EncryptBlock(const void* inBlock, void* outBlock) override {
        CheckInitialized();
        XorWithKey(inBlock, outBlock);
    }
    void DecryptBlock(const void* inBlock, void* outBlock) override {
        CheckInitialized();
        XorWithKey(inBlock, outBlock);
    }

    [[nodiscard]] const Block& IV() const { return InitVector; }
    [[nodiscard]] const Block& CV() const { return ChainVector; }

private:
    void XorWithKey(const void* inBlock, void* outBlock) const {
        Block b;
        std::memcpy(b.data(), inBlock, 16);
        for (std::size_t i = 0; i < 16; ++i) {
            b[i] ^= FKey[i];
        }
        std::memcpy(outBlock, b.data(), 16);
    }
    Block FKey{};
};

// A stream that counts and records the reads asked of it.
class TCountingStream final : public TStream {
public:
    explicit TCountingStream(TStream& inner) : FInner(inner) {}
    std::int64_t Read(void* buffer, std::int64_t count) override {
        Reads.push_back(count);
        return FInner.Read(buffer, count);
    }
    std::int64_t Write(const void* buffer, std::int64_t count) override { return FInner.Write(buffer, count); }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override { return FInner.Seek(offset, origin); }
    std::vector<std::int64_t> Reads;

private:
    TStream& FInner;
};

template <class F> void ExpectCipherError(const char* message, F&& f) {
    EXPECT_EQ(quillock::tests::ErrorText<EDCP_cipher>(f), message);
}

template <class F> void ExpectNotInitialized(F&& f) {
    EXPECT_EQ(quillock::tests::ErrorText<EDCP_blockcipher>(f), "Cipher not initialized");
}

struct RijndaelTraits {
    using Cipher = TDCP_rijndael;
    static constexpr std::size_t Block = 16;
    static constexpr int MaxKeyBits = 256;
    static TOpenSslKey Key(const Bytes& key) { return RijndaelOpenSslKey(key); }
};

struct BlowfishTraits {
    using Cipher = TDCP_blowfish;
    static constexpr std::size_t Block = 8;
    static constexpr int MaxKeyBits = 448;
    static TOpenSslKey Key(const Bytes& key) { return BlowfishOpenSslKey(key); }
};

template <class Traits> class FrameworkTest : public ::testing::Test {
protected:
    using Cipher = typename Traits::Cipher;
    static constexpr std::size_t N = Traits::Block;

    void SetUp() override { TFakeDigestControl::Reset(); }

    static Bytes ChainOf(TDCP_blockcipher& cipher) {
        Bytes chain(N);
        cipher.GetChainVector(chain.data());
        return chain;
    }
    static Bytes Encrypt(TDCP_cipher& cipher, const Bytes& data) {
        Bytes out(data.size());
        cipher.EncryptData(data.data(), out.data(), static_cast<std::uint32_t>(data.size()));
        return out;
    }
    // The reference output of a cipher keyed by key with no IV (IV = E(0)).
    static Bytes ReferenceCbc(const Bytes& key, const Bytes& plain) {
        const TOpenSslKey sslKey = Traits::Key(key);
        TReferenceModes ref(sslKey, N, OpenSslCrypt(sslKey.Family + "-ECB", sslKey.Key, {}, Bytes(N, 0), true));
        return ref.Encrypt(cmCBC, plain);
    }
};

using CipherTypes = ::testing::Types<RijndaelTraits, BlowfishTraits>;
TYPED_TEST_SUITE(FrameworkTest, CipherTypes);

// The key is the digest of the passphrase's bytes: nothing added, nothing
// around it, the IV the encrypted zero block.
TYPED_TEST(FrameworkTest, PassphraseKeyIsTheDigestOfItsBytes) {
    const Bytes plain = Pattern(3 * TypeParam::Block + 5, 20);
    const std::string passphrases[] = {"", "secret", std::string("pa\0ss\xAE word", 11), std::string(200, 'p')};
    struct {
        const TDCP_hashclass& Class;
        const char* OpenSslName;
    } digests[] = {{HashClassOf<TDCP_ripemd160>(), "RIPEMD160"}, {HashClassOf<TDCP_sha1>(), "SHA1"}};
    for (const auto& digest : digests) {
        for (const auto& passphrase : passphrases) {
            SCOPED_TRACE(testing::Message() << digest.OpenSslName << " passphrase of " << passphrase.size());
            const Bytes key = OpenSslDigest(digest.OpenSslName, Bytes(passphrase.begin(), passphrase.end()));
            ASSERT_EQ(key.size(), 20u);
            typename TypeParam::Cipher fromPassphrase;
            fromPassphrase.InitFromPassphrase(passphrase, digest.Class);
            EXPECT_TRUE(fromPassphrase.Initialized());
            typename TypeParam::Cipher fromKey;
            fromKey.Init(key.data(), 160, nullptr);
            EXPECT_EQ(this->ChainOf(fromPassphrase), this->ChainOf(fromKey));
            const Bytes enc = this->Encrypt(fromPassphrase, plain);
            EXPECT_EQ(enc, this->Encrypt(fromKey, plain));
            EXPECT_EQ(ToHex(enc), ToHex(this->ReferenceCbc(key, plain)));
        }
    }
    // Keying again replaces the previous key.
    typename TypeParam::Cipher cipher;
    cipher.InitFromPassphrase("first", HashClassOf<TDCP_sha1>());
    cipher.InitFromPassphrase("second", HashClassOf<TDCP_sha1>());
    const Bytes key = OpenSslDigest("SHA1", {'s', 'e', 'c', 'o', 'n', 'd'});
    EXPECT_EQ(ToHex(this->Encrypt(cipher, plain)), ToHex(this->ReferenceCbc(key, plain)));
}

// A digest longer than the largest key: only its leading bytes key the cipher.
TYPED_TEST(FrameworkTest, LongDigestIsCutToTheLargestKey) {
    TFakeDigestControl::HashBits = 512;
    typename TypeParam::Cipher cipher;
    cipher.InitFromPassphrase("x", HashClassOf<TFakeDigest>());
    EXPECT_EQ(TFakeDigestControl::Live, 0) << "the digest object was not freed";
    typename TypeParam::Cipher expected;
    expected.Init(TFakeDigestControl::Output.data(), TypeParam::MaxKeyBits, nullptr);
    const Bytes plain = Pattern(50, 21);
    EXPECT_EQ(this->Encrypt(cipher, plain), this->Encrypt(expected, plain));
}

TYPED_TEST(FrameworkTest, InvalidKeySizeLeavesTheCipherUnkeyed) {
    const Bytes key(64, 0x42);
    const std::uint32_t bad[] = {0, 3, 2, 130, TypeParam::MaxKeyBits + 4, TypeParam::MaxKeyBits + 8, 0xFFFFFFFCu};
    for (const std::uint32_t size : bad) {
        SCOPED_TRACE(testing::Message() << "size " << size);
        typename TypeParam::Cipher fresh;
        ExpectCipherError("Invalid key size", [&] { fresh.Init(key.data(), size, nullptr); });
        EXPECT_FALSE(fresh.Initialized());
        ExpectNotInitialized([&] { this->ChainOf(fresh); });

        // A keyed cipher loses its key first.
        typename TypeParam::Cipher keyed;
        keyed.Init(key.data(), 128, nullptr);
        ExpectCipherError("Invalid key size", [&] { keyed.Init(key.data(), size, nullptr); });
        EXPECT_FALSE(keyed.Initialized());
        ExpectNotInitialized([&] { this->ChainOf(keyed); });
        Bytes block(TypeParam::Block, 0);
        ExpectNotInitialized([&] { keyed.EncryptBlock(block.data(), block.data()); });
    }
    // The largest key is accepted.
    typename TypeParam::Cipher largest;
    largest.Init(key.data(), TypeParam::MaxKeyBits, nullptr);
    EXPECT_TRUE(largest.Initialized());
}

TYPED_TEST(FrameworkTest, PassphraseFailuresAllReadTheSame) {
    struct Case {
        const char* Name;
        int HashBits;
        bool CreateThrows;
        bool FinalThrows;
    };
    const Case cases[] = {
        {"digest size -1", -1, false, false},    {"digest size 0", 0, false, false},
        {"digest size 2 bits", 2, false, false}, {"creation fails", 160, true, false},
        {"digest error", 160, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        TFakeDigestControl::Reset();
        TFakeDigestControl::HashBits = c.HashBits;
        TFakeDigestControl::CreateThrows = c.CreateThrows;
        TFakeDigestControl::FinalThrows = c.FinalThrows;
        typename TypeParam::Cipher cipher;
        cipher.InitFromPassphrase("keyed before", HashClassOf<TDCP_sha1>());
        ExpectCipherError("Unable to allocate sufficient memory for hash digest",
                          [&] { cipher.InitFromPassphrase("secret", HashClassOf<TFakeDigest>()); });
        EXPECT_FALSE(cipher.Initialized());
        ExpectNotInitialized([&] { this->ChainOf(cipher); });
        EXPECT_EQ(TFakeDigestControl::Live, 0) << "the digest object was not freed";
        if (!c.CreateThrows && c.HashBits > 0) {
            EXPECT_EQ(TFakeDigestControl::LastOwner, &cipher) << "the digest is owned by the cipher";
        }
    }
    // The digest error itself is not what the caller sees.
    TFakeDigestControl::Reset();
    TFakeDigestControl::FinalThrows = true;
    typename TypeParam::Cipher cipher;
    EXPECT_THROW(cipher.InitFromPassphrase("x", HashClassOf<TFakeDigest>()), EDCP_cipher);
}

// Every operation that needs the key refuses on a fresh and on a scrubbed
// cipher, even with nothing to do, and touches no output.
TYPED_TEST(FrameworkTest, UnkeyedCipherRefusesEverything) {
    constexpr std::size_t N = TypeParam::Block;
    typename TypeParam::Cipher fresh;
    typename TypeParam::Cipher scrubbed;
    const Bytes key(20, 1);
    scrubbed.Init(key.data(), 160, nullptr);
    scrubbed.Scrub();
    for (TDCP_blockcipher* c : {static_cast<TDCP_blockcipher*>(&fresh), static_cast<TDCP_blockcipher*>(&scrubbed)}) {
        EXPECT_FALSE(c->Initialized());
        for (const std::uint32_t size :
             {0u, 1u, static_cast<std::uint32_t>(N), static_cast<std::uint32_t>(2 * N + 3)}) {
            SCOPED_TRACE(testing::Message() << "size " << size);
            const Bytes in(64, 0x11);
            Bytes out(64, 0x77);
            using Routine = void (TDCP_blockcipher::*)(const void*, void*, std::uint32_t);
            const Routine routines[] = {
                &TDCP_blockcipher::CbcEncrypt,  &TDCP_blockcipher::CbcDecrypt,      &TDCP_blockcipher::Cfb8Encrypt,
                &TDCP_blockcipher::Cfb8Decrypt, &TDCP_blockcipher::CfbBlockEncrypt, &TDCP_blockcipher::CfbBlockDecrypt,
                &TDCP_blockcipher::OfbEncrypt,  &TDCP_blockcipher::OfbDecrypt,      &TDCP_blockcipher::CtrEncrypt,
                &TDCP_blockcipher::CtrDecrypt,
            };
            for (const Routine routine : routines) {
                ExpectNotInitialized([&] { (c->*routine)(in.data(), out.data(), size); });
            }
            for (const TDCP_ciphermode mode : AllModes) {
                c->SetCipherMode(mode);
                ExpectNotInitialized([&] { c->EncryptData(in.data(), out.data(), size); });
                ExpectNotInitialized([&] { c->DecryptData(in.data(), out.data(), size); });
            }
            EXPECT_EQ(out, Bytes(64, 0x77)) << "a refused call wrote output";
        }
        Bytes block(N, 0);
        ExpectNotInitialized([&] { c->Reset(); });
        ExpectNotInitialized([&] { c->SetInitVector(block.data()); });
        ExpectNotInitialized([&] { c->GetChainVector(block.data()); });
        ExpectNotInitialized([&] { c->EncryptBlock(block.data(), block.data()); });
        ExpectNotInitialized([&] { c->DecryptBlock(block.data(), block.data()); });
        ExpectNotInitialized([&] { (void)c->EncryptText("text"); });
        ExpectNotInitialized([&] { (void)c->DecryptText("dGV4dA=="); });
        TMemoryStream in(Bytes(100, 1));
        TMemoryStream out;
        ExpectNotInitialized([&] { c->EncryptFromStream(in, out, 100); });
        EXPECT_FALSE(c->Initialized());
    }
}

// Chunks of 8,192 bytes with the chain carried over: the same as one call.
TYPED_TEST(FrameworkTest, StreamRoutinesEqualOneCall) {
    const Bytes key = Pattern(20, 22);
    const std::uint32_t sizes[] = {0, 1, 8191, 8192, 8193, 16384, 3 * 8192 + 17};
    for (const TDCP_ciphermode mode : AllModes) {
        for (const std::uint32_t size : sizes) {
            SCOPED_TRACE(testing::Message() << "mode " << int(mode) << " size " << size);
            const Bytes plain = Pattern(size, size + mode);
            typename TypeParam::Cipher whole;
            whole.Init(key.data(), 160, nullptr);
            whole.SetCipherMode(mode);
            const Bytes expected = this->Encrypt(whole, plain);

            typename TypeParam::Cipher cipher;
            cipher.Init(key.data(), 160, nullptr);
            cipher.SetCipherMode(mode);
            TMemoryStream inner(plain);
            TCountingStream in(inner);
            TMemoryStream out;
            EXPECT_EQ(cipher.EncryptFromStream(in, out, size), size);
            EXPECT_EQ(out.Data(), expected);
            // Whole chunks, then the rest in one read; nothing for an empty run.
            std::vector<std::int64_t> reads(size / 8192, 8192);
            if (size % 8192 != 0) {
                reads.push_back(size % 8192);
            }
            EXPECT_EQ(in.Reads, reads);
            EXPECT_EQ(this->ChainOf(cipher), this->ChainOf(whole));

            cipher.Reset();
            TMemoryStream sealed(expected);
            TMemoryStream back;
            EXPECT_EQ(cipher.DecryptFromStream(sealed, back, size), size);
            EXPECT_EQ(back.Data(), plain);
        }
    }
}

TYPED_TEST(FrameworkTest, StreamRoutinesStartWhereTheStreamsStand) {
    const Bytes key = Pattern(20, 23);
    const Bytes plain = Pattern(9000, 24);
    typename TypeParam::Cipher cipher;
    cipher.Init(key.data(), 160, nullptr);
    const Bytes expected = this->Encrypt(cipher, Bytes(plain.begin() + 10, plain.end()));
    cipher.Reset();

    TMemoryStream in(plain);
    in.SetPosition(10);
    TMemoryStream out;
    out.WriteBuffer("head", 4);
    EXPECT_EQ(cipher.EncryptFromStream(in, out, 8990), 8990u);
    Bytes wanted{'h', 'e', 'a', 'd'};
    wanted.insert(wanted.end(), expected.begin(), expected.end());
    EXPECT_EQ(out.Data(), wanted);

    // A short source is not an error: what came is processed and counted.
    cipher.Reset();
    TMemoryStream shortIn(Bytes(plain.begin(), plain.begin() + 100));
    TMemoryStream shortOut;
    EXPECT_EQ(cipher.EncryptFromStream(shortIn, shortOut, 20000), 100u);
    typename TypeParam::Cipher check;
    check.Init(key.data(), 160, nullptr);
    EXPECT_EQ(shortOut.Data(), this->Encrypt(check, Bytes(plain.begin(), plain.begin() + 100)));
}

// A destination that takes less than it is given: the data would be lost, so
// the routine reports it instead of returning as if all went well.
class TShortWriteStream final : public TStream {
public:
    std::int64_t Read(void*, std::int64_t) override { return 0; }
    std::int64_t Write(const void*, std::int64_t count) override { return count > 10 ? 10 : count; }
    std::int64_t Seek(std::int64_t, TSeekOrigin) override { return 0; }
};

TYPED_TEST(FrameworkTest, StreamWriteShortfallIsAnError) {
    const Bytes key = Pattern(20, 26);
    typename TypeParam::Cipher cipher;
    cipher.Init(key.data(), 160, nullptr);
    TMemoryStream in(Pattern(100, 27));
    TShortWriteStream out;
    EXPECT_THROW(cipher.EncryptFromStream(in, out, 100), quillock::platform::EWriteError);
    in.SetPosition(0);
    EXPECT_THROW(cipher.DecryptFromStream(in, out, 100), quillock::platform::EWriteError);
}

// A 4-bit key passes the size check but holds no whole byte: whatever the
// cipher makes of it, the object is either properly keyed or not keyed at all.
TYPED_TEST(FrameworkTest, FourBitKeyLeavesAConsistentState) {
    const Bytes key(1, 0xA0);
    typename TypeParam::Cipher cipher;
    try {
        cipher.Init(key.data(), 4, nullptr);
    } catch (const EDCP_cipher&) {
        EXPECT_FALSE(cipher.Initialized());
        ExpectNotInitialized([&] { this->ChainOf(cipher); });
        return;
    }
    ASSERT_TRUE(cipher.Initialized());
    const Bytes plain = Pattern(40, 28);
    const Bytes enc = this->Encrypt(cipher, plain);
    cipher.Reset();
    Bytes back(plain.size());
    cipher.DecryptData(enc.data(), back.data(), static_cast<std::uint32_t>(enc.size()));
    EXPECT_EQ(back, plain);
}

// Text routines: Base64 of byte-wise feedback whatever the mode.
TYPED_TEST(FrameworkTest, TextRoutinesUseByteFeedbackAndBase64) {
    constexpr std::size_t N = TypeParam::Block;
    const Bytes key = Pattern(20, 25);
    const TOpenSslKey sslKey = TypeParam::Key(key);
    const Bytes ezero = OpenSslCrypt(sslKey.Family + "-ECB", sslKey.Key, {}, Bytes(N, 0), true);
    const std::string texts[] = {"", "a", "Quillock \xAE text", std::string("nul\0inside", 10), std::string(70, 'z')};
    for (const TDCP_ciphermode mode : {cmCBC, cmCTR}) {
        for (const auto& text : texts) {
            SCOPED_TRACE(testing::Message() << "mode " << int(mode) << " text of " << text.size());
            typename TypeParam::Cipher cipher;
            cipher.Init(key.data(), 160, nullptr);
            cipher.SetCipherMode(mode);
            const std::string encoded = cipher.EncryptText(text);
            TReferenceModes ref(sslKey, N, ezero);
            const Bytes expected = ref.Encrypt(cmCFB8bit, Bytes(text.begin(), text.end()));
            EXPECT_EQ(encoded, Base64EncodeStr(std::string(expected.begin(), expected.end())));
            if (N == 16) {
                const Bytes ssl =
                    OpenSslCrypt(sslKey.Family + "-CFB8", sslKey.Key, ezero, Bytes(text.begin(), text.end()), true);
                EXPECT_EQ(encoded, Base64EncodeStr(std::string(ssl.begin(), ssl.end())));
            }
            cipher.Reset();
            EXPECT_EQ(cipher.DecryptText(encoded), text);
            // Line breaks in the Base64 text are skipped.
            std::string wrapped = encoded;
            for (std::size_t at = 4; at < wrapped.size(); at += 7) {
                wrapped.insert(at, "\r\n");
            }
            cipher.Reset();
            EXPECT_EQ(cipher.DecryptText(wrapped), text);
        }
    }
}

TYPED_TEST(FrameworkTest, ClassQueriesAndConstruction) {
    using Cipher = typename TypeParam::Cipher;
    const TDCP_cipherclass& cls = CipherClassOf<Cipher>();
    EXPECT_EQ(cls.MaxKeySize(), TypeParam::MaxKeyBits);
    EXPECT_EQ(cls.BlockSize(), static_cast<int>(TypeParam::Block * 8));
    EXPECT_TRUE(cls.SelfCheck());
    Cipher cipher;
    EXPECT_EQ(&cipher.ClassType(), &cls);
    EXPECT_FALSE(cipher.Initialized());
    EXPECT_EQ(cipher.CipherMode(), cmCBC);
    auto created = cls.Create(nullptr);
    ASSERT_TRUE(created);
    EXPECT_EQ(&created->ClassType(), &cls);
    EXPECT_FALSE(created->Initialized());
}

TEST(CipherClass, IdentityOfTheTwoCiphers) {
    EXPECT_EQ(CipherClassOf<TDCP_rijndael>().Id(), 9);
    EXPECT_EQ(CipherClassOf<TDCP_rijndael>().Algorithm(), "Rijndael");
    EXPECT_EQ(CipherClassOf<TDCP_blowfish>().Id(), 5);
    EXPECT_EQ(CipherClassOf<TDCP_blowfish>().Algorithm(), "Blowfish");
    EXPECT_EQ(TDCP_cipher::Id(), -1);
    EXPECT_EQ(TDCP_cipher::Algorithm(), "");
    EXPECT_EQ(TDCP_cipher::MaxKeySize(), -1);
    EXPECT_EQ(TDCP_cipher::BlockSize(), -1);
    EXPECT_FALSE(TDCP_cipher::SelfCheck());
    EXPECT_EQ(TDCP_blockcipher64::BlockSize(), 64);
    EXPECT_EQ(TDCP_blockcipher128::BlockSize(), 128);
}

TEST(CipherOwnership, DigestOwnedByACipherGoesWithIt) {
    TFakeDigestControl::Reset();
    auto cipher = std::make_unique<TDCP_rijndael>();
    auto* digest = new TFakeDigest(cipher.get());
    EXPECT_EQ(digest->Owner(), cipher.get());
    EXPECT_EQ(TFakeDigestControl::Live, 1);
    cipher.reset();
    EXPECT_EQ(TFakeDigestControl::Live, 0);

    // A cipher given an owner is freed with that owner, its digest with it.
    auto owner = std::make_unique<TComponent>();
    auto* owned = new TDCP_blowfish(owner.get());
    new TFakeDigest(owned);
    EXPECT_EQ(owner->ComponentCount(), 1u);
    EXPECT_EQ(TFakeDigestControl::Live, 1);
    owner.reset();
    EXPECT_EQ(TFakeDigestControl::Live, 0);
}

// The wiping rules of the block-size bases, seen through a probe cipher.
TEST(CipherWiping, ChainBuffersHoldOnesWhenUnkeyed) {
    const std::array<std::uint8_t, 16> ones = [] {
        std::array<std::uint8_t, 16> a{};
        a.fill(0xFF);
        return a;
    }();
    TProbeCipher cipher;
    EXPECT_EQ(cipher.IV(), ones) << "after construction";
    EXPECT_EQ(cipher.CV(), ones) << "after construction";
    const Bytes key(16, 0x3C);
    cipher.Init(key.data(), 128, nullptr);
    EXPECT_NE(cipher.IV(), ones);
    cipher.Scrub();
    EXPECT_EQ(cipher.IV(), ones) << "after Scrub";
    EXPECT_EQ(cipher.CV(), ones) << "after Scrub";
    cipher.Init(key.data(), 128, nullptr);
    EXPECT_THROW(cipher.Init(key.data(), 132, nullptr), EDCP_cipher);
    EXPECT_EQ(cipher.IV(), ones) << "after a refused key";
    EXPECT_EQ(cipher.CV(), ones) << "after a refused key";
}

} // namespace
