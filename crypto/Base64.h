// Base64 (RFC 4648 alphabet, '=' padding) for the text routines of the ciphers.
#pragma once

#include <string>
#include <string_view>

namespace quillock::crypto {

[[nodiscard]] std::string Base64EncodeStr(std::string_view data);
// Decodes whole groups of four characters; a trailing incomplete group is
// ignored, '=' ends the data within its group, and characters outside the
// alphabet are skipped.
[[nodiscard]] std::string Base64DecodeStr(std::string_view text);

} // namespace quillock::crypto
