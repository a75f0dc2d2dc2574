// Fault tests of the data-file operations themselves: data files that are not
// regular files, and a full disk (a file size limit in a forked child) while
// the intermediate file or the new ciphertext is written.
#include "datafile/Compression.h"
#include "datafile/SealedFile.h"
#include "platform/Stream.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace quillock::datafile::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* DecryptError =
    "File I/O error during decryption!\r\n\r\nPlease check your data and/or try to restore a backup copy manually.";
constexpr const char* EncryptError = "File I/O error during encryption!\n\r\n\rPlease check your data and eventually "
                                     "try to restore a backup copy manually.";

class DataFileFaultTest : public TTempDirTest {
protected:
    // Runs the operation as a caller does; it must report text and end the program.
    template <typename TOperation> void ExpectReported(TOperation operation, const char* text) {
        Host.Dialogs.clear();
        try {
            AsCaller(Host, operation);
            ADD_FAILURE() << "must terminate";
        } catch (const TProgramExit& exit) {
            EXPECT_EQ(exit.ExitCode, 1);
        }
        ASSERT_EQ(Host.Dialogs.size(), 1u);
        EXPECT_EQ(Host.Dialogs[0].Text, text);
    }

    TTestHost Host;
};

TEST_F(DataFileFaultTest, ADataFileThatIsNoRegularFileIsReportedWithoutWaiting) {
    ASSERT_EQ(::mkdir(Path("dir.qlx").c_str(), 0700), 0);
    ASSERT_EQ(::mkfifo(Path("fifo.qlx").c_str(), 0600), 0);
    for (const std::string& odd :
         {Path("dir.qlx"), Path("fifo.qlx"), std::string("/dev/zero"), std::string("/dev/null")}) {
        ExpectReported([&] { Decrypt(Host, odd, Path("out.qlz")); }, DecryptError);
        EXPECT_FALSE(fs::exists(Path("out.qlz"))) << odd;
    }
    WriteBytes(Path("plain"), SampleContent(5000));
    for (const std::string& odd : {Path("dir.qlx"), Path("fifo.qlx")}) {
        Host.FName = odd;
        ExpectReported([&] { Encrypt(Host, Path("plain"), odd); }, EncryptError);
        EXPECT_FALSE(fs::exists(SealingTempName(odd))) << odd;
        EXPECT_FALSE(fs::is_regular_file(odd)) << "left as it was: " << odd;
    }
    // A FIFO as the source of sealing or compression is refused, not read.
    ExpectReported([&] { Encrypt(Host, Path("fifo.qlx"), Path("new.qlx")); }, EncryptError);
    EXPECT_FALSE(fs::exists(Path("new.qlx")));
    EXPECT_THROW(CompressFile(Path("fifo.qlx"), Path("new.qlz")), platform::EFOpenError);
    EXPECT_FALSE(fs::exists(Path("new.qlz")));
}

TEST_F(DataFileFaultTest, AFullDiskWhileSealingLeavesTheOldDataFileWhole) {
    const Bytes old = SampleContent(3000, 7);
    WriteBytes(Path("data.qlx"), old);
    ASSERT_EQ(::chmod(Path("data.qlx").c_str(), 0640), 0);
    WriteBytes(Path("plain"), SampleContent(100000));
    Host.FName = Path("data.qlx");
    EXPECT_EQ(WithFileSizeLimit(20000, [&] { Encrypt(Host, Path("plain"), Path("data.qlx")); }), 1);
    EXPECT_EQ(ReadBytes(Path("data.qlx")), old);
    struct stat info {};
    ASSERT_EQ(::stat(Path("data.qlx").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_FALSE(fs::exists(SealingTempName(Path("data.qlx")))) << "the partial ciphertext is removed";
}

TEST_F(DataFileFaultTest, AFullDiskWhileUnsealingOrDecompressingFails) {
    WriteBytes(Path("sealed"), SampleContent(100000));
    EXPECT_EQ(WithFileSizeLimit(20000, [&] { Decrypt(Host, Path("sealed"), Path("out.qlz")); }), 1);

    // Decompression: the write error passes to the caller (exit 101 here);
    // it is not mistaken for damaged data.
    WriteBytes(Path("plain"), SampleContent(100000));
    CompressFile(Path("plain"), Path("data.qlx.qlz"));
    Host.FName = Path("data.qlx");
    EXPECT_EQ(WithFileSizeLimit(20000, [&] { DecompressFile(Host, Path("data.qlx.qlz"), Path("data.qlx.qlt")); }), 101);
    EXPECT_TRUE(fs::exists(Path("data.qlx.qlz"))) << "left to the caller, which wipes it";
    // Compression into a full disk raises as well.
    EXPECT_EQ(WithFileSizeLimit(1000, [&] { CompressFile(Path("plain"), Path("c.qlz")); }), 101);
}

} // namespace
} // namespace quillock::datafile::testing
