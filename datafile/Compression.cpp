// Compressing the content of a data file to one zlib stream, and back, on
// the zlib path or the igzip one.
#include "datafile/Compression.h"

#include "datafile/Companions.h"
#include "datafile/FileChecks.h"
#include "datafile/SealedFile.h"
#include "datafile/Unseal.h"
#include "platform/AlignedBuffer.h"
#include "platform/FileHandle.h"
#include "platform/Stream.h"
#include "zstream/Isal.h"
#include "zstream/ZLib.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace quillock::datafile {
namespace {

// Decoded bytes handed to the working copy per write.
constexpr std::int64_t DecodeBufferSize = std::int64_t{1} << 18;

// The free space of the destination's file system is asked for again after
// this many decoded bytes, and before a write that could take it below the
// margin.
constexpr std::int64_t FreeSpaceCheckInterval = std::int64_t{4} << 20;
// Decoding leaves at least this much free, so that the system, the editor
// and the sealing that follows still have room and a small compressed file
// cannot decode until the disk is full: 64 MiB, or half of what was free
// when decoding began when that is less, so that a nearly full disk still
// opens a file that fits in half of its room.
constexpr std::uint64_t FreeMarginLimit = std::uint64_t{64} << 20;

std::uint64_t FreeMargin(std::uint64_t availableAtStart) {
    return std::min(FreeMarginLimit, availableAtStart / 2);
}

bool StatFreeSpace(int descriptor, TFreeSpace& space) {
    struct statvfs info {};
    if (::fstatvfs(descriptor, &info) != 0) {
        return false;
    }
    const std::uint64_t unit = info.f_frsize != 0 ? info.f_frsize : info.f_bsize;
    space.Available = static_cast<std::uint64_t>(info.f_bavail) * unit;
    space.Size = static_cast<std::uint64_t>(info.f_blocks) * unit;
    return true;
}

std::atomic<TFreeSpaceQuery> FreeSpaceQuery{&StatFreeSpace};

enum class TDecodeOutcome { Done, Damaged, TooLarge, NoRoom };

// How far a decoding got.
struct TDecodeState {
    bool Created = false;
    platform::TFileId Destination; // once Created
    std::int64_t Decoded = 0;
    std::uint64_t Available = 0; // the free space last seen, once NoRoom
};

// Decodes the whole zlib stream into a new destination. The first piece is
// decoded before the destination is created, so that the usual damage (a
// wrong password) creates nothing. Stops at damage, once the content passes
// the largest size that could be sealed again, or before it would leave too
// little free space; the partial destination is then left to the caller to
// wipe. Other failures (creating or writing the destination) raise.
template <typename TDecoder>
TDecodeOutcome DecodeInto(TDecoder& decoder, platform::TStream& in, const platform::TAtPath& destination,
                          TDecodeState& decoding, const platform::TProgressFn& progress) {
    // Plain text: the buffer is wiped when it goes.
    platform::TAlignedBuffer buffer(static_cast<std::size_t>(DecodeBufferSize));
    const std::int64_t sourceSize = progress ? in.Size() : 0;
    try {
        std::int64_t got = decoder.Read(buffer.Data(), DecodeBufferSize);
        platform::TFileStream out(destination, platform::fmCreate);
        struct stat created {};
        if (::fstat(out.Handle(), &created) != 0) {
            throw platform::EFCreateError(destination.Path());
        }
        decoding.Destination = platform::IdOf(created);
        decoding.Created = true;
        TFreeSpaceGuard space(out.Handle());
        while (got > 0) {
            if (decoding.Decoded + got > MaxSealedSize) {
                return TDecodeOutcome::TooLarge;
            }
            if (!space.Allows(got)) {
                decoding.Available = space.Available();
                return TDecodeOutcome::NoRoom;
            }
            out.WriteBuffer(buffer.Data(), got);
            space.Wrote(got);
            decoding.Decoded += got;
            if (progress) {
                progress(static_cast<std::uint64_t>(in.Position()), static_cast<std::uint64_t>(sourceSize));
            }
            got = decoder.Read(buffer.Data(), DecodeBufferSize);
        }
    } catch (const zstream::EZDecompressionError&) {
        // Not a whole zlib stream: most likely a wrong password or choice.
        return TDecodeOutcome::Damaged;
    }
    return TDecodeOutcome::Done;
}

// Refuses with text; both temporary files of the host's data file are to be
// wiped.
[[noreturn]] void Refuse(const TDataFileHost& host, std::string text) {
    const TCompanions companions{host.DataFileName()};
    throw EDataFileError{std::move(text), {companions.WorkingCopy(), companions.Intermediate()}};
}

// The size of a file for a message; 0 when it cannot be told.
std::uint64_t SizeOf(const std::string& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<std::uint64_t>(size);
}

// A source that tells progress how much of it was read.
class TReportingSource final : public platform::TStream {
public:
    TReportingSource(platform::TStream& inner, std::int64_t total, const platform::TProgressFn& progress)
        : FInner(inner), FTotal(total), FProgress(progress) {}

