// The accelerated deflate and inflate of compressed contents, over ISA-L's
// igzip: the same zlib streams as the zlib path writes and reads.
#pragma once

#include "platform/Stream.h"

#include <cstdint>
#include <memory>

namespace quillock::zstream {

// Whether this build carries the igzip path at all.
[[nodiscard]] bool IsalBuiltIn() noexcept;

// As DeflateInPieces at the fastest level, over igzip: ONE ordinary
// zlib stream (header 78 01, exact Adler-32) made of pieces of
// DeflatePieceSize plain bytes, each deflated on its own (two at a
// time on two cores) with the previous piece's last 32 KiB as its dictionary
// and ended in a sync flush, the last one in the end of the stream. The output
// depends on the input only; every buffer is wiped. An empty content gives the
// same 8 bytes as zlib. A source that holds fewer than count bytes, and
// failures to read or write, raise. Without igzip in the build it raises
// std::logic_error.
void IsalDeflateInPieces(platform::TStream& source, std::int64_t count, platform::TStream& dest);

// A read-only decoder of one zlib stream over igzip, with the reading rules
// of TZDecompressionStream under TDamagePolicy::dpRaise: the header
// is judged as zlib judges it, a preset dictionary, damaged data or a wrong
// Adler-32 raise EZDecompressionError ("data error"), and input that
// ends before the end of the stream raises it with CutShortText.
// Bytes after the end of the stream are ignored. The source is not owned.
class TIsalInflater {
public:
    explicit TIsalInflater(platform::TStream& source);
    ~TIsalInflater();
    TIsalInflater(const TIsalInflater&) = delete;
    TIsalInflater& operator=(const TIsalInflater&) = delete;

    // Up to count decoded bytes; 0 after the end of the stream.
    std::int64_t Read(void* buffer, std::int64_t count);
    [[nodiscard]] bool Complete() const noexcept;

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

} // namespace quillock::zstream
