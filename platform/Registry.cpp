// The per-user settings store: typed values in one human-readable file (its
// format in SettingsFormat.cpp), changed under a lock and replaced atomically.
#include "platform/Registry.h"

#include "platform/AtomicFile.h"
#include "platform/Files.h"
#include "platform/SettingsFormat.h"
#include "platform/Text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <map>
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
using namespace settings;

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
    lines = SplitLines(std::move(content));
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
    (void)lock.Take(fs::path(file).concat(".lock").string(), true, false);
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
        lines = NewFileLines();
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

    return ReplaceFileAtomically(target, JoinLines(lines), mode);
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

std::string TRegistry::Distrust() const {
    // The file (what a link leads to), its folder and the folder above it
    // ($XDG_CONFIG_HOME): whatever of them exists.
    const fs::path folder = FFile.parent_path().empty() ? fs::path(".") : FFile.parent_path();
    for (const fs::path& path : {FFile, folder, folder.parent_path()}) {
        struct stat info {};
        if (path.empty() || ::stat(path.c_str(), &info) != 0) {
            continue;
        }
        const bool othersWrite = (info.st_mode & (S_IWGRP | S_IWOTH)) != 0;
        // Only a sticky folder above ours may be shared: nobody else can
        // rename or remove our folder in it.
        const bool sharedAbove = path == folder.parent_path() && (info.st_mode & S_ISVTX) != 0;
        if (info.st_uid != ::geteuid() || (othersWrite && !sharedAbove)) {
            const std::string what = path == FFile ? "the settings file" : "its folder " + QuotedName(path.string());
            char mode[8] = "";
            (void)std::snprintf(mode, sizeof mode, "%03o", static_cast<unsigned>(info.st_mode & 0777));
            return "The settings file " + QuotedName(FFile.string()) + " is not used: " + what + " is owned by " +
                   UserName(info.st_uid) +
                   (othersWrite ? " and can be changed by other users (mode " + std::string(mode) + ")" : "") +
                   ". The defaults are used instead, and the file is left as it is.";
        }
    }
    return {};
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
    CloseKey();
    if (!ValidKey(key)) {
        return false;
    }
    if (!Distrust().empty()) {
        FCurrentKey = key; // open, and empty: the defaults
        return true;
    }
    TLines lines;
    if (ReadLines(FFile, lines) == TReadResult::Unreadable) {
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
    Write({{name, IntegerPayload(value)}});
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    Write({{name, TextPayload(value)}});
}

void TRegistry::WriteValues(const std::vector<TNamedValue>& values) {
    TNamedPayloads payloads;
    for (const TNamedValue& value : values) {
        payloads.emplace_back(value.Name, value.Text ? TextPayload(*value.Text) : IntegerPayload(value.Integer));
    }
    Write(payloads);
}

void TRegistry::Write(const std::vector<std::pair<std::string, std::string>>& payloads) {
    if (!Distrust().empty()) {
        return; // never replaced: the reason was told when the settings were read
    }
    TLines lines;
    Store(FFile, FCurrentKey, payloads, lines);
    // What other copies of the program stored meanwhile is seen from now on.
    FValues.clear();
    for (auto& [valueName, stored] : ValuesOf(lines, FCurrentKey).value_or(std::map<std::string, TParsedValue>{})) {
        FValues[valueName] = TValue{stored.Type, stored.Integer, std::move(stored.Text)};
    }
}

} // namespace quillock::platform
