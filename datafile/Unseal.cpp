// Unsealing a data file piece by piece: deciphered, looked at and inflated in
// memory, handed on in order.
#include "datafile/Unseal.h"

#include "crypto/Cipher.h"
#include "datafile/Algorithms.h"
#include "datafile/FileChecks.h"
#include "datafile/SealedFile.h"
#include "platform/Stream.h"
#include "platform/Wipe.h"
#include "zstream/ZLib.h"

#include <algorithm>
#include <cstring>
#include <memory>

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

TContentKind FileContentKind(const std::string& path) {
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
    } catch (const std::exception&) {
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

TUnsealed UnsealInto(TDataFileHost& host, const std::string& sealed, bool raw, TContentSink& sink) {
    platform::TFileStream in(sealed, platform::fmOpenRead);
    const std::int64_t size = in.Size();
    if (size > MaxSealedSize) {
        throw platform::EInOutError("The sealed file is 4 GiB or larger and cannot be unsealed.");
    }
    const std::unique_ptr<crypto::TDCP_cipher> cipher = KeyedCipher(host);
    TUnsealed result;
    try {
        TDecipheringStream content(in, *cipher, size, &host);
        TPlainBuffer piece(PlainPieceSize);
        result.Kind = ContentKindOf(content.First(), static_cast<std::size_t>(content.FirstSize()));
        if (raw || result.Kind == TContentKind::ckEditorFile || result.Kind == TContentKind::ckEmpty) {
            for (std::int64_t got = 0; (got = content.Read(piece.Bytes.data(), PlainPieceSize)) > 0;) {
                sink.Put(piece.Bytes.data(), static_cast<std::size_t>(got));
                result.Bytes += static_cast<std::uint64_t>(got);
            }
        } else {
            result.Compressed = true;
            try {
                zstream::TZDecompressionStream inflated(content);
                for (std::int64_t got = 0; (got = inflated.Read(piece.Bytes.data(), PlainPieceSize)) > 0;) {
                    sink.Put(piece.Bytes.data(), static_cast<std::size_t>(got));
                    result.Bytes += static_cast<std::uint64_t>(got);
                }
            } catch (const zstream::EZLibError&) {
                host.AskUser(DecryptionErrorText, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
                cipher->Scrub();
                host.ExitWithError();
            }
        }
    } catch (...) {
        cipher->Scrub();
        throw;
    }
    cipher->Scrub();
    return result;
}

} // namespace quillock::datafile
