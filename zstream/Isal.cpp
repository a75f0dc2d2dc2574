// The accelerated deflate and inflate of compressed contents over igzip: the
// two-core piece scheme of the zlib path, and a decoder with zlib's rules.
#include "zstream/Isal.h"

#include "platform/AlignedBuffer.h"
#include "zstream/PiecePairs.h"
#include "zstream/ZLib.h"

#include <algorithm>
#include <stdexcept>

#include <zlib.h>

#ifdef QUILLOCK_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#endif

namespace quillock::zstream {

#ifdef QUILLOCK_HAVE_ISAL

namespace {

// The longest dictionary igzip uses: its window, as zlib's.
constexpr std::int64_t DictionarySize = ISAL_DEF_HIST_SIZE;
// Compressed bytes read from the source at a time.
constexpr std::int64_t InputBufferSize = std::int64_t{1} << 16;
// The stream zlib writes for an empty content at level 1.
constexpr std::uint8_t EmptyStream[] = {0x78, 0x01, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};

// igzip's records hold plain text: they live in wiped buffers.
template <typename T> T* Record(platform::TAlignedBuffer& buffer) {
    return reinterpret_cast<T*>(buffer.Data());
}

// One piece of the content and what deflating it gave: raw deflate data (no
// zlib header or trailer) that ends on a byte boundary.
class TIsalPiece final : public TPieceBuffers<DictionarySize> {
public:
    TIsalPiece() : FStream(sizeof(isal_zstream)), FLevelBuffer(ISAL_DEF_LVL1_DEFAULT) {}

    // Deflates the piece; safe on another thread than the one that loaded it.
    void Deflate() {
        auto* stream = Record<isal_zstream>(FStream);
        isal_deflate_init(stream);
        stream->level = 1;
        stream->level_buf = FLevelBuffer.Data();
        stream->level_buf_size = static_cast<std::uint32_t>(FLevelBuffer.Size());
        stream->gzip_flag = IGZIP_DEFLATE;
        stream->hist_bits = 0; // the whole 32 KiB window
        stream->end_of_stream = FLast ? 1 : 0;
        stream->flush = FLast ? NO_FLUSH : SYNC_FLUSH;
        if (FDictionary > 0 &&
            isal_deflate_set_dict(stream, FIn.Data(), static_cast<std::uint32_t>(FDictionary)) != COMP_OK) {
            throw EZCompressionError(ZLibErrorText(Z_STREAM_ERROR));
        }
        stream->next_in = FIn.Data() + FDictionary;
        stream->avail_in = static_cast<std::uint32_t>(FLength);
        std::int64_t produced = 0;
        for (;;) {
            stream->next_out = FOut.Data() + produced;
            stream->avail_out = static_cast<std::uint32_t>(static_cast<std::int64_t>(FOut.Size()) - produced);
            if (isal_deflate(stream) != COMP_OK) {
                throw EZCompressionError(ZLibErrorText(Z_STREAM_ERROR));
            }
            produced = static_cast<std::int64_t>(FOut.Size()) - stream->avail_out;
            // Done once the last piece reached its end, or another took all
            // its input and left output room after its flush.
            if (FLast ? stream->internal_state.state == ZSTATE_END
                      : stream->avail_in == 0 && stream->avail_out > 0 &&
                            stream->internal_state.state == ZSTATE_NEW_HDR) {
                break;
            }
            if (stream->avail_out > 0) {
                throw EZCompressionError(ZLibErrorText(Z_BUF_ERROR));
            }
            platform::TAlignedBuffer bigger(FOut.Size() * 2);
            std::copy_n(FOut.Data(), produced, bigger.Data());
            FOut = std::move(bigger); // the old content is wiped as it goes
        }
        FProduced = produced;
        FAdler = isal_adler32(1, FIn.Data() + FDictionary, static_cast<std::uint64_t>(FLength));
    }

private:
    platform::TAlignedBuffer FStream;
    platform::TAlignedBuffer FLevelBuffer;
};

[[noreturn]] void DataError() {
    throw EZDecompressionError(ZLibErrorText(Z_DATA_ERROR));
}

} // namespace

bool IsalBuiltIn() noexcept {
    return true;
}

void IsalDeflateInPieces(platform::TStream& source, std::int64_t count, platform::TStream& dest) {
    if (count == 0) {
        dest.WriteBuffer(EmptyStream, sizeof EmptyStream);
        return;
    }
    const std::uint8_t head[2] = {0x78, 0x01}; // deflate, 32 KiB window, the fastest level
    TIsalPiece first;
    TIsalPiece second;
    DeflatePiecePairs(source, count, dest, head, first, second);
}

struct TIsalInflater::TState {
    explicit TState(platform::TStream& source)
        : Source(source), Input(static_cast<std::size_t>(InputBufferSize)), Inflate(sizeof(inflate_state)) {
        auto* state = Record<inflate_state>(Inflate);
        isal_inflate_init(state);
        // The header is judged here, as zlib judges it; igzip checks the
        // Adler-32 that follows the deflate data.
        state->crc_flag = ISAL_ZLIB_NO_HDR_VER;
        state->hist_bits = 0;
    }

