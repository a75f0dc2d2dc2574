// Unsealing a data file piece by piece: deciphered, looked at and inflated in
// memory, handed on in order.
#include "datafile/Unseal.h"

#include "crypto/Cipher.h"
#include "datafile/Algorithms.h"
#include "datafile/Companions.h"
#include "datafile/Compression.h"
#include "datafile/FileChecks.h"
#include "datafile/SealedFile.h"
#include "platform/FileHandle.h"
#include "platform/Files.h"
#include "platform/Signals.h"
#include "platform/Stream.h"
#include "platform/Text.h"
#include "platform/Wipe.h"
#include "zstream/ZLib.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace quillock::datafile {
namespace {

// A stream of the deciphered bytes of a data file, read in order: the first
// piece (already deciphered to look at it) comes again, then the rest is
// deciphered as it is read. Reports progress to the host, when given one.
class TDecipheringStream final : public platform::TStream {
public:
    TDecipheringStream(platform::TStream& source, crypto::TDCP_cipher& cipher, std::int64_t size, TDataFileHost* host)
        : FSource(source), FCipher(cipher), FSize(size), FHost(host), FFirst(PlainPieceSize) {
        FFirstSize = ReadDeciphered(FFirst.Bytes.data(), static_cast<std::int64_t>(FFirst.Bytes.size()));
    }

    // The first piece, for the content check.
    [[nodiscard]] const std::uint8_t* First() const { return FFirst.Bytes.data(); }
    [[nodiscard]] std::int64_t FirstSize() const { return FFirstSize; }

    std::int64_t Read(void* buffer, std::int64_t count) override {
        if (FGivenBack || count <= 0) {
            return 0;
        }
        if (FPosition < FFirstSize) {
            const std::int64_t n = std::min(count, FFirstSize - FPosition);
            std::memcpy(buffer, FFirst.Bytes.data() + FPosition, static_cast<std::size_t>(n));
            FPosition += n;
            return n;
        }
        const std::int64_t got = ReadDeciphered(buffer, count);
        FPosition += got;
        return got;
    }
    std::int64_t Write(const void* buffer, std::int64_t count) override {
        (void)buffer;
        (void)count;
        throw platform::EWriteError();
    }
    // Only the position is asked for, and input read past the end of the
    // zlib stream is given back; nothing is read after that.
    std::int64_t Seek(std::int64_t offset, platform::TSeekOrigin origin) override {
        if (origin == platform::TSeekOrigin::soCurrent && offset == 0) {
            return FPosition;
        }
        if (origin == platform::TSeekOrigin::soBeginning && offset <= FPosition) {
            FGivenBack = FGivenBack || offset < FPosition;
            FPosition = offset;
            return FPosition;
        }
        throw platform::EInOutError("Cannot seek in deciphered data");
    }

private:
    std::int64_t ReadDeciphered(void* buffer, std::int64_t count) {
        const std::int64_t got = FSource.Read(buffer, std::min(count, FSize - FRead));
        if (got > 0) {
            FCipher.DecryptData(buffer, buffer, static_cast<std::uint32_t>(got));
            FRead += got;
            if (FHost != nullptr) {
                FHost->Progress(static_cast<std::uint64_t>(FRead), static_cast<std::uint64_t>(FSize));
            }
        }
        return got;
    }

