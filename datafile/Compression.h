// Compressing the content of a data file to one zlib stream, and back.
#pragma once

#include "datafile/DataFileHost.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quillock::datafile {

// A plain content of 4 GiB or more: it could not be sealed (again).
class EContentTooLarge : public std::runtime_error {
public:
    EContentTooLarge()
        : std::runtime_error("The file is 4 GiB or larger and cannot be sealed; nothing has been written.") {}
};

// Compresses source into destination: one zlib stream at the fastest level,
// deflated in pieces on two cores (zstream::DeflateInPieces); errors pass to
// the caller. A source of 4 GiB or more raises EContentTooLarge before the
// destination is created.
void CompressFile(const std::string& source, const std::string& destination);

// Decompresses source into destination in one pass. Damaged data (a wrong
// password, most likely, or a zlib stream cut short) wipes the destination,
// the working copy and the intermediate file of the host's data file, reports
// "Decryption Error!..." and terminates. A content of 4 GiB or more is
// reported and terminates the same way, with its own message, once the
// decoded bytes pass that size. Either way no partial destination is left;
// damage within the first 256 KiB of content (a wrong password) is found
// before the destination is created. A failure to create or write the
// destination passes to the caller, the partial destination wiped.
void DecompressFile(TDataFileHost& host, const std::string& source, const std::string& destination);

// What a salvage recovered.
struct TSalvageResult {
    std::int64_t Recovered = 0; // bytes written to the destination
    bool Complete = false;      // the whole zlib stream, Adler-32 included, was read
    std::string Damage;         // why decoding stopped early; empty when it did not
};

// For recovery: decompresses source into a new owner-only destination once,
// writing everything that decodes until the end of the zlib stream or the
// first damage (a cut, corrupt data). Never reports or terminates; failures
// to open, create or write pass to the caller.
TSalvageResult SalvageDecompressFile(const std::string& source, const std::string& destination);

} // namespace quillock::datafile
