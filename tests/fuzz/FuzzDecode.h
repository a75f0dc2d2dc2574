// What the decompression fuzz targets share: reading a decoder to its end,
// bounded so that a small input that inflates hugely stays quick.
#pragma once

#include "zstream/ZLib.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillock::fuzz {

constexpr std::size_t MaxOutput = 1 << 22;

// How a bounded read ended: at the stream's end, at MaxOutput, or by an
// EZDecompressionError.
enum class TReadEnd { End, Bound, Raised };

// Appends what decoder gives to out, in pieces, until one of the ends above.
template <typename TDecoder> TReadEnd ReadBounded(TDecoder& decoder, std::vector<std::uint8_t>& out) {
    std::uint8_t piece[4096];
    try {
        while (out.size() < MaxOutput) {
            const std::int64_t got = decoder.Read(piece, sizeof piece);
            if (got == 0) {
                return TReadEnd::End;
            }
            out.insert(out.end(), piece, piece + got);
        }
    } catch (const zstream::EZDecompressionError&) {
        return TReadEnd::Raised;
    }
    return TReadEnd::Bound;
}

} // namespace quillock::fuzz
