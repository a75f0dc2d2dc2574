// The cipher and digest tables: every row reads back by its word and its index,
// and words or indices outside the tables give nothing.
#include "datafile/Algorithms.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace quillock::datafile {
namespace {

TEST(AlgorithmsTest, CipherRowsReadBackByWordAndIndex) {
    ASSERT_EQ(Ciphers().size(), 2u);
    std::set<int> ids;
    for (std::size_t i = 0; i < Ciphers().size(); ++i) {
        const TCipherEntry& entry = Ciphers()[i];
        const int index = static_cast<int>(i);
        EXPECT_EQ(CipherIndexOfWord(entry.Word), index) << entry.Word;
        EXPECT_EQ(AlgorithmText(index), entry.Name);
        ASSERT_NE(CipherClassByIndex(index), nullptr);
        EXPECT_EQ(CipherClassByIndex(index), &entry.Class());
        EXPECT_TRUE(ids.insert(entry.Class().Id()).second) << "two rows of one class: " << entry.Word;
    }
    // List index 0 is what a setting of 0 (and a fresh session) seals with.
    EXPECT_EQ(CipherClassByIndex(0)->Algorithm(), "Rijndael");
    EXPECT_EQ(CipherClassByIndex(1)->Algorithm(), "Blowfish");
}

TEST(AlgorithmsTest, HashRowsReadBackByWordAndIndex) {
    ASSERT_EQ(Hashes().size(), 2u);
    std::set<int> ids;
    for (std::size_t i = 0; i < Hashes().size(); ++i) {
        const THashEntry& entry = Hashes()[i];
        const int index = static_cast<int>(i);
        EXPECT_EQ(HashIndexOfWord(entry.Word), index) << entry.Word;
        EXPECT_EQ(HashText(index), entry.Name);
        ASSERT_NE(HashClassByIndex(index), nullptr);
        EXPECT_EQ(HashClassByIndex(index), &entry.Class());
        EXPECT_TRUE(ids.insert(entry.Class().Id()).second) << "two rows of one class: " << entry.Word;
    }
    EXPECT_EQ(HashClassByIndex(0)->Algorithm(), "RipeMD-160");
    EXPECT_EQ(HashClassByIndex(1)->Algorithm(), "SHA1");
}

TEST(AlgorithmsTest, UnknownWordsAndIndicesGiveNothing) {
    // Words are taken as typed: no other case, no blanks, no display names.
    for (const char* word : {"", "Rijndael", "aes", "blowfish ", "sha-1", "RIPEMD160", "SHA1"}) {
        EXPECT_FALSE(CipherIndexOfWord(word).has_value()) << word;
        EXPECT_FALSE(HashIndexOfWord(word).has_value()) << word;
    }
    EXPECT_FALSE(CipherIndexOfWord("sha1").has_value()); // a digest is no cipher
    EXPECT_FALSE(HashIndexOfWord("rijndael").has_value());
    for (const int index : {-1, 2, 1000}) {
        EXPECT_EQ(CipherClassByIndex(index), nullptr);
        EXPECT_EQ(HashClassByIndex(index), nullptr);
        EXPECT_EQ(AlgorithmText(index), "");
        EXPECT_EQ(HashText(index), "");
    }
}

} // namespace
} // namespace quillock::datafile
