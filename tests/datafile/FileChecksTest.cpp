// Tests of the plain-file check, the CRC-32, the size in Kb and the wipe.
#include "datafile/FileChecks.h"
#include "datafile/CRC.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace quillock::datafile::testing {
namespace {

namespace fs = std::filesystem;

void MakeReadOnly(const std::string& path) {
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
}

void MakeSparse(const std::string& path, std::int64_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
}

// ---- CheckHeader ----

using CheckHeaderTest = TTempDirTest;

TEST_F(CheckHeaderTest, FindsTheNameAnywhereInTheFirstLineInAnyCase) {
    TTestHost host;
    const struct {
        std::string Content;
        bool Expected;
    } cases[] = {
        {"Arbolix 3.1 data\r\nmore", true},
        {"ARBOLIX", true},
        {"made by aRbOlIx\n", true},
        {"xx arbarbolix", true}, // a false start right before the name
        {"", false},
        {"first line\r\nArbolix on the second line", false},
        {"first line\rArbolix after a lone CR", false},
        {std::string("abc\0Arbolix", 11), false}, // the zero byte ends what is looked at
        {"Arbolik", false},
        {"arbolix" + std::string(1, '\0'), true},
    };
    for (const auto& c : cases) {
        WriteText(Path("f"), c.Content);
        EXPECT_EQ(CheckHeader(host, Path("f")), c.Expected) << c.Content;
    }
    EXPECT_TRUE(host.Dialogs.empty());
}

TEST_F(CheckHeaderTest, ALongFirstLineIsScannedToItsEnd) {
    TTestHost host;
    // The name straddles a 4,096-byte piece and the line is far longer than any buffer.
    std::string line(4093, 'x');
    line += "ARBOLIX";
    WriteText(Path("f"), line);
    EXPECT_TRUE(CheckHeader(host, Path("f")));
    WriteText(Path("g"), std::string(3 << 20, 'y') + "arbolix\nrest");
    EXPECT_TRUE(CheckHeader(host, Path("g")));
    WriteText(Path("h"), std::string(3 << 20, 'y') + "\narbolix");
    EXPECT_FALSE(CheckHeader(host, Path("h")));
}

TEST_F(CheckHeaderTest, OpensAReadOnlyFile) {
    TTestHost host;
    WriteText(Path("ro"), "Arbolix");
    MakeReadOnly(Path("ro"));
    EXPECT_TRUE(CheckHeader(host, Path("ro")));
}

TEST_F(CheckHeaderTest, AFileThatCannotBeOpenedIsReportedAndEndsTheProgram) {
    for (const std::string& path : {Path("missing"), Dir.string()}) {
        TTestHost host;
        try {
            (void)AsCaller(host, [&] { return CheckHeader(host, path); });
            FAIL() << "must terminate";
        } catch (const TProgramExit& exit) {
            EXPECT_EQ(exit.ExitCode, 1);
        }
        ASSERT_EQ(host.Dialogs.size(), 1u);
        EXPECT_EQ(host.Dialogs[0].Text,
                  "Cannot open file! (maybe it has the Read Only attribute?)\r\n\r\nPlease check your data.");
        EXPECT_EQ(host.Dialogs[0].Kind, TMsgDlgType::mtError);
    }
}

TEST_F(CheckHeaderTest, TheLayerRaisesItsFailureAndTheCallerWipesThenReports) {
    TTestHost host;
    try {
        (void)CheckHeader(host, Path("missing"));
        FAIL() << "must raise";
    } catch (const EDataFileError& error) {
        EXPECT_EQ(error.Text,
                  "Cannot open file! (maybe it has the Read Only attribute?)\r\n\r\nPlease check your data.");
        EXPECT_TRUE(error.Wipe.empty());
    }
    EXPECT_TRUE(host.Events.empty()) << "the layer shows nothing and ends nothing";

    // The temporaries the error names go before its text shows; a name that
    // is not a file of ours is left alone and named.
    WriteText(Path("data.qlx.qlt"), "plain text");
    WriteText(Path("victim"), "theirs");
    fs::create_hard_link(Path("victim"), Path("data.qlx.qlz")); // two names: not ours alone
    EXPECT_THROW(ReportAndExit(host, EDataFileError{"Refused.", {Path("data.qlx.qlt"), Path("data.qlx.qlz")}}),
                 TProgramExit);
    EXPECT_FALSE(fs::exists(Path("data.qlx.qlt")));
    EXPECT_EQ(ReadBytes(Path("victim")), (Bytes{'t', 'h', 'e', 'i', 'r', 's'}));
    ASSERT_EQ(host.Dialogs.size(), 1u);
    EXPECT_TRUE(host.Dialogs[0].Text.starts_with("Refused.\r\n\r\n")) << host.Dialogs[0].Text;
    EXPECT_NE(host.Dialogs[0].Text.find("data.qlx.qlz"), std::string::npos) << host.Dialogs[0].Text;
    EXPECT_EQ(host.Dialogs[0].Kind, TMsgDlgType::mtError);
    EXPECT_EQ(host.Events.back(), "ExitWithError");
}

// ---- CRC-32 ----

TEST(CRC32, TableAndCheckValue) {
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int k = 0; k < 8; ++k) {
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        }
        EXPECT_EQ(CRC32Table[i], c) << i;
    }
    EXPECT_EQ(UpdateCRC32(0xFFFFFFFF, "123456789", 9) ^ 0xFFFFFFFF, 0xCBF43926u);
    // Any split gives the same running value.
    const std::uint32_t split = UpdateCRC32(UpdateCRC32(0xFFFFFFFF, "1234", 4), "56789", 5);
    EXPECT_EQ(split ^ 0xFFFFFFFF, 0xCBF43926u);
}