    std::int64_t Read(void* buffer, std::int64_t count) override {
        const std::int64_t got = FInner.Read(buffer, count);
        FDone += got;
        FProgress(static_cast<std::uint64_t>(FDone), static_cast<std::uint64_t>(FTotal));
        return got;
    }
    std::int64_t Write(const void* /*buffer*/, std::int64_t /*count*/) override { throw platform::EWriteError(); }
    std::int64_t Seek(std::int64_t offset, platform::TSeekOrigin origin) override {
        return FInner.Seek(offset, origin);
    }

private:
    platform::TStream& FInner;
    std::int64_t FTotal;
    std::int64_t FDone = 0;
    const platform::TProgressFn& FProgress;
};

TCompressionPath FirstPath() noexcept {
    if (!zstream::IsalBuiltIn() || std::getenv("QUILLOCK_PORTABLE_CRYPTO") != nullptr ||
        std::getenv("QUILLOCK_PORTABLE_COMPRESSION") != nullptr) {
        return TCompressionPath::cpZLib;
    }
    return TCompressionPath::cpIsal;
}

std::atomic<TCompressionPath>& Path() noexcept {
    static std::atomic<TCompressionPath> path{FirstPath()};
    return path;
}

} // namespace

TCompressionPath ActiveCompressionPath() noexcept {
    return Path().load();
}

const char* CompressionPathName() noexcept {
    return ActiveCompressionPath() == TCompressionPath::cpIsal ? "isa-l igzip" : "zlib";
}

bool CompressionPathAvailable(TCompressionPath path) noexcept {
    return path == TCompressionPath::cpZLib || zstream::IsalBuiltIn();
}

bool SetCompressionPath(TCompressionPath path) noexcept {
    if (!CompressionPathAvailable(path)) {
        return false;
    }
    Path().store(path);
    return true;
}

void SetFreeSpaceQuery(TFreeSpaceQuery query) noexcept {
    FreeSpaceQuery.store(query != nullptr ? query : &StatFreeSpace);
}

