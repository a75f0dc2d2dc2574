// Base64: the RFC 4648 vectors, binary data against OpenSSL, and the decoder's
// rules for groups, padding and characters outside the alphabet.
#include "crypto/Base64.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <random>
#include <string>
#include <vector>

namespace {

using quillock::crypto::Base64DecodeStr;
using quillock::crypto::Base64EncodeStr;

TEST(Base64, Rfc4648Vectors) {
    // RFC 4648, section 10.
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
    };
    for (const auto& [plain, encoded] : vectors) {
        EXPECT_EQ(Base64EncodeStr(plain), encoded);
        EXPECT_EQ(Base64DecodeStr(encoded), plain);
    }
}

TEST(Base64, BinaryDataMatchesOpenSsl) {
    std::mt19937 rng(1);
    for (std::size_t size = 0; size <= 200; ++size) {
        std::string data(size, '\0');
        for (auto& ch : data) {
            ch = static_cast<char>(rng());
        }
        std::vector<unsigned char> expected(4 * ((size + 2) / 3) + 1);
        const int len = EVP_EncodeBlock(expected.data(), reinterpret_cast<const unsigned char*>(data.data()),
                                        static_cast<int>(size));
        const std::string encoded = Base64EncodeStr(data);
        EXPECT_EQ(encoded.size(), (size + 2) / 3 * 4);
        EXPECT_EQ(encoded, std::string(reinterpret_cast<const char*>(expected.data()), static_cast<std::size_t>(len)));
        EXPECT_EQ(Base64DecodeStr(encoded), data) << "size " << size;
    }
}

TEST(Base64, TrailingIncompleteGroupIsIgnored) {
    const std::pair<const char*, const char*> cases[] = {
        {"Zm9vYg", "foo"}, {"Zm9vYmF", "foo"}, {"Zm9", ""}, {"Z", ""}, {"", ""},
    };
    for (const auto& [encoded, plain] : cases) {
        EXPECT_EQ(Base64DecodeStr(encoded), plain) << encoded;
    }
}

TEST(Base64, PaddingEndsTheDataOfItsGroup) {
    EXPECT_EQ(Base64DecodeStr("Zg==Zm8="), "ffo"); // each group decodes on its own
    EXPECT_EQ(Base64DecodeStr("Zm8=Zm9v"), "fofoo");
    EXPECT_EQ(Base64DecodeStr("Zg=A"), "f"); // nothing after "=" in the group counts
    EXPECT_EQ(Base64DecodeStr("Z==="), "");  // one character holds no whole byte
    EXPECT_EQ(Base64DecodeStr("===="), "");
}

TEST(Base64, CharactersOutsideTheAlphabetAreSkipped) {
    EXPECT_EQ(Base64DecodeStr("Zm9v\r\nYmFy"), "foobar");
    EXPECT_EQ(Base64DecodeStr(" Z m 9 v "), "foo");
    EXPECT_EQ(Base64DecodeStr("Z!m-9_v\xAE"), "foo");
    // Skipped characters do not complete a group.
    EXPECT_EQ(Base64DecodeStr("Zm9\n"), "");
    EXPECT_EQ(Base64DecodeStr(std::string("Zm\0\09v", 6)), "foo");
}

} // namespace
