// Compressing the content of a data file to one zlib stream, and back.
#include "datafile/Compression.h"

#include "datafile/FileChecks.h"
#include "datafile/SealedFile.h"
#include "platform/AlignedBuffer.h"
#include "platform/Stream.h"
#include "zstream/ZLib.h"

namespace quillock::datafile {
namespace {

// Decoded bytes handed to the working copy per write.
constexpr std::int64_t DecodeBufferSize = std::int64_t{1} << 18;

enum class TDecodeOutcome { Done, Damaged, TooLarge };

// Decodes the whole zlib stream into a new destination. The first piece is
// decoded before the destination is created, so that the usual damage (a
// wrong password) creates nothing; created says whether it was. Stops at
// damage, or once the content passes the largest size that could be sealed
// again; the partial destination is then left to the caller to wipe. Other
// failures (creating or writing the destination) raise.
TDecodeOutcome DecodeInto(zstream::TZDecompressionStream& decompressor, const std::string& destination, bool& created) {
    // Plain text: the buffer is wiped when it goes.
    platform::TAlignedBuffer buffer(static_cast<std::size_t>(DecodeBufferSize));
    try {
        std::int64_t got = decompressor.Read(buffer.Data(), DecodeBufferSize);
        platform::TFileStream out(destination, platform::fmCreate);
        created = true;
        std::int64_t total = 0;
        while (got > 0) {
            total += got;
            if (total > MaxSealedSize) {
                return TDecodeOutcome::TooLarge;
            }
            out.WriteBuffer(buffer.Data(), got);
            got = decompressor.Read(buffer.Data(), DecodeBufferSize);
        }
    } catch (const zstream::EZDecompressionError&) {
        // Not a whole zlib stream: most likely a wrong password or choice.
        return TDecodeOutcome::Damaged;
    }
    return TDecodeOutcome::Done;
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
    zstream::DeflateInPieces(in, in.Size(), out, zstream::TCompressionLevel::clFastest);
}

void DecompressFile(TDataFileHost& host, const std::string& source, const std::string& destination) {
    bool created = false;
    TDecodeOutcome outcome = TDecodeOutcome::Done;
    try {
        platform::TFileStream in(source, platform::fmOpenRead);
        zstream::TZDecompressionStream decompressor(in);
        outcome = DecodeInto(decompressor, destination, created);
    } catch (const std::exception&) {
        // A write failure (a full disk): a partial working copy must not
        // pass for the text later. The first failure is the one reported.
        if (created) {
            try {
                WipeFile(host, destination);
            } catch (const std::exception&) {
            }
        }
        throw;
    }
    if (outcome == TDecodeOutcome::Done) {
        return;
    }
    // The working copy holds part of the content at most: it goes first.
    if (created) {
        WipeFile(host, destination);
    }
    if (outcome == TDecodeOutcome::Damaged) {
        Refuse(host, "Decryption Error!\r\n\r\n(Maybe you have selected the wrong algorithm/hashing?)");
    } else {
        Refuse(host, "The content of the data file is 4 GiB or larger once decompressed and cannot be sealed again."
                     "\r\n\r\nNothing has been written.");
    }
}

TSalvageResult SalvageDecompressFile(const std::string& source, const std::string& destination) {
    platform::TFileStream in(source, platform::fmOpenRead);
    platform::TFileStream out(destination, platform::fmCreate);
    zstream::TZDecompressionStream decompressor(in, zstream::TDamagePolicy::dpSalvage);
    TSalvageResult result;
    platform::TAlignedBuffer buffer(static_cast<std::size_t>(platform::MaxCopyBufferSize)); // wiped when it goes
    for (;;) {
        const std::int64_t got = decompressor.Read(buffer.Data(), platform::MaxCopyBufferSize);
        if (got == 0) {
            break;
        }
        out.WriteBuffer(buffer.Data(), got);
        result.Recovered += got;
    }
    out.Flush();
    result.Complete = decompressor.Complete();
    result.Damage = decompressor.Damage();
    return result;
}

} // namespace quillock::datafile
