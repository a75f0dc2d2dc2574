// Sealing and unsealing a data file under the window's password and choices.
#pragma once

#include "crypto/Cipher.h"
#include "datafile/DataFileHost.h"
#include "platform/Files.h"
#include "platform/Stream.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace quillock::datafile {

// The largest content that can be sealed or unsealed: its size is handed to
// the cipher as an unsigned 32-bit count.
inline constexpr std::int64_t MaxSealedSize = 0xFFFFFFFF;

// Where Encrypt writes the new ciphertext before it renames it over the
// destination: the destination's name with ".qln" appended.
[[nodiscard]] std::string SealingTempName(const std::string& destination);

// A cipher of the host's choice, keyed from the host's password.
[[nodiscard]] std::unique_ptr<crypto::TDCP_cipher> KeyedCipher(const TDataFileHost& host);

// Refuses a sealed file that cannot be read or unsealed, or is 4 GiB or
// larger, by raising EDataFileError; reason, when given, follows in brackets.
[[noreturn]] void RefuseUnreadableSealed(TDataFileHost& host, bool tooLarge, const std::string& reason = {});

// Writes the unsealed bytes of source to destination. Raises EDataFileError
// on any failure; checks nothing about the password.
void Decrypt(TDataFileHost& host, const platform::TAtPath& source, const platform::TAtPath& destination);

// Asks for a new password and cipher choices when the host's options say so,
// then seals source into destination. The ciphertext goes to a temporary file
// beside the destination, is flushed to the medium and renamed over it, so the
// old destination stays whole until the new one is complete. Raises
// EDataFileError on any failure.
//
// A session seals bytes it wrote itself beside a data file in a folder that
// others may write to: Source then names the file that must be read (a file
// of ours; anything else at the name is refused as a read failure), and
// WipeReplaced overwrites the old destination's blocks with zeros once the
// new ciphertext has replaced it (an import: the old destination is the
// plain file).
struct TSealOptions {
    bool OwnSource = false;
    std::optional<platform::TFileId> Source;
    bool WipeReplaced = false;
};
void Encrypt(TDataFileHost& host, const platform::TAtPath& source, const platform::TAtPath& destination,
             const TSealOptions& options = {});

// Sees each plain piece in order, before it is sealed, then an empty piece
// (nullptr, 0) at the end of the content.
using TPlainPieceFn = std::function<void(const std::uint8_t* data, std::size_t size)>;

// Seals what source delivers until its end (standard input: the size is not
// known before), piece by piece, into destination as Encrypt does (a
// temporary beside it, flushed, then renamed over it): with compress, as one
// zlib stream deflated on the way. Nothing plain is written anywhere. Asks
// for no changes. inspect, when given, sees the plain pieces first; what it
// raises stops the sealing with nothing changed. When size is given (a
// file), the source holds that many bytes: a content that large is
// compressed as CompressFile does (see CompressStream), and progress is
// reported to the host against it; else with a total of 0 (not known).
// Raises EDataFileError on a failure or a content of 4 GiB or more. Returns
// the count of plain bytes sealed.
std::uint64_t EncryptStream(TDataFileHost& host, platform::TStream& source, const std::string& destination,
                            bool compress, const TPlainPieceFn& inspect = {},
                            const std::optional<std::int64_t>& size = {});

} // namespace quillock::datafile
