// Test helper: reads known-answer files of "Name = hex" records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace quillock::tests {

using Bytes = std::vector<std::uint8_t>;

// One record: its fields by name and the line it starts on (for messages).
struct TVecRecord {
    std::map<std::string, std::string> Fields;
    std::size_t Line = 0;

    [[nodiscard]] bool Has(const std::string& name) const { return Fields.contains(name); }
    // The text of a field; throws std::runtime_error when it is missing.
    [[nodiscard]] const std::string& Text(const std::string& name) const;
    // The bytes of a hex field; throws on a missing field or bad hex.
    [[nodiscard]] Bytes Hex(const std::string& name) const;
};

// Format: one "Name = value" line per field, records separated by blank lines,
// lines starting with "#" are comments. Throws std::runtime_error when the file
// cannot be read or a line is neither blank, comment nor field.
std::vector<TVecRecord> ReadVecFile(const std::string& path);

// Hex digits in either case, an even count; throws std::runtime_error otherwise.
Bytes FromHex(std::string_view text);

std::string ToHex(const Bytes& data);

} // namespace quillock::tests
