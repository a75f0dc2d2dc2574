// The program's remembered choices (editor edition and paths, cipher, digest)
// and how they are saved to and loaded from the settings store.
#pragma once

#include "platform/PrivateFolder.h"
#include "platform/Registry.h"

#include <array>
#include <optional>
#include <string>

namespace quillock::session {

// The settings key under which both programs keep their choices.
inline constexpr const char* PreferencesKey = "Software\\Quillock";

// The editor's editions the user chooses among (ExeNamePos 0..EditionCount - 1,
// each with its own path ExeName0, ExeName1, ...).
inline constexpr std::size_t EditionCount = 3;

// The editor paths of the editions before anything was stored.
inline const std::array<std::string, EditionCount> DefaultEditionPaths = {
    "Arbolix.exe",
    "C:\\Programmi\\Arbolix Extra\\ArbolixExtra.exe",
    "..\\Arbolix OFC\\ArbolixOFC.exe",
};

// The values a load took from the store, as stored, for a caller that applies
// only those and keeps its own state for the rest (the window, shown again
// after a session). A value is empty when loading stopped before it or, for an
// index, when it lies outside its range.
struct TStoredPreferences {
    bool Found = false; // the key holds "ExeName", so the other values were read
    std::optional<int> ExeNamePos;
    std::optional<int> Algorithm;
    std::optional<int> Hash;
    std::array<std::optional<std::string>, EditionCount> EditionPaths;
    std::optional<std::string> ExeName;
};

struct TPreferences {
    int ExeNamePos = 0; // editor edition, 0..EditionCount - 1
    int Algorithm = 0;  // 0 Rijndael, 1 Blowfish
    int Hash = 0;       // 0 RIPEMD-160, 1 SHA-1
    std::array<std::string, EditionCount> EditionPaths;
    std::string ExeName = "Arbolix.exe"; // the editor path in use
    // Where plain temporaries go ("PrivateTemp", a DWORD). Only read: it has no
    // control, so a save keeps what the user stored in the file.
    platform::TPrivateTemp PrivateTemp = platform::TPrivateTemp::ptWhereNeeded;
    // Filled by LoadPreferences; SavePreferences does not read it.
    TStoredPreferences Stored;
};

// Writes ExeNamePos, Algorithm, Hash, ExeName0, ExeName1, ExeName2 and ExeName,
// in that order, under PreferencesKey (created when missing). "ExeName" comes
// last, so its presence means the other six were written by the same save. A
// failure raises platform::ERegistryException "Failed to set data for '%s'"
// and leaves the values written before it; a key that cannot be opened fails
// as the first value.
void SavePreferences(platform::TRegistry& registry, const TPreferences& preferences);

// Loads the stored choices in the window's order: ExeNamePos, Algorithm, Hash,
// ExeName0..2, then ExeName, which also becomes the path of the loaded edition.
// - No "ExeName" stored (or no key): the defaults, with DefaultEditionPaths.
// - A value missing or of the wrong type: loading stops there; error receives
//   "Failed to get data for '%s'" or "Invalid data type for '%s'", what was read
//   before stays, everything after keeps its default (the edition paths not yet
//   read are DefaultEditionPaths, so a later save does not empty them).
// - A stored index out of its range (0..2, 0..1, 0..1) counts as absent: that
//   choice keeps its default and loading goes on.
// - "PrivateTemp" is read on its own, whatever else is stored: missing, of
//   another type or an unknown number, it is "where needed".
// Stored receives the values read, before the defaults fill the gaps and before
// "ExeName" replaces the loaded edition's path.
// - A settings file the registry does not trust (see TRegistry::Distrust) is
//   not read: everything keeps its default and error says why.
// error is emptied when loading succeeds; it may be null.
[[nodiscard]] TPreferences LoadPreferences(platform::TRegistry& registry, std::string* error);

} // namespace quillock::session