    platform::TStream& FSource;
    crypto::TDCP_cipher& FCipher;
    std::int64_t FSize;
    TDataFileHost* FHost;
    TPlainBuffer FFirst;
    std::int64_t FFirstSize = 0;
    std::int64_t FRead = 0;
    std::int64_t FPosition = 0;
    bool FGivenBack = false;
};

// The bytes of a piece in memory, read as a stream.
class TPieceStream final : public platform::TStream {
public:
    TPieceStream(const std::uint8_t* data, std::size_t size) : FData(data), FSize(static_cast<std::int64_t>(size)) {}
    std::int64_t Read(void* buffer, std::int64_t count) override {
        const std::int64_t n = std::max<std::int64_t>(0, std::min(count, FSize - FPosition));
        std::memcpy(buffer, FData + FPosition, static_cast<std::size_t>(n));
        FPosition += n;
        return n;
    }
    std::int64_t Write(const void* /*buffer*/, std::int64_t /*count*/) override { throw platform::EWriteError(); }
    std::int64_t Seek(std::int64_t offset, platform::TSeekOrigin origin) override {
        const std::int64_t base = origin == platform::TSeekOrigin::soBeginning ? 0
                                  : origin == platform::TSeekOrigin::soCurrent ? FPosition
                                                                               : FSize;
        FPosition = std::clamp<std::int64_t>(base + offset, 0, FSize);
        return FPosition;
    }

private:
    const std::uint8_t* FData;
    std::int64_t FSize;
    std::int64_t FPosition = 0;
};

// Decoding stops once this much came out: a piece that far is compressed data.
constexpr std::int64_t ProbeDecodedLimit = std::int64_t{4} * PlainPieceSize;

// True when the piece is the start of a zlib stream: everything in it decodes
// (a stream cut short by the piece's end counts).
bool PieceIsCompressed(const std::uint8_t* first, std::size_t size) {
    TPieceStream piece(first, size);
    zstream::TZDecompressionStream inflated(piece, zstream::TDamagePolicy::dpSalvage);
    TPlainBuffer decoded(PlainPieceSize);
    std::int64_t total = 0;
    for (std::int64_t got = 0;
         total < ProbeDecodedLimit &&
         (got = inflated.Read(decoded.Bytes.data(), static_cast<std::int64_t>(PlainPieceSize))) > 0;) {
        total += got;
    }
    return inflated.Damage().empty() || inflated.Damage() == zstream::CutShortText;
}

} // namespace

TPlainBuffer::~TPlainBuffer() {
    platform::SecureZero(Bytes.data(), Bytes.size());
}

TContentKind ContentKindOf(const std::uint8_t* first, std::size_t size) {
    if (size == 0) {
        return TContentKind::ckEmpty;
    }
    THeaderScan scan;
    (void)scan.Feed(first, size);
    if (scan.NamesEditor()) {
        return TContentKind::ckEditorFile;
    }
    return PieceIsCompressed(first, size) ? TContentKind::ckCompressed : TContentKind::ckNeither;
}

TContentKind FileContentKind(const platform::TAtPath& path) {
    platform::TFileStream in(path, platform::fmOpenRead);
    TPlainBuffer first(PlainPieceSize);
    std::size_t size = 0;
    for (std::int64_t got = 0;
         size < first.Bytes.size() &&
         (got = in.Read(first.Bytes.data() + size, static_cast<std::int64_t>(first.Bytes.size() - size))) > 0;) {
        size += static_cast<std::size_t>(got);
    }
    return ContentKindOf(first.Bytes.data(), size);
}

TContentKind SealedContentKind(TDataFileHost& host, const std::string& sealed) {
    try {
        platform::TFileStream in(sealed, platform::fmOpenRead);
        if (in.Size() > MaxSealedSize) {
            RefuseUnreadableSealed(host, true);
        }
        const std::unique_ptr<crypto::TDCP_cipher> cipher = KeyedCipher(host);
        // A look at the first piece only: no progress to show.
        const TDecipheringStream content(in, *cipher, in.Size(), nullptr);
        const TContentKind kind = ContentKindOf(content.First(), static_cast<std::size_t>(content.FirstSize()));
        cipher->Scrub();
        return kind;
    } catch (const std::exception& e) {
        host.HearCause(CauseOf(e));
        RefuseUnreadableSealed(host, false);
    }
}

std::string NeitherContentText(int algorithm, int hash) {
    const auto word = [](auto table, int index) {
        return index >= 0 && static_cast<std::size_t>(index) < table.size()
                   ? std::string(table[static_cast<std::size_t>(index)].Word)
                   : std::string("?");
    };
    return "wrong password, or the file was sealed with another cipher or digest: now " + word(Ciphers(), algorithm) +
           "/" + word(Hashes(), hash);
}

