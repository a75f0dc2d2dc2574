// Stream wrappers over zlib: buffering, level mapping, error texts and the
// seek rules of the decompressor.
#include "zstream/ZLib.h"

#include "platform/AlignedBuffer.h"
#include "platform/Wipe.h"
#include "zstream/PiecePairs.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace quillock::zstream {
namespace {

// The interface version handed to zlib's initialisers. zlib accepts any
// version with the same major number and checks the record size separately.
constexpr const char* ZLibInterfaceVersion = "1.1.4";
constexpr const char* InvalidOperation = "Invalid ZStream operation!";
// zlib counts in unsigned 32-bit values; larger transfers go in pieces.
constexpr std::int64_t MaxZPiece = std::int64_t{1} << 30;
constexpr std::int64_t ScratchSize = 8192;

// The header in front of every block of WipingZAlloc: the block's size.
struct alignas(std::max_align_t) TBlockHeader {
    std::size_t Size;
};

// Every zlib stream here allocates through the wiping allocator.
void UseWipingAllocator(z_stream& zrec) {
    zrec.zalloc = &WipingZAlloc;
    zrec.zfree = &WipingZFree;
    zrec.opaque = Z_NULL;
}

int CCheck(int code) {
    if (code < 0) {
        throw EZCompressionError(ZLibErrorText(code));
    }
    return code;
}

int DCheck(int code) {
    if (code < 0) {
        throw EZDecompressionError(ZLibErrorText(code));
    }
    return code;
}

int ZLevel(TCompressionLevel level) {
    switch (level) {
    case TCompressionLevel::clNone:
        return Z_NO_COMPRESSION;
    case TCompressionLevel::clFastest:
        return Z_BEST_SPEED;
    case TCompressionLevel::clDefault:
        return Z_DEFAULT_COMPRESSION;
    case TCompressionLevel::clMax:
        return Z_BEST_COMPRESSION;
    }
    throw EZCompressionError(ZLibErrorText(Z_STREAM_ERROR));
}

// The zlib header deflate writes for level (its level field included), so
// that a stream made in pieces starts as one made in a single run.
std::uint16_t ZLibHeader(int zlevel) {
    if (zlevel == Z_DEFAULT_COMPRESSION) {
        zlevel = 6;
    }
    const unsigned levelFlags = zlevel < 2 ? 0 : zlevel < 6 ? 1 : zlevel == 6 ? 2 : 3;
    unsigned header = ((Z_DEFLATED + ((MAX_WBITS - 8) << 4)) << 8) | (levelFlags << 6);
    header += 31 - header % 31;
    return static_cast<std::uint16_t>(header);
}

// The longest dictionary deflate uses: its window.
constexpr std::int64_t DictionarySize = std::int64_t{1} << MAX_WBITS;

// Replaces buffer by one of size bytes that starts with its first keep bytes.
void Grow(platform::TAlignedBuffer& buffer, std::size_t size, std::size_t keep) {
    platform::TAlignedBuffer bigger(size);
    std::copy_n(buffer.Data(), keep, bigger.Data());
    buffer = std::move(bigger); // the old content is wiped as it goes
}

// One piece of the content and what deflating it gave: a raw deflate stream
// (no zlib header or trailer) that ends on a byte boundary.
class TDeflatePiece final : public TPieceBuffers<DictionarySize> {
public:
    // The buffers come first: once deflate is set up, nothing may throw here.
    explicit TDeflatePiece(int zlevel) {
        UseWipingAllocator(FZRec);
        CCheck(deflateInit2_(&FZRec, zlevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, ZLibInterfaceVersion,
                             static_cast<int>(sizeof(z_stream))));
    }
    ~TDeflatePiece() { deflateEnd(&FZRec); }

