// Compressing the content of a data file to one zlib stream, and back.
#pragma once

#include "datafile/DataFileHost.h"
#include "platform/Progress.h"

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

// The two ways of deflating and inflating a content: zlib's, and ISA-L's
// igzip where the build has it (igzip picks the code for the processor itself,
// its portable code included). Both write the same kind of stream (one zlib
// stream, header 78 01, exact Adler-32) and each reads the other's.
enum class TCompressionPath { cpZLib, cpIsal };

// The path CompressFile and DecompressFile take. Chosen once, when first
// asked: igzip when the build has it and neither QUILLOCK_PORTABLE_CRYPTO nor
// QUILLOCK_PORTABLE_COMPRESSION is set in the environment, zlib otherwise.
[[nodiscard]] TCompressionPath ActiveCompressionPath() noexcept;
// Its name for the user: "isa-l igzip" or "zlib".
[[nodiscard]] const char* CompressionPathName() noexcept;
// Whether this build can take path (zlib always).
[[nodiscard]] bool CompressionPathAvailable(TCompressionPath path) noexcept;
// Process-wide, for tests and benchmarks: takes path from now on. False, and
// nothing changed, when the build lacks it.
bool SetCompressionPath(TCompressionPath path) noexcept;

// Free space of a file system, in bytes.
struct TFreeSpace {
    std::uint64_t Available = 0; // what an unprivileged writer may still use
    std::uint64_t Size = 0;      // the whole file system
};
// Asks for the free space of the file system that holds the open descriptor;
// false when it cannot be told.
using TFreeSpaceQuery = bool (*)(int descriptor, TFreeSpace& space);
// For tests: replaces DecompressFile's query (fstatvfs); nullptr puts it back.
void SetFreeSpaceQuery(TFreeSpaceQuery query) noexcept;
// What may still be written in the folder that holds path, asked through
// the same query; all of it (nothing is refused) when it cannot be told.
[[nodiscard]] std::uint64_t FreeSpaceBeside(const std::string& path);

// Compresses source into destination: one zlib stream at the fastest level,
// deflated in pieces on two cores, on the active path; errors pass to the
// caller. A source of 4 GiB or more raises EContentTooLarge before the
// destination is created. progress, when given, hears (plain bytes read,
// source size) once per piece.
void CompressFile(const std::string& source, const std::string& destination,
                  const platform::TProgressFn& progress = {});

// Decompresses source into destination in one pass. Damaged data (a wrong
// password, most likely, or a zlib stream cut short) wipes the destination,
// the working copy and the intermediate file of the host's data file, reports
// "Decryption Error!..." and terminates. A content of 4 GiB or more is
// reported and terminates the same way, with its own message, once the
// decoded bytes pass that size. Either way no partial destination is left;
// damage within the first 256 KiB of content (a wrong password) is found
// before the destination is created. Decoding also stops, reported and
// terminated the same way with the sizes in its message, before the decoded
// content would leave less than a safe margin free on the destination's file
// system (a small compressed file can decode to far more than fits). A failure
// to create or write the destination passes to the caller, the partial
// destination wiped. progress, when given, hears (compressed bytes read,
// source size) once per decoded piece.
void DecompressFile(TDataFileHost& host, const std::string& source, const std::string& destination,
                    const platform::TProgressFn& progress = {});

// What a salvage recovered.
struct TSalvageResult {
    std::int64_t Recovered = 0; // bytes written to the destination
    bool Complete = false;      // the whole zlib stream, Adler-32 included, was read
    std::string Damage;         // why decoding stopped early; empty when it did not
};

// For recovery: decompresses source into a new owner-only destination once,
// writing everything that decodes until the end of the zlib stream or the
// first damage (a cut, corrupt data). Always over zlib, whatever the active
// path. Never reports or terminates; failures to open, create or write pass
// to the caller.
TSalvageResult SalvageDecompressFile(const std::string& source, const std::string& destination);

} // namespace quillock::datafile
