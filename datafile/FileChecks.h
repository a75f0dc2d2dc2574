// Recognising a plain editor file, file sizes and wiping temporary files.
#pragma once

#include "datafile/DataFileHost.h"
#include "platform/Files.h"

#include <cstdint>
#include <optional>
#include <string>

namespace quillock::datafile {

// The first-line test of CheckHeader, fed the content piece by piece.
class THeaderScan {
public:
    // Takes the next bytes; true once the verdict is known (the name found,
    // or the first line over). An empty piece is the end of the content.
    bool Feed(const std::uint8_t* data, std::size_t size);
    // True when the first line names the editor: false until it is found.
    [[nodiscard]] bool NamesEditor() const noexcept { return FFound; }

private:
    std::size_t FMatched = 0;
    bool FDone = false;
    bool FFound = false;
};

// True when the first line of the file names the editor ("arbolix", any case).
// Raises EDataFileError when the file cannot be opened.
[[nodiscard]] bool CheckHeader(TDataFileHost& host, const platform::TAtPath& path);

// The size in Kb: bytes div 1024, plus 1. Reports (without terminating) and
// returns 0 when the file cannot be opened.
[[nodiscard]] std::uint64_t FileSizeKb(TDataFileHost& host, const platform::TAtPath& path);

// Overwrites the file with zero bytes, flushes them to the medium and deletes
// it; nothing when no such file exists. Anything at the name that is not a
// regular file (a link, a FIFO) is removed without being written to. Zeros
// go only into a writable regular file of ours with one name (and, when
// expected is given, that very file; see platform::WipeOwnFile): anything
// else is left as it is and raises EDataFileError saying what it is.
// Messages name path.Path().
void WipeFile(TDataFileHost& host, const platform::TAtPath& path,
              const std::optional<platform::TFileId>& expected = {});
// The same on a way out that reports a failure already: a file it may not
// overwrite is left as it is and described in the sentence returned (empty
// when there was none) instead of being reported on its own.
[[nodiscard]] std::string WipeFileQuietly(TDataFileHost& host, const platform::TAtPath& path,
                                          const std::optional<platform::TFileId>& expected = {});

// How a caller reports error: wipes its temporaries (one that is not ours is
// left alone and named in the text), then shows the text as an error.
void ReportError(TDataFileHost& host, const EDataFileError& error);
// ReportError, then the end of the program through host.ExitWithError.
[[noreturn]] void ReportAndExit(TDataFileHost& host, const EDataFileError& error);

} // namespace quillock::datafile