    // Takes more input; false at the end of the source.
    bool Refill() {
        const std::int64_t got = Source.Read(Input.Data(), InputBufferSize);
        if (got <= 0) {
            return false;
        }
        auto* state = Record<inflate_state>(Inflate);
        state->next_in = Input.Data();
        state->avail_in = static_cast<std::uint32_t>(got);
        return true;
    }

    // The two header bytes: deflate, a window of at most 32 KiB, the check
    // over both, and no preset dictionary (never used by this format).
    void ReadHeader() {
        auto* state = Record<inflate_state>(Inflate);
        while (HeaderBytes < 2) {
            if (state->avail_in == 0 && !Refill()) {
                throw EZDecompressionError(CutShortText);
            }
            Header[HeaderBytes++] = *state->next_in++;
            --state->avail_in;
        }
        const unsigned cmf = Header[0];
        const unsigned flg = Header[1];
        if (((cmf << 8) | flg) % 31 != 0 || (cmf & 0x0F) != Z_DEFLATED || (cmf >> 4) + 8 > MAX_WBITS ||
            (flg & 0x20) != 0) {
            DataError();
        }
    }

    platform::TStream& Source;
    platform::TAlignedBuffer Input;   // compressed bytes
    platform::TAlignedBuffer Inflate; // igzip's state, its window included
    std::uint8_t Header[2] = {};
    int HeaderBytes = 0;
    bool Complete = false;
};

TIsalInflater::TIsalInflater(platform::TStream& source) : FState(std::make_unique<TState>(source)) {}

TIsalInflater::~TIsalInflater() = default;

bool TIsalInflater::Complete() const noexcept {
    return FState->Complete;
}

std::int64_t TIsalInflater::Read(void* buffer, std::int64_t count) {
    if (count <= 0 || FState->Complete) {
        return 0;
    }
    FState->ReadHeader();
    auto* state = Record<inflate_state>(FState->Inflate);
    auto* out = static_cast<std::uint8_t*>(buffer);
    // igzip counts in unsigned 32-bit values.
    count = std::min<std::int64_t>(count, std::int64_t{1} << 30);
    state->next_out = out;
    state->avail_out = static_cast<std::uint32_t>(count);
    while (state->avail_out > 0) {
        // igzip holds up to 8 bytes of input in its bit buffer: once the
        // source has ended it is called on until it stops making progress.
        const bool ended = state->avail_in == 0 && !FState->Refill();
        const std::uint32_t inBefore = state->avail_in;
        const std::uint32_t outBefore = state->avail_out;
        const int bitsBefore = state->read_in_length;
        const int result = isal_inflate(state);
        if (result < 0 || result == ISAL_NEED_DICT) {
            DataError();
        }
        if (state->block_state == ISAL_BLOCK_FINISH) {
            FState->Complete = true;
            break;
        }
        if (state->avail_in == inBefore && state->avail_out == outBefore && state->read_in_length == bitsBefore) {
            if (ended) {
                // The input ended inside the stream: its tail is missing and
                // its Adler-32 was never compared.
                throw EZDecompressionError(CutShortText);
            }
            if (inBefore > 0) {
                throw EZDecompressionError(ZLibErrorText(Z_BUF_ERROR));
            }
        }
    }
    return state->next_out - out;
}

#else // no igzip in this build

bool IsalBuiltIn() noexcept {
    return false;
}

void IsalDeflateInPieces(platform::TStream& /*source*/, std::int64_t /*count*/, platform::TStream& /*dest*/) {
    throw std::logic_error("this build has no igzip path");
}

struct TIsalInflater::TState {};

TIsalInflater::TIsalInflater(platform::TStream& /*source*/) {
    throw std::logic_error("this build has no igzip path");
}

TIsalInflater::~TIsalInflater() = default;

bool TIsalInflater::Complete() const noexcept {
    return false;
}

std::int64_t TIsalInflater::Read(void* /*buffer*/, std::int64_t /*count*/) {
    throw std::logic_error("this build has no igzip path");
}

#endif

} // namespace quillock::zstream
