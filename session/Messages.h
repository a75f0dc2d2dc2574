// The texts of the session's own messages, each written once: the window
// shows them as they stand, the terminal finds them in what it is shown and
// says them in its own terms.
#pragma once

#include <array>

namespace quillock::session {

inline constexpr const char* SelectFileText = "Select a Arbolix file!";
inline constexpr const char* ImportQuestion =
    "NON-Encrypted Arbolix File detected.\r\nDo you want to import (and encrypt) it?";
inline constexpr const char* NotArbolixText = "Error! This is not a Arbolix file!";
inline constexpr const char* StartFailedText = "ERROR: unable to start Arbolix!";
inline constexpr const char* WriteFailureText = "An error was occurred while writing on disk!\r\n\r\n"
                                                "Please check your data and/or try to restore a backup copy manually.";
// Shown when the chosen data file has no write bit: it could be opened and
// edited, but never sealed again.
inline constexpr const char* ReadOnlyRefusal = "Unable to open the file!\r\nFile attribute is set to Read-Only!";

// Every text above, for the front ends' checks of their wording.
inline constexpr std::array<const char*, 6> FixedMessageTexts = {SelectFileText,  ImportQuestion,   NotArbolixText,
                                                                 StartFailedText, WriteFailureText, ReadOnlyRefusal};

} // namespace quillock::session
