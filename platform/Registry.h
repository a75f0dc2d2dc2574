// The per-user settings store: the stand-in for a registry key, kept as one
// human-readable file under $XDG_CONFIG_HOME, with typed values (32-bit
// integers and strings).
#pragma once

#include "platform/SettingsFormat.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace quillock::platform {

class ERegistryException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TRegistry {
public:
    // The settings file of the current user: $XDG_CONFIG_HOME/quillock/settings.ini,
    // with ~/.config when XDG_CONFIG_HOME is unset, empty or not absolute.
    [[nodiscard]] static std::filesystem::path DefaultFile();

    explicit TRegistry(std::filesystem::path file = DefaultFile());

    // The settings name the program that is run on the plain text, so they
    // are used only from a file of the user's in folders of the user's that
    // nobody else can write to. Empty when that holds (or nothing exists
    // yet); otherwise why not, naming the file or folder and its owner. While
    // it is not empty every key opens empty (the defaults) and nothing is
    // ever stored: the file stays as it is.
    [[nodiscard]] std::string Distrust() const;

    // Opens a key ("Software\Quillock") and reads its values from the file. With
    // canCreate a missing key is created (and stored) empty. False when the key
    // does not exist and may not be created (or cannot be stored), or the file
    // cannot be read; a file without any read permission bit counts as unreadable
    // for every user. An existing key opens on a read-only file; writes then fail.
    bool OpenKey(const std::string& key, bool canCreate);
    void CloseKey();

    [[nodiscard]] bool ValueExists(const std::string& name) const;
    // rdUnknown when the value does not exist.
    [[nodiscard]] TRegDataType GetDataType(const std::string& name) const;

    // Raises "Failed to get data for '%s'" when missing and "Invalid data type
    // for '%s'" when the value is not an integer.
    [[nodiscard]] std::int32_t ReadInteger(const std::string& name) const;
    // A missing value reads as empty text; a value of another type than string
    // (or expandable string) raises "Invalid data type for '%s'".
    [[nodiscard]] std::string ReadString(const std::string& name) const;

    // Each write is stored in the file at once (atomically, under a lock shared
    // with other copies of the program, merging with what they saved); failure
    // raises "Failed to set data for '%s'".
    void WriteInteger(const std::string& name, std::int32_t value);
    void WriteString(const std::string& name, const std::string& value);
    // Several values in one replacement of the file, all or none; a failure
    // names the first value.
    struct TNamedValue {
        std::string Name;
        std::int32_t Integer = 0;
        std::optional<std::string> Text; // a string value when set, else the integer
    };
    void WriteValues(const std::vector<TNamedValue>& values);

    [[nodiscard]] const std::filesystem::path& FileName() const noexcept { return FFile; }

private:
    void Write(const std::vector<std::pair<std::string, std::string>>& payloads);

    struct TValue {
        TRegDataType Type = TRegDataType::rdUnknown;
        std::int32_t Integer = 0;
        std::string Text; // Windows-1252 bytes
    };

    std::filesystem::path FFile;
    std::string FCurrentKey;
    std::map<std::string, TValue> FValues;
};

} // namespace quillock::platform
