// What the temporary files of a session that was cut short hold, measured
// against the content of the data file beside them and against each other,
// and which of the texts is the newest.
#pragma once

#include "datafile/DataFileHost.h"
#include "platform/Files.h"

#include <cstdint>
#include <string>

namespace quillock::session {

enum class TLeftOverKind {
    lkAbsent, // no file at the name
    // Neither a plain editor file nor (the intermediate file only) compressed
    // data, nor a beginning of the content.
    lkUnusable,
    lkPartial, // a strict beginning of the data file's content: a copy cut short
    lkSame,    // exactly the data file's content
    lkNewer,   // a text the data file does not hold
    // A wipe cut short: all zeros, or zeros followed by the rest of the data
    // file's content in place, or (the intermediate file only) by the end of
    // a zlib stream of that content (its last four bytes are the content's
    // Adler-32). It holds nothing of its own.
    lkWipedPart,
};

struct TLeftOver {
    std::string Path;
    TLeftOverKind Kind = TLeftOverKind::lkAbsent;
    // Compressed data (header 78 01); a damaged stream counts by what still
    // decodes, and is never lkNewer.
    bool Compressed = false;
    bool Complete = true;       // for compressed data: the whole stream decodes
    std::uint64_t TextSize = 0; // the bytes of its text (decoded, for compressed data)
};

// How the texts of the working copy and the intermediate file stand to each
// other, when both can be read.
enum class TTextOrder {
    toUnknown,            // one of them is absent, unreadable or a wipe cut short
    toSame,               // the same text
    toWorkingCopyBegins,  // the working copy is a strict beginning of the other
    toIntermediateBegins, // the intermediate file's text is a strict beginning of the other
    toApart,              // neither is a beginning of the other
};

struct TLeftOvers {
    TLeftOver WorkingCopy;
    TLeftOver Intermediate;
    TTextOrder Order = TTextOrder::toUnknown;
    bool DataCompressed = false; // the data file's content is compressed
};

// Measures the working copy and the intermediate file (in that order) against
// the content of dataFile, reading each file once and the data file once
// (and each file once more to compare the two): unsealed under the host's password and choices
// (a wrong one reports the decryption error and terminates through the
// host), or, when plainDataFile (an import cut short), as it is. Nothing is
// written to disk. Every existing name must already be known to be a regular
// file of ours; one that is not raises.
// Each name is reached through folder when it holds it.
[[nodiscard]] TLeftOvers MeasureLeftOvers(datafile::TDataFileHost& host, const std::string& dataFile,
                                          bool plainDataFile, const std::string& workingCopy,
                                          const std::string& intermediate, const platform::TFolderHandle& folder = {});

// True when path is a file of ours whose first byte is zero: what a wipe
// that was cut short leaves (no editor text or stream starts so).
[[nodiscard]] bool StartsWithZero(const platform::TAtPath& path);

// Which text is the newest.
enum class TNewest {
    nwDataFile,     // the data file holds every text left over
    nwWorkingCopy,  // seal the working copy
    nwIntermediate, // seal the intermediate file's text
    // Two texts of which neither is a beginning of the other, or a file that
    // cannot be told: nothing is sealed or wiped.
    nwUndecided,
};

// The rule: the newest text is the longest one that the others are
// beginnings of. The data file's content is the text before the session; a
// left-over that is a beginning of it, or a wipe cut short, holds nothing new.
// Of two newer texts, the one that the other begins is taken (the shorter
// was cut short while being made from it, or into it); when neither begins
// the other, nothing is decided. A damaged compressed stream is never taken,
// and is a text of its own unless its decodable part begins the text taken.
[[nodiscard]] TNewest NewestText(const TLeftOvers& found);

} // namespace quillock::session
