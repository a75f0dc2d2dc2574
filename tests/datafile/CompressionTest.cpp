// Tests of whole-file compression and decompression, with the handled
// failure of damaged data.
#include "datafile/Compression.h"
#include "TestHost.h"
#include "platform/Stream.h"
#include "zstream/ZLib.h"

#include <gtest/gtest.h>

#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace quillock::datafile::testing {
namespace {

namespace fs = std::filesystem;

Bytes ZlibCompress(const Bytes& plain, int level) {
    uLongf size = compressBound(plain.size());
    Bytes out(size);
    EXPECT_EQ(compress2(out.data(), &size, plain.data(), plain.size(), level), Z_OK);
    out.resize(size);
    return out;
}

class CompressionTest : public TTempDirTest {
protected:
    void SetUp() override {
        TTempDirTest::SetUp();
        Host.FName = Path("diary.qlx");
    }
    [[nodiscard]] std::string Working() const { return Path("diary.qlx.qlt"); }
    [[nodiscard]] std::string Intermediate() const { return Path("diary.qlx.qlz"); }

    TTestHost Host;
};

TEST_F(CompressionTest, AnEmptyFileCompressesToZlibsEmptyStreamAndBack) {
    WriteText(Working(), "");
    CompressFile(Working(), Intermediate());
    EXPECT_EQ(ReadBytes(Intermediate()), (Bytes{0x78, 0x01, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01}));
    fs::remove(Working());
    DecompressFile(Host, Intermediate(), Working());
    EXPECT_EQ(ReadBytes(Working()), Bytes{});
}

// What plain zlib makes of a whole stream: the content, or nothing when the
// stream is not whole (its Adler-32 included) or does not end where expected.
Bytes ZlibUncompress(const Bytes& stream, std::size_t plainSize) {
    Bytes out(plainSize + 1);
    uLongf size = out.size();
    uLong used = stream.size();
    if (uncompress2(out.data(), &size, stream.data(), &used) != Z_OK || used != stream.size()) {
        return Bytes{'b', 'a', 'd'};
    }
    out.resize(size);
    return out;
}

Bytes Incompressible(std::size_t size) {
    std::mt19937 random(size);
    Bytes data(size);
    for (auto& byte : data) {
        byte = static_cast<std::uint8_t>(random());
    }
    return data;
}

TEST_F(CompressionTest, AContentOfOnePieceCompressesAsZlibsLevelOneStream) {
    constexpr auto Piece = static_cast<std::size_t>(zstream::DeflatePieceSize);
    for (const std::size_t size : {std::size_t{1}, std::size_t{61441}, std::size_t{65537}, Piece - 1, Piece}) {
        const Bytes plain = SampleContent(size, static_cast<std::uint32_t>(size));
        WriteBytes(Working(), plain);
        CompressFile(Working(), Intermediate());
        EXPECT_EQ(ReadBytes(Working()), plain) << "the source stays";
        EXPECT_EQ(ReadBytes(Intermediate()), ZlibCompress(plain, 1)) << size;
        fs::remove(Working());
        DecompressFile(Host, Intermediate(), Working());
        EXPECT_EQ(ReadBytes(Working()), plain) << size;
    }
    EXPECT_TRUE(Host.Dialogs.empty());
}

// Larger contents are deflated in pieces: still one zlib stream that plain
// zlib reads whole, the same bytes every time, whatever the piece boundaries.
TEST_F(CompressionTest, ContentsOfManyPiecesMakeOneZlibStream) {
    constexpr auto Piece = static_cast<std::size_t>(zstream::DeflatePieceSize);
    for (const std::size_t size :
         {std::size_t{0}, Piece + 1, 2 * Piece - 1, 2 * Piece, 2 * Piece + 1, 3 * Piece, 4 * Piece + 12345}) {
        const Bytes text = SampleContent(size, static_cast<std::uint32_t>(size) + 1);
        const Bytes zeros(size, 0);
        for (const Bytes* plain : {&text, &zeros}) {
            const Bytes noise = Incompressible(size);
            for (const Bytes* content : {plain, &noise}) {
                WriteBytes(Working(), *content);
                CompressFile(Working(), Intermediate());
                const Bytes stream = ReadBytes(Intermediate());
                ASSERT_GE(stream.size(), 2u);
                EXPECT_EQ(stream[0], 0x78);
                EXPECT_EQ(stream[1], 0x01) << "the header of level 1";
                EXPECT_EQ(ZlibUncompress(stream, size), *content) << size;
                CompressFile(Working(), Intermediate());
                EXPECT_EQ(ReadBytes(Intermediate()), stream) << "the same bytes again: " << size;
                fs::remove(Working());
                DecompressFile(Host, Intermediate(), Working());
                EXPECT_EQ(ReadBytes(Working()), *content) << size;
            }
        }
    }
    EXPECT_TRUE(Host.Dialogs.empty());
}

TEST_F(CompressionTest, EachPieceMatchesAgainstTheEndOfTheOneBefore) {
    // 20 KiB of noise over and over: only a piece that sees the previous
    // piece's end as its dictionary can refer back instead of starting anew
    // with 20 KiB of literals.
    const Bytes block = Incompressible(20000);
    Bytes plain;
    while (plain.size() < 4 * static_cast<std::size_t>(zstream::DeflatePieceSize)) {
        plain.insert(plain.end(), block.begin(), block.end());
    }
    WriteBytes(Working(), plain);
    CompressFile(Working(), Intermediate());
    const Bytes stream = ReadBytes(Intermediate());
    EXPECT_LT(stream.size(), ZlibCompress(plain, 1).size() + 1000) << "as small as in one run";
    EXPECT_EQ(ZlibUncompress(stream, plain.size()), plain);
}

TEST_F(CompressionTest, CreatedFilesAreOwnerOnly) {
    WriteBytes(Working(), SampleContent(100));
    CompressFile(Working(), Intermediate());
    struct stat info {};
    ASSERT_EQ(::stat(Intermediate().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    fs::remove(Working());
    DecompressFile(Host, Intermediate(), Working());
    ASSERT_EQ(::stat(Working().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(CompressionTest, ReadsOtherLevelsAndIgnoresTrailingBytes) {
    const Bytes plain = SampleContent(200000);
    WriteBytes(Intermediate(), ZlibCompress(plain, 9));
    DecompressFile(Host, Intermediate(), Working());
    EXPECT_EQ(ReadBytes(Working()), plain);

    Bytes trailing = ZlibCompress(plain, 1);
    trailing.insert(trailing.end(), {'j', 'u', 'n', 'k'});
    WriteBytes(Intermediate(), trailing);
    DecompressFile(Host, Intermediate(), Working());
    EXPECT_EQ(ReadBytes(Working()), plain);
    EXPECT_TRUE(Host.Dialogs.empty());
}

TEST_F(CompressionTest, SalvageWritesWhatDecodesAndSaysWhy) {
    const Bytes plain = SampleContent(200000);
    Bytes cut = ZlibCompress(plain, 0);
    cut.resize(cut.size() - 50000);
    WriteBytes(Intermediate(), cut);
    TSalvageResult result = SalvageDecompressFile(Intermediate(), Working());
    const Bytes got = ReadBytes(Working());
    EXPECT_EQ(result.Recovered, static_cast<std::int64_t>(got.size()));
    ASSERT_GT(got.size(), 100000u);
    ASSERT_LT(got.size(), plain.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), plain.begin()));
    EXPECT_FALSE(result.Complete);
    EXPECT_EQ(result.Damage, "compressed data cut short");
    struct stat info {};
    ASSERT_EQ(::stat(Working().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    WriteBytes(Intermediate(), ZlibCompress(plain, 1));
    result = SalvageDecompressFile(Intermediate(), Working());
    EXPECT_EQ(ReadBytes(Working()), plain);
    EXPECT_TRUE(result.Complete);
    EXPECT_EQ(result.Damage, "");

    WriteBytes(Intermediate(), {0x12, 0x34, 0x56});
    result = SalvageDecompressFile(Intermediate(), Working());
    EXPECT_EQ(result.Recovered, 0);
    EXPECT_EQ(result.Damage, "data error");
    EXPECT_TRUE(Host.Dialogs.empty()) << "salvage never reports";
}

TEST_F(CompressionTest, ASourceOf4GiBIsRefusedBeforeTheDestinationIsCreated) {
    // A sparse file: its size is 4 GiB, its blocks are almost none.
    WriteText(Working(), "");
    ASSERT_EQ(::truncate(Working().c_str(), std::int64_t{1} << 32), 0);
    EXPECT_THROW(CompressFile(Working(), Intermediate()), EContentTooLarge);
    EXPECT_FALSE(fs::exists(Intermediate()));
}

TEST_F(CompressionTest, DamagedDataWipesBothTemporaryFilesAndEndsTheProgram) {
    const Bytes sealed = SampleContent(1000);
    WriteBytes(Host.FName, sealed);
    const Bytes whole = ZlibCompress(SampleContent(200000), 0);
    Bytes corrupt = ZlibCompress(SampleContent(70000), 1);
    corrupt[corrupt.size() / 2] ^= 0xFF;
    // A stream cut short is damaged too, even where every byte before the cut
    // decodes (stored blocks) or only the Adler-32 trailer is missing.
    const Bytes cut(whole.begin(), whole.end() - 50000);
    const Bytes noTrailer(whole.begin(), whole.end() - 4);
    for (const Bytes& damaged : {Bytes{}, Bytes{0x12, 0x34, 0x56, 0x78, 0x9A}, corrupt, cut, noTrailer}) {
        Host.Dialogs.clear();
        WriteBytes(Intermediate(), damaged);
        try {
            DecompressFile(Host, Intermediate(), Working());
            ADD_FAILURE() << "must terminate";
        } catch (const TProgramExit& exit) {
            EXPECT_EQ(exit.ExitCode, 1);
        }
        EXPECT_FALSE(fs::exists(Working()));
        EXPECT_FALSE(fs::exists(Intermediate()));
        EXPECT_EQ(ReadBytes(Host.FName), sealed) << "the data file is untouched";
        ASSERT_EQ(Host.Dialogs.size(), 1u);
        EXPECT_EQ(Host.Dialogs[0].Text,
                  "Decryption Error!\r\n\r\n(Maybe you have selected the wrong algorithm/hashing?)");
        EXPECT_EQ(Host.Dialogs[0].Kind, TMsgDlgType::mtError);
    }
}

TEST_F(CompressionTest, DamageFoundAfterWritingBeganLeavesNoPartialCopy) {
    // The content is decoded once, into the destination; damage past its
    // first part is found with the destination half written. Decoded into a
    // file of another name, so that only DecompressFile itself can wipe it.
    const Bytes plain = SampleContent(3000000, 5);
    Bytes corrupt = ZlibCompress(plain, 1);
    corrupt[corrupt.size() - 1000] ^= 0x55;
    const Bytes whole = ZlibCompress(plain, 0);
    const Bytes cut(whole.begin(), whole.end() - 100000);
    const Bytes noTrailer(whole.begin(), whole.end() - 4);
    Bytes badCheck = ZlibCompress(plain, 1);
    badCheck.back() ^= 0x01;
    const std::string other = Path("elsewhere.txt");
    for (const Bytes& damaged : {corrupt, cut, noTrailer, badCheck}) {
        Host.Dialogs.clear();
        WriteBytes(Intermediate(), damaged);
        try {
            DecompressFile(Host, Intermediate(), other);
            ADD_FAILURE() << "must terminate";
        } catch (const TProgramExit& exit) {
            EXPECT_EQ(exit.ExitCode, 1);
        }
        EXPECT_FALSE(fs::exists(other));
        EXPECT_FALSE(fs::exists(Intermediate()));
        ASSERT_EQ(Host.Dialogs.size(), 1u);
        EXPECT_EQ(Host.Dialogs[0].Text,
                  "Decryption Error!\r\n\r\n(Maybe you have selected the wrong algorithm/hashing?)");
    }
}

TEST_F(CompressionTest, AFullDiskWhileDecompressingWipesThePartialCopy) {
    const Bytes plain = SampleContent(2000000, 9);
    WriteBytes(Intermediate(), ZlibCompress(plain, 1));
    EXPECT_EQ(WithFileSizeLimit(1000000, [&] { DecompressFile(Host, Intermediate(), Working()); }), 101)
        << "the write error passes to the caller, not taken for damaged data";
    EXPECT_FALSE(fs::exists(Working())) << "no partial plain copy";
    EXPECT_TRUE(fs::exists(Intermediate())) << "left to the caller";

    // Compressing into a full disk raises as well, with both threads at work.
    WriteBytes(Working(), plain);
    EXPECT_EQ(WithFileSizeLimit(300000, [&] { CompressFile(Working(), Intermediate()); }), 101);
}

TEST_F(CompressionTest, OtherFailuresPassToTheCaller) {
    EXPECT_THROW(CompressFile(Path("missing"), Intermediate()), platform::EFOpenError);
    EXPECT_THROW(DecompressFile(Host, Path("missing"), Working()), platform::EFOpenError);
    EXPECT_TRUE(Host.Dialogs.empty());
}

TEST_F(CompressionTest, NoPlainFileIsCreatedThroughALink) {
    const Bytes precious = SampleContent(100);
    WriteBytes(Path("precious"), precious);
    WriteBytes(Intermediate(), ZlibCompress(SampleContent(5000), 1));
    ASSERT_EQ(::symlink(Path("precious").c_str(), Working().c_str()), 0);
    EXPECT_THROW(DecompressFile(Host, Intermediate(), Working()), platform::EFCreateError);
    EXPECT_EQ(ReadBytes(Path("precious")), precious);
}

} // namespace
} // namespace quillock::datafile::testing
