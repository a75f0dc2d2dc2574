// The per-user settings store: typed values in one human-readable file, changed
// one value at a time under a lock and replaced atomically.
#include "platform/Registry.h"

#include "platform/Files.h"

#include "platform/AtomicFile.h"
#include "platform/Text.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <optional>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace quillock::platform {
namespace {

namespace fs = std::filesystem;

// The file is a list of lines; a write changes the line of one value and keeps
// every other line (comments, other keys, lines it does not understand) as it was.
//
//   [Software\Quillock]
//   ExeNamePos=dword:0
//   ExeName=sz:"Arbolix.exe"
//
// Integers are signed decimal; texts are UTF-8 between double quotes with the
// escapes \" \\ \n \r \t and \xHH (HH a Windows-1252 byte in hexadecimal).
constexpr const char* FileHeader[] = {
    "# Quillock settings",
    "# Integers: Name=dword:N (decimal). Texts: Name=sz:\"...\" in UTF-8 with the escapes",
    "# \\\" \\\\ \\n \\r \\t and \\xHH (a Windows-1252 byte). Saved by the program at its end.",
};

struct TParsedValue {
    TRegDataType Type = TRegDataType::rdUnknown;
    std::int32_t Integer = 0;
    std::string Text;
};

using TLines = std::vector<std::string>;

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

// The Windows-1252 text of a quoted UTF-8 string; nothing when it is malformed.
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
        switch (data[i]) {
        case '"':
            out.push_back('"');
            break;
        case '\\':
            out.push_back('\\');
            break;
        case 'n':
            out.push_back('\n');
            break;
        case 'r':
            out.push_back('\r');
            break;
        case 't':
            out.push_back('\t');
            break;
        case 'x': {
            if (i + 2 >= data.size()) {
                return std::nullopt;
            }
            const int high = HexDigit(data[i + 1]);
            const int low = HexDigit(data[i + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            out.push_back(static_cast<char>(high * 16 + low));
            i += 2;
            break;
        }
        default:
            return std::nullopt;
        }
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
        switch (ch) {
        case '"':
            out += "\\\"";
            continue;
        case '\\':
            out += "\\\\";
            continue;
        case '\n':
            out += "\\n";
            continue;
        case '\r':
            out += "\\r";
            continue;
        case '\t':
            out += "\\t";
            continue;
        default:
            break;
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

// A value line's payload "type:data". A value of a type this store does not
// know, or with malformed data, still exists but has no usable type.
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

// The values of one key; the first line of a name counts when a name is repeated.
// Nothing when the key has no section.
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

// Puts "name=payload" into the key's section (added at the end when missing),
// replacing the value's line and dropping repeated lines of the same name.
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

enum class TReadResult { Missing, Read, Unreadable };

// A settings file is a few hundred bytes; one far larger is damaged (or not
// ours to read into memory) and is treated as unreadable.
constexpr std::size_t MaxSettingsSize = std::size_t{1} << 20;

// Reads the settings file into lines. A file without any read permission bit
// counts as unreadable even for a user whom the system would let read it.
TReadResult ReadLines(const fs::path& file, TLines& lines) {
    lines.clear();
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        return errno == ENOENT ? TReadResult::Missing : TReadResult::Unreadable;
    }
    if (!S_ISREG(info.st_mode) || (info.st_mode & 0444) == 0) {
        return TReadResult::Unreadable;
    }
    const int handle = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (handle < 0) {
        return TReadResult::Unreadable;
    }
    std::string content;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(handle, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            ::close(handle);
            return TReadResult::Unreadable;
        }
        if (n == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(n));
        if (content.size() > MaxSettingsSize) {
            ::close(handle);
            return TReadResult::Unreadable;
        }
    }
    ::close(handle);
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
    return TReadResult::Read;
}

// Creates the missing folders of path, owner-only.
bool MakeFolders(const fs::path& folder) {
    fs::path partial;
    for (const fs::path& part : folder) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

using TNamedPayloads = std::vector<std::pair<std::string, std::string>>;

// The settings as last read or written by this process, per file: the file
// is read again only when it changed on disk (another copy of the program
// saved), so a session's repeated loads cost a look at the file, not a read.
struct TSnapshot {
    dev_t Device = 0;
    ino_t Inode = 0;
    off_t Size = -1;
    struct timespec Modified {};
    struct timespec Changed {};
    TLines Lines;
};

bool SameFile(const TSnapshot& snapshot, const struct stat& info) {
    return snapshot.Device == info.st_dev && snapshot.Inode == info.st_ino && snapshot.Size == info.st_size &&
           snapshot.Modified.tv_sec == info.st_mtim.tv_sec && snapshot.Modified.tv_nsec == info.st_mtim.tv_nsec &&
           snapshot.Changed.tv_sec == info.st_ctim.tv_sec && snapshot.Changed.tv_nsec == info.st_ctim.tv_nsec;
}

std::mutex SnapshotsLock;
std::map<std::string, TSnapshot>& Snapshots() {
    static std::map<std::string, TSnapshot> snapshots;
    return snapshots;
}

// Remembers lines as what the file held when it looked like info.
void Remember(const fs::path& file, const struct stat& info, const TLines& lines) {
    const std::lock_guard guard(SnapshotsLock);
    Snapshots()[file.string()] = TSnapshot{info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim, lines};
}

// ReadLines, from the snapshot when the file has not changed since. The
// look at the file comes before the read: a change made during the read
// then shows as a change next time.
TReadResult ReadLinesOnce(const fs::path& file, TLines& lines) {
    struct stat info {};
    const bool seen = ::stat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 0444) != 0;
    if (seen) {
        const std::lock_guard guard(SnapshotsLock);
        const auto found = Snapshots().find(file.string());
        if (found != Snapshots().end() && SameFile(found->second, info)) {
            lines = found->second.Lines;
            return TReadResult::Read;
        }
    }
    const TReadResult result = ReadLines(file, lines);
    if (result == TReadResult::Read && seen) {
        Remember(file, info, lines);
    }
    return result;
}

// Under the lock: reads the file as it is now, makes sure the key exists, sets
// the values, and replaces the file by a complete new one. lines receives
// what was written. False when anything fails; the file is then unchanged.
bool StoreSettings(const fs::path& file, const std::string& key, const TNamedPayloads& values, TLines& lines) {
    fs::path target = file;
    std::error_code error;
    if (fs::is_symlink(file, error)) {
        target = fs::canonical(file, error); // keep the link, replace what it points to
        if (error) {
            return false;
        }
    }
    const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    if (!MakeFolders(folder)) {
        return false;
    }
    // A folder or a file without any write permission bit is read-only for
    // every user, the administrator included.
    struct stat folderInfo {};
    if (::stat(folder.c_str(), &folderInfo) != 0 || (folderInfo.st_mode & 0222) == 0) {
        return false;
    }
    TFileLock lock;
    (void)lock.Take(fs::path(file).concat(".lock").string(), true);
    if (!lock.Held()) {
        return false;
    }
    mode_t mode = 0600;
    struct stat fileInfo {};
    if (::stat(target.c_str(), &fileInfo) == 0) {
        if (!S_ISREG(fileInfo.st_mode) || (fileInfo.st_mode & 0222) == 0) {
            return false;
        }
        mode = fileInfo.st_mode & 07777;
    }
    switch (ReadLines(target, lines)) {
    case TReadResult::Unreadable:
        return false; // storing would lose what cannot be read
    case TReadResult::Missing:
        lines.assign(std::begin(FileHeader), std::end(FileHeader));
        break;
    case TReadResult::Read:
        break;
    }
    if (values.empty()) {
        SetLine(lines, key, std::nullopt);
    }
    for (const auto& value : values) {
        SetLine(lines, key, value);
    }

    std::string content;
    for (const std::string& line : lines) {
        content += line;
        content.push_back('\n');
    }
    if (!ReplaceFileAtomically(target, content, mode)) {
        return false;
    }
    // Under the lock nobody else replaces the file: what is there now is ours.
    struct stat written {};
    if (::stat(target.c_str(), &written) == 0) {
        Remember(target, written, lines);
    }
    return true;
}

bool ValidKey(const std::string& key) {
    return !key.empty() && key.find_first_of("[]\r\n") == std::string::npos && Trim(key) == key;
}

bool ValidName(const std::string& name) {
    return !name.empty() && name.find_first_of("=\r\n") == std::string::npos && Trim(name) == name &&
           name.front() != '[' && name.front() != '#' && name.front() != ';';
}

} // namespace

fs::path TRegistry::DefaultFile() {
    fs::path base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config == '/') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || *home == '\0') {
            const passwd* entry = ::getpwuid(::getuid());
            home = entry != nullptr ? entry->pw_dir : "/";
        }
        base = fs::path(home) / ".config";
    }
    return base / "quillock" / "settings.ini";
}

