// Tests of the zlib stream layer, checked against zlib's own one-call
// routines (compress2 / uncompress) as the independent reference.
#include "zstream/ZLib.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>
#include <zlib.h>

namespace quillock::zstream {
namespace {

using Bytes = std::vector<std::uint8_t>;
using platform::TMemoryStream;
using platform::TSeekOrigin;
using tests::ZlibCompress;

// Text-like data that compresses, with some variation so deflate has work to do.
Bytes SampleData(std::size_t size, std::uint32_t seed = 1) {
    return tests::SampleText(size, seed, "abcdefgh \r\n");
}

// Data that does not compress at all.
Bytes NoiseData(std::size_t size) {
    Bytes data(size);
    std::uint64_t state = 88172645463325252ull;
    for (auto& byte : data) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        byte = static_cast<std::uint8_t>(state);
    }
    return data;
}

Bytes Compress(const Bytes& plain, TCompressionLevel level) {
    TMemoryStream out;
    TZCompressionStream compressor(out, level);
    compressor.WriteBuffer(plain.data(), static_cast<std::int64_t>(plain.size()));
    compressor.Finish();
    return out.Data();
}

Bytes ZlibUncompress(const Bytes& compressed, std::size_t expectedSize) {
    uLongf size = expectedSize;
    Bytes out(expectedSize + 1);
    EXPECT_EQ(uncompress(out.data(), &size, compressed.data(), compressed.size()), Z_OK);
    out.resize(size);
    return out;
}

// Reads everything the decompressor gives, in pieces of pieceSize bytes.
Bytes ReadAll(TZDecompressionStream& stream, std::size_t pieceSize = 1000) {
    Bytes out;
    Bytes piece(pieceSize);
    for (;;) {
        const std::int64_t got = stream.Read(piece.data(), static_cast<std::int64_t>(piece.size()));
        if (got == 0) {
            break;
        }
        out.insert(out.end(), piece.begin(), piece.begin() + got);
    }
    return out;
}

// A stream whose writes fail once limit bytes have been stored.
class TFailingStream final : public platform::TStream {
public:
    explicit TFailingStream(std::int64_t limit) : FLimit(limit) {}
    std::int64_t Read(void*, std::int64_t) override { return 0; }
    std::int64_t Write(const void*, std::int64_t count) override {
        const std::int64_t stored = std::min(count, FLimit - FPosition);
        FPosition += stored;
        return stored;
    }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
        FPosition = origin == TSeekOrigin::soBeginning ? offset : FPosition + offset;
        return FPosition;
    }

private:
    std::int64_t FLimit;
    std::int64_t FPosition = 0;
};

TEST(ZCompressionStream, EmptyInputGivesZlibsEightByteStream) {
    EXPECT_EQ(Compress({}, TCompressionLevel::clFastest), (Bytes{0x78, 0x01, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}));
}

TEST(ZCompressionStream, LevelsMapToZlibLevels) {
    const Bytes plain = SampleData(100000);
    // Stored blocks are cut where the output buffer ends, so level 0 is checked
    // by what it holds rather than byte for byte.
    const Bytes stored = Compress(plain, TCompressionLevel::clNone);
    EXPECT_GT(stored.size(), plain.size());
    EXPECT_EQ(ZlibUncompress(stored, plain.size()), plain);
    EXPECT_EQ(Compress(plain, TCompressionLevel::clFastest), ZlibCompress(plain, 1));
    EXPECT_EQ(Compress(plain, TCompressionLevel::clDefault), ZlibCompress(plain, Z_DEFAULT_COMPRESSION));
    EXPECT_EQ(Compress(plain, TCompressionLevel::clMax), ZlibCompress(plain, 9));
}

TEST(ZCompressionStream, RoundTripsAroundTheBufferSizes) {
    for (const std::size_t size : {std::size_t{1}, std::size_t{61439}, std::size_t{61440}, std::size_t{61441},
                                   std::size_t{65535}, std::size_t{65536}, std::size_t{65537}, std::size_t{3 << 20}}) {
        for (const Bytes& plain : {SampleData(size), NoiseData(size)}) {
            const Bytes compressed = Compress(plain, TCompressionLevel::clFastest);
            EXPECT_EQ(ZlibUncompress(compressed, plain.size()), plain) << size;
            TMemoryStream source(compressed);
            TZDecompressionStream decompressor(source);
            EXPECT_EQ(ReadAll(decompressor, 61440), plain) << size;
        }
    }
}