using FileCRC32Test = TTempDirTest;

TEST_F(FileCRC32Test, ChecksumOfAFile) {
    WriteText(Path("digits"), "123456789");
    std::uint32_t crc = 0;
    EXPECT_TRUE(FileCRC32(Path("digits"), crc));
    EXPECT_EQ(crc, 0xCBF43926u);

    // Several read pieces, against zlib's crc32.
    const Bytes big = SampleContent((1 << 20) + 12345);
    WriteBytes(Path("big"), big);
    EXPECT_TRUE(FileCRC32(Path("big"), crc));
    EXPECT_EQ(crc, crc32(0, big.data(), static_cast<uInt>(big.size())));
}

TEST_F(FileCRC32Test, EmptyMissingAndReadOnlyFilesLeaveTheChecksum) {
    WriteText(Path("empty"), "");
    std::uint32_t crc = 0x12345678;
    EXPECT_TRUE(FileCRC32(Path("empty"), crc));
    EXPECT_EQ(crc, 0x12345678u);

    EXPECT_FALSE(FileCRC32(Path("missing"), crc));
    EXPECT_EQ(crc, 0x12345678u);

    WriteText(Path("ro"), "123456789");
    MakeReadOnly(Path("ro"));
    EXPECT_FALSE(FileCRC32(Path("ro"), crc)) << "a read-only file does not open, also for the superuser";
    EXPECT_EQ(crc, 0x12345678u);
}

// ---- FileSizeKb ----

using FileSizeKbTest = TTempDirTest;

TEST_F(FileSizeKbTest, BytesDiv1024PlusOneWithoutWrapping) {
    TTestHost host;
    const struct {
        std::int64_t Bytes;
        std::uint64_t Kb;
    } cases[] = {
        {0, 1},
        {1023, 1},
        {1024, 2},
        {3000, 3},
        {10240, 11},
        {67107840, 65536}, // 16 bits would wrap this to 0
        {5LL << 30, 5 * 1024 * 1024 + 1},
    };
    for (const auto& c : cases) {
        MakeSparse(Path("f"), c.Bytes);
        EXPECT_EQ(FileSizeKb(host, Path("f")), c.Kb) << c.Bytes;
    }
    EXPECT_TRUE(host.Dialogs.empty());
}

