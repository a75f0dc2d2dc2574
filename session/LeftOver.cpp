// Measuring left-over temporary files against the data file's content, piece
// by piece in memory, and choosing the newest text.
#include "session/LeftOver.h"

#include "datafile/FileChecks.h"
#include "datafile/Unseal.h"
#include "platform/FileHandle.h"
#include "platform/Files.h"
#include "platform/Stream.h"
#include "platform/Text.h"
#include "zstream/ZLib.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace quillock::session {
namespace {

using datafile::TPlainBuffer;

// The text of one left-over file, read through the descriptor that was
// checked to be ours, whatever the name refers to meanwhile: plain, inflated
// (only the intermediate file may hold compressed data), or, for a file that
// starts with a zero byte, its bytes as they are.
class TLeftOverText {
public:
    TLeftOverText(datafile::TDataFileHost& host, TLeftOver& found, const platform::TFolderHandle& folder,
                  bool mayBeCompressed)
        : FFile(platform::OpenOwnFile(folder.At(found.Path), O_RDONLY)) {
        if (!FFile.Valid() && errno == ENOENT) {
            return; // absent
        }
        struct stat info {};
        if (!FFile.Valid() || ::fstat(FFile.Get(), &info) != 0) {
            throw platform::EInOutError("Cannot open " + platform::QuotedName(found.Path) + ": " +
                                        std::strerror(errno));
        }
        const std::string name = platform::DescriptorName(FFile.Get());
        FStream = std::make_unique<platform::TFileStream>(name, platform::fmOpenRead);
        if (info.st_size == 0 || datafile::CheckHeader(host, name)) {
            FText = FStream.get();
            return;
        }
        std::uint8_t head[2] = {};
        const std::int64_t got = FStream->Read(head, 2);
        FStream->Seek(0, platform::TSeekOrigin::soBeginning);
        FText = FStream.get();
        if (got > 0 && head[0] == 0) {
            // Neither editor text nor a stream starts with a zero byte; a
            // wipe that was cut short does.
            FZeroed = true;
        } else if (mayBeCompressed && got == 2 && head[0] == 0x78 && head[1] == 0x01) {
            found.Compressed = true;
            FInflated = std::make_unique<zstream::TZDecompressionStream>(*FStream, zstream::TDamagePolicy::dpSalvage);
            FText = FInflated.get();
        } else {
            // Only a beginning of the content (a copy cut short inside the
            // first line) or the content itself can be told; anything else
            // is never sealed.
            FUnknown = true;
        }
    }

    [[nodiscard]] bool Present() const { return FText != nullptr; }
    [[nodiscard]] bool Zeroed() const { return FZeroed; }
    [[nodiscard]] bool Unknown() const { return FUnknown; }
    [[nodiscard]] bool Complete() const { return FInflated == nullptr || FInflated->Complete(); }

