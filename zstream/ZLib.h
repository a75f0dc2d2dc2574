// Stream wrappers over zlib: a write-only compressor and a read-only
// decompressor that sit on top of another stream holding the zlib data.
#pragma once

#include "platform/Stream.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include <zlib.h>

namespace quillock::zstream {

class EZLibError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
class EZCompressionError : public EZLibError {
public:
    using EZLibError::EZLibError;
};
class EZDecompressionError : public EZLibError {
public:
    using EZLibError::EZLibError;
};

// Compression levels offered by the compressor, mapped to zlib's 0, 1, -1 and 9.
enum class TCompressionLevel { clNone = 0, clFastest = 1, clDefault = 2, clMax = 3 };

// The text raised for a negative zlib code.
[[nodiscard]] std::string ZLibErrorText(int code);

// The allocator every zlib stream here is given. zlib's window, hash chains
// and pending output (deflate) and its window (inflate) hold plain text, so
// each block is wiped before it is freed: it carries its size in a header in
// front (zlib's free is told none), and stays aligned as malloc aligns.
[[nodiscard]] voidpf WipingZAlloc(voidpf opaque, uInt items, uInt size);
void WipingZFree(voidpf opaque, voidpf address);
// What WipingZFree does before freeing: zeroes the block zlib was given and
// returns the start of its allocation, the one address std::free takes.
[[nodiscard]] void* WipeZBlock(voidpf address) noexcept;

// Size of the buffer between the wrapper and the underlying stream.
inline constexpr std::int64_t ZBufferSize = 65536;

class TCustomZStream : public platform::TStream {
public:
    using TProgressEvent = std::function<void(TCustomZStream&)>;

    ~TCustomZStream() override;
    TCustomZStream(const TCustomZStream&) = delete;
    TCustomZStream& operator=(const TCustomZStream&) = delete;

    // Called after each full output buffer passed on (compressor) and each
    // input refill (decompressor).
    void SetOnProgress(TProgressEvent onProgress) { FOnProgress = std::move(onProgress); }

protected:
    // The underlying stream is not owned; it must outlive the wrapper.
    explicit TCustomZStream(platform::TStream& strm);

    void Progress();
    // Puts the underlying stream back where the wrapper last left it.
    void RestorePosition();

    platform::TStream& FStrm;
    std::int64_t FStrmPos;
    TProgressEvent FOnProgress;
    z_stream FZRec{};
    std::unique_ptr<std::uint8_t[]> FBuffer;
};

class TZCompressionStream final : public TCustomZStream {
public:
    TZCompressionStream(platform::TStream& dest, TCompressionLevel compressionLevel);
    // Finishes the zlib stream if Finish was not called; errors are swallowed
    // there, so callers that care call Finish themselves.
    ~TZCompressionStream() override;

    // Writes the rest of the zlib stream (everything deflate still holds and
    // the Adler-32 trailer) and ends zlib's state. Further writes raise.
    void Finish();

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    // Only Seek(0, soCurrent) is allowed: it returns the uncompressed bytes written so far.
    std::int64_t Seek(std::int64_t offset, platform::TSeekOrigin origin) override;

private:
    bool FFinished = false;
};

// What the decompressor does with damaged input: a zlib stream whose input
// ends before its proper end, or data zlib rejects.
enum class TDamagePolicy {
    // Raise EZDecompressionError: the normal reading of a data file, so that a
    // content with its tail missing is never taken for the whole of it.
    dpRaise,
    // Stop there: every read returns 0 from then on and Damage() says what was
    // wrong. For recovering what can still be decoded.
    dpSalvage,
};

// The text raised when the input ends before the end of the zlib stream.
inline constexpr const char* CutShortText = "compressed data cut short";

class TZDecompressionStream final : public TCustomZStream {
public:
    explicit TZDecompressionStream(platform::TStream& source, TDamagePolicy policy = TDamagePolicy::dpRaise);
    ~TZDecompressionStream() override;

    // Up to count uncompressed bytes; 0 after the end of the zlib stream.
    // Input read past the end of the zlib stream is given back to the
    // underlying stream. Input that ends before the end of the zlib stream
    // raises EZDecompressionError (CutShortText), as does data zlib rejects,
    // unless the policy is dpSalvage.
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    // Rewind (0 from the beginning), skip forward, or skip to the end; returns
    // the uncompressed position. Anything else raises.
    std::int64_t Seek(std::int64_t offset, platform::TSeekOrigin origin) override;

    // True once the end of the zlib stream (with its Adler-32 check) was read.
    [[nodiscard]] bool Complete() const noexcept { return FComplete; }
    // Under dpSalvage: empty while nothing was wrong, else the error's text
    // (CutShortText when the input ended early).
    [[nodiscard]] const std::string& Damage() const noexcept { return FDamage; }

private:
    TDamagePolicy FPolicy;
    bool FComplete = false;
    std::string FDamage;
};

// Pieces of this many plain bytes are deflated independently by
// DeflateInPieces (the last may be shorter).
inline constexpr std::int64_t DeflatePieceSize = std::int64_t{1} << 20;

// Compresses count bytes read from source into ONE ordinary zlib stream
// written to dest, which any inflater reads. The content is cut into pieces of
// DeflatePieceSize; each is deflated on its own (two at a time, on two
// threads when the machine has two cores) with the previous piece's last
// 32 KiB as its dictionary and ends in a sync flush, the last one in the end
// of the stream; the Adler-32 checks of the pieces are combined. The output
// depends on the input and the level only, never on the threads. Memory is
// bounded (two pieces in flight) and every buffer is wiped. A source that
// holds fewer than count bytes, and failures to read or write, raise.
void DeflateInPieces(platform::TStream& source, std::int64_t count, platform::TStream& dest, TCompressionLevel level);

} // namespace quillock::zstream
