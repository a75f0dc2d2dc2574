// Compressing the content of a data file to one zlib stream, and back.
#include "datafile/Compression.h"

#include "datafile/FileChecks.h"
#include "datafile/SealedFile.h"
#include "platform/Stream.h"
#include "platform/Wipe.h"
#include "zstream/ZLib.h"

#include <algorithm>
#include <memory>

namespace quillock::datafile {
namespace {

// Moves count bytes from source to target in pieces of at most 61,440 bytes;
// a count of 0 means the whole source from its position 0. The pieces are
// plain text, so the buffer is wiped before it is released.
void CopyPlain(platform::TStream& target, platform::TStream& source, std::int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    const auto buffer = std::make_unique<std::uint8_t[]>(platform::MaxCopyBufferSize);
    try {
        while (count > 0) {
            const std::int64_t piece = std::min(count, platform::MaxCopyBufferSize);
            source.ReadBuffer(buffer.get(), piece);
            target.WriteBuffer(buffer.get(), piece);
            count -= piece;
        }
    } catch (...) {
        platform::SecureZero(buffer.get(), platform::MaxCopyBufferSize);
        throw;
    }
    platform::SecureZero(buffer.get(), platform::MaxCopyBufferSize);
}

// The plain size of the whole zlib stream, decoded once into a scratch area
// and thrown away; stops early and returns MaxSealedSize + 1 once the content
// passes the largest size that could be sealed again. Damage raises.
std::int64_t MeasureContent(zstream::TZDecompressionStream& decompressor) {
    constexpr std::int64_t ScratchSize = 65536;
    const auto scratch = std::make_unique<std::uint8_t[]>(ScratchSize);
    std::int64_t total = 0;
    try {
        for (;;) {
            const std::int64_t got = decompressor.Read(scratch.get(), ScratchSize);
            if (got == 0) {
                break;
            }
            total += got;
            if (total > MaxSealedSize) {
                break;
            }
        }
    } catch (...) {
        platform::SecureZero(scratch.get(), ScratchSize);
        throw;
    }
    platform::SecureZero(scratch.get(), ScratchSize);
    return total;
}

// Wipes both temporary files of the host's data file, reports text and ends
// the program.
void Refuse(TDataFileHost& host, const char* text) {
    const std::string dataFile = host.DataFileName();
    WipeFile(host, dataFile + ".qlt");
    WipeFile(host, dataFile + ".qlz");
    host.AskUser(text, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
    host.ExitWithError();
}

} // namespace

void CompressFile(const std::string& source, const std::string& destination) {
    platform::TFileStream in(source, platform::fmOpenRead);
    if (in.Size() > MaxSealedSize) {
        throw EContentTooLarge();
    }
    platform::TFileStream out(destination, platform::fmCreate);
    zstream::TZCompressionStream compressor(out, zstream::TCompressionLevel::clFastest);
    CopyPlain(compressor, in, in.Size());
    // Writes the end of the zlib stream; a failure here must reach the caller.
    compressor.Finish();
}

void DecompressFile(TDataFileHost& host, const std::string& source, const std::string& destination) {
    enum class TOutcome { Done, Damaged, TooLarge };
    TOutcome outcome = TOutcome::Done;
    {
        platform::TFileStream in(source, platform::fmOpenRead);
        zstream::TZDecompressionStream decompressor(in);
        try {
            // The whole stream is decoded once before the destination exists:
            // damage anywhere, a cut included, leaves no partial working copy,
            // and the pass gives the size to copy.
            const std::int64_t size = MeasureContent(decompressor);
            if (size > MaxSealedSize) {
                outcome = TOutcome::TooLarge;
            } else {
                decompressor.SetPosition(0);
                platform::TFileStream out(destination, platform::fmCreate);
                if (size > 0) {
                    CopyPlain(out, decompressor, size);
                }
            }
        } catch (const zstream::EZDecompressionError&) {
            // Not a whole zlib stream: most likely a wrong password or choice.
            outcome = TOutcome::Damaged;
        }
    }
    if (outcome == TOutcome::Damaged) {
        Refuse(host, "Decryption Error!\r\n\r\n(Maybe you have selected the wrong algorithm/hashing?)");
    }
    if (outcome == TOutcome::TooLarge) {
        Refuse(host, "The content of the data file is 4 GiB or larger once decompressed and cannot be sealed again."
                     "\r\n\r\nNothing has been written.");
    }
}

TSalvageResult SalvageDecompressFile(const std::string& source, const std::string& destination) {
    platform::TFileStream in(source, platform::fmOpenRead);
    platform::TFileStream out(destination, platform::fmCreate);
    zstream::TZDecompressionStream decompressor(in, zstream::TDamagePolicy::dpSalvage);
    TSalvageResult result;
    const auto buffer = std::make_unique<std::uint8_t[]>(platform::MaxCopyBufferSize);
    try {
        for (;;) {
            const std::int64_t got = decompressor.Read(buffer.get(), platform::MaxCopyBufferSize);
            if (got == 0) {
                break;
            }
            out.WriteBuffer(buffer.get(), got);
            result.Recovered += got;
        }
    } catch (...) {
        platform::SecureZero(buffer.get(), platform::MaxCopyBufferSize);
        throw;
    }
    platform::SecureZero(buffer.get(), platform::MaxCopyBufferSize);
    out.Flush();
    result.Complete = decompressor.Complete();
    result.Damage = decompressor.Damage();
    return result;
}

} // namespace quillock::datafile