TRegistry::TRegistry(std::filesystem::path file) : FFile(std::move(file)) {}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
    CloseKey();
    if (!ValidKey(key)) {
        return false;
    }
    TLines lines;
    if (ReadLinesOnce(FFile, lines) == TReadResult::Unreadable) {
        return false;
    }
    auto values = ValuesOf(lines, key);
    if (!values) {
        if (!canCreate || !StoreSettings(FFile, key, {}, lines)) {
            return false;
        }
        values = ValuesOf(lines, key);
    }
    FCurrentKey = key;
    for (auto& [name, value] : *values) {
        FValues[name] = TValue{value.Type, value.Integer, std::move(value.Text)};
    }
    return true;
}

void TRegistry::CloseKey() {
    FCurrentKey.clear();
    FValues.clear();
}

bool TRegistry::ValueExists(const std::string& name) const {
    return FValues.contains(name);
}

TRegDataType TRegistry::GetDataType(const std::string& name) const {
    const auto found = FValues.find(name);
    return found == FValues.end() ? TRegDataType::rdUnknown : found->second.Type;
}

std::int32_t TRegistry::ReadInteger(const std::string& name) const {
    const auto found = FValues.find(name);
    if (found == FValues.end()) {
        throw ERegistryException("Failed to get data for '" + name + "'");
    }
    if (found->second.Type != TRegDataType::rdInteger) {
        throw ERegistryException("Invalid data type for '" + name + "'");
    }
    return found->second.Integer;
}

