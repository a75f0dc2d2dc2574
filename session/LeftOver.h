// What the temporary files of a session that was cut short hold, measured
// against the content of the data file beside them.
#pragma once

#include "datafile/DataFileHost.h"

#include <string>

namespace quillock::session {

enum class TLeftOverKind {
    lkAbsent, // no file at the name
    // Neither a plain editor file nor (the intermediate file only) compressed
    // data, nor a beginning of the content.
    lkUnusable,
    lkPartial, // a strict beginning of the data file's content: a copy cut short
    lkSame,    // exactly the data file's content
    lkNewer,   // a text the data file does not hold: the one to seal
};

struct TLeftOver {
    std::string Path;
    TLeftOverKind Kind = TLeftOverKind::lkAbsent;
    // Compressed data (header 78 01); a damaged stream counts by what still
    // decodes, and is never lkNewer.
    bool Compressed = false;
    bool Complete = true; // for compressed data: the whole stream decodes
};

struct TLeftOvers {
    TLeftOver WorkingCopy;
    TLeftOver Intermediate;
    bool DataCompressed = false; // the data file's content is compressed
};

// Measures the working copy and the intermediate file (in that order) against
// the content of dataFile, reading each file once and the data file once:
// unsealed under the host's password and choices (a wrong one reports the
// decryption error and terminates through the host), or, when plainDataFile
// (an import cut short), as it is. Nothing is written to disk. Every existing
// name must already be known to be a regular file of ours; one that is not
// raises.
[[nodiscard]] TLeftOvers MeasureLeftOvers(datafile::TDataFileHost& host, const std::string& dataFile,
                                          bool plainDataFile, const std::string& workingCopy,
                                          const std::string& intermediate);

} // namespace quillock::session