    // Deflates the piece; safe on another thread than the one that loaded it.
    void Deflate() {
        CCheck(deflateReset(&FZRec));
        if (FDictionary > 0) {
            CCheck(deflateSetDictionary(&FZRec, FIn.Data(), static_cast<uInt>(FDictionary)));
        }
        FZRec.next_in = FIn.Data() + FDictionary;
        FZRec.avail_in = static_cast<uInt>(FLength);
        const int flush = FLast ? Z_FINISH : Z_SYNC_FLUSH;
        std::int64_t produced = 0;
        for (;;) {
            FZRec.next_out = FOut.Data() + produced;
            FZRec.avail_out = static_cast<uInt>(static_cast<std::int64_t>(FOut.Size()) - produced);
            const int result = CCheck(deflate(&FZRec, flush));
            produced = static_cast<std::int64_t>(FOut.Size()) - FZRec.avail_out;
            // Done once the last piece reached its end, or another left
            // output room after its flush.
            if (FLast ? result == Z_STREAM_END : FZRec.avail_out > 0) {
                break;
            }
            if (FZRec.avail_out > 0) {
                throw EZCompressionError(ZLibErrorText(Z_BUF_ERROR));
            }
            Grow(FOut, FOut.Size() * 2, static_cast<std::size_t>(produced));
        }
        FZRec.next_in = Z_NULL;
        FProduced = produced;
        FAdler = adler32_z(adler32_z(0, Z_NULL, 0), FIn.Data() + FDictionary, static_cast<z_size_t>(FLength));
    }

private:
    z_stream FZRec{};
};

} // namespace

voidpf WipingZAlloc(voidpf /*opaque*/, uInt items, uInt size) {
    const std::size_t itemSize = size;
    if (itemSize != 0 && items > (SIZE_MAX - sizeof(TBlockHeader)) / itemSize) {
        return Z_NULL;
    }
    const std::size_t bytes = static_cast<std::size_t>(items) * itemSize;
    void* block = std::malloc(sizeof(TBlockHeader) + bytes);
    if (block == nullptr) {
        return Z_NULL;
    }
    static_cast<TBlockHeader*>(block)->Size = bytes;
    return static_cast<unsigned char*>(block) + sizeof(TBlockHeader);
}

void* WipeZBlock(voidpf address) noexcept {
    auto* header = reinterpret_cast<TBlockHeader*>(static_cast<unsigned char*>(address) - sizeof(TBlockHeader));
    platform::SecureZero(address, header->Size);
    return header;
}

void WipingZFree(voidpf /*opaque*/, voidpf address) {
    if (address != nullptr) {
        std::free(WipeZBlock(address));
    }
}

std::string ZLibErrorText(int code) {
    switch (code) {
    case Z_ERRNO:
        return "file error";
    case Z_STREAM_ERROR:
        return "stream error";
    case Z_DATA_ERROR:
        return "data error";
    case Z_MEM_ERROR:
        return "insufficient memory";
    case Z_BUF_ERROR:
        return "buffer error";
    case Z_VERSION_ERROR:
        return "incompatible version";
    default:
        return "unknown error";
    }
}

// ---- TCustomZStream ----

TCustomZStream::TCustomZStream(platform::TStream& strm)
    : FStrm(strm), FStrmPos(strm.Position()), FBuffer(std::make_unique<std::uint8_t[]>(ZBufferSize)) {
    UseWipingAllocator(FZRec);
}

TCustomZStream::~TCustomZStream() {
    platform::SecureZero(FBuffer.get(), ZBufferSize);
}

void TCustomZStream::Progress() {
    if (FOnProgress) {
        FOnProgress(*this);
    }
}

void TCustomZStream::RestorePosition() {
    if (FStrm.Position() != FStrmPos) {
        FStrm.SetPosition(FStrmPos);
    }
}

// ---- TZCompressionStream ----

TZCompressionStream::TZCompressionStream(platform::TStream& dest, TCompressionLevel compressionLevel)
    : TCustomZStream(dest) {
    FZRec.next_out = FBuffer.get();
    FZRec.avail_out = static_cast<uInt>(ZBufferSize);
    CCheck(deflateInit_(&FZRec, ZLevel(compressionLevel), ZLibInterfaceVersion, static_cast<int>(sizeof(z_stream))));
}

