// Compressing the content of a data file to one zlib stream, and back.
#include "datafile/Compression.h"

#include "datafile/FileChecks.h"
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

} // namespace

void CompressFile(const std::string& source, const std::string& destination) {
    platform::TFileStream in(source, platform::fmOpenRead);
    platform::TFileStream out(destination, platform::fmCreate);
    zstream::TZCompressionStream compressor(out, zstream::TCompressionLevel::clFastest);
    CopyPlain(compressor, in, in.Size());
    // Writes the end of the zlib stream; a failure here must reach the caller.
    compressor.Finish();
}

void DecompressFile(TDataFileHost& host, const std::string& source, const std::string& destination) {
    bool damaged = false;
    {
        platform::TFileStream in(source, platform::fmOpenRead);
        platform::TFileStream out(destination, platform::fmCreate);
        zstream::TZDecompressionStream decompressor(in);
        try {
            // Learns the size by decompressing once, then copies it.
            CopyPlain(out, decompressor, 0);
        } catch (const zstream::EZDecompressionError&) {
            // Not a zlib stream: most likely a wrong password or choice.
            damaged = true;
        }
    }
    if (damaged) {
        const std::string dataFile = host.DataFileName();
        WipeFile(host, dataFile + ".qlt");
        WipeFile(host, dataFile + ".qlz");
        host.AskUser("Decryption Error!\r\n\r\n(Maybe you have selected the wrong algorithm/hashing?)",
                     TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
        host.ExitWithError();
    }
}

} // namespace quillock::datafile
