// Fuzz target: Base64 decoding of arbitrary text never crashes and gives at
// most three bytes per four characters; encoding and decoding give back the
// input.
#include "crypto/Base64.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillock::crypto;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::string decoded = Base64DecodeStr(text);
    if (decoded.size() > size / 4 * 3) {
        std::abort();
    }
    if (Base64DecodeStr(Base64EncodeStr(text)) != text) {
        std::abort();
    }
    return 0;
}