TEST(ZCompressionStream, WritesInPiecesGiveTheSameStream) {
    const Bytes plain = NoiseData(200000);
    TMemoryStream out;
    {
        TZCompressionStream compressor(out, TCompressionLevel::clFastest);
        for (std::size_t offset = 0; offset < plain.size(); offset += 7777) {
            const std::size_t piece = std::min<std::size_t>(7777, plain.size() - offset);
            compressor.WriteBuffer(plain.data() + offset, static_cast<std::int64_t>(piece));
        }
        EXPECT_EQ(compressor.Position(), 200000);
    } // the destructor finishes the stream
    EXPECT_EQ(out.Data(), ZlibCompress(plain, 1));
}

TEST(ZCompressionStream, ReturnsToItsStoredPositionAfterTheUnderlyingStreamMoved) {
    const Bytes plain = NoiseData(150000); // fills the 65,536-byte buffer twice
    TMemoryStream out;
    TZCompressionStream compressor(out, TCompressionLevel::clFastest);
    compressor.WriteBuffer(plain.data(), 100000);
    ASSERT_GT(out.Position(), 0);
    out.SetPosition(0); // someone else moved the stream
    compressor.WriteBuffer(plain.data() + 100000, 50000);
    compressor.Finish();
    EXPECT_EQ(ZlibUncompress(out.Data(), plain.size()), plain);
}

TEST(ZCompressionStream, ReportsProgressPerFullBuffer) {
    TMemoryStream out;
    int calls = 0;
    TZCompressionStream compressor(out, TCompressionLevel::clNone);
    compressor.SetOnProgress([&](TCustomZStream&) { ++calls; });
    const Bytes plain = NoiseData(3 * 65536);
    compressor.WriteBuffer(plain.data(), static_cast<std::int64_t>(plain.size()));
    EXPECT_EQ(calls, 3) << "one call per full 65,536-byte buffer passed on";
    compressor.Finish();
    EXPECT_EQ(calls, 3) << "finishing does not report progress";
}

TEST(ZCompressionStream, RefusesReadAndSeekOtherThanAskingThePosition) {
    TMemoryStream out;
    TZCompressionStream compressor(out, TCompressionLevel::clFastest);
    std::uint8_t byte = 0;
    EXPECT_THROW(compressor.Read(&byte, 1), EZCompressionError);
    EXPECT_EQ(compressor.Seek(0, TSeekOrigin::soCurrent), 0);
    try {
        compressor.Seek(0, TSeekOrigin::soBeginning);
        FAIL() << "seek from the beginning must raise";
    } catch (const EZCompressionError& e) {
        EXPECT_STREQ(e.what(), "Invalid ZStream operation!");
    }
    EXPECT_THROW(compressor.Seek(1, TSeekOrigin::soCurrent), EZCompressionError);
}

TEST(ZCompressionStream, AShortWriteOfTheUnderlyingStreamRaises) {
    const Bytes plain = NoiseData(200000);
    TFailingStream full(1000);
    TZCompressionStream compressor(full, TCompressionLevel::clFastest);
    EXPECT_THROW(compressor.WriteBuffer(plain.data(), static_cast<std::int64_t>(plain.size())), platform::EWriteError);

    TFailingStream tooSmallForTheEnd(4);
    TZCompressionStream small(tooSmallForTheEnd, TCompressionLevel::clFastest);
    small.WriteBuffer(plain.data(), 100);
    EXPECT_THROW(small.Finish(), platform::EWriteError);
}

TEST(ZDecompressionStream, ReadsStreamsOfEveryLevel) {
    const Bytes plain = SampleData(300000, 7);
    for (const int level : {0, 1, 6, 9}) {
        TMemoryStream source(ZlibCompress(plain, level));
        TZDecompressionStream decompressor(source);
        EXPECT_EQ(ReadAll(decompressor), plain) << level;
    }
}

TEST(ZDecompressionStream, GivesBackTheBytesAfterTheEndOfTheStream) {
    const Bytes plain = SampleData(5000);
    Bytes data = ZlibCompress(plain, 1);
    const auto streamLength = static_cast<std::int64_t>(data.size());
    const Bytes trailer = {'T', 'R', 'A', 'I', 'L'};
    data.insert(data.end(), trailer.begin(), trailer.end());
    TMemoryStream source(data);
    TZDecompressionStream decompressor(source);
    EXPECT_EQ(ReadAll(decompressor), plain);
    EXPECT_EQ(source.Position(), streamLength);
    std::uint8_t byte = 0;
    EXPECT_EQ(decompressor.Read(&byte, 1), 0) << "every read after the end returns 0";
    EXPECT_EQ(source.Position(), streamLength);
    Bytes rest(trailer.size());
    source.ReadBuffer(rest.data(), static_cast<std::int64_t>(rest.size()));
    EXPECT_EQ(rest, trailer);
}

