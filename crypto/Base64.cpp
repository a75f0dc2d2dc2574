// Base64 encoding and decoding of 8-bit strings.
#include "crypto/Base64.h"

#include <array>
#include <cstdint>

namespace quillock::crypto {
namespace {

constexpr char Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::int8_t Skip = -1;
constexpr std::int8_t Pad = -2;

constexpr std::array<std::int8_t, 256> MakeDecodeTable() {
    std::array<std::int8_t, 256> table{};
    table.fill(Skip);
    for (int i = 0; i < 64; ++i) {
        table[static_cast<unsigned char>(Alphabet[i])] = static_cast<std::int8_t>(i);
    }
    table['='] = Pad;
    return table;
}

constexpr std::array<std::int8_t, 256> DecodeTable = MakeDecodeTable();

} // namespace

std::string Base64EncodeStr(std::string_view data) {
    std::string result;
    result.reserve((data.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= data.size(); i += 3) {
        const std::uint32_t v = (static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << 16) |
                                (static_cast<std::uint32_t>(static_cast<unsigned char>(data[i + 1])) << 8) |
                                static_cast<unsigned char>(data[i + 2]);
        result += Alphabet[(v >> 18) & 63];
        result += Alphabet[(v >> 12) & 63];
        result += Alphabet[(v >> 6) & 63];
        result += Alphabet[v & 63];
    }
    const std::size_t rest = data.size() - i;
    if (rest > 0) {
        std::uint32_t v = static_cast<std::uint32_t>(static_cast<unsigned char>(data[i])) << 16;
        if (rest == 2) {
            v |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[i + 1])) << 8;
        }
        result += Alphabet[(v >> 18) & 63];
        result += Alphabet[(v >> 12) & 63];
        result += rest == 2 ? Alphabet[(v >> 6) & 63] : '=';
        result += '=';
    }
    return result;
}

std::string Base64DecodeStr(std::string_view text) {
    std::string result;
    result.reserve(text.size() / 4 * 3);
    std::int8_t group[4];
    int filled = 0;
    for (const char ch : text) {
        const std::int8_t code = DecodeTable[static_cast<unsigned char>(ch)];
        if (code == Skip) {
            continue;
        }
        group[filled++] = code;
        if (filled < 4) {
            continue;
        }
        filled = 0;
        // The data of a group ends at its first "="; two characters give one
        // byte, three give two, four give three.
        int data = 0;
        while (data < 4 && group[data] != Pad) {
            ++data;
        }
        std::uint32_t v = 0;
        for (int j = 0; j < data; ++j) {
            v |= static_cast<std::uint32_t>(group[j]) << (18 - 6 * j);
        }
        for (int j = 0; j < data - 1; ++j) {
            result += static_cast<char>((v >> (16 - 8 * j)) & 0xFF);
        }
    }
    return result;
}

} // namespace quillock::crypto