    // Up to size bytes of the text; fewer only at its end.
    std::size_t Read(std::uint8_t* buffer, std::size_t size) {
        std::size_t done = 0;
        while (done < size) {
            const std::int64_t got = FText->Read(buffer + done, static_cast<std::int64_t>(size - done));
            if (got <= 0) {
                break;
            }
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

private:
    platform::TFd FFile;
    std::unique_ptr<platform::TFileStream> FStream;
    std::unique_ptr<zstream::TZDecompressionStream> FInflated;
    platform::TStream* FText = nullptr;
    bool FZeroed = false;
    bool FUnknown = false; // neither a plain editor file nor compressed data
};

// One left-over file measured alongside the data file's content.
class TCandidate {
public:
    TCandidate(datafile::TDataFileHost& host, TLeftOver& found, const platform::TFolderHandle& folder,
               bool mayBeCompressed)
        : FFound(found), FText(host, found, folder, mayBeCompressed), FMayBeCompressed(mayBeCompressed) {}

    [[nodiscard]] bool Measuring() const { return FText.Present() && !FDiffers && !FEnded; }

    // The next piece of the data file's content. A file that starts with
    // zeros matches where, after its zeros, it holds the content's bytes at
    // the same places.
    void Compare(const std::uint8_t* data, std::size_t size) {
        while (size > 0 && Measuring()) {
            const std::size_t step = std::min(size, FBuffer.Bytes.size());
            const std::size_t got = Read(FBuffer.Bytes.data(), step);
            if (!FText.Zeroed()) {
                FDiffers = std::memcmp(FBuffer.Bytes.data(), data, got) != 0;
            } else {
                for (std::size_t i = 0; i < got && !FDiffers; ++i) {
                    FNonZero = FNonZero || FBuffer.Bytes[i] != 0;
                    FDiffers = FNonZero && FBuffer.Bytes[i] != data[i];
                }
            }
            FEnded = !FDiffers && got < step; // the candidate stops where the content goes on
            data += step;
            size -= step;
        }
    }

    // After the data file's last piece, with the Adler-32 of the content.
    void Finish(std::uint32_t contentAdler) {
        if (!FText.Present()) {
            return;
        }
        const bool matched = !FDiffers && !FEnded;
        // Read to its end: its size, whether the whole stream decodes (which
        // decides what a stream that differs is), and whether what follows
        // the content is all zeros.
        bool longer = false;
        for (std::size_t got = 0; (got = Read(FBuffer.Bytes.data(), FBuffer.Bytes.size())) > 0;) {
            longer = true;
            FNonZero =
                FNonZero || std::any_of(FBuffer.Bytes.begin(), FBuffer.Bytes.begin() + static_cast<std::ptrdiff_t>(got),
                                        [](std::uint8_t byte) { return byte != 0; });
        }
        FFound.Complete = FText.Complete();
        if (FText.Zeroed()) {
            // The rest of the content in place, or of a zlib stream of it:
            // such a stream ends with the content's Adler-32.
            const bool streamOfContent = FMayBeCompressed && FFound.TextSize >= 4 && FLast == contentAdler;
            FFound.Kind = !FNonZero || (matched && !longer) || streamOfContent ? TLeftOverKind::lkWipedPart
                                                                               : TLeftOverKind::lkUnusable;
        } else if (FDiffers || (matched && longer)) {
            FFound.Kind = FFound.Complete && !FText.Unknown() ? TLeftOverKind::lkNewer : TLeftOverKind::lkUnusable;
        } else if (FEnded || !FFound.Complete) {
            FFound.Kind = TLeftOverKind::lkPartial;
        } else {
            FFound.Kind = TLeftOverKind::lkSame;
        }
    }

private:
    std::size_t Read(std::uint8_t* buffer, std::size_t size) {
        const std::size_t got = FText.Read(buffer, size);
        FFound.TextSize += got;
        for (std::size_t i = got > 4 ? got - 4 : 0; i < got; ++i) {
            FLast = FLast << 8 | buffer[i];
        }
        return got;
    }

    TLeftOver& FFound;
    TLeftOverText FText;
    TPlainBuffer FBuffer{datafile::PlainPieceSize};
    bool FMayBeCompressed;
    bool FDiffers = false;
    bool FEnded = false;
    bool FNonZero = false;   // a zeroed file: its zeros have ended
    std::uint32_t FLast = 0; // its last four bytes, big-endian
};

class TComparingSink final : public datafile::TContentSink {
public:
    TComparingSink(TCandidate& first, TCandidate& second) : FFirst(first), FSecond(second) {}
    void Put(const std::uint8_t* data, std::size_t size) override {
        FFirst.Compare(data, size);
        FSecond.Compare(data, size);
        FAdler = static_cast<std::uint32_t>(::adler32_z(FAdler, data, size));
    }
    [[nodiscard]] std::uint32_t Adler() const { return FAdler; }

private:
    TCandidate& FFirst;
    TCandidate& FSecond;
    std::uint32_t FAdler = 1; // Adler-32 of nothing
};

// Reads both texts side by side.
TTextOrder CompareTexts(datafile::TDataFileHost& host, TLeftOvers& found, const platform::TFolderHandle& folder) {
    TLeftOver working = found.WorkingCopy;
    TLeftOver intermediate = found.Intermediate;
    TLeftOverText first(host, working, folder, false);
    TLeftOverText second(host, intermediate, folder, true);
    TPlainBuffer a(datafile::PlainPieceSize);
    TPlainBuffer b(datafile::PlainPieceSize);
    for (;;) {
        const std::size_t gotA = first.Read(a.Bytes.data(), a.Bytes.size());
        const std::size_t gotB = second.Read(b.Bytes.data(), b.Bytes.size());
        const std::size_t common = std::min(gotA, gotB);
        if (std::memcmp(a.Bytes.data(), b.Bytes.data(), common) != 0) {
            return TTextOrder::toApart;
        }
        if (gotA != gotB) {
            return gotA < gotB ? TTextOrder::toWorkingCopyBegins : TTextOrder::toIntermediateBegins;
        }
        if (gotA == 0) {
            return TTextOrder::toSame;
        }
    }
}

bool Readable(const TLeftOver& file) {
    return file.Kind != TLeftOverKind::lkAbsent && file.Kind != TLeftOverKind::lkWipedPart;
}

} // namespace

TLeftOvers MeasureLeftOvers(datafile::TDataFileHost& host, const std::string& dataFile, bool plainDataFile,
                            const std::string& workingCopy, const std::string& intermediate,
                            const platform::TFolderHandle& folder) {
    TLeftOvers found;
    found.WorkingCopy.Path = workingCopy;
    found.Intermediate.Path = intermediate;
    {
        TCandidate working(host, found.WorkingCopy, folder, false);
        TCandidate temporary(host, found.Intermediate, folder, true);
        TComparingSink sink(working, temporary);
        if (plainDataFile) {
            platform::TFileStream content(folder.At(dataFile), platform::fmOpenRead);
            TPlainBuffer piece(datafile::PlainPieceSize);
            for (std::int64_t got = 0; (got = content.Read(piece.Bytes.data(), datafile::PlainPieceSize)) > 0;) {
                sink.Put(piece.Bytes.data(), static_cast<std::size_t>(got));
            }
        } else {
            found.DataCompressed = datafile::UnsealInto(host, folder.At(dataFile), false, sink).Compressed;
        }
        working.Finish(sink.Adler());
        temporary.Finish(sink.Adler());
    }
    if (Readable(found.WorkingCopy) && Readable(found.Intermediate)) {
        found.Order = CompareTexts(host, found, folder);
    }
    return found;
}

bool StartsWithZero(const platform::TAtPath& path) {
    const platform::TFd file(platform::OpenOwnFile(path, O_RDONLY));
    std::uint8_t first = 1;
    return file.Valid() && ::read(file.Get(), &first, 1) == 1 && first == 0;
}

TNewest NewestText(const TLeftOvers& found) {
    const TLeftOver& working = found.WorkingCopy;
    const TLeftOver& intermediate = found.Intermediate;
    const bool workingNewer = working.Kind == TLeftOverKind::lkNewer;
    const bool intermediateNewer = intermediate.Kind == TLeftOverKind::lkNewer;
    const bool intermediateBegins =
        found.Order == TTextOrder::toSame || found.Order == TTextOrder::toIntermediateBegins;
    // A damaged stream whose decodable part is no beginning of the content
    // is a compression of the working copy cut short, or a text of its own.
    const bool damagedStream = intermediate.Kind == TLeftOverKind::lkUnusable && intermediate.Compressed &&
                               !intermediate.Complete && workingNewer && intermediateBegins;
    if (working.Kind == TLeftOverKind::lkUnusable ||
        (intermediate.Kind == TLeftOverKind::lkUnusable && !damagedStream)) {
        return TNewest::nwUndecided;
    }
    if (workingNewer && intermediateNewer) {
        if (intermediateBegins) {
            return TNewest::nwWorkingCopy;
        }
        return found.Order == TTextOrder::toWorkingCopyBegins ? TNewest::nwIntermediate : TNewest::nwUndecided;
    }
    if (workingNewer) {
        return TNewest::nwWorkingCopy;
    }
    return intermediateNewer ? TNewest::nwIntermediate : TNewest::nwDataFile;
}

} // namespace quillock::session