TEST(ZDecompressionStream, AStreamCutShortRaisesWhereverItEnds) {
    const Bytes plain = SampleData(100000);
    const Bytes whole = ZlibCompress(plain, 1);
    // Cut inside the header, inside the deflate data, and inside the Adler-32
    // trailer (every byte of the content decoded, only the check is missing).
    for (const std::size_t length : {std::size_t{0}, std::size_t{1}, whole.size() / 2, whole.size() - 1}) {
        TMemoryStream source(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)));
        TZDecompressionStream decompressor(source);
        try {
            (void)ReadAll(decompressor);
            ADD_FAILURE() << "a stream cut to " << length << " bytes must raise";
        } catch (const EZDecompressionError& e) {
            EXPECT_STREQ(e.what(), CutShortText) << length;
        }
        EXPECT_FALSE(decompressor.Complete());
        EXPECT_THROW((void)decompressor.Size(), EZDecompressionError) << "measuring the size raises as well";
    }
}

TEST(ZDecompressionStream, SalvageGivesWhatCouldBeDecodedBeforeACut) {
    const Bytes plain = NoiseData(100000);
    Bytes data = ZlibCompress(plain, 0); // stored blocks: every byte decodes as it comes
    data.resize(data.size() / 2);
    TMemoryStream source(data);
    TZDecompressionStream decompressor(source, TDamagePolicy::dpSalvage);
    const Bytes got = ReadAll(decompressor);
    ASSERT_GT(got.size(), 40000u);
    ASSERT_LT(got.size(), plain.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), plain.begin()));
    EXPECT_EQ(decompressor.Damage(), CutShortText);
    EXPECT_FALSE(decompressor.Complete());
    std::uint8_t byte = 0;
    EXPECT_EQ(decompressor.Read(&byte, 1), 0) << "nothing more after the damage";
}

TEST(ZDecompressionStream, SalvageStopsAtCorruptDataAndKeepsWhatCameBefore) {
    const Bytes plain = NoiseData(200000);
    Bytes data = ZlibCompress(plain, 0);
    // A stored block's length and its complement no longer agree: zlib
    // rejects the block header in the middle of the stream.
    const std::size_t blockHeader = 2 + 65535 + 5; // zlib header, first block's data, next block header
    data[blockHeader + 1] ^= 0x55;
    TMemoryStream source(data);
    TZDecompressionStream decompressor(source, TDamagePolicy::dpSalvage);
    const Bytes got = ReadAll(decompressor, 4096);
    EXPECT_EQ(decompressor.Damage(), "data error");
    ASSERT_EQ(got.size(), 65535u) << "exactly the first stored block";
    EXPECT_TRUE(std::equal(got.begin(), got.end(), plain.begin()));

    // A whole stream salvages to all of it, with nothing reported.
    TMemoryStream wholeSource(ZlibCompress(plain, 1));
    TZDecompressionStream whole(wholeSource, TDamagePolicy::dpSalvage);
    EXPECT_EQ(ReadAll(whole), plain);
    EXPECT_TRUE(whole.Complete());
    EXPECT_EQ(whole.Damage(), "");
}

TEST(ZDecompressionStream, DamagedDataRaisesDataError) {
    const Bytes notZlib = {'A', 'r', 'b', 'o', 'l', 'i', 'x', '\r', '\n'};
    TMemoryStream source(notZlib);
    TZDecompressionStream decompressor(source);
    std::uint8_t buffer[16];
    try {
        (void)decompressor.Read(buffer, sizeof buffer);
        FAIL() << "an invalid header must raise";
    } catch (const EZDecompressionError& e) {
        EXPECT_STREQ(e.what(), "data error");
    }

    Bytes corrupt = ZlibCompress(SampleData(1000), 1);
    corrupt[corrupt.size() - 1] ^= 0x01; // a wrong Adler-32
    TMemoryStream corruptSource(corrupt);
    TZDecompressionStream corruptDecompressor(corruptSource);
    EXPECT_THROW(ReadAll(corruptDecompressor), EZDecompressionError);
}

TEST(ZDecompressionStream, AHeaderAskingForADictionaryRaisesInsteadOfWaiting) {
    // 0x78 0x20: deflate, 32 KiB window, preset dictionary flag; then a dictionary id.
    const Bytes data = {0x78, 0x20, 0x00, 0x00, 0x00, 0x01, 0x03, 0x00};
    TMemoryStream source(data);
    TZDecompressionStream decompressor(source);
    std::uint8_t buffer[16];
    EXPECT_THROW((void)decompressor.Read(buffer, sizeof buffer), EZDecompressionError);
}

