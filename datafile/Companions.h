// The files a data file has beside it, all named after it.
#pragma once

#include "platform/Association.h"
#include "platform/Files.h"

#include <string>

namespace quillock::datafile {

inline constexpr const char* WorkingCopyExtension = ".qlt";  // the plain text the editor opens
inline constexpr const char* IntermediateExtension = ".qlz"; // the deciphered bytes, or the bytes to seal
inline constexpr const char* SealingExtension = ".qln";      // a new sealed file, until it replaces the old one
inline constexpr const char* FirstBackupExtension = ".bak";  // the data file before the last reseal
inline constexpr const char* SecondBackupExtension = ".old"; // the first backup before that
inline constexpr const char* LockExtension = ".qlk";         // held for as long as a session runs
using platform::SealedExtension;                             // ".qlx": what a data file is called

// The companions of the data file named DataFile.
struct TCompanions {
    std::string DataFile;

    [[nodiscard]] std::string WorkingCopy() const { return DataFile + WorkingCopyExtension; }
    [[nodiscard]] std::string Intermediate() const { return DataFile + IntermediateExtension; }
    [[nodiscard]] std::string FirstBackup() const { return DataFile + FirstBackupExtension; }
    [[nodiscard]] std::string SecondBackup() const { return DataFile + SecondBackupExtension; }
    [[nodiscard]] std::string Lock() const { return DataFile + LockExtension; }
    // The name a plain editor file has once it is imported.
    [[nodiscard]] std::string Imported() const { return platform::ChangeFileExt(DataFile, SealedExtension); }
};

} // namespace quillock::datafile
