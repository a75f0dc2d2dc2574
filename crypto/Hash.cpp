// The digest framework's shared services.
#include "crypto/Hash.h"

namespace quillock::crypto {

void TDCP_hash::UpdateString(std::string_view text) {
    if (!text.empty()) {
        Update(text.data(), static_cast<std::uint32_t>(text.size()));
    }
}

} // namespace quillock::crypto
