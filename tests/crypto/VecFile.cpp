// Test helper: reads known-answer files of "Name = hex" records.
#include "VecFile.h"

#include <charconv>
#include <fstream>
#include <stdexcept>

namespace quillock::tests {
namespace {

std::string Trim(std::string_view text) {
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string_view::npos) {
        return {};
    }
    const auto end = text.find_last_not_of(" \t\r");
    return std::string(text.substr(begin, end - begin + 1));
}

} // namespace

const std::string& TVecRecord::Text(const std::string& name) const {
    const auto it = Fields.find(name);
    if (it == Fields.end()) {
        throw std::runtime_error("record at line " + std::to_string(Line) + " has no field " + name);
    }
    return it->second;
}

Bytes TVecRecord::Hex(const std::string& name) const {
    return FromHex(Text(name));
}

std::vector<TVecRecord> ReadVecFile(const std::string& path) {
    std::ifstream file(path);
    if (!file) {
        throw std::runtime_error("cannot read " + path);
    }
    std::vector<TVecRecord> records;
    TVecRecord record;
    std::string line;
    std::size_t lineNumber = 0;
    auto finish = [&] {
        if (!record.Fields.empty()) {
            records.push_back(std::move(record));
        }
        record = {};
    };
    while (std::getline(file, line)) {
        ++lineNumber;
        const std::string text = Trim(line);
        if (text.starts_with("#")) {
            continue;
        }
        if (text.empty()) {
            finish();
            continue;
        }
        const auto eq = text.find('=');
        if (eq == std::string::npos) {
            throw std::runtime_error(path + ":" + std::to_string(lineNumber) + ": not a field: " + text);
        }
        const std::string name = Trim(std::string_view(text).substr(0, eq));
        if (name.empty() || record.Fields.contains(name)) {
            throw std::runtime_error(path + ":" + std::to_string(lineNumber) + ": bad or repeated field name");
        }
        if (record.Fields.empty()) {
            record.Line = lineNumber;
        }
        record.Fields[name] = Trim(std::string_view(text).substr(eq + 1));
    }
    finish();
    return records;
}

Bytes FromHex(std::string_view text) {
    if (text.size() % 2 != 0) {
        throw std::runtime_error("odd number of hex digits: " + std::string(text));
    }
    Bytes data;
    data.reserve(text.size() / 2);
    for (const char* pair = text.data(); pair != text.data() + text.size(); pair += 2) {
        // Two digits, upper or lower case; from_chars takes no sign for an unsigned byte.
        std::uint8_t byte = 0;
        const auto [end, error] = std::from_chars(pair, pair + 2, byte, 16);
        if (error != std::errc{} || end != pair + 2) {
            throw std::runtime_error("not hex: " + std::string(text));
        }
        data.push_back(byte);
    }
    return data;
}

std::string ToHex(const Bytes& data) {
    static constexpr char Digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(data.size() * 2);
    for (const auto b : data) {
        text += Digits[b >> 4];
        text += Digits[b & 15];
    }
    return text;
}

} // namespace quillock::tests
