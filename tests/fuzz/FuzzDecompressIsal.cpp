// Fuzz target: the igzip decoder against zlib's on arbitrary bytes. Nothing
// may crash or loop; whatever zlib decodes whole, igzip decodes whole to the
// same bytes, and igzip never takes for whole a stream zlib refuses.
#include "FuzzDecode.h"
#include "zstream/Isal.h"
#include "zstream/ZLib.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using quillock::fuzz::MaxOutput;
using quillock::platform::TMemoryStream;

template <typename TDecoder> std::vector<std::uint8_t> Decode(TDecoder& decoder, bool& whole) {
    std::vector<std::uint8_t> out;
    whole = quillock::fuzz::ReadBounded(decoder, out) == quillock::fuzz::TReadEnd::End;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> input(data, data + size);
    TMemoryStream zlibSource(input);
    quillock::zstream::TZDecompressionStream zlib(zlibSource);
    TMemoryStream isalSource(input);
    quillock::zstream::TIsalInflater isal(isalSource);
    bool zlibWhole = false;
    bool isalWhole = false;
    const std::vector<std::uint8_t> byZlib = Decode(zlib, zlibWhole);
    const std::vector<std::uint8_t> byIsal = Decode(isal, isalWhole);
    if (isalWhole != isal.Complete()) {
        std::abort(); // the end of the stream is its end
    }
    if (zlibWhole != isalWhole || (zlibWhole && byZlib != byIsal)) {
        std::abort();
    }
    // Cut off by the bound: both agree as far as both went.
    const std::size_t common = std::min(byZlib.size(), byIsal.size());
    if (byZlib.size() >= MaxOutput && byIsal.size() >= MaxOutput &&
        !std::equal(byZlib.begin(), byZlib.begin() + static_cast<std::ptrdiff_t>(common), byIsal.begin())) {
        std::abort();
    }
    return 0;
}
