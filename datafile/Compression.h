// Compressing the content of a data file to one zlib stream, and back.
#pragma once

#include "datafile/DataFileHost.h"
#include "platform/Files.h"
#include "platform/Progress.h"
#include "platform/Stream.h"

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
[[nodiscard]] std::uint64_t FreeSpaceBeside(const platform::TAtPath& path);

// Whether decoded bytes may still be written to a file without taking its
// file system's free space below a safe margin (64 MiB, or half of what was
// free at the start when that is less), asked through the query above.
class TFreeSpaceGuard {
public:
    explicit TFreeSpaceGuard(int descriptor);
    // Whether count more bytes fit; asks the file system again when they
    // might not, or when enough was written since it last did.
    [[nodiscard]] bool Allows(std::int64_t count);
    void Wrote(std::int64_t count) { FSinceQuery += count; }
    [[nodiscard]] std::uint64_t Available() const noexcept { return FSpace.Available; }

private:
    void Query();

    int FDescriptor;
    TFreeSpace FSpace;
    bool FKnown = false;
    bool FStarted = false;
    std::uint64_t FMargin = 0;
    std::int64_t FBudget = 0;
    std::int64_t FSinceQuery = 0;
};

// The reports of a content that decompresses to 4 GiB or more, and of one
// that does not fit beside its destination (sealed: the data file it came from).
[[nodiscard]] std::string DecodedTooLargeText();
[[nodiscard]] std::string DecodedNoRoomText(std::uint64_t decoded, const std::string& sealed, std::uint64_t available);

// Compresses source into destination: one zlib stream at the fastest level,
// deflated in pieces on two cores, on the active path; errors pass to the
// caller. A source of 4 GiB or more raises EContentTooLarge before the
// destination is created. progress, when given, hears (plain bytes read,
// source size) once per piece.
void CompressFile(const platform::TAtPath& source, const platform::TAtPath& destination,
                  const platform::TProgressFn& progress = {});

// The compression of CompressFile, from the size bytes source holds into
// destination, for a content that is sealed as it is compressed.
void CompressStream(platform::TStream& source, std::int64_t size, platform::TStream& destination);

// Decompresses source into destination in one pass. Damaged data (a wrong
// password, most likely, or a zlib stream cut short) wipes the destination
// and raises EDataFileError with "Decryption Error!..." and the working copy
// and the intermediate file of the host's data file to wipe. A content of
// 4 GiB or more is refused the same way, with its own message, once the
// decoded bytes pass that size. Either way no partial destination is left;
// damage within the first 256 KiB of content (a wrong password) is found
// before the destination is created. Decoding also stops, reported and
// terminated the same way with the sizes in its message, before the decoded
// content would leave less than a safe margin free on the destination's file
// system (a small compressed file can decode to far more than fits). A failure
// to create or write the destination passes to the caller, the partial
// destination wiped. progress, when given, hears (compressed bytes read,
// source size) once per decoded piece.
void DecompressFile(TDataFileHost& host, const platform::TAtPath& source, const platform::TAtPath& destination,
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
TSalvageResult SalvageDecompressFile(const platform::TAtPath& source, const platform::TAtPath& destination);

} // namespace quillock::datafile
