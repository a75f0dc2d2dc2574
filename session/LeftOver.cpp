// Measuring left-over temporary files against the data file's content, piece
// by piece in memory.
#include "session/LeftOver.h"

#include "datafile/FileChecks.h"
#include "datafile/Unseal.h"
#include "platform/FileHandle.h"
#include "platform/Files.h"
#include "platform/Stream.h"
#include "zstream/ZLib.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace quillock::session {
namespace {

using datafile::TPlainBuffer;

// The text of one left-over file, read alongside the data file's content.
class TCandidate {
public:
    // Read through the descriptor that was checked to be ours, whatever the
    // name refers to meanwhile. The working copy is plain text always; only
    // the intermediate file may hold compressed data (mayBeCompressed). What
    // the file is comes out of Finish.
    TCandidate(datafile::TDataFileHost& host, TLeftOver& found, bool mayBeCompressed)
        : FFound(found), FFile(platform::OpenOwnFile(found.Path, O_RDONLY)) {
        if (!FFile.Valid() && errno == ENOENT) {
            return; // absent
        }
        struct stat info {};
        if (!FFile.Valid() || ::fstat(FFile.Get(), &info) != 0) {
            throw platform::EInOutError("Cannot open \"" + found.Path + "\": " + std::strerror(errno));
        }
        const std::string name = "/proc/self/fd/" + std::to_string(FFile.Get());
        FStream = std::make_unique<platform::TFileStream>(name, platform::fmOpenRead);
        if (info.st_size == 0 || datafile::CheckHeader(host, name)) {
            FText = FStream.get();
            return;
        }
        std::uint8_t head[2] = {};
        const bool compressed = mayBeCompressed && FStream->Read(head, 2) == 2 && head[0] == 0x78 && head[1] == 0x01;
        FStream->Seek(0, platform::TSeekOrigin::soBeginning);
        if (!compressed) {
            // Only a beginning of the content (a copy cut short inside the
            // first line) or the content itself can be told; anything else
            // is never sealed.
            FUnknown = true;
            FText = FStream.get();
            return;
        }
        FFound.Compressed = true;
        FInflated = std::make_unique<zstream::TZDecompressionStream>(*FStream, zstream::TDamagePolicy::dpSalvage);
        FText = FInflated.get();
    }

    [[nodiscard]] bool Measuring() const { return FText != nullptr && !FDiffers && !FEnded; }

    // The next piece of the data file's content.
    void Compare(const std::uint8_t* data, std::size_t size) {
        while (size > 0 && Measuring()) {
            const std::size_t step = std::min(size, FBuffer.Bytes.size());
            const std::size_t got = ReadText(FBuffer.Bytes.data(), step);
            if (std::memcmp(FBuffer.Bytes.data(), data, got) != 0) {
                FDiffers = true;
            } else if (got < step) {
                FEnded = true; // the candidate stops where the content goes on
            }
            data += step;
            size -= step;
        }
    }

    // After the data file's last piece.
    void Finish() {
        if (FText == nullptr) {
            return;
        }
        const bool longer = !FDiffers && !FEnded && ReadText(FBuffer.Bytes.data(), 1) == 1;
        if (FFound.Compressed) {
            // Read to its end: whether the whole stream decodes decides what
            // a stream that differs is. A damaged one that is a beginning of
            // the content is a copy cut short; any other is unreadable.
            while (ReadText(FBuffer.Bytes.data(), FBuffer.Bytes.size()) > 0) {
            }
            FFound.Complete = FInflated->Complete();
        }
        if (FDiffers || longer) {
            FFound.Kind = FFound.Complete && !FUnknown ? TLeftOverKind::lkNewer : TLeftOverKind::lkUnusable;
        } else if (FEnded || !FFound.Complete) {
            FFound.Kind = TLeftOverKind::lkPartial;
        } else {
            FFound.Kind = TLeftOverKind::lkSame;
        }
    }

private:
    std::size_t ReadText(std::uint8_t* buffer, std::size_t size) {
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

    TLeftOver& FFound;
    platform::TFd FFile;
    std::unique_ptr<platform::TFileStream> FStream;
    std::unique_ptr<zstream::TZDecompressionStream> FInflated;
    platform::TStream* FText = nullptr;
    TPlainBuffer FBuffer{datafile::PlainPieceSize};
    bool FDiffers = false;
    bool FEnded = false;
    bool FUnknown = false; // neither a plain editor file nor compressed data
};

class TComparingSink final : public datafile::TContentSink {
public:
    TComparingSink(TCandidate& first, TCandidate& second) : FFirst(first), FSecond(second) {}
    void Put(const std::uint8_t* data, std::size_t size) override {
        FFirst.Compare(data, size);
        FSecond.Compare(data, size);
    }

private:
    TCandidate& FFirst;
    TCandidate& FSecond;
};

} // namespace

TLeftOvers MeasureLeftOvers(datafile::TDataFileHost& host, const std::string& dataFile, bool plainDataFile,
                            const std::string& workingCopy, const std::string& intermediate) {
    TLeftOvers found;
    found.WorkingCopy.Path = workingCopy;
    found.Intermediate.Path = intermediate;
    TCandidate working(host, found.WorkingCopy, false);
    TCandidate temporary(host, found.Intermediate, true);
    TComparingSink sink(working, temporary);
    if (plainDataFile) {
        platform::TFileStream content(dataFile, platform::fmOpenRead);
        TPlainBuffer piece(datafile::PlainPieceSize);
        for (std::int64_t got = 0; (got = content.Read(piece.Bytes.data(), datafile::PlainPieceSize)) > 0;) {
            sink.Put(piece.Bytes.data(), static_cast<std::size_t>(got));
        }
    } else {
        found.DataCompressed = datafile::UnsealInto(host, dataFile, false, sink).Compressed;
    }
    working.Finish();
    temporary.Finish();
    return found;
}

} // namespace quillock::session