std::uint64_t FreeSpaceBeside(const platform::TAtPath& path) {
    const std::string folder = std::filesystem::path(path.Name()).parent_path().string();
    const platform::TFd handle(
        ::openat(path.Folder(), folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    TFreeSpace space;
    if (!handle.Valid() || !FreeSpaceQuery.load()(handle.Get(), space)) {
        return UINT64_MAX;
    }
    return space.Available;
}

TFreeSpaceGuard::TFreeSpaceGuard(int descriptor) : FDescriptor(descriptor) {
    Query();
}

bool TFreeSpaceGuard::Allows(std::int64_t count) {
    if (FSinceQuery >= FreeSpaceCheckInterval || (FKnown && FSinceQuery + count > FBudget)) {
        Query();
    }
    return !FKnown || FSinceQuery + count <= FBudget;
}

void TFreeSpaceGuard::Query() {
    FSinceQuery = 0;
    FKnown = FreeSpaceQuery.load()(FDescriptor, FSpace);
    if (FKnown && !FStarted) {
        FStarted = true;
        FMargin = FreeMargin(FSpace.Available);
    }
    // When the space cannot be told, the writes themselves will tell.
    const std::uint64_t margin = FMargin;
    FBudget = FSpace.Available > margin ? static_cast<std::int64_t>(FSpace.Available - margin) : 0;
}

std::string DecodedTooLargeText() {
    return "The content of the data file is 4 GiB or larger once decompressed and cannot be sealed again."
           "\r\n\r\nNothing has been written.";
}

std::string DecodedNoRoomText(std::uint64_t decoded, const std::string& sealed, std::uint64_t available) {
    return "The content of the data file does not fit on the disk once decompressed: " + std::to_string(decoded) +
           " bytes decoded so far from a sealed file of " + std::to_string(SizeOf(sealed)) + " bytes, with " +
           std::to_string(available) + " bytes free.\r\n\r\nNothing has been written.";
}

void CompressFile(const platform::TAtPath& source, const platform::TAtPath& destination,
                  const platform::TProgressFn& progress) {
    platform::TFileStream in(source, platform::fmOpenRead);
    const std::int64_t size = in.Size();
    if (size > MaxSealedSize) {
        throw EContentTooLarge();
    }
    platform::TFileStream out(destination, platform::fmCreate);
    TReportingSource reporting(in, size, progress);
    CompressStream(progress ? static_cast<platform::TStream&>(reporting) : in, size, out);
}

void CompressStream(platform::TStream& source, std::int64_t size, platform::TStream& destination) {
    if (ActiveCompressionPath() == TCompressionPath::cpIsal) {
        zstream::IsalDeflateInPieces(source, size, destination);
    } else {
        zstream::DeflateInPieces(source, size, destination, zstream::TCompressionLevel::clFastest);
    }
}

void DecompressFile(TDataFileHost& host, const platform::TAtPath& source, const platform::TAtPath& destination,
                    const platform::TProgressFn& progress) {
    TDecodeState decoding;
    TDecodeOutcome outcome = TDecodeOutcome::Done;
    try {
        platform::TFileStream in(source, platform::fmOpenRead);
        if (ActiveCompressionPath() == TCompressionPath::cpIsal) {
            zstream::TIsalInflater decoder(in);
            outcome = DecodeInto(decoder, in, destination, decoding, progress);
        } else {
            zstream::TZDecompressionStream decoder(in);
            outcome = DecodeInto(decoder, in, destination, decoding, progress);
        }
    } catch (...) {
        // A write failure (a full disk) or a signal: a partial working copy
        // must not pass for the text later. The first failure is the one
        // reported.
        if (decoding.Created) {
            try {
                if (const std::string left = WipeFileQuietly(host, destination, decoding.Destination); !left.empty()) {
                    host.AskUser(left, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
                }
            } catch (const std::exception&) {
            }
        }
        throw;
    }
    if (outcome == TDecodeOutcome::Done) {
        return;
    }
    // The working copy holds part of the content at most: it goes first.
    if (decoding.Created) {
        WipeFile(host, destination, decoding.Destination);
    }
    if (outcome == TDecodeOutcome::Damaged) {
        Refuse(host, DecryptionErrorText);
    } else if (outcome == TDecodeOutcome::TooLarge) {
        Refuse(host, DecodedTooLargeText());
    } else {
        Refuse(host, DecodedNoRoomText(static_cast<std::uint64_t>(decoding.Decoded), host.DataFileName(),
                                       decoding.Available));
    }
}

TSalvageResult SalvageDecompressFile(const platform::TAtPath& source, const platform::TAtPath& destination) {
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
