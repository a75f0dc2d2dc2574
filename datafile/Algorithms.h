// The ciphers and digests a data file can be sealed with: one table each, in
// the order of the window's lists (the list index is what the settings store).
#pragma once

#include "crypto/Cipher.h"
#include "crypto/Hash.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quillock::datafile {

// One choice: the word the command line takes (--cipher rijndael), the name
// the window's list and the title show, and the class that does the work.
template <class TClass> struct TAlgorithmEntry {
    std::string_view Word;
    std::string_view Name;
    const TClass& (*Class)();
};
using TCipherEntry = TAlgorithmEntry<crypto::TDCP_cipherclass>;
using THashEntry = TAlgorithmEntry<crypto::TDCP_hashclass>;

// The choices in list order; adding an algorithm is one row in Algorithms.cpp.
[[nodiscard]] std::span<const TCipherEntry> Ciphers();
[[nodiscard]] std::span<const THashEntry> Hashes();

// The list index of a command-line word; nothing for a word not in the table.
[[nodiscard]] std::optional<int> CipherIndexOfWord(std::string_view word);
[[nodiscard]] std::optional<int> HashIndexOfWord(std::string_view word);

// The class for a list index, or null when the index is outside the list.
[[nodiscard]] const crypto::TDCP_cipherclass* CipherClassByIndex(int index);
[[nodiscard]] const crypto::TDCP_hashclass* HashClassByIndex(int index);

// The text a list shows for an index; empty outside the list.
[[nodiscard]] std::string AlgorithmText(int index);
[[nodiscard]] std::string HashText(int index);

} // namespace quillock::datafile
