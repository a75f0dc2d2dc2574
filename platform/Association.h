// The ".qlx" file association on Linux: a desktop entry and a shared-mime-info
// package under $XDG_DATA_HOME, so that file managers open sealed files with
// the program, and the names the program knows itself by.
#pragma once

#include <filesystem>
#include <string>

namespace quillock::platform {

// The type of sealed data files, and their extension.
inline constexpr const char* SealedMimeType = "application/x-quillock-sealed";
inline constexpr const char* SealedExtension = ".qlx";

// $XDG_DATA_HOME, or ~/.local/share when it is unset, empty or not absolute.
[[nodiscard]] std::filesystem::path DataHome();

// The desktop entry that opens a sealed file with program: Exec is the
// program's full path (quoted when it needs to be) and the file argument.
[[nodiscard]] std::string DesktopEntry(const std::filesystem::path& program);
// The shared-mime-info package mapping *.qlx to SealedMimeType.
[[nodiscard]] std::string MimePackage();

// Writes DataHome()/applications/quillock.desktop for program (replacing it
// atomically) and refreshes the desktop database when its tool is installed.
// False when the entry cannot be written.
bool WriteAssociationCommand(const std::filesystem::path& program);

// Writes DataHome()/mime/packages/quillock.xml (atomically) and refreshes the
// MIME database when its tool is installed. False when the package cannot be
// written.
bool RegisterExtension();

// The full path of the running program (/proc/self/exe); empty when unknown.
[[nodiscard]] std::filesystem::path RunningProgramPath();

// The title of the application: the program's file name without its
// extension, first letter upper case, the rest lower case ("QuilLock.EXE"
// gives "Quillock").
[[nodiscard]] std::string ApplicationTitle(const std::filesystem::path& program);

} // namespace quillock::platform
