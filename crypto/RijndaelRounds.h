// The round count of a Rijndael key as a template argument, for every
// implementation of the rounds (internal to the crypto layer).
#pragma once

#include <cstdint>

namespace quillock::crypto {

// Calls f.template operator()<Rounds>() for the round count of the key (10, 12 or 14).
template <class F> void WithRounds(std::uint32_t rounds, F&& f) noexcept {
    switch (rounds) {
    case 10:
        f.template operator()<10>();
        break;
    case 12:
        f.template operator()<12>();
        break;
    default:
        f.template operator()<14>();
        break;
    }
}

} // namespace quillock::crypto
