// Unsealing a data file piece by piece, with nothing plain written to disk.
#pragma once

#include "datafile/DataFileHost.h"
#include "datafile/Messages.h"
#include "platform/Files.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quillock::datafile {

// Plain bytes are moved in pieces of this size, so memory stays bounded.
inline constexpr std::size_t PlainPieceSize = 64 * 1024;

// A buffer for plain bytes, wiped when it goes.
struct TPlainBuffer {
    std::vector<std::uint8_t> Bytes;
    explicit TPlainBuffer(std::size_t size) : Bytes(size) {}
    TPlainBuffer(const TPlainBuffer&) = delete;
    TPlainBuffer& operator=(const TPlainBuffer&) = delete;
    ~TPlainBuffer();
};

// Where unsealed bytes go, in order.
class TContentSink {
public:
    virtual ~TContentSink() = default;
    virtual void Put(const std::uint8_t* data, std::size_t size) = 0;
    // Told before the first piece of a content that is decompressed.
    virtual void Inflating() {}
};

// What a deciphered content is, by the test a session makes before it edits.
enum class TContentKind {
    ckEditorFile, // its first line names the editor
    ckCompressed, // a zlib stream, as far as its first piece goes
    ckEmpty,      // nothing at all: any password opens it, a session cannot edit it
    ckNeither,    // neither: a wrong password or choice, most likely, or bytes sealed raw
};

// What the content of a data file turned out to be.
struct TUnsealed {
    bool Compressed = false;
    TContentKind Kind = TContentKind::ckEmpty;
    std::uint64_t Bytes = 0; // plain bytes, decompressed when compressed
};

// The test on the first piece of a content (at most PlainPieceSize bytes).
[[nodiscard]] TContentKind ContentKindOf(const std::uint8_t* first, std::size_t size);
// The same test on the first piece of a plain file; a read failure raises.
[[nodiscard]] TContentKind FileContentKind(const platform::TAtPath& path);
// The same test on the first piece of sealed, deciphered in memory under the
// host's password and choices (nothing is written; the rest is not read). A
// file that cannot be read is refused as Decrypt refuses it.
[[nodiscard]] TContentKind SealedContentKind(TDataFileHost& host, const std::string& sealed);

// Why a content that is neither does not open, naming the choices tried:
// "wrong password, or the file was sealed with another cipher or digest: now
// rijndael/ripemd160".
[[nodiscard]] std::string NeitherContentText(int algorithm, int hash);

// Unseals sealed under the host's password and choices into sink: a plain
// content as it is, a compressed content decompressed (raw: as it is). A
// wrong password or damaged content raises EDataFileError with
// DecryptionErrorText; other failures (reading, the sink) raise.
// The deciphering reports progress to the host.
TUnsealed UnsealInto(TDataFileHost& host, const platform::TAtPath& sealed, bool raw, TContentSink& sink);

// What UnsealToFile does with a content that is not stored plain.
enum class TUnsealMode {
    umInflate, // decompressed; damage is a decryption error
    umRaw,     // kept as it is
    umSalvage, // decompressed as far as it decodes; damage ends it, reported in the result
};

// What UnsealToFile wrote.
struct TUnsealedFile {
    TUnsealed Content;
    bool Complete = true; // umSalvage: the whole stream decoded (or nothing needed decoding)
    std::string Damage;   // umSalvage: why decoding stopped early
};

// Where UnsealToFile writes before it renames: the destination's name with
// ".qlt" appended.
[[nodiscard]] std::string UnsealingTempName(const std::string& destination);

// Unseals sealed as UnsealInto does, into a file: the bytes stream into a
// temporary beside destination, created new and owner-only, which is
// flushed and renamed over destination only once it is whole. Nothing else
// is written: no deciphered copy of a compressed content. On any failure or
// signal the temporary is wiped (through its own descriptor's identity) and
// destination is as it was. Decompressing stops, reported and terminated
// through the host, once the content passes 4 GiB or would leave too little
// free space (see TFreeSpaceGuard). A salvage that recovered nothing leaves
// no file either (Content.Bytes is 0). Other failures raise.
TUnsealedFile UnsealToFile(TDataFileHost& host, const std::string& sealed, const std::string& destination,
                           TUnsealMode mode);

} // namespace quillock::datafile