TEST(ZDecompressionStream, SeekRules) {
    const Bytes plain = SampleData(50000);
    Bytes data = ZlibCompress(plain, 1);
    data.insert(data.end(), {1, 2, 3});
    TMemoryStream source(data);
    TZDecompressionStream decompressor(source);

    EXPECT_EQ(decompressor.Size(), 50000) << "seek to the end decompresses everything";
    EXPECT_EQ(decompressor.Position(), 0) << "and the size leaves it rewound";

    EXPECT_EQ(decompressor.Seek(20000, TSeekOrigin::soBeginning), 20000);
    std::uint8_t byte = 0;
    decompressor.ReadBuffer(&byte, 1);
    EXPECT_EQ(byte, plain[20000]);
    EXPECT_EQ(decompressor.Seek(100, TSeekOrigin::soCurrent), 20101);
    decompressor.ReadBuffer(&byte, 1);
    EXPECT_EQ(byte, plain[20101]);

    EXPECT_THROW(decompressor.Seek(5, TSeekOrigin::soBeginning), EZDecompressionError) << "backwards";
    EXPECT_THROW(decompressor.Seek(-1, TSeekOrigin::soCurrent), EZDecompressionError);
    EXPECT_THROW(decompressor.Seek(-1, TSeekOrigin::soEnd), EZDecompressionError);
    EXPECT_THROW(decompressor.Seek(60000, TSeekOrigin::soCurrent), platform::EReadError) << "past the end";

    EXPECT_EQ(decompressor.Seek(0, TSeekOrigin::soBeginning), 0);
    EXPECT_EQ(source.Position(), 0) << "rewinding returns the underlying stream to its start";
    EXPECT_EQ(ReadAll(decompressor), plain);
}

TEST(ZDecompressionStream, RefusesWrites) {
    TMemoryStream source(ZlibCompress({}, 1));
    TZDecompressionStream decompressor(source);
    const std::uint8_t byte = 0;
    try {
        decompressor.Write(&byte, 1);
        FAIL() << "write must raise";
    } catch (const EZDecompressionError& e) {
        EXPECT_STREQ(e.what(), "Invalid ZStream operation!");
    }
}

TEST(ZDecompressionStream, ReportsProgressPerRefill) {
    const Bytes plain = NoiseData(3 * 65536);
    TMemoryStream source(ZlibCompress(plain, 0));
    TZDecompressionStream decompressor(source);
    int calls = 0;
    decompressor.SetOnProgress([&](TCustomZStream&) { ++calls; });
    EXPECT_EQ(ReadAll(decompressor, 65536), plain);
    EXPECT_EQ(calls, 4) << "3 * 65,536 bytes plus stored-block headers and trailer need four refills";
}

// The streams above run on this allocator, so their round trips show zlib
// works on its blocks; here, what it adds: the alignment and the wipe.
TEST(WipingZAlloc, BlocksAreAlignedAsMallocsAndWipedWholeBeforeTheyAreFreed) {
    for (const uInt items : {0U, 1U, 3U, 9000U}) {
        const std::size_t size = std::size_t{items} * 7;
        auto* block = static_cast<std::uint8_t*>(WipingZAlloc(Z_NULL, items, 7));
        ASSERT_NE(block, nullptr) << items;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignof(std::max_align_t), 0U) << items;
        std::fill_n(block, size, std::uint8_t{0xA5});
        void* start = WipeZBlock(block);
        EXPECT_EQ(static_cast<std::size_t>(std::count(block, block + size, 0)), size) << items;
        // Must be what malloc gave, or freeing it fails (the sanitizer build names it).
        std::free(start);
    }
    WipingZFree(Z_NULL, Z_NULL); // zlib may free nothing
}

TEST(ZLibErrorText, NamesEachNegativeCode) {
    EXPECT_EQ(ZLibErrorText(Z_ERRNO), "file error");
    EXPECT_EQ(ZLibErrorText(Z_STREAM_ERROR), "stream error");
    EXPECT_EQ(ZLibErrorText(Z_DATA_ERROR), "data error");
    EXPECT_EQ(ZLibErrorText(Z_MEM_ERROR), "insufficient memory");
    EXPECT_EQ(ZLibErrorText(Z_BUF_ERROR), "buffer error");
    EXPECT_EQ(ZLibErrorText(Z_VERSION_ERROR), "incompatible version");
}

} // namespace
} // namespace quillock::zstream
