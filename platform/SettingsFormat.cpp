// The settings file's text format: reading and writing its lines, and the
// quoting and escapes of texts.
#include "platform/SettingsFormat.h"

#include "platform/Text.h"

#include <charconv>

namespace quillock::platform::settings {
namespace {

constexpr const char* FileHeader[] = {
    "# Quillock settings",
    "# Integers: Name=dword:N (decimal). Texts: Name=sz:\"...\" in UTF-8 with the escapes",
    "# \\\" \\\\ \\n \\r \\t and \\xHH (a Windows-1252 byte). Saved by the program at its end.",
};

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// The key named by a section line "[...]", if the line is one.
std::optional<std::string_view> SectionOf(std::string_view line) {
    line = Trim(line);
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
        return line.substr(1, line.size() - 2);
    }
    return std::nullopt;
}

// Name and payload of a "Name=type:data" line; comments and other lines give nothing.
std::optional<std::pair<std::string_view, std::string_view>> AssignmentOf(std::string_view line) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == '#' || trimmed.front() == ';' || trimmed.front() == '[') {
        return std::nullopt;
    }
    const std::size_t equals = trimmed.find('=');
    if (equals == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view name = Trim(trimmed.substr(0, equals));
    if (name.empty()) {
        return std::nullopt;
    }
    return std::pair{name, Trim(trimmed.substr(equals + 1))};
}

// The escapes of one character after the backslash, and what each stands for.
struct TEscape {
    char Plain;
    char Letter;
};
constexpr TEscape Escapes[] = {{'"', '"'}, {'\\', '\\'}, {'\n', 'n'}, {'\r', 'r'}, {'\t', 't'}};

