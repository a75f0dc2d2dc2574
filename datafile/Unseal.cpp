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
// deciphered as it is read. Reports progress to the host.
class TDecipheringStream final : public platform::TStream {
public:
    TDecipheringStream(platform::TStream& source, crypto::TDCP_cipher& cipher, std::int64_t size, TDataFileHost& host)
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
            FHost.Progress(static_cast<std::uint64_t>(FRead), static_cast<std::uint64_t>(FSize));
        }
        return got;
    }

    platform::TStream& FSource;
    crypto::TDCP_cipher& FCipher;
    std::int64_t FSize;
    TDataFileHost& FHost;
    TPlainBuffer FFirst;
    std::int64_t FFirstSize = 0;
    std::int64_t FRead = 0;
    std::int64_t FPosition = 0;
    bool FGivenBack = false;
};

// The same test a session makes: the first line names the editor. It is run
// on the first piece in memory, so nothing plain reaches the disk.
bool FirstPieceIsPlain(const TDecipheringStream& content) {
    if (content.FirstSize() == 0) {
        return true; // an empty content seals to an empty file
    }
    THeaderScan scan;
    (void)scan.Feed(content.First(), static_cast<std::size_t>(content.FirstSize()));
    return scan.NamesEditor();
}

} // namespace

TPlainBuffer::~TPlainBuffer() {
    platform::SecureZero(Bytes.data(), Bytes.size());
}

TUnsealed UnsealInto(TDataFileHost& host, const std::string& sealed, bool raw, TContentSink& sink) {
    platform::TFileStream in(sealed, platform::fmOpenRead);
    const std::int64_t size = in.Size();
    if (size > MaxSealedSize) {
        throw platform::EInOutError("The sealed file is 4 GiB or larger and cannot be unsealed.");
    }
    const crypto::TDCP_cipherclass* cipherClass = CipherClassByIndex(host.AlgorithmIndex());
    const crypto::TDCP_hashclass* hashClass = HashClassByIndex(host.HashIndex());
    const std::unique_ptr<crypto::TDCP_cipher> cipher = cipherClass->Create(nullptr);
    {
        const platform::TSecretText password = host.Password();
        cipher->InitFromPassphrase(password.View(), *hashClass);
    }
    TUnsealed result;
    try {
        TDecipheringStream content(in, *cipher, size, host);
        TPlainBuffer piece(PlainPieceSize);
        if (raw || FirstPieceIsPlain(content)) {
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
