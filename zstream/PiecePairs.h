// The two-core driver of the piece scheme, shared by the zlib and igzip
// deflaters: pieces loaded in order, deflated two at a time, stored in order.
#pragma once

#include "platform/AlignedBuffer.h"
#include "platform/Stream.h"
#include "zstream/ZLib.h"

#include <algorithm>
#include <cstdint>
#include <future>
#include <system_error>
#include <thread>

#include <zlib.h>

namespace quillock::zstream {

// What every piece type holds: its bytes after the end of the previous piece
// (the dictionary), the raw deflate data it gives and their checks. A piece
// type derives from it and writes Deflate, which fills FOut, FProduced and
// FAdler. Dictionary: how many bytes of the previous piece the deflater
// looks back at.
template <std::int64_t Dictionary> class TPieceBuffers {
public:
    TPieceBuffers()
        : FIn(static_cast<std::size_t>(Dictionary + DeflatePieceSize)),
          FOut(compressBound(static_cast<uLong>(DeflatePieceSize)) + 64) {}
    TPieceBuffers(const TPieceBuffers&) = delete;
    TPieceBuffers& operator=(const TPieceBuffers&) = delete;

    // Reads the next length bytes from source; the dictionary is the end of
    // previous (nothing for the first piece).
    void Load(platform::TStream& source, std::int64_t length, const TPieceBuffers* previous, bool last) {
        FDictionary = previous == nullptr ? 0 : std::min(previous->FLength, Dictionary);
        if (FDictionary > 0) {
            std::copy_n(previous->FIn.Data() + previous->FDictionary + previous->FLength - FDictionary, FDictionary,
                        FIn.Data());
        }
        source.ReadBuffer(FIn.Data() + FDictionary, length);
        FLength = length;
        FLast = last;
    }

    // Appends the compressed piece to dest and its check to adler.
    void Store(platform::TStream& dest, uLong& adler) const {
        dest.WriteBuffer(FOut.Data(), FProduced);
        adler = adler32_combine(adler, FAdler, static_cast<z_off_t>(FLength));
    }

protected:
    ~TPieceBuffers() = default;

    platform::TAlignedBuffer FIn;  // the dictionary, then the piece
    platform::TAlignedBuffer FOut; // the raw deflate data
    std::int64_t FDictionary = 0;
    std::int64_t FLength = 0;
    std::int64_t FProduced = 0;
    bool FLast = false;
    uLong FAdler = 0;
};

// Writes one zlib stream of count bytes of source to dest: the two header
// bytes, the pieces (at least one, so an empty content is one empty last
// piece) and the combined Adler-32. A piece type offers
//   Load(source, length, previous, last)  reads its bytes, the dictionary
//                                         being the end of previous;
//   Deflate()                             safe on another thread;
//   Store(dest, adler)                    appends its data and check.
// The output depends on the pieces' deflater only, never on the threads.
template <typename TPiece>
void DeflatePiecePairs(platform::TStream& source, std::int64_t count, platform::TStream& dest,
                       const std::uint8_t (&head)[2], TPiece& first, TPiece& second) {
    dest.WriteBuffer(head, sizeof head);
    const std::int64_t pieces = count == 0 ? 1 : (count + DeflatePieceSize - 1) / DeflatePieceSize;
    const bool twoCores = std::thread::hardware_concurrency() >= 2;
    uLong adler = adler32_z(0, Z_NULL, 0);
    std::int64_t left = count;
    const TPiece* previous = nullptr;
    for (std::int64_t index = 0; index < pieces; index += 2) {
        const std::int64_t firstLength = std::min(left, DeflatePieceSize);
        first.Load(source, firstLength, previous, index + 1 == pieces);
        left -= firstLength;
        const bool pair = index + 1 < pieces;
        if (pair) {
            const std::int64_t secondLength = std::min(left, DeflatePieceSize);
            second.Load(source, secondLength, &first, index + 2 == pieces);
            left -= secondLength;
        }
        // The first piece of the pair on a helper thread, the second here.
        // The future is declared after the pieces (the caller's): leaving the
        // scope early waits for the helper before they go.
        std::future<void> helper;
        if (pair && twoCores) {
            try {
                helper = std::async(std::launch::async, [&first] { first.Deflate(); });
            } catch (const std::system_error&) {
                // No thread to be had: both pieces are deflated here.
            }
        }
        if (!helper.valid()) {
            first.Deflate();
        }
        if (pair) {
            second.Deflate();
        }
        if (helper.valid()) {
            helper.get();
        }
        first.Store(dest, adler);
        if (pair) {
            second.Store(dest, adler);
        }
        previous = pair ? &second : &first;
    }
    const std::uint8_t trailer[4] = {static_cast<std::uint8_t>(adler >> 24), static_cast<std::uint8_t>(adler >> 16),
                                     static_cast<std::uint8_t>(adler >> 8), static_cast<std::uint8_t>(adler)};
    dest.WriteBuffer(trailer, sizeof trailer);
}

} // namespace quillock::zstream
