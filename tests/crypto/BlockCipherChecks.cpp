// The checks every block cipher's tests share.
#include "BlockCipherChecks.h"

#include "CipherReference.h"
#include "tests/support/Checks.h"

namespace quillock::crypto {
namespace {

using tests::Bytes;
using tests::ToHex;

std::size_t BlockBytes(const TDCP_blockcipher& cipher) {
    return static_cast<std::size_t>(cipher.ClassType().BlockSize() / 8);
}

} // namespace

Bytes EncryptBlocks(TDCP_blockcipher& cipher, const Bytes& plain) {
    Bytes out(plain.size());
    for (std::size_t at = 0; at < plain.size(); at += BlockBytes(cipher)) {
        cipher.EncryptBlock(plain.data() + at, out.data() + at);
    }
    return out;
}

Bytes DecryptBlocks(TDCP_blockcipher& cipher, const Bytes& data) {
    Bytes out(data.size());
    for (std::size_t at = 0; at < data.size(); at += BlockBytes(cipher)) {
        cipher.DecryptBlock(data.data() + at, out.data() + at);
    }
    return out;
}

void ExpectUnkeyed(TDCP_blockcipher& cipher) {
    Bytes block(BlockBytes(cipher));
    EXPECT_FALSE(cipher.Initialized());
    EXPECT_EQ(tests::ErrorText<EDCP_blockcipher>([&] { cipher.EncryptBlock(block.data(), block.data()); }),
              "Cipher not initialized");
    EXPECT_EQ(tests::ErrorText<EDCP_blockcipher>([&] { cipher.DecryptBlock(block.data(), block.data()); }),
              "Cipher not initialized");
}

void ExpectPublishedVectors(TDCP_blockcipher& cipher, const std::vector<tests::TVecRecord>& records,
                            const std::function<void()>& keyed) {
    for (const auto& record : records) {
        SCOPED_TRACE("vector at line " + std::to_string(record.Line));
        const Bytes key = record.Hex("Key");
        const Bytes plain = record.Hex("In");
        const Bytes expected = record.Hex("Out");
        cipher.Init(key.data(), static_cast<std::uint32_t>(key.size() * 8), nullptr);
        if (keyed) {
            keyed();
        }
        EXPECT_EQ(ToHex(EncryptBlocks(cipher, plain)), ToHex(expected));
        EXPECT_EQ(ToHex(DecryptBlocks(cipher, expected)), ToHex(plain));

        // The same buffer as input and output.
        Bytes block = plain;
        cipher.EncryptBlock(block.data(), block.data());
        EXPECT_EQ(ToHex(block), ToHex(expected));
        cipher.DecryptBlock(block.data(), block.data());
        EXPECT_EQ(ToHex(block), ToHex(plain));
    }
}

void ExpectAgreesWithOpenSsl(TDCP_blockcipher& cipher, std::mt19937& rng, std::size_t keyBytes, std::size_t plainBytes,
                             const std::string& ecb, const std::function<void()>& keyed) {
    Bytes key(keyBytes);
    for (auto& b : key) {
        b = static_cast<std::uint8_t>(rng());
    }
    const Bytes plain = reference::Pattern(plainBytes, static_cast<unsigned>(rng()));
    SCOPED_TRACE("key " + ToHex(key));
    cipher.Init(key.data(), static_cast<std::uint32_t>(keyBytes * 8), nullptr);
    if (keyed) {
        keyed();
    }
    const Bytes ours = EncryptBlocks(cipher, plain);
    EXPECT_EQ(ToHex(ours), ToHex(reference::OpenSslCrypt(ecb, key, {}, plain, true)));
    EXPECT_EQ(ToHex(DecryptBlocks(cipher, ours)), ToHex(plain));
    // Decryption on its own against OpenSSL, for text we did not make.
    EXPECT_EQ(ToHex(DecryptBlocks(cipher, plain)), ToHex(reference::OpenSslCrypt(ecb, key, {}, plain, false)));
}

void ExpectClassAnswers(const TDCP_cipherclass& cls, int id, const std::string& algorithm, int maxKeySize,
                        int blockSize) {
    EXPECT_EQ(cls.Id(), id);
    EXPECT_EQ(cls.Algorithm(), algorithm);
    EXPECT_EQ(cls.MaxKeySize(), maxKeySize);
    EXPECT_EQ(cls.BlockSize(), blockSize);
    EXPECT_TRUE(cls.SelfCheck());
}

} // namespace quillock::crypto