namespace {

// Unseals sealed into sink piece by piece; see UnsealInto and UnsealToFile.
TUnsealedFile UnsealPieces(TDataFileHost& host, const platform::TAtPath& sealed, TUnsealMode mode, TContentSink& sink) {
    platform::TFileStream in(sealed, platform::fmOpenRead);
    const std::int64_t size = in.Size();
    if (size > MaxSealedSize) {
        throw platform::EInOutError("The sealed file is 4 GiB or larger and cannot be unsealed.");
    }
    const std::unique_ptr<crypto::TDCP_cipher> cipher = KeyedCipher(host);
    TUnsealedFile result;
    try {
        TDecipheringStream content(in, *cipher, size, &host);
        TPlainBuffer piece(PlainPieceSize);
        const auto passOn = [&](platform::TStream& from) {
            for (std::int64_t got = 0; (got = from.Read(piece.Bytes.data(), PlainPieceSize)) > 0;) {
                sink.Put(piece.Bytes.data(), static_cast<std::size_t>(got));
                result.Content.Bytes += static_cast<std::uint64_t>(got);
            }
        };
        result.Content.Kind = ContentKindOf(content.First(), static_cast<std::size_t>(content.FirstSize()));
        if (mode == TUnsealMode::umRaw || result.Content.Kind == TContentKind::ckEditorFile ||
            result.Content.Kind == TContentKind::ckEmpty) {
            passOn(content);
        } else if (mode == TUnsealMode::umSalvage) {
            result.Content.Compressed = true;
            sink.Inflating();
            zstream::TZDecompressionStream inflated(content, zstream::TDamagePolicy::dpSalvage);
            passOn(inflated);
            result.Complete = inflated.Complete();
            result.Damage = inflated.Damage();
        } else {
            result.Content.Compressed = true;
            sink.Inflating();
            try {
                zstream::TZDecompressionStream inflated(content);
                passOn(inflated);
            } catch (const zstream::EZLibError&) {
                cipher->Scrub();
                throw EDataFileError{DecryptionErrorText, {}};
            }
        }
    } catch (...) {
        cipher->Scrub();
        throw;
    }
    cipher->Scrub();
    return result;
}

// Why decompressing into a file stopped before the end.
struct TDecodeStop {
    bool TooLarge;
};

// The temporary that a file's unsealed bytes stream into: created new (the
// one way files are made), known by its identity for the wipe. A
// decompressed content is held to what could be sealed again and to the free
// space beside it.
class TFileSink final : public TContentSink {
public:
    explicit TFileSink(std::string path) : FPath(std::move(path)), FFd(platform::CreateNewFile(FPath)) {
        struct stat info {};
        if (!FFd.Valid() || ::fstat(FFd.Get(), &info) != 0) {
            throw platform::EFCreateError(FPath + ": " + std::strerror(errno));
        }
        FId = platform::IdOf(info);
    }

    void Inflating() override { FSpace.emplace(FFd.Get()); }
    void Put(const std::uint8_t* data, std::size_t size) override {
        const auto count = static_cast<std::int64_t>(size);
        if (FSpace && FWritten + count > MaxSealedSize) {
            throw TDecodeStop{true};
        }
        if (FSpace && !FSpace->Allows(count)) {
            throw TDecodeStop{false};
        }
        if (!platform::WriteAll(FFd.Get(), data, size)) {
            throw platform::EInOutError("Cannot write " + FPath + ": " + std::strerror(errno));
        }
        if (FSpace) {
            FSpace->Wrote(count);
        }
        FWritten += count;
    }

    // Flushes the whole file and renames it over destination.
    void Commit(const std::string& destination) {
        if (::fsync(FFd.Get()) != 0 || !FFd.Close()) {
            throw platform::EInOutError("Cannot flush " + FPath + ": " + std::strerror(errno));
        }
        if (std::rename(FPath.c_str(), destination.c_str()) != 0) {
            throw platform::EInOutError("Cannot rename " + FPath + " to " + destination + ": " + std::strerror(errno));
        }
        FCommitted = true;
        (void)platform::SyncFolderOf(destination);
    }

