// The fixed texts of the main window: captions, hints, the "?" texts, the
// version history and the licence, as Windows-1252 byte strings.
#pragma once

#include "session/Session.h"

#include <string>

namespace quillock::ui {

inline constexpr const char* ProgramVersionText = "3.0";

// The project's contact address of the mail link, and the name shown for it.
inline constexpr const char* AuthorName = "Quillock team";
inline constexpr const char* AuthorMail = "quillock@users.noreply.invalid";

inline constexpr const char* CompressionInfo =
    "INFORMATION ABOUT THE BUILT-IN COMPRESSION:\r\n\r\nConsider that using a normal zip/rar compression has no "
    "effects over an encrypted file!\r\nThe built-in compression ratio instead is about 40% of the original, "
    "uncompressed size.\r\n\r\nUsing the built-in compression will make the file permanently compressed until you "
    "specify to decopress it!";
inline constexpr const char* DecompressionInfo =
    "INFORMATION ABOUT THE BUILT-IN DECOMPRESSION:\r\n\r\nDecompress an already decompressed (normal) file desn't "
    "make any effect/change to the file.";
inline constexpr const char* DoubleBackupWarning =
    "The creation of an additional backup file (extension \".old\") is STRONGLY recommend!";
using session::ReadOnlyRefusal;
inline constexpr const char* PasswordPromptTitle = "Change Arbolix File Password";
// Added to the decryption error: the window then offers another try.
inline constexpr const char* DecryptionErrorAdvice =
    "\r\n\r\nCheck the password, and the cipher and digest (Algorithm and Hash under Options), then try again.";

// The 33 lines of the version history, joined with "\r\n".
[[nodiscard]] std::string VersionHistoryText();
// Our licence (the project's MIT licence) and the no-warranty disclaimer.
[[nodiscard]] std::string LicenseText();

} // namespace quillock::ui
