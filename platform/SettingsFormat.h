// The settings file's text format: sections, "Name=type:data" lines, and the
// quoting and escapes of texts. No files here; the store in Registry.cpp reads
// and replaces the file.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillock::platform {

enum class TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

namespace settings {

// The file is a list of lines; a write changes the line of one value and keeps
// every other line (comments, other keys, lines it does not understand) as it was.
//
//   [Software\Quillock]
//   ExeNamePos=dword:0
//   ExeName=sz:"Arbolix.exe"
//
// Integers are signed decimal; texts are UTF-8 between double quotes with the
// escapes \" \\ \n \r \t and \xHH (HH a Windows-1252 byte in hexadecimal).
using TLines = std::vector<std::string>;

// The comment lines a new settings file starts with.
[[nodiscard]] TLines NewFileLines();

struct TParsedValue {
    TRegDataType Type = TRegDataType::rdUnknown;
    std::int32_t Integer = 0;
    std::string Text; // Windows-1252 bytes
};

// The lines of a file's content: a leading UTF-8 byte order mark is dropped,
// lines end at "\n" with an optional "\r" before it.
[[nodiscard]] TLines SplitLines(std::string content);
// The content of a file of these lines, each ended by "\n".
[[nodiscard]] std::string JoinLines(const TLines& lines);

// The Windows-1252 text of a quoted UTF-8 string; nothing when it is malformed.
[[nodiscard]] std::optional<std::string> UnquoteText(std::string_view data);
// text (Windows-1252) as a quoted UTF-8 string that UnquoteText reads back.
[[nodiscard]] std::string QuoteText(std::string_view text);

// A value line's payload "type:data". A value of a type the format does not
// know, or with malformed data, still exists but has no usable type.
[[nodiscard]] TParsedValue ParsePayload(std::string_view payload);
[[nodiscard]] std::string IntegerPayload(std::int32_t value);
[[nodiscard]] std::string TextPayload(std::string_view text);

// The values of one key; the first line of a name counts when a name is repeated.
// Nothing when the key has no section.
[[nodiscard]] std::optional<std::map<std::string, TParsedValue>> ValuesOf(const TLines& lines, const std::string& key);

// Puts "name=payload" into the key's section (added at the end when missing),
// replacing the value's line and dropping repeated lines of the same name.
// Without a value only makes sure the section exists.
void SetLine(TLines& lines, const std::string& key, const std::optional<std::pair<std::string, std::string>>& value);

// Whether a key or a value name can be written so that it reads back as itself.
[[nodiscard]] bool ValidKey(const std::string& key);
[[nodiscard]] bool ValidName(const std::string& name);

} // namespace settings
} // namespace quillock::platform