// The escape whose field is c; nullptr for none.
const TEscape* FindEscape(char TEscape::*field, char c) {
    for (const TEscape& escape : Escapes) {
        if (escape.*field == c) {
            return &escape;
        }
    }
    return nullptr;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

TLines NewFileLines() {
    return TLines(std::begin(FileHeader), std::end(FileHeader));
}

TLines SplitLines(std::string content) {
    TLines lines;
    if (content.starts_with("\xEF\xBB\xBF")) {
        content.erase(0, 3);
    }
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string::npos) {
            end = content.size();
        }
        std::string line = content.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

std::string JoinLines(const TLines& lines) {
    std::string content;
    for (const std::string& line : lines) {
        content += line;
        content.push_back('\n');
    }
    return content;
}

std::optional<std::string> UnquoteText(std::string_view data) {
    if (data.size() < 2 || data.front() != '"' || data.back() != '"') {
        return std::nullopt;
    }
    data = data.substr(1, data.size() - 2);
    std::string out;
    std::string run; // UTF-8 characters waiting for conversion
    const auto flush = [&]() {
        const auto converted = Utf8ToCp1252(run);
        run.clear();
        if (!converted) {
            return false;
        }
        out += *converted;
        return true;
    };
    for (std::size_t i = 0; i < data.size(); ++i) {
        const char c = data[i];
        if (c == '"') {
            return std::nullopt; // an unescaped quote inside the text
        }
        if (c != '\\') {
            run.push_back(c);
            continue;
        }
        if (!flush() || ++i == data.size()) {
            return std::nullopt;
        }
        if (const TEscape* escape = FindEscape(&TEscape::Letter, data[i])) {
            out.push_back(escape->Plain);
            continue;
        }
        // \xHH, the one escape that is not a single letter.
        if (data[i] != 'x' || i + 2 >= data.size()) {
            return std::nullopt;
        }
        const int high = HexDigit(data[i + 1]);
        const int low = HexDigit(data[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    if (!flush()) {
        return std::nullopt;
    }
    return out;
}

std::string QuoteText(std::string_view text) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string out = "\"";
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (const TEscape* escape = FindEscape(&TEscape::Plain, ch)) {
            out.push_back('\\');
            out.push_back(escape->Letter);
            continue;
        }
        // Controls, and the five bytes that stand for invisible C1 controls,
        // are written as their byte so that the file shows them.
        if (byte < 0x20 || byte == 0x7F || byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 ||
            byte == 0x9D) {
            out += "\\x";
            out.push_back(Digits[byte >> 4]);
            out.push_back(Digits[byte & 0x0F]);
        } else {
            out += Cp1252ToUtf8(std::string_view(&ch, 1));
        }
    }
    out.push_back('"');
    return out;
}

TParsedValue ParsePayload(std::string_view payload) {
    TParsedValue value;
    const std::size_t colon = payload.find(':');
    if (colon == std::string_view::npos) {
        return value;
    }
    const std::string_view type = Trim(payload.substr(0, colon));
    const std::string_view data = Trim(payload.substr(colon + 1));
    if (type == "dword") {
        std::int32_t number = 0;
        const auto [end, error] = std::from_chars(data.data(), data.data() + data.size(), number);
        if (error == std::errc() && end == data.data() + data.size() && !data.empty()) {
            value.Type = TRegDataType::rdInteger;
            value.Integer = number;
        }
    } else if (type == "sz" || type == "expand_sz") {
        if (auto text = UnquoteText(data)) {
            value.Type = type == "sz" ? TRegDataType::rdString : TRegDataType::rdExpandString;
            value.Text = std::move(*text);
        }
    } else if (type == "binary") {
        value.Type = TRegDataType::rdBinary;
    }
    return value;
}

std::optional<std::map<std::string, TParsedValue>> ValuesOf(const TLines& lines, const std::string& key) {
    std::optional<std::map<std::string, TParsedValue>> values;
    bool inside = false;
    for (const std::string& line : lines) {
        if (const auto section = SectionOf(line)) {
            inside = *section == key;
            if (inside && !values) {
                values.emplace();
            }
            continue;
        }
        if (!inside) {
            continue;
        }
        if (const auto assignment = AssignmentOf(line)) {
            values->try_emplace(std::string(assignment->first), ParsePayload(assignment->second));
        }
    }
    return values;
}

void SetLine(TLines& lines, const std::string& key, const std::optional<std::pair<std::string, std::string>>& value) {
    std::optional<std::size_t> sectionEnd; // after the last value line of the key's first section
    bool inside = false;
    bool replaced = false;
    bool first = true;
    for (std::size_t i = 0; i < lines.size();) {
        if (const auto section = SectionOf(lines[i])) {
            if (inside) {
                first = false;
            }
            inside = *section == key;
            if (inside && first && !sectionEnd) {
                sectionEnd = i + 1;
            }
            ++i;
            continue;
        }
        if (inside) {
            const auto assignment = AssignmentOf(lines[i]);
            if (value && assignment && assignment->first == value->first) {
                if (replaced) {
                    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
                    continue;
                }
                lines[i] = value->first + "=" + value->second;
                replaced = true;
            }
            if (first && !Trim(lines[i]).empty()) {
                sectionEnd = i + 1;
            }
        }
        ++i;
    }
    if (!sectionEnd) {
        if (!lines.empty() && !Trim(lines.back()).empty()) {
            lines.emplace_back();
        }
        lines.push_back("[" + key + "]");
        sectionEnd = lines.size();
    }
    if (value && !replaced) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*sectionEnd), value->first + "=" + value->second);
    }
}

std::string IntegerPayload(std::int32_t value) {
    return "dword:" + std::to_string(value);
}

std::string TextPayload(std::string_view text) {
    return "sz:" + QuoteText(text);
}

bool ValidKey(const std::string& key) {
    return !key.empty() && key.find_first_of("[]\r\n") == std::string::npos && Trim(key) == key;
}

bool ValidName(const std::string& name) {
    return !name.empty() && name.find_first_of("=\r\n") == std::string::npos && Trim(name) == name &&
           name.front() != '[' && name.front() != '#' && name.front() != ';';
}

} // namespace quillock::platform::settings
