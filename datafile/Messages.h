// The texts of the data-file layer's messages, each written once: the window
// shows them as they stand, the terminal finds them in what it is shown and
// says them in its own terms.
#pragma once

#include "platform/Stream.h"
#include "platform/Text.h"

#include <array>
#include <exception>
#include <string>
#include <string_view>

namespace quillock::datafile {

// A content that does not decode (a wrong password or choices, most likely).
inline constexpr const char* DecryptionErrorText =
    "Decryption Error!\r\n\r\n(Maybe you have selected the wrong algorithm/hashing?)";
// Reading or writing a data file failed part way.
inline constexpr const char* DecryptErrorText =
    "File I/O error during decryption!\r\n\r\nPlease check your data and/or try to restore a backup copy manually.";
// The line breaks of this message are stored as LF CR LF CR.
inline constexpr const char* EncryptErrorText =
    "File I/O error during encryption!\n\r\n\rPlease check your data and eventually try to restore a backup copy "
    "manually.";
inline constexpr const char* DecryptTooLargeText =
    "The sealed file is 4 GiB or larger and cannot be unsealed.\r\n\r\nNothing has been written.";
inline constexpr const char* EncryptTooLargeText =
    "The file is 4 GiB or larger and cannot be sealed.\r\n\r\nThe data file has not been changed.";
inline constexpr const char* PasswordChangedText = "Password changed!";
inline constexpr const char* PasswordsDifferText = "You typed the password incorrectly or they are not equal!\r\n\r\n"
                                                   "The password has NOT been changed.\r\nPreserving old password.";
// A file that cannot be opened: the guess every such message ends with.
inline constexpr const char* ReadOnlyGuessText = "(maybe it has the Read Only attribute?)";
inline constexpr const char* CheckDataText = "Please check your data.";
// The beginning of the message of a wipe that could not be done.
inline constexpr const char* CannotDeleteText = "ERROR! Can't delete: \"";

// "Cannot open file! (maybe it has the Read Only attribute?)" for a file
// the user chose; with a path, the message names it.
[[nodiscard]] inline std::string CannotOpenText(std::string_view path = {}) {
    return (path.empty() ? std::string("Cannot open file! ") + ReadOnlyGuessText
                         : "Cannot open file " + platform::QuotedName(path) + " !\r\n" + ReadOnlyGuessText) +
           "\r\n\r\n" + CheckDataText;
}

// The system's reason for a failure raised as e; 0 when it has none.
[[nodiscard]] inline int CauseOf(const std::exception& e) noexcept {
    const auto* stream = dynamic_cast<const platform::EStreamError*>(&e);
    return stream != nullptr ? stream->Cause() : 0;
}

// Every text above that stands alone, for the front ends' checks of their
// wording.
inline constexpr std::array<const char*, 7> FixedMessageTexts = {
    DecryptionErrorText, DecryptErrorText,    EncryptErrorText,   DecryptTooLargeText,
    EncryptTooLargeText, PasswordChangedText, PasswordsDifferText};

} // namespace quillock::datafile