std::string TRegistry::ReadString(const std::string& name) const {
    const auto found = FValues.find(name);
    if (found == FValues.end()) {
        return {};
    }
    if (found->second.Type != TRegDataType::rdString && found->second.Type != TRegDataType::rdExpandString) {
        throw ERegistryException("Invalid data type for '" + name + "'");
    }
    return found->second.Text;
}

namespace {

void Store(const fs::path& file, const std::string& key, const TNamedPayloads& values, TLines& lines) {
    for (const auto& [name, payload] : values) {
        if (key.empty() || !ValidName(name)) {
            throw ERegistryException("Failed to set data for '" + name + "'");
        }
    }
    if (!values.empty() && !StoreSettings(file, key, values, lines)) {
        throw ERegistryException("Failed to set data for '" + values.front().first + "'");
    }
}
} // namespace

void TRegistry::WriteInteger(const std::string& name, std::int32_t value) {
    Write({{name, "dword:" + std::to_string(value)}});
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    Write({{name, "sz:" + QuoteText(value)}});
}

void TRegistry::WriteValues(const std::vector<TNamedValue>& values) {
    TNamedPayloads payloads;
    for (const TNamedValue& value : values) {
        payloads.emplace_back(value.Name,
                              value.Text ? "sz:" + QuoteText(*value.Text) : "dword:" + std::to_string(value.Integer));
    }
    Write(payloads);
}

void TRegistry::Write(const std::vector<std::pair<std::string, std::string>>& payloads) {
    TLines lines;
    Store(FFile, FCurrentKey, payloads, lines);
    // What other copies of the program stored meanwhile is seen from now on.
    FValues.clear();
    for (auto& [valueName, stored] : ValuesOf(lines, FCurrentKey).value_or(std::map<std::string, TParsedValue>{})) {
        FValues[valueName] = TValue{stored.Type, stored.Integer, std::move(stored.Text)};
    }
}

} // namespace quillock::platform
