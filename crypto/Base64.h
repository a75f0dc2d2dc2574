// Base64 (standard alphabet, "=" padding) for the text routines of the ciphers.
#pragma once

#include <string>
#include <string_view>

namespace quillock::crypto {

// Encodes n bytes as ((n + 2) / 3) * 4 characters.
[[nodiscard]] std::string Base64EncodeStr(std::string_view data);

// Decodes whole groups of four characters; a trailing incomplete group is
// ignored and "=" ends the data of its group. Characters outside the alphabet
// (line breaks, spaces, anything else) are skipped and do not count.
[[nodiscard]] std::string Base64DecodeStr(std::string_view text);

} // namespace quillock::crypto