TEST_F(FileSizeKbTest, AFileThatCannotBeOpenedIsReportedWithoutEndingTheProgram) {
    TTestHost host;
    WriteText(Path("ro"), "x");
    MakeReadOnly(Path("ro"));
    EXPECT_EQ(FileSizeKb(host, Path("ro")), 0u);
    EXPECT_EQ(FileSizeKb(host, Path("missing")), 0u);
    ASSERT_EQ(host.Dialogs.size(), 2u);
    EXPECT_EQ(host.Dialogs[0].Text,
              "Cannot open file \"" + Path("ro") +
                  "\" !\r\n(maybe it has the Read Only attribute?)\r\n\r\nPlease check your data.");
    EXPECT_EQ(host.Dialogs[0].Kind, TMsgDlgType::mtError);
}

// ---- WipeFile ----

using WipeFileTest = TTempDirTest;

TEST_F(WipeFileTest, OverwritesEveryByteWithZerosThenDeletes) {
    TTestHost host;
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{65536}, std::size_t{70000}}) {
        WriteBytes(Path("plain"), SampleContent(size));
        // A descriptor kept open shows what the wipe left in the file (a
        // second name would make it a file the wipe leaves alone).
        const int witness = ::open(Path("plain").c_str(), O_RDONLY);
        ASSERT_GE(witness, 0);
        WipeFile(host, Path("plain"));
        EXPECT_FALSE(fs::exists(Path("plain")));
        Bytes left(size + 1);
        const ssize_t got = ::pread(witness, left.data(), left.size(), 0);
        ::close(witness);
        ASSERT_EQ(got, static_cast<ssize_t>(size));
        left.resize(size);
        EXPECT_EQ(left, Bytes(size, 0)) << size;
    }
    EXPECT_TRUE(host.Dialogs.empty());
}

TEST_F(WipeFileTest, AMissingFileOrADirectoryIsPassedOverSilently) {
    TTestHost host;
    WipeFile(host, Path("missing"));
    fs::create_directory(Path("dir"));
    WipeFile(host, Path("dir"));
    EXPECT_TRUE(fs::is_directory(Path("dir")));
    EXPECT_TRUE(host.Dialogs.empty());
}

TEST_F(WipeFileTest, AReadOnlyFileIsReportedWithItsFullPathAndEndsTheProgram) {
    TTestHost host;
    WriteText(Path("ro"), "plain");
    MakeReadOnly(Path("ro"));
    const fs::path oldDirectory = fs::current_path();
    fs::current_path(Dir);
    try {
        AsCaller(host, [&] { WipeFile(host, "ro"); });
        ADD_FAILURE() << "must terminate";
    } catch (const TProgramExit& exit) {
        EXPECT_EQ(exit.ExitCode, 1);
    }
    fs::current_path(oldDirectory);
    ASSERT_EQ(host.Dialogs.size(), 1u);
    EXPECT_EQ(host.Dialogs[0].Text, "ERROR! Can't delete: \"\r\n" + Path("ro") + "\"\r\n\r\nPlease check your data.");
    EXPECT_EQ(ReadBytes(Path("ro")), (Bytes{'p', 'l', 'a', 'i', 'n'})) << "nothing overwritten";
}

TEST_F(WipeFileTest, ALinkAtTheNameIsRemovedWithoutWritingThroughIt) {
    TTestHost host;
    const Bytes precious = SampleContent(1000);
    WriteBytes(Path("precious"), precious);
    ASSERT_EQ(::symlink(Path("precious").c_str(), Path("work.qlt").c_str()), 0);
    WipeFile(host, Path("work.qlt"));
    EXPECT_FALSE(fs::is_symlink(Path("work.qlt")));
    EXPECT_EQ(ReadBytes(Path("precious")), precious);
}

} // namespace
} // namespace quillock::datafile::testing
