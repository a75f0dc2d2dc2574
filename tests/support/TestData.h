// Data the tests make: text-like samples, and zlib's own one-call compression
// as a reference independent of the program's stream layer.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace quillock::tests {

// Text-like data of exactly size bytes drawn from alphabet, the same for the
// same seed.
inline std::vector<std::uint8_t> SampleText(std::size_t size, std::uint32_t seed, std::string_view alphabet) {
    std::vector<std::uint8_t> data(size);
    std::uint32_t state = seed;
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        data[i] = static_cast<std::uint8_t>(alphabet[(state >> 16) % alphabet.size()]);
    }
    return data;
}

inline std::vector<std::uint8_t> ZlibCompress(const std::vector<std::uint8_t>& plain, int level) {
    uLongf size = compressBound(plain.size());
    std::vector<std::uint8_t> out(size);
    EXPECT_EQ(compress2(out.data(), &size, plain.data(), plain.size(), level), Z_OK);
    out.resize(size);
    return out;
}

} // namespace quillock::tests