TZCompressionStream::~TZCompressionStream() {
    try {
        Finish();
    } catch (...) {
        // A destructor cannot report; callers that need the outcome call Finish.
    }
}

void TZCompressionStream::Finish() {
    if (FFinished) {
        return;
    }
    FFinished = true;
    // deflateEnd runs whatever happens below.
    struct TEnd {
        z_stream& ZRec;
        ~TEnd() { deflateEnd(&ZRec); }
    } end{FZRec};

    FZRec.next_in = Z_NULL;
    FZRec.avail_in = 0;
    RestorePosition();
    while (CCheck(deflate(&FZRec, Z_FINISH)) != Z_STREAM_END) {
        FStrm.WriteBuffer(FBuffer.get(), ZBufferSize - FZRec.avail_out);
        FZRec.next_out = FBuffer.get();
        FZRec.avail_out = static_cast<uInt>(ZBufferSize);
    }
    if (FZRec.avail_out < ZBufferSize) {
        FStrm.WriteBuffer(FBuffer.get(), ZBufferSize - FZRec.avail_out);
    }
    FStrmPos = FStrm.Position();
}

void DeflateInPieces(platform::TStream& source, std::int64_t count, platform::TStream& dest, TCompressionLevel level) {
    const int zlevel = ZLevel(level);
    const std::uint16_t header = ZLibHeader(zlevel);
    const std::uint8_t head[2] = {static_cast<std::uint8_t>(header >> 8), static_cast<std::uint8_t>(header & 0xFF)};
    TDeflatePiece first(zlevel);
    TDeflatePiece second(zlevel);
    DeflatePiecePairs(source, count, dest, head, first, second);
}

std::int64_t TZCompressionStream::Read(void* /*buffer*/, std::int64_t /*count*/) {
    throw EZCompressionError(InvalidOperation);
}

std::int64_t TZCompressionStream::Write(const void* buffer, std::int64_t count) {
    if (FFinished) {
        throw EZCompressionError(InvalidOperation);
    }
    if (count <= 0) {
        return 0;
    }
    RestorePosition();
    const auto* bytes = static_cast<const Bytef*>(buffer);
    std::int64_t left = count;
    while (left > 0) {
        const std::int64_t piece = std::min(left, MaxZPiece);
        FZRec.next_in = const_cast<Bytef*>(bytes);
        FZRec.avail_in = static_cast<uInt>(piece);
        while (FZRec.avail_in > 0) {
            CCheck(deflate(&FZRec, Z_NO_FLUSH));
            if (FZRec.avail_out == 0) {
                FStrm.WriteBuffer(FBuffer.get(), ZBufferSize);
                FZRec.next_out = FBuffer.get();
                FZRec.avail_out = static_cast<uInt>(ZBufferSize);
                FStrmPos = FStrm.Position();
                Progress();
            }
        }
        bytes += piece;
        left -= piece;
    }
    FZRec.next_in = Z_NULL;
    return count;
}

std::int64_t TZCompressionStream::Seek(std::int64_t offset, platform::TSeekOrigin origin) {
    if (offset == 0 && origin == platform::TSeekOrigin::soCurrent) {
        return static_cast<std::int64_t>(FZRec.total_in);
    }
    throw EZCompressionError(InvalidOperation);
}

// ---- TZDecompressionStream ----

TZDecompressionStream::TZDecompressionStream(platform::TStream& source, TDamagePolicy policy)
    : TCustomZStream(source), FPolicy(policy) {
    FZRec.next_in = FBuffer.get();
    FZRec.avail_in = 0;
    DCheck(inflateInit_(&FZRec, ZLibInterfaceVersion, static_cast<int>(sizeof(z_stream))));
}

TZDecompressionStream::~TZDecompressionStream() {
    inflateEnd(&FZRec);
}

