// The program's texts are 8-bit Windows-1252 strings; the terminal and the
// window speak Unicode. These convert at that edge.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillock::platform {

// Every Windows-1252 byte has a character; the five unassigned bytes
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same number.
[[nodiscard]] std::string Cp1252ToUtf8(std::string_view text);

// The Windows-1252 bytes of a UTF-8 text, or nothing when the text is not valid
// UTF-8 or holds a character that Windows-1252 cannot represent.
[[nodiscard]] std::optional<std::string> Utf8ToCp1252(std::string_view text);

// Whether text is valid UTF-8: no truncated or overlong forms, no surrogates,
// nothing past U+10FFFF.
[[nodiscard]] bool IsValidUtf8(std::string_view text);

// A file name as messages show it: as it is when it is valid UTF-8; else
// every byte that is not part of a valid UTF-8 character is written \xHH and
// a backslash \\, so that the bytes can be read off exactly (and the text
// between $' and ' in bash or zsh gives the name back, once single quotes
// are escaped too).
[[nodiscard]] std::string PrintableName(std::string_view name);

// A file name quoted in a message: "NAME", with PrintableName's escapes.
[[nodiscard]] std::string QuotedName(std::string_view name);

// A path as one word for a POSIX shell, for commands shown to the user. A
// name that is not valid UTF-8 is written with its bytes escaped in $'...',
// which bash and zsh turn back into the same bytes.
[[nodiscard]] std::string ShellWord(std::string_view path);

// A message as UTF-8 display text, for the terminal and the window alike.
// Messages are Windows-1252 texts that may quote paths, which are the file
// system's UTF-8 bytes: a text that is valid UTF-8 is shown as UTF-8 (the
// program's own Windows-1252 texts are ASCII or carry bytes that are not valid
// UTF-8, such as the lone 0xAE of "®"), any other as Windows-1252. Carriage
// returns are dropped, so "\r\n" line ends become "\n".
[[nodiscard]] std::string MessageToUtf8(std::string_view text);

} // namespace quillock::platform