    // Wipes what was written, unless it became the destination. The zeros
    // go through the descriptor this file was made with, so they reach its
    // blocks even when someone gave it another name meanwhile (a hard link
    // in a shared folder); the name is removed only while it still leads to
    // this file. Once the descriptor is closed (a failed rename), the name
    // is wiped only when it is still this file, ours with one name.
    [[nodiscard]] std::string Wipe(TDataFileHost& host) noexcept {
        if (FCommitted) {
            return {};
        }
        const platform::TSignalDeferral unbroken;
        try {
            if (!FFd.Valid()) {
                return WipeFileQuietly(host, FPath, FId);
            }
            struct stat info {};
            if (::fstat(FFd.Get(), &info) != 0 ||
                !platform::ZeroFile(FFd.Get(), static_cast<std::uint64_t>(info.st_size),
                                    [&host](std::uint64_t done, std::uint64_t total) { host.Progress(done, total); })) {
                return "Cannot overwrite " + FPath + ": " + std::strerror(errno);
            }
            struct stat named {};
            if (::lstat(FPath.c_str(), &named) == 0 && platform::IdOf(named) == FId && ::unlink(FPath.c_str()) != 0) {
                return "Cannot delete " + FPath + ": " + std::strerror(errno);
            }
            if (info.st_nlink > 1) {
                return platform::QuotedName(FPath) + " had " + std::to_string(info.st_nlink) +
                       " names (hard links); its content was overwritten with zeros, the other names are left";
            }
            return {};
        } catch (const std::exception& e) {
            return e.what();
        }
    }

    [[nodiscard]] std::int64_t Written() const noexcept { return FWritten; }
    [[nodiscard]] std::uint64_t Available() const noexcept { return FSpace ? FSpace->Available() : 0; }

private:
    std::string FPath;
    platform::TFd FFd;
    platform::TFileId FId;
    std::optional<TFreeSpaceGuard> FSpace;
    std::int64_t FWritten = 0;
    bool FCommitted = false;
};

} // namespace

TUnsealed UnsealInto(TDataFileHost& host, const platform::TAtPath& sealed, bool raw, TContentSink& sink) {
    return UnsealPieces(host, sealed, raw ? TUnsealMode::umRaw : TUnsealMode::umInflate, sink).Content;
}

std::string UnsealingTempName(const std::string& destination) {
    return TCompanions{destination}.WorkingCopy();
}

TUnsealedFile UnsealToFile(TDataFileHost& host, const std::string& sealed, const std::string& destination,
                           TUnsealMode mode) {
    const std::string temporary = UnsealingTempName(destination);
    // A link, FIFO or device node at the name is no text of anyone's: the
    // name goes, unread and never written through. A regular file there is
    // the caller's to refuse.
    struct stat found {};
    if (::lstat(temporary.c_str(), &found) == 0 && !S_ISREG(found.st_mode) && !S_ISDIR(found.st_mode)) {
        (void)::unlink(temporary.c_str());
    }
    std::optional<TFileSink> made;
    try {
        made.emplace(temporary);
    } catch (const std::exception& e) {
        RefuseUnreadableSealed(host, false, e.what());
    }
    TFileSink& sink = *made;
    TUnsealedFile result;
    try {
        result = UnsealPieces(host, sealed, mode, sink);
        if (mode == TUnsealMode::umSalvage && result.Content.Bytes == 0 && !result.Complete) {
            if (const std::string left = sink.Wipe(host); !left.empty()) {
                host.AskUser(left, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
            }
            return result;
        }
        // A signal that came while unsealing stops it here, nothing changed.
        platform::CheckInterrupted();
        sink.Commit(destination);
    } catch (const TDecodeStop& stop) {
        std::string text =
            stop.TooLarge ? DecodedTooLargeText()
                          : DecodedNoRoomText(static_cast<std::uint64_t>(sink.Written()), sealed, sink.Available());
        if (const std::string left = sink.Wipe(host); !left.empty()) {
            text += "\r\n\r\n" + left;
        }
        throw EDataFileError{text, {}};
    } catch (const std::exception& e) {
        // Reading, writing (a full disk) or renaming failed: no part of the
        // text stays.
        std::string reason = e.what();
        if (const std::string left = sink.Wipe(host); !left.empty()) {
            reason += "; " + left;
        }
        RefuseUnreadableSealed(host, false, reason);
    } catch (EDataFileError& error) {
        // A wrong content: what the wipe left is said after the refusal.
        if (const std::string left = sink.Wipe(host); !left.empty()) {
            error.Text += "\r\n\r\n" + left;
        }
        throw;
    } catch (...) {
        // A signal.
        if (const std::string left = sink.Wipe(host); !left.empty()) {
            host.AskUser(left, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
        }
        throw;
    }
    return result;
}

} // namespace quillock::datafile
