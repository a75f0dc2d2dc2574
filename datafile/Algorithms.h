// The cipher and digest choices of the window, by their list index.
#pragma once

#include "crypto/Cipher.h"
#include "crypto/Hash.h"

#include <string>

namespace quillock::datafile {

// The entries of the two lists, in list order.
inline constexpr const char* AlgorithmNames[] = {"Rijndael", "Blowfish"};
inline constexpr const char* HashNames[] = {"RIPEMD-160", "SHA-1"};

// The class for a list index, or null when the index is outside the list.
[[nodiscard]] const crypto::TDCP_cipherclass* CipherClassByIndex(int index);
[[nodiscard]] const crypto::TDCP_hashclass* HashClassByIndex(int index);

// The text a list shows for an index; empty outside the list.
[[nodiscard]] std::string AlgorithmText(int index);
[[nodiscard]] std::string HashText(int index);

} // namespace quillock::datafile
