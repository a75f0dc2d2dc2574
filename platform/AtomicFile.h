// Replacing a small file as a whole, so that a reader or a crash sees either
// the old content or the new one, never a mixture.
#pragma once

#include <filesystem>
#include <string>
#include <sys/types.h>

namespace quillock::platform {

// Writes content to a new hidden file beside target, gives it mode, flushes
// it, renames it over target and flushes the folder so that the rename
// survives a power cut. The folder must exist. On failure target is as it
// was and the hidden file is gone.
bool ReplaceFileAtomically(const std::filesystem::path& target, const std::string& content, mode_t mode);

// Flushes a folder's entries (creations, renames, removals) to the medium;
// false with errno set when the folder cannot be opened or flushed.
bool SyncFolder(const std::filesystem::path& folder) noexcept;

} // namespace quillock::platform
