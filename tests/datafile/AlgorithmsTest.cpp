// The cipher and digest tables: every row reads back by its word and its index,
// and words or indices outside the tables give nothing.
#include "datafile/Algorithms.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace quillock::datafile {
namespace {

// Every row of a table reads back by its word and by its index, and no two
// rows are of one class.
template <typename TRows, typename TIndexOfWord, typename TText, typename TClassByIndex>
void ExpectRowsReadBack(TRows rows, TIndexOfWord indexOfWord, TText text, TClassByIndex classByIndex) {
    std::set<int> ids;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& entry = rows[i];
        const int index = static_cast<int>(i);
        EXPECT_EQ(indexOfWord(entry.Word), index) << entry.Word;
        EXPECT_EQ(text(index), entry.Name);
        ASSERT_NE(classByIndex(index), nullptr);
        EXPECT_EQ(classByIndex(index), &entry.Class());
        EXPECT_TRUE(ids.insert(entry.Class().Id()).second) << "two rows of one class: " << entry.Word;
    }
}

TEST(AlgorithmsTest, CipherRowsReadBackByWordAndIndex) {
    ASSERT_EQ(Ciphers().size(), 2u);
    ASSERT_NO_FATAL_FAILURE(ExpectRowsReadBack(Ciphers(), CipherIndexOfWord, AlgorithmText, CipherClassByIndex));
    // List index 0 is what a setting of 0 (and a fresh session) seals with.
    EXPECT_EQ(CipherClassByIndex(0)->Algorithm(), "Rijndael");
    EXPECT_EQ(CipherClassByIndex(1)->Algorithm(), "Blowfish");
}

TEST(AlgorithmsTest, HashRowsReadBackByWordAndIndex) {
    ASSERT_EQ(Hashes().size(), 2u);
    ASSERT_NO_FATAL_FAILURE(ExpectRowsReadBack(Hashes(), HashIndexOfWord, HashText, HashClassByIndex));
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
