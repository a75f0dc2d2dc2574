// Recognising a plain editor file, file sizes and wiping temporary files.
#pragma once

#include "datafile/DataFileHost.h"

#include <cstdint>
#include <string>

namespace quillock::datafile {

// True when the first line of the file names the editor ("arbolix", any case).
// Reports and terminates when the file cannot be opened.
[[nodiscard]] bool CheckHeader(TDataFileHost& host, const std::string& path);

// The size in Kb: bytes div 1024, plus 1. Reports (without terminating) and
// returns 0 when the file cannot be opened.
[[nodiscard]] std::uint64_t FileSizeKb(TDataFileHost& host, const std::string& path);

// Overwrites the file with zero bytes, flushes them to the medium and deletes
// it; nothing when no such file exists. Anything at the name that is not a
// regular file (a link, a FIFO) is removed without being written to. Reports and terminates when the file
// cannot be opened.
void WipeFile(TDataFileHost& host, const std::string& path);

} // namespace quillock::datafile