std::int64_t TZDecompressionStream::Read(void* buffer, std::int64_t count) {
    if (count <= 0 || FComplete || !FDamage.empty()) {
        return 0;
    }
    RestorePosition();
    auto* out = static_cast<Bytef*>(buffer);
    FZRec.next_out = out;
    try {
        while (FZRec.next_out < out + count && !FComplete) {
            const std::int64_t piece = std::min(count - (FZRec.next_out - out), MaxZPiece);
            FZRec.avail_out = static_cast<uInt>(piece);
            while (FZRec.avail_out > 0 && !FComplete) {
                if (FZRec.avail_in == 0) {
                    const std::int64_t got = FStrm.Read(FBuffer.get(), ZBufferSize);
                    if (got <= 0) {
                        // The input ended inside the zlib stream: its tail is
                        // missing and its Adler-32 was never compared.
                        throw EZDecompressionError(CutShortText);
                    }
                    FZRec.next_in = FBuffer.get();
                    FZRec.avail_in = static_cast<uInt>(got);
                    FStrmPos = FStrm.Position();
                    Progress();
                }
                const uInt inBefore = FZRec.avail_in;
                const uInt outBefore = FZRec.avail_out;
                const int result = DCheck(inflate(&FZRec, Z_NO_FLUSH));
                if (result == Z_NEED_DICT) {
                    // A preset dictionary is never used by this format; waiting
                    // for one would loop for ever.
                    throw EZDecompressionError(ZLibErrorText(Z_DATA_ERROR));
                }
                if (result == Z_STREAM_END) {
                    FComplete = true;
                } else if (FZRec.avail_in == inBefore && FZRec.avail_out == outBefore) {
                    throw EZDecompressionError(ZLibErrorText(Z_BUF_ERROR));
                }
            }
        }
    } catch (const EZDecompressionError& e) {
        if (FPolicy == TDamagePolicy::dpRaise) {
            throw;
        }
        // Salvage: keep what was decoded before the damage and stop there.
        FDamage = e.what();
        FZRec.avail_in = 0;
        return FZRec.next_out - out;
    }
    if (FComplete && FZRec.avail_in > 0) {
        // Give back the input that follows the end of the zlib stream.
        FStrmPos -= FZRec.avail_in;
        FStrm.SetPosition(FStrmPos);
        FZRec.avail_in = 0;
    }
    return FZRec.next_out - out;
}

std::int64_t TZDecompressionStream::Write(const void* /*buffer*/, std::int64_t /*count*/) {
    throw EZDecompressionError(InvalidOperation);
}

std::int64_t TZDecompressionStream::Seek(std::int64_t offset, platform::TSeekOrigin origin) {
    using platform::TSeekOrigin;
    const auto totalOut = static_cast<std::int64_t>(FZRec.total_out);
    if (offset == 0 && origin == TSeekOrigin::soBeginning) {
        DCheck(inflateReset(&FZRec));
        FZRec.next_in = FBuffer.get();
        FZRec.avail_in = 0;
        FComplete = false;
        FDamage.clear();
        FStrm.SetPosition(0);
        FStrmPos = 0;
    } else if ((offset >= 0 && origin == TSeekOrigin::soCurrent) ||
               (offset > totalOut && origin == TSeekOrigin::soBeginning)) {
        if (origin == TSeekOrigin::soBeginning) {
            offset -= totalOut;
        }
        if (offset > 0) {
            std::uint8_t scratch[ScratchSize];
            try {
                for (std::int64_t i = 0; i < offset / ScratchSize; ++i) {
                    ReadBuffer(scratch, ScratchSize);
                }
                ReadBuffer(scratch, offset % ScratchSize);
            } catch (...) {
                platform::SecureZero(scratch, sizeof scratch);
                throw;
            }
            platform::SecureZero(scratch, sizeof scratch);
        }
    } else if (offset == 0 && origin == TSeekOrigin::soEnd) {
        std::uint8_t scratch[ScratchSize];
        try {
            while (Read(scratch, ScratchSize) > 0) {
            }
        } catch (...) {
            platform::SecureZero(scratch, sizeof scratch);
            throw;
        }
        platform::SecureZero(scratch, sizeof scratch);
    } else {
        throw EZDecompressionError(InvalidOperation);
    }
    return static_cast<std::int64_t>(FZRec.total_out);
}

} // namespace quillock::zstream
