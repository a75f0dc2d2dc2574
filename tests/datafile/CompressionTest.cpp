// Tests of whole-file compression and decompression on both paths (zlib and
// igzip), with the handled failures of damaged data and of too little room.
#include "datafile/Compression.h"
#include "platform/Stream.h"
#include "tests/support/TestHost.h"
#include "zstream/ZLib.h"

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace quillock::datafile::testing {
namespace {

namespace fs = std::filesystem;

const char* PathLabel(TCompressionPath path) {
    return path == TCompressionPath::cpIsal ? "Isal" : "ZLib";
}

// Every case runs on each path; the path is process-wide, so it is put back.
class CompressionTest : public TTempDirTest, public ::testing::WithParamInterface<TCompressionPath> {
protected:
    void SetUp() override {
        TTempDirTest::SetUp();
        Host.FName = Path("diary.qlx");
        if (!SetCompressionPath(GetParam())) {
            GTEST_SKIP() << "this build has no igzip path (ISA-L was not found when it was configured)";
        }
    }
    void TearDown() override {
        SetCompressionPath(Before);
        TTempDirTest::TearDown();
    }
    [[nodiscard]] bool OnIsal() const { return GetParam() == TCompressionPath::cpIsal; }
    [[nodiscard]] std::string Working() const { return Path("diary.qlx.qlt"); }
    [[nodiscard]] std::string Intermediate() const { return Path("diary.qlx.qlz"); }

    // The intermediate file made from plain, as sealing compressed makes it;
    // no working copy is left.
    void CompressIntoIntermediate(const Bytes& plain) const {
        WriteBytes(Working(), plain);
        fs::remove(Intermediate());
        CompressFile(Working(), Intermediate());
        fs::remove(Working());
    }

    // Decompressing the intermediate file into destination ends the program
    // with code 1 and one message, and leaves neither file; the data file,
    // where what it holds is given, is left as it was.
    void ExpectDecompressionEnds(const std::string& destination, const std::optional<Bytes>& dataFile = {}) {
        try {
            AsCaller(Host, [&] { DecompressFile(Host, Intermediate(), destination); });
            ADD_FAILURE() << "must terminate";
        } catch (const TProgramExit& exit) {
            EXPECT_EQ(exit.ExitCode, 1);
        }
        EXPECT_FALSE(fs::exists(destination));
        EXPECT_FALSE(fs::exists(Intermediate()));
        if (dataFile) {
            EXPECT_EQ(ReadBytes(Host.FName), *dataFile) << "the data file is untouched";
        }
        ASSERT_EQ(Host.Dialogs.size(), 1u);
    }

    TTestHost Host;
    TCompressionPath Before = ActiveCompressionPath();
};

TEST_P(CompressionTest, AnEmptyFileCompressesToZlibsEmptyStreamAndBack) {
    WriteText(Working(), "");
    fs::remove(Intermediate());
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

// On the zlib path a content of one piece is zlib's own level 1 stream; on
// the igzip path another stream of the same kind, which zlib reads.
TEST_P(CompressionTest, AContentOfOnePieceCompressesAsALevelOneStream) {
    constexpr auto Piece = static_cast<std::size_t>(zstream::DeflatePieceSize);
    for (const std::size_t size : {std::size_t{1}, std::size_t{61441}, std::size_t{65537}, Piece - 1, Piece}) {
        const Bytes plain = SampleContent(size, static_cast<std::uint32_t>(size));
        WriteBytes(Working(), plain);
        fs::remove(Intermediate());
        CompressFile(Working(), Intermediate());
        EXPECT_EQ(ReadBytes(Working()), plain) << "the source stays";
        const Bytes stream = ReadBytes(Intermediate());
        if (OnIsal()) {
            ASSERT_GE(stream.size(), 6u);
            EXPECT_EQ(stream[0], 0x78);
            EXPECT_EQ(stream[1], 0x01);
            EXPECT_EQ(ZlibUncompress(stream, size), plain) << size;
        } else {
            EXPECT_EQ(stream, ZlibCompress(plain, 1)) << size;
        }
        fs::remove(Working());
        DecompressFile(Host, Intermediate(), Working());
        EXPECT_EQ(ReadBytes(Working()), plain) << size;
    }
    EXPECT_TRUE(Host.Dialogs.empty());
}

// Larger contents are deflated in pieces: still one zlib stream that plain
// zlib reads whole, the same bytes every time, whatever the piece boundaries.
TEST_P(CompressionTest, ContentsOfManyPiecesMakeOneZlibStream) {
    constexpr auto Piece = static_cast<std::size_t>(zstream::DeflatePieceSize);
    for (const std::size_t size :
         {std::size_t{0}, Piece + 1, 2 * Piece - 1, 2 * Piece, 2 * Piece + 1, 3 * Piece, 4 * Piece + 12345}) {
        const Bytes text = SampleContent(size, static_cast<std::uint32_t>(size) + 1);
        const Bytes zeros(size, 0);
        for (const Bytes* plain : {&text, &zeros}) {
            const Bytes noise = Incompressible(size);
            for (const Bytes* content : {plain, &noise}) {
                WriteBytes(Working(), *content);
                fs::remove(Intermediate());
                CompressFile(Working(), Intermediate());
                const Bytes stream = ReadBytes(Intermediate());
                ASSERT_GE(stream.size(), 2u);
                EXPECT_EQ(stream[0], 0x78);
                EXPECT_EQ(stream[1], 0x01) << "the header of level 1";
                EXPECT_EQ(ZlibUncompress(stream, size), *content) << size;
                fs::remove(Intermediate());
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

TEST_P(CompressionTest, EachPieceMatchesAgainstTheEndOfTheOneBefore) {
    // 20 KiB of noise over and over: only a piece that sees the previous
    // piece's end as its dictionary can refer back instead of starting anew
    // with 20 KiB of literals. igzip's level 1, with its small hash table,
    // finds such repeats only now and then, so there only the stream is held
    // to decode.
    const Bytes block = Incompressible(20000);
    Bytes plain;
    while (plain.size() < 4 * static_cast<std::size_t>(zstream::DeflatePieceSize)) {
        plain.insert(plain.end(), block.begin(), block.end());
    }
    WriteBytes(Working(), plain);
    fs::remove(Intermediate());
    CompressFile(Working(), Intermediate());
    const Bytes stream = ReadBytes(Intermediate());
    if (!OnIsal()) {
        EXPECT_LT(stream.size(), ZlibCompress(plain, 1).size() + 1000) << "as small as in one run";
    }
    EXPECT_EQ(ZlibUncompress(stream, plain.size()), plain);
}

TEST_P(CompressionTest, CreatedFilesAreOwnerOnly) {
    WriteBytes(Working(), SampleContent(100));
    fs::remove(Intermediate());
    CompressFile(Working(), Intermediate());
    struct stat info {};
    ASSERT_EQ(::stat(Intermediate().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    fs::remove(Working());
    DecompressFile(Host, Intermediate(), Working());
    ASSERT_EQ(::stat(Working().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_P(CompressionTest, ReadsOtherLevelsAndIgnoresTrailingBytes) {
    const Bytes plain = SampleContent(200000);
    WriteBytes(Intermediate(), ZlibCompress(plain, 9));
    fs::remove(Working());
    DecompressFile(Host, Intermediate(), Working());
    EXPECT_EQ(ReadBytes(Working()), plain);

    Bytes trailing = ZlibCompress(plain, 1);
    trailing.insert(trailing.end(), {'j', 'u', 'n', 'k'});
    WriteBytes(Intermediate(), trailing);
    fs::remove(Working());
    DecompressFile(Host, Intermediate(), Working());
    EXPECT_EQ(ReadBytes(Working()), plain);
    EXPECT_TRUE(Host.Dialogs.empty());
}

TEST_P(CompressionTest, SalvageWritesWhatDecodesAndSaysWhy) {
    const Bytes plain = SampleContent(200000);
    Bytes cut = ZlibCompress(plain, 0);
    cut.resize(cut.size() - 50000);
    WriteBytes(Intermediate(), cut);
    fs::remove(Working());
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
    fs::remove(Working());
    result = SalvageDecompressFile(Intermediate(), Working());
    EXPECT_EQ(ReadBytes(Working()), plain);
    EXPECT_TRUE(result.Complete);
    EXPECT_EQ(result.Damage, "");

    WriteBytes(Intermediate(), {0x12, 0x34, 0x56});
    fs::remove(Working());
    result = SalvageDecompressFile(Intermediate(), Working());
    EXPECT_EQ(result.Recovered, 0);
    EXPECT_EQ(result.Damage, "data error");
    EXPECT_TRUE(Host.Dialogs.empty()) << "salvage never reports";
}

TEST_P(CompressionTest, ASourceOf4GiBIsRefusedBeforeTheDestinationIsCreated) {
    // A sparse file: its size is 4 GiB, its blocks are almost none.
    WriteText(Working(), "");
    ASSERT_EQ(::truncate(Working().c_str(), std::int64_t{1} << 32), 0);
    fs::remove(Intermediate());
    EXPECT_THROW(CompressFile(Working(), Intermediate()), EContentTooLarge);
    EXPECT_FALSE(fs::exists(Intermediate()));
}

TEST_P(CompressionTest, DamagedDataWipesBothTemporaryFilesAndEndsTheProgram) {
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
        fs::remove(Working());
        ASSERT_NO_FATAL_FAILURE(ExpectDecompressionEnds(Working(), sealed));
        EXPECT_EQ(Host.Dialogs[0].Text,
                  "Decryption Error!\r\n\r\n(Maybe you have selected the wrong algorithm/hashing?)");
        EXPECT_EQ(Host.Dialogs[0].Kind, TMsgDlgType::mtError);
    }
}

TEST_P(CompressionTest, DamageFoundAfterWritingBeganLeavesNoPartialCopy) {
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
        ASSERT_NO_FATAL_FAILURE(ExpectDecompressionEnds(other));
        EXPECT_EQ(Host.Dialogs[0].Text,
                  "Decryption Error!\r\n\r\n(Maybe you have selected the wrong algorithm/hashing?)");
    }
}

TEST_P(CompressionTest, AFullDiskWhileDecompressingWipesThePartialCopy) {
    const Bytes plain = SampleContent(2000000, 9);
    WriteBytes(Intermediate(), ZlibCompress(plain, 1));
    fs::remove(Working());
    EXPECT_EQ(WithFileSizeLimit(1000000, [&] { DecompressFile(Host, Intermediate(), Working()); }), 101)
        << "the write error passes to the caller, not taken for damaged data";
    EXPECT_FALSE(fs::exists(Working())) << "no partial plain copy";
    EXPECT_TRUE(fs::exists(Intermediate())) << "left to the caller";

    // Compressing into a full disk raises as well, with both threads at work.
    WriteBytes(Working(), plain);
    fs::remove(Intermediate());
    EXPECT_EQ(WithFileSizeLimit(300000, [&] { CompressFile(Working(), Intermediate()); }), 101);
}

TEST_P(CompressionTest, OtherFailuresPassToTheCaller) {
    EXPECT_THROW(CompressFile(Path("missing"), Intermediate()), platform::EFOpenError);
    EXPECT_THROW(DecompressFile(Host, Path("missing"), Working()), platform::EFOpenError);
    EXPECT_TRUE(Host.Dialogs.empty());
}

TEST_P(CompressionTest, NoPlainFileIsCreatedThroughALink) {
    const Bytes precious = SampleContent(100);
    WriteBytes(Path("precious"), precious);
    WriteBytes(Intermediate(), ZlibCompress(SampleContent(5000), 1));
    ASSERT_EQ(::symlink(Path("precious").c_str(), Working().c_str()), 0);
    EXPECT_THROW(DecompressFile(Host, Intermediate(), Working()), platform::EFCreateError);
    EXPECT_EQ(ReadBytes(Path("precious")), precious);
}

// A stream with a smaller window than 32 KiB, as zlib writes with fewer
// window bits, is read; a header zlib refuses is refused: a wrong check, a
// method other than deflate, a window above 32 KiB, a preset dictionary.
TEST_P(CompressionTest, HeadersAreJudgedAsZlibJudgesThem) {
    const Bytes plain = SampleContent(300000, 6);
    z_stream zrec{};
    ASSERT_EQ(deflateInit2(&zrec, 6, Z_DEFLATED, 9, 8, Z_DEFAULT_STRATEGY), Z_OK);
    Bytes small(deflateBound(&zrec, plain.size()));
    zrec.next_in = const_cast<Bytef*>(plain.data());
    zrec.avail_in = static_cast<uInt>(plain.size());
    zrec.next_out = small.data();
    zrec.avail_out = static_cast<uInt>(small.size());
    ASSERT_EQ(deflate(&zrec, Z_FINISH), Z_STREAM_END);
    small.resize(zrec.total_out);
    deflateEnd(&zrec);
    ASSERT_EQ(small[0], 0x18) << "a 512-byte window";
    WriteBytes(Intermediate(), small);
    fs::remove(Working());
    DecompressFile(Host, Intermediate(), Working());
    EXPECT_EQ(ReadBytes(Working()), plain);
    EXPECT_TRUE(Host.Dialogs.empty());

    const Bytes whole = ZlibCompress(plain, 1);
    // The second header byte that makes the check right for cmf, without a
    // dictionary.
    const auto checked = [](std::uint8_t cmf) { return static_cast<std::uint8_t>((31 - cmf * 256 % 31) % 31); };
    Bytes badCheck = whole;
    badCheck[1] ^= 0x01;
    Bytes method = whole;
    method[0] = 0x77;
    method[1] = checked(0x77);
    Bytes window = whole;
    window[0] = 0x88;
    window[1] = checked(0x88);
    Bytes dictionary = whole;
    dictionary[1] = 0xBB; // the dictionary flag, and a right check
    ASSERT_EQ((0x78 * 256 + 0xBB) % 31, 0);
    dictionary.insert(dictionary.begin() + 2, {0x12, 0x34, 0x56, 0x78});
    for (const Bytes& refused : {badCheck, method, window, dictionary}) {
        Host.Dialogs.clear();
        WriteBytes(Intermediate(), refused);
        fs::remove(Working());
        EXPECT_THROW(AsCaller(Host, [&] { DecompressFile(Host, Intermediate(), Working()); }), TProgramExit);
        EXPECT_FALSE(fs::exists(Working()));
        ASSERT_EQ(Host.Dialogs.size(), 1u);
        EXPECT_EQ(Host.Dialogs[0].Text,
                  "Decryption Error!\r\n\r\n(Maybe you have selected the wrong algorithm/hashing?)");
    }
}

// Each path reads what the other writes, over one piece and many.
TEST_P(CompressionTest, EachPathReadsTheOthersStreams) {
    const TCompressionPath other = OnIsal() ? TCompressionPath::cpZLib : TCompressionPath::cpIsal;
    constexpr auto Piece = static_cast<std::size_t>(zstream::DeflatePieceSize);
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{70000}, 3 * Piece + 777}) {
        const Bytes plain = SampleContent(size, static_cast<std::uint32_t>(size) + 3);
        WriteBytes(Working(), plain);
        fs::remove(Intermediate());
        CompressFile(Working(), Intermediate());
        ASSERT_TRUE(SetCompressionPath(other));
        fs::remove(Working());
        DecompressFile(Host, Intermediate(), Working());
        EXPECT_EQ(ReadBytes(Working()), plain) << size;
        fs::remove(Intermediate());
        CompressFile(Working(), Intermediate());
        ASSERT_TRUE(SetCompressionPath(GetParam()));
        fs::remove(Working());
        DecompressFile(Host, Intermediate(), Working());
        EXPECT_EQ(ReadBytes(Working()), plain) << size;
    }
    EXPECT_TRUE(Host.Dialogs.empty());
}

TEST_P(CompressionTest, TheStreamIsAboutAsSmallAsZlibsLevelOne) {
    const Bytes plain = SampleContent(6 * static_cast<std::size_t>(zstream::DeflatePieceSize), 11);
    WriteBytes(Working(), plain);
    fs::remove(Intermediate());
    CompressFile(Working(), Intermediate());
    const auto size = static_cast<double>(ReadBytes(Intermediate()).size());
    const auto zlib = static_cast<double>(ZlibCompress(plain, 1).size());
    EXPECT_LE(size, zlib * 1.02);
}

TEST_P(CompressionTest, ProgressHearsEachPieceUpToTheWhole) {
    const Bytes plain = SampleContent(5 * static_cast<std::size_t>(zstream::DeflatePieceSize) + 10, 4);
    WriteBytes(Working(), plain);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> heard;
    const platform::TProgressFn progress = [&](std::uint64_t done, std::uint64_t total) {
        heard.emplace_back(done, total);
    };
    fs::remove(Intermediate());
    CompressFile(Working(), Intermediate(), progress);
    ASSERT_GE(heard.size(), 6u);
    EXPECT_EQ(heard.back(), std::make_pair(std::uint64_t{plain.size()}, std::uint64_t{plain.size()}));
    EXPECT_TRUE(std::is_sorted(heard.begin(), heard.end()));

    heard.clear();
    const auto compressed = static_cast<std::uint64_t>(fs::file_size(Intermediate()));
    fs::remove(Working());
    DecompressFile(Host, Intermediate(), Working(), progress);
    EXPECT_EQ(ReadBytes(Working()), plain);
    ASSERT_GE(heard.size(), plain.size() / (1 << 18));
    EXPECT_TRUE(std::is_sorted(heard.begin(), heard.end()));
    EXPECT_EQ(heard.back().second, compressed);
    EXPECT_LE(heard.back().first, compressed);
    EXPECT_GT(heard.back().first, compressed / 2);
}

// A pretend file system: FakeFree bytes free before the destination was
// written, of FakeSize in all; what the destination holds is taken off.
std::atomic<std::uint64_t> FakeFree{0};
std::atomic<std::uint64_t> FakeSize{0};
std::atomic<int> FakeQueries{0};

bool FakeFreeSpace(int descriptor, TFreeSpace& space) {
    struct stat info {};
    if (::fstat(descriptor, &info) != 0) {
        return false;
    }
    ++FakeQueries;
    const auto used = static_cast<std::uint64_t>(info.st_size);
    space.Available = FakeFree > used ? FakeFree - used : 0;
    space.Size = FakeSize;
    return true;
}

class CompressionRoomTest : public CompressionTest {
protected:
    void SetUp() override {
        CompressionTest::SetUp();
        SetFreeSpaceQuery(&FakeFreeSpace);
        FakeQueries = 0;
    }
    void TearDown() override {
        SetFreeSpaceQuery(nullptr);
        CompressionTest::TearDown();
    }
};

constexpr std::uint64_t MiB = std::uint64_t{1} << 20;

// A small sealed file can hold a content that decodes to far more than the
// disk has room for: decoding stops before the margin is reached.
TEST_P(CompressionRoomTest, DecodingStopsBeforeTheDiskFillsAndSaysHowFarItGot) {
    const Bytes sealed = SampleContent(5000);
    WriteBytes(Host.FName, sealed);
    const Bytes plain(40 * MiB, 'z'); // 40 MiB of one letter: a few KiB compressed
    CompressIntoIntermediate(plain);
    // 60 MiB free: the margin is half of it, which leaves room for 30 MiB of
    // content, not for 40.
    FakeSize = 2048 * MiB;
    FakeFree = 60 * MiB;
    fs::remove(Working());
    ASSERT_NO_FATAL_FAILURE(ExpectDecompressionEnds(Working(), sealed));
    const std::string& text = Host.Dialogs[0].Text;
    EXPECT_EQ(Host.Dialogs[0].Kind, TMsgDlgType::mtError);
    // The decoded size is a whole number of writes short of 30 MiB, and the
    // free space the one left by it.
    const std::string prefix = "The content of the data file does not fit on the disk once decompressed: ";
    ASSERT_EQ(text.rfind(prefix, 0), 0u) << text;
    const std::uint64_t decoded = std::stoull(text.substr(prefix.size()));
    EXPECT_LE(decoded, 30 * MiB);
    EXPECT_GT(decoded, 29 * MiB);
    EXPECT_NE(text.find(" bytes decoded so far from a sealed file of 5000 bytes, with " +
                        std::to_string(60 * MiB - decoded) + " bytes free."),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Nothing has been written."), std::string::npos);
    EXPECT_GE(FakeQueries, 4) << "asked again every few MiB";
}

TEST_P(CompressionRoomTest, TheMarginIs64MiBOrHalfTheFreeSpace) {
    const Bytes plain = SampleContent(24 * MiB, 8);
    CompressIntoIntermediate(plain);
    FakeSize = 20480 * MiB;
    FakeFree = 40 * MiB; // the margin is 20 MiB: room for 20 MiB of the 24
    fs::remove(Working());
    EXPECT_THROW(AsCaller(Host, [&] { DecompressFile(Host, Intermediate(), Working()); }), TProgramExit);
    EXPECT_FALSE(fs::exists(Working()));
    ASSERT_EQ(Host.Dialogs.size(), 1u);
    EXPECT_EQ(Host.Dialogs[0].Text.rfind("The content of the data file does not fit on the disk", 0), 0u);
    Host.Dialogs.clear();

    // The same content opens where it fits above the margin.
    CompressIntoIntermediate(plain);
    FakeFree = 50 * MiB; // the margin is 25 MiB: the 24 fit
    fs::remove(Working());
    DecompressFile(Host, Intermediate(), Working());
    EXPECT_EQ(ReadBytes(Working()), plain);
    EXPECT_TRUE(Host.Dialogs.empty());

    // A large disk keeps 64 MiB free, not half of its room: 80 MiB of
    // content open with 150 MiB free.
    const Bytes large(80 * MiB, 'z');
    CompressIntoIntermediate(large);
    FakeFree = 150 * MiB;
    DecompressFile(Host, Intermediate(), Working());
    EXPECT_EQ(fs::file_size(Working()), large.size());
    EXPECT_TRUE(Host.Dialogs.empty());
    fs::remove(Working());

    // A nearly full disk still opens a small file.
    const Bytes small = SampleContent(100000, 9);
    CompressIntoIntermediate(small);
    FakeFree = 1 * MiB;
    DecompressFile(Host, Intermediate(), Working());
    EXPECT_EQ(ReadBytes(Working()), small);
    EXPECT_TRUE(Host.Dialogs.empty());
}

TEST_P(CompressionRoomTest, ASpaceThatCannotBeToldDoesNotStopDecoding) {
    const Bytes plain = SampleContent(3 * MiB, 2);
    CompressIntoIntermediate(plain);
    SetFreeSpaceQuery([](int, TFreeSpace&) { return false; });
    fs::remove(Working());
    DecompressFile(Host, Intermediate(), Working());
    EXPECT_EQ(ReadBytes(Working()), plain);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, CompressionTest,
                         ::testing::Values(TCompressionPath::cpZLib, TCompressionPath::cpIsal),
                         [](const auto& info) { return std::string(PathLabel(info.param)); });
INSTANTIATE_TEST_SUITE_P(BothPaths, CompressionRoomTest,
                         ::testing::Values(TCompressionPath::cpZLib, TCompressionPath::cpIsal),
                         [](const auto& info) { return std::string(PathLabel(info.param)); });

} // namespace
} // namespace quillock::datafile::testing
