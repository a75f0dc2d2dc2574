// Conversion between Windows-1252 and UTF-8.
#include "platform/Text.h"

#include <array>
#include <cstdint>

namespace quillock::platform {
namespace {

// Code points of the bytes 0x80 to 0x9F (Windows-1252 best-fit table of the
// Unicode consortium); the other bytes equal their Latin-1 code points.
constexpr std::array<char32_t, 32> High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char32_t CodePoint(unsigned char byte) {
    return byte >= 0x80 && byte <= 0x9F ? High[byte - 0x80] : char32_t{byte};
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::optional<unsigned char> ByteOf(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        return static_cast<unsigned char>(c);
    }
    for (std::size_t i = 0; i < High.size(); ++i) {
        if (High[i] == c) {
            return static_cast<unsigned char>(0x80 + i);
        }
    }
    return std::nullopt;
}

// The code point of the UTF-8 form at text[i], moving i past it; nothing when
// the form is not valid UTF-8 (truncated, overlong, a surrogate, past U+10FFFF).
std::optional<char32_t> NextCodePoint(std::string_view text, std::size_t& i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    char32_t c = 0;
    std::size_t extra = 0;
    if (lead < 0x80) {
        c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
        c = lead & 0x1F;
        extra = 1;
    } else if ((lead & 0xF0) == 0xE0) {
        c = lead & 0x0F;
        extra = 2;
    } else if ((lead & 0xF8) == 0xF0) {
        c = lead & 0x07;
        extra = 3;
    } else {
        return std::nullopt;
    }
    if (i + extra >= text.size()) {
        return std::nullopt;
    }
    for (std::size_t k = 1; k <= extra; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) {
            return std::nullopt;
        }
        c = (c << 6) | (next & 0x3F);
    }
    static constexpr std::array<char32_t, 4> Minimum = {0, 0x80, 0x800, 0x10000};
    if (c < Minimum[extra] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
        return std::nullopt;
    }
    i += extra + 1;
    return c;
}

} // namespace

std::string Cp1252ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        AppendUtf8(out, CodePoint(static_cast<unsigned char>(ch)));
    }
    return out;
}

std::optional<std::string> Utf8ToCp1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = NextCodePoint(text, i);
        if (!c) {
            return std::nullopt;
        }
        const auto byte = ByteOf(*c);
        if (!byte) {
            return std::nullopt;
        }
        out.push_back(static_cast<char>(*byte));
    }
    return out;
}

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        if (!NextCodePoint(text, i)) {
            return false;
        }
    }
    return true;
}

std::string PrintableName(std::string_view name) {
    if (IsValidUtf8(name)) {
        return std::string(name);
    }
    static constexpr char Hex[] = "0123456789abcdef";
    std::string out;
    std::size_t i = 0;
    while (i < name.size()) {
        const std::size_t start = i;
        if (!NextCodePoint(name, i)) {
            const auto byte = static_cast<unsigned char>(name[start]);
            out += {'\\', 'x', Hex[byte >> 4], Hex[byte & 0x0F]};
            i = start + 1;
        } else if (name[start] == '\\') {
            out += "\\\\";
        } else {
            out.append(name.substr(start, i - start));
        }
    }
    return out;
}

std::string QuotedName(std::string_view name) {
    // Appended piece by piece: GCC 12 at -O3 takes "\"" + text for an
    // overlapping copy (-Wrestrict).
    std::string quoted(1, '"');
    quoted += PrintableName(name);
    quoted += '"';
    return quoted;
}

std::string ShellWord(std::string_view path) {
    if (!path.empty() &&
        path.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_./+,:@%=-") ==
            std::string_view::npos) {
        return std::string(path);
    }
    const bool escaped = !IsValidUtf8(path);
    std::string word = escaped ? "$'" : "'";
    for (const char c : escaped ? PrintableName(path) : std::string(path)) {
        if (c == '\'') {
            word += escaped ? "\\'" : "'\\''";
        } else {
            word += c;
        }
    }
    return word + "'";
}

std::string MessageToUtf8(std::string_view text) {
    std::string lines;
    lines.reserve(text.size());
    for (const char c : text) {
        if (c != '\r') {
            lines.push_back(c);
        }
    }
    return IsValidUtf8(lines) ? lines : Cp1252ToUtf8(lines);
}

} // namespace quillock::platform
