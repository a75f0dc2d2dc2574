// Sealing and unsealing a data file: the whole content enciphered under the
// digest of the password, with the re-keying prompts of the closing step.
#include "datafile/SealedFile.h"

#include "crypto/Cipher.h"
#include "datafile/Algorithms.h"
#include "datafile/Companions.h"
#include "datafile/Compression.h"
#include "datafile/Messages.h"
#include "datafile/Unseal.h"
#include "platform/AtomicFile.h"
#include "platform/FileHandle.h"
#include "platform/Files.h"
#include "platform/Signals.h"
#include "platform/Stream.h"
#include "platform/Wipe.h"
#include "zstream/ZLib.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace quillock::datafile {
namespace {

constexpr const char* PasswordTitle = "Change Arbolix File Password";

// Passes reads and seeks through and raises on a short write: the cipher's
// stream routine does not look at what a write returns, and a full disk must
// not pass for success. Tells the host how far the step is.
class TStrictStream final : public platform::TStream {
public:
    TStrictStream(platform::TStream& target, TDataFileHost& host, std::uint64_t total)
        : FTarget(target), FHost(host), FTotal(total) {}
    std::int64_t Read(void* buffer, std::int64_t count) override { return FTarget.Read(buffer, count); }
    std::int64_t Write(const void* buffer, std::int64_t count) override {
        FTarget.WriteBuffer(buffer, count);
        FDone += static_cast<std::uint64_t>(count);
        FHost.Progress(FDone, FTotal);
        return count;
    }
    std::int64_t Seek(std::int64_t offset, platform::TSeekOrigin origin) override {
        return FTarget.Seek(offset, origin);
    }

private:
    platform::TStream& FTarget;
    TDataFileHost& FHost;
    std::uint64_t FTotal;
    std::uint64_t FDone = 0;
};

// Scrubs the cipher's key schedule and chaining state on every path.
class TScrubGuard {
public:
    explicit TScrubGuard(crypto::TDCP_cipher& cipher) noexcept : FCipher(cipher) {}
    ~TScrubGuard() { FCipher.Scrub(); }
    TScrubGuard(const TScrubGuard&) = delete;
    TScrubGuard& operator=(const TScrubGuard&) = delete;

private:
    crypto::TDCP_cipher& FCipher;
};

} // namespace

std::unique_ptr<crypto::TDCP_cipher> KeyedCipher(const TDataFileHost& host) {
    const crypto::TDCP_cipherclass* cipherClass = CipherClassByIndex(host.AlgorithmIndex());
    const crypto::TDCP_hashclass* hashClass = HashClassByIndex(host.HashIndex());
    if (cipherClass == nullptr || hashClass == nullptr) {
        throw crypto::EDCP_cipher("No cipher or digest for the chosen list index");
    }
    std::unique_ptr<crypto::TDCP_cipher> cipher = cipherClass->Create(nullptr);
    const platform::TSecretText password = host.Password();
    cipher->InitFromPassphrase(password.View(), *hashClass);
    return cipher;
}

void RefuseUnreadableSealed(TDataFileHost& /*host*/, bool tooLarge, const std::string& reason) {
    const std::string text = tooLarge ? DecryptTooLargeText : DecryptErrorText;
    throw EDataFileError{reason.empty() ? text : text + "\r\n\r\n(" + reason + ")", {}};
}

namespace {

// Runs size bytes of source through the cipher into destination; a source
// that delivers fewer bytes than its size said is a read failure.
void Transform(TDataFileHost& host, crypto::TDCP_cipher& cipher, platform::TStream& source,
               platform::TStream& destination, std::int64_t size, bool encrypt) {
    TScrubGuard scrub(cipher);
    TStrictStream out(destination, host, static_cast<std::uint64_t>(size));
    const auto count = static_cast<std::uint32_t>(size);
    const std::uint32_t done =
        encrypt ? cipher.EncryptFromStream(source, out, count) : cipher.DecryptFromStream(source, out, count);
    if (done != count) {
        throw platform::EReadError();
    }
}

// A typed text taken into secret memory; the ordinary copy is wiped at once.
platform::TSecretText Typed(std::string text) {
    platform::TSecretText secret(text);
    platform::SecureClear(text);
    return secret;
}

// The prompts for a new password and a new cipher and digest choice, each
// asked only when the host's option says so.
void AskForChanges(TDataFileHost& host) {
    if (host.ChangePass()) {
        host.PostPrivateMessage(TPromptKind::Password);
        const platform::TSecretText first = Typed(host.InputBox(PasswordTitle, "Enter a new password:", ""));
        platform::TSecretText second;
        if (!first.Empty()) {
            host.PostPrivateMessage(TPromptKind::Password);
            second = Typed(host.InputBox(PasswordTitle, "Enter the new password again:", ""));
        }
        if (!first.Empty() && first == second) {
            host.SetPassword(first.View());
            host.AskUser(PasswordChangedText, TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
        } else {
            host.AskUser(PasswordsDifferText, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
        }
    }
    if (host.ChangeAlgorithm()) {
        host.PostPrivateMessage(TPromptKind::Algorithm);
        const bool rijndael = host.QuestionBox(
            "Change encryption algorithm to:\r\n(Current is: " + AlgorithmText(host.AlgorithmIndex()) + ")");
        host.SetAlgorithmIndex(rijndael ? 0 : 1);
        host.PostPrivateMessage(TPromptKind::Hash);
        const bool ripemd =
            host.QuestionBox("Change password hashing to:\r\n(Current is: " + HashText(host.HashIndex()) + ")");
        host.SetHashIndex(ripemd ? 0 : 1);
    }
}

[[noreturn]] void RaiseIo(const std::string& what, const std::string& path) {
    const int cause = errno;
    throw platform::EInOutError(what + " " + path + ": " + std::strerror(cause), cause);
}

// The destination must be a file we may write, as when it was overwritten in
// place: a read-only data file (no write bit) is never replaced.
void CheckDestination(const platform::TAtPath& destination, std::optional<struct stat>& existing) {
    struct stat info {};
    if (!platform::StatName(destination, info, true)) {
        if (errno != ENOENT) {
            RaiseIo("Cannot examine", destination.Path());
        }
        existing.reset();
        return;
    }
    if (!S_ISREG(info.st_mode) || platform::IsReadOnly(destination)) {
        throw platform::EFCreateError(destination.Path());
    }
    existing = info;
}

// Removes what a failed earlier sealing of ours left at the temporary name;
// anything else there (another user's file, a link) is refused, not removed.
void RemoveStale(const platform::TAtPath& temporary) {
    const platform::TNameCheck check = platform::CheckOwnName(temporary);
    if (check.State == platform::TNameState::Foreign) {
        throw platform::EFCreateError(temporary.Path());
    }
    if (check.State == platform::TNameState::Ours && !platform::RemoveName(temporary) && errno != ENOENT) {
        RaiseIo("Cannot remove", temporary.Path());
    }
}

// Checks that the source opened for sealing is the file the options name.
void CheckSource(const platform::TFileStream& in, const TSealOptions& options) {
    if (!options.OwnSource && !options.Source) {
        return;
    }
    struct stat info {};
    if (::fstat(in.Handle(), &info) != 0 || !platform::IsOurs(info) ||
        (options.Source && platform::IdOf(info) != *options.Source)) {
        throw platform::EFOpenError(in.FileName());
    }
}

// Opens the destination about to be replaced, to overwrite its old blocks
// once the new content is in place; -1 when there is none.
int OpenReplaced(const platform::TAtPath& destination) {
    return platform::OpenOwnFile(destination, O_RDWR);
}

void SyncDirectoryOf(const platform::TAtPath& path) {
    if (!platform::SyncFolderOf(path)) {
        const std::filesystem::path folder = std::filesystem::path(path.Path()).parent_path();
        RaiseIo("Cannot flush the directory", folder.empty() ? std::string(".") : folder.string());
    }
}

// Flushes the complete ciphertext, gives it the old destination's mode and
// owner and renames it over the destination.
void CommitTemporary(platform::TFileStream& temporary, const platform::TAtPath& temporaryName,
                     const platform::TAtPath& destination, const std::optional<struct stat>& existing) {
    if (existing) {
        if (::fchmod(temporary.Handle(), existing->st_mode & 07777) != 0) {
            RaiseIo("Cannot set the mode of", temporary.FileName());
        }
        // Keeps the owner when the superuser seals someone else's file; for
        // anyone else this is refused and the file is simply theirs.
        (void)!::fchown(temporary.Handle(), existing->st_uid, existing->st_gid);
    }
    temporary.Flush();
    if (!platform::MoveFile(temporaryName, destination)) {
        RaiseIo("Cannot rename to", destination.Path());
    }
    SyncDirectoryOf(destination);
}

// Enciphers what is written to it and hands it on to the target in order;
// its position is the count of bytes written. The cipher's chaining needs
// whole pieces (a short one only at the end), whatever sizes the writes
// come in: bytes wait in the piece until it is full, and Finish enciphers
// the rest. The plain bytes are never copied anywhere but into that wiped
// piece, which is enciphered in place.
class TEncipheringStream final : public platform::TStream {
public:
    TEncipheringStream(platform::TStream& target, crypto::TDCP_cipher& cipher)
        : FTarget(target), FCipher(cipher), FPiece(PlainPieceSize) {}

    std::int64_t Read(void* /*buffer*/, std::int64_t /*count*/) override { throw platform::EReadError(); }
    std::int64_t Write(const void* buffer, std::int64_t count) override {
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        if (FWritten + count > MaxSealedSize) {
            FTooLarge = true;
            throw platform::EWriteError();
        }
        for (std::int64_t done = 0; done < count;) {
            const auto size = std::min(static_cast<std::size_t>(count - done), PlainPieceSize - FHeld);
            std::copy_n(bytes + done, size, FPiece.Bytes.data() + FHeld);
            FHeld += size;
            done += static_cast<std::int64_t>(size);
            if (FHeld == PlainPieceSize) {
                PassOn();
            }
        }
        FWritten += count;
        return count;
    }
    std::int64_t Seek(std::int64_t offset, platform::TSeekOrigin origin) override {
        if (origin == platform::TSeekOrigin::soCurrent && offset == 0) {
            return FWritten;
        }
        throw platform::EInOutError("Cannot seek in enciphered data");
    }
    // Enciphers and hands on the bytes still waiting: the end of the content.
    void Finish() { PassOn(); }
    [[nodiscard]] bool TooLarge() const noexcept { return FTooLarge; }

private:
    void PassOn() {
        if (FHeld == 0) {
            return;
        }
        FCipher.EncryptData(FPiece.Bytes.data(), FPiece.Bytes.data(), static_cast<std::uint32_t>(FHeld));
        FTarget.WriteBuffer(FPiece.Bytes.data(), static_cast<std::int64_t>(FHeld));
        FHeld = 0;
    }

    platform::TStream& FTarget;
    crypto::TDCP_cipher& FCipher;
    TPlainBuffer FPiece;
    std::size_t FHeld = 0;
    std::int64_t FWritten = 0;
    bool FTooLarge = false;
};

} // namespace

std::string SealingTempName(const std::string& destination) {
    return destination + SealingExtension;
}

void Decrypt(TDataFileHost& host, const platform::TAtPath& source, const platform::TAtPath& destination) {
    bool tooLarge = false;
    try {
        platform::TFileStream in(source, platform::fmOpenRead);
        const std::int64_t size = in.Size();
        if (size > MaxSealedSize) {
            tooLarge = true;
        } else {
            platform::TFileStream out(destination, platform::fmCreate);
            const std::unique_ptr<crypto::TDCP_cipher> cipher = KeyedCipher(host);
            Transform(host, *cipher, in, out, size, false);
        }
    } catch (const std::exception& e) {
        host.HearCause(CauseOf(e));
        RefuseUnreadableSealed(host, false);
    }
    if (tooLarge) {
        RefuseUnreadableSealed(host, true);
    }
}

void Encrypt(TDataFileHost& host, const platform::TAtPath& source, const platform::TAtPath& destination,
             const TSealOptions& options) {
    const platform::TAtPath temporary = destination.Beside(SealingTempName(destination.Path()));
    bool tooLarge = false;
    bool created = false;
    try {
        // The source is opened before anything is created, so a missing
        // source leaves everything as it was.
        platform::TFileStream in(source, options.OwnSource || options.Source ? platform::fmOpenReadNoFollow
                                                                             : platform::fmOpenRead);
        CheckSource(in, options);
        const std::int64_t size = in.Size();
        if (size > MaxSealedSize) {
            tooLarge = true;
        } else {
            std::optional<struct stat> existing;
            CheckDestination(destination, existing);
            RemoveStale(temporary);
            std::optional<platform::TFileStream> out;
            out.emplace(temporary, platform::fmCreate);
            created = true;
            // The prompts come before the key is derived, so their answers
            // apply to this very sealing.
            AskForChanges(host);
            {
                const std::unique_ptr<crypto::TDCP_cipher> cipher = KeyedCipher(host);
                Transform(host, *cipher, in, *out, size, true);
            }
            const platform::TFd replaced(options.WipeReplaced ? OpenReplaced(destination) : -1);
            // A signal that came while sealing stops it here, with nothing
            // changed, unless the caller defers it.
            platform::CheckInterrupted();
            CommitTemporary(*out, temporary, destination, existing);
            created = false;
            // The old content is no longer named; its blocks still hold it.
            struct stat old {};
            if (replaced.Valid() && ::fstat(replaced.Get(), &old) == 0 &&
                !platform::ZeroFile(replaced.Get(), static_cast<std::uint64_t>(old.st_size))) {
                RaiseIo("Cannot overwrite the old content of", destination.Path());
            }
        }
    } catch (const std::exception& e) {
        if (created) {
            // Only partial ciphertext is there; the old destination is whole.
            (void)platform::RemoveName(temporary);
        }
        host.HearCause(CauseOf(e));
        throw EDataFileError{EncryptErrorText, {}};
    } catch (const platform::EInterrupted&) {
        if (created) {
            (void)platform::RemoveName(temporary);
        }
        throw;
    }
    if (tooLarge) {
        throw EDataFileError{EncryptTooLargeText, {}};
    }
}

namespace {

// The plain bytes on their way to be sealed: counted, shown to the caller's
// inspection and reported to the host as they are read. A read gives as
// many bytes as were asked for until the source ends (a pipe gives fewer at
// a time). More than can be sealed raises EWriteError, as the enciphering
// stream does.
class TWatchedSource final : public platform::TStream {
public:
    TWatchedSource(platform::TStream& source, TDataFileHost& host, const TPlainPieceFn& inspect, std::uint64_t total)
        : FSource(source), FHost(host), FInspect(inspect), FTotal(total) {}

    std::int64_t Read(void* buffer, std::int64_t count) override {
        auto* bytes = static_cast<std::uint8_t*>(buffer);
        std::int64_t got = 0;
        for (std::int64_t more = 0; got < count && (more = FSource.Read(bytes + got, count - got)) > 0;) {
            got += more;
        }
        if (got <= 0) {
            return got;
        }
        FPlain += static_cast<std::uint64_t>(got);
        if (FPlain > static_cast<std::uint64_t>(MaxSealedSize)) {
            throw platform::EWriteError();
        }
        if (FInspect) {
            FInspect(static_cast<const std::uint8_t*>(buffer), static_cast<std::size_t>(got));
        }
        FHost.Progress(FPlain, FTotal);
        return got;
    }
    std::int64_t Write(const void* /*buffer*/, std::int64_t /*count*/) override { throw platform::EWriteError(); }
    std::int64_t Seek(std::int64_t offset, platform::TSeekOrigin origin) override {
        if (origin == platform::TSeekOrigin::soCurrent && offset == 0) {
            return static_cast<std::int64_t>(FPlain);
        }
        throw platform::EInOutError("Cannot seek in the plain bytes being sealed");
    }
    [[nodiscard]] std::uint64_t Plain() const noexcept { return FPlain; }

private:
    platform::TStream& FSource;
    TDataFileHost& FHost;
    const TPlainPieceFn& FInspect;
    std::uint64_t FTotal;
    std::uint64_t FPlain = 0;
};

} // namespace

std::uint64_t EncryptStream(TDataFileHost& host, platform::TStream& source, const std::string& destination,
                            bool compress, const TPlainPieceFn& inspect, const std::optional<std::int64_t>& size) {
    const std::string temporary = SealingTempName(destination);
    bool tooLarge = size && *size > MaxSealedSize;
    bool created = false;
    std::uint64_t plain = 0;
    try {
        std::optional<struct stat> existing;
        CheckDestination(destination, existing);
        RemoveStale(temporary);
        platform::TFileStream out(temporary, platform::fmCreate);
        created = true;
        const std::unique_ptr<crypto::TDCP_cipher> cipher = KeyedCipher(host);
        const TScrubGuard scrub(*cipher);
        TEncipheringStream sealed(out, *cipher);
        TWatchedSource watched(source, host, inspect, size ? static_cast<std::uint64_t>(*size) : 0);
        try {
            if (tooLarge) {
                throw platform::EWriteError();
            }
            if (compress && size) {
                CompressStream(watched, *size, sealed);
            } else {
                std::optional<zstream::TZCompressionStream> deflating;
                if (compress) {
                    deflating.emplace(sealed, zstream::TCompressionLevel::clFastest);
                }
                platform::TStream& into = deflating ? static_cast<platform::TStream&>(*deflating) : sealed;
                TPlainBuffer piece(PlainPieceSize);
                for (std::int64_t got = 0; (got = watched.Read(piece.Bytes.data(), PlainPieceSize)) > 0;) {
                    into.WriteBuffer(piece.Bytes.data(), got);
                }
                if (deflating) {
                    deflating->Finish();
                }
            }
            sealed.Finish();
            if (inspect) {
                inspect(nullptr, 0);
            }
        } catch (const platform::EWriteError&) {
            tooLarge = tooLarge || sealed.TooLarge() || watched.Plain() > static_cast<std::uint64_t>(MaxSealedSize);
            if (!tooLarge) {
                throw;
            }
        }
        plain = watched.Plain();
        if (!tooLarge) {
            platform::CheckInterrupted();
            CommitTemporary(out, temporary, destination, existing);
            created = false;
        }
    } catch (const std::exception& e) {
        if (created) {
            // Only partial ciphertext is there; the old destination is whole.
            (void)platform::RemoveName(temporary);
        }
        host.HearCause(CauseOf(e));
        throw EDataFileError{EncryptErrorText, {}};
    } catch (...) {
        // A signal, or the caller's inspection: nothing is changed.
        if (created) {
            (void)platform::RemoveName(temporary);
        }
        throw;
    }
    if (tooLarge) {
        if (created) {
            (void)platform::RemoveName(temporary);
        }
        throw EDataFileError{EncryptTooLargeText, {}};
    }
    return plain;
}

} // namespace quillock::datafile
