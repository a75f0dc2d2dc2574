// A full disk while the session writes the intermediate file, the backup and
// the new data file: exit 1 with the message, the data file whole, the newest
// text in a named owner-only file, nothing partial left; and a read-only file
// system. The session's folder
// is a small tmpfs mounted in a mount namespace of the test's own; without the
// right to mount, the tests are skipped.
#include "tests/support/ReliabilitySupport.h"

#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>

namespace quillock::testing {
namespace {

constexpr const char* WriteFailure = "An error was occurred while writing on disk!\r\n\r\n"
                                     "Please check your data and/or try to restore a backup copy manually.";

class DiskFullTest : public datafile::testing::TTempDirTest {
protected:
    void SetUp() override {
        TTempDirTest::SetUp();
        Disk = Dir / "disk";
        std::filesystem::create_directories(Disk);
        if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", Disk.c_str(), "tmpfs", 0, "size=4m,mode=0700") != 0) {
            GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
        }
        Mounted = true;
        Data = (Disk / "diary.qlx").string();
        const Bytes sample = datafile::testing::SampleContent(300000);
        Content = "Arbolix data file\r\n" + std::string(sample.begin(), sample.end());
        Edited = Content + "edit";
        SealContent(Data, Content, false);
        View.FName = Data;
        View.FExeName = FakeEditor + " append=edit";
    }
    void TearDown() override {
        if (Mounted) {
            ::umount2(Disk.c_str(), MNT_DETACH);
        }
        TTempDirTest::TearDown();
    }

    // Fills the disk until about free bytes are left.
    void LeaveFree(std::uint64_t free) const {
        struct statvfs info {};
        ASSERT_EQ(::statvfs(Disk.c_str(), &info), 0);
        const std::uint64_t available = info.f_bavail * info.f_frsize;
        ASSERT_GT(available, free);
        const std::uint64_t fill = (available - free) / 4096 * 4096;
        const int fd = ::open((Disk / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        const std::vector<char> zeros(65536, 0);
        for (std::uint64_t written = 0; written < fill;) {
            const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(zeros.size(), fill - written));
            const ssize_t put = ::write(fd, zeros.data(), piece);
            ASSERT_GT(put, 0) << std::strerror(errno);
            written += static_cast<std::uint64_t>(put);
        }
        ::close(fd);
    }

    // Leaves free bytes once the editor has saved.
    void FullAfterEditing(std::uint64_t free) {
        View.OnEvent = [this, free](const std::string& event) {
            if (event == "HideTrayIcon") {
                LeaveFree(free);
            }
        };
    }

    [[nodiscard]] std::uint64_t SealedSize() const { return std::filesystem::file_size(Data); }

    // After the failure: the data file holds the old text, the newest is in
    // the owner-only working or intermediate file, which the next run names.
    void ExpectEditsKeptIn(const std::string& suffix) {
        std::filesystem::remove(Disk / "filler"); // unsealing here needs room
        EXPECT_EQ(Unseal(Data).Content, Content);
        EXPECT_EQ(FilesHolding(Data, Edited), Strings{suffix});
        EXPECT_EQ(Mode(Data + suffix), 0600u);
        TScriptedView next;
        next.FName = Data;
        next.YesNoAnswers = {TModalResult::mrNo};
        EXPECT_EQ(next.Run(), 1);
        ASSERT_EQ(next.Messages.size(), 1u);
        ExpectWarningNamesTheFiles(next.Messages[0], Data);
    }

    std::filesystem::path Disk;
    bool Mounted = false;
    std::string Data;
    std::string Content;
    std::string Edited;
    TScriptedView View;
};

TEST_F(DiskFullTest, WhileDecipheringIntoTheIntermediateFile) {
    LeaveFree(Content.size() / 2);
    EXPECT_EQ(View.Run(), 1);
    ASSERT_EQ(View.Messages.size(), 1u);
    EXPECT_TRUE(View.Messages[0].starts_with("File I/O error during decryption!")) << View.Messages[0];
    // The partial plain text is wiped; the data file is whole.
    EXPECT_EQ(Listing(Disk), (Strings{"diary.qlx", "filler"}));
    std::filesystem::remove(Disk / "filler");
    EXPECT_EQ(Unseal(Data).Content, Content);
}

TEST_F(DiskFullTest, WhileDecompressingIntoTheWorkingCopy) {
    // A compressed content, so that decompressing writes the working copy
    // beside the whole unsealed stream.
    SealContent(Data, Content, true);
    LeaveFree(std::filesystem::file_size(Data) + Content.size() / 2);
    EXPECT_EQ(View.Run(), 1);
    // Before the editor ran the data file holds everything: no plain copy,
    // partial or whole, is left.
    EXPECT_EQ(Listing(Disk), (Strings{"diary.qlx", "filler"}));
    std::filesystem::remove(Disk / "filler");
    EXPECT_EQ(Unseal(Data).Content, Content);
}

TEST_F(DiskFullTest, WhileCopyingAPlainFileToImport) {
    const std::string plain = (Disk / "diary.qlt").string();
    std::filesystem::remove(Data);
    WriteText(plain, Content);
    View.FName = plain;
    View.YesNoAnswers = {TModalResult::mrYes};
    LeaveFree(Content.size() / 2);
    EXPECT_EQ(View.Run(), 1);
    // The plain file carries the new name, owner-only; no partial copy.
    EXPECT_EQ(Listing(Disk), (Strings{"diary.qlx", "filler"}));
    EXPECT_EQ(ReadText(Data), Content);
    EXPECT_EQ(Mode(Data), 0600u);
}

TEST_F(DiskFullTest, WhileCopyingTheBackup) {
    WriteText(Data + ".bak", "the backup there was");
    FullAfterEditing(SealedSize() / 2);
    EXPECT_EQ(View.Run(), 1);
    EXPECT_EQ(View.Messages, Strings{std::string(WriteFailure) + "\r\n\r\nYour edits are in \"" + Data +
                                     ".qlt\" (the working copy, plain text, readable by you only). Keep that file: "
                                     "the backups are older than these edits."});
    // The backup there was stays whole; no partial copy is left.
    EXPECT_EQ(ReadText(Data + ".bak"), "the backup there was");
    EXPECT_EQ(Listing(Disk), (Strings{"diary.qlx", "diary.qlx.bak", "diary.qlx.qlt", "filler"}));
    ExpectEditsKeptIn(".qlt");
}

TEST_F(DiskFullTest, WhileCompressingIntoTheIntermediateFile) {
    View.FUseCompression = true;
    FullAfterEditing(SealedSize() + ZlibCompress(Edited).size() / 2);
    EXPECT_EQ(View.Run(), 1);
    ASSERT_EQ(View.Messages.size(), 1u);
    EXPECT_TRUE(View.Messages[0].starts_with(std::string(WriteFailure) + "\r\n\r\n(")) << View.Messages[0];
    // The partial compressed stream is wiped; the backup is complete.
    EXPECT_EQ(Listing(Disk), (Strings{"diary.qlx", "diary.qlx.bak", "diary.qlx.qlt", "filler"}));
    ExpectEditsKeptIn(".qlt");
    EXPECT_EQ(Unseal(Data + ".bak").Content, Content);
}

TEST_F(DiskFullTest, WhileSealingTheNewDataFile) {
    FullAfterEditing(SealedSize() + SealedSize() / 2);
    EXPECT_EQ(View.Run(), 1);
    ASSERT_EQ(View.Messages.size(), 1u);
    EXPECT_TRUE(View.Messages[0].starts_with("File I/O error during encryption!")) << View.Messages[0];
    // No partial ciphertext; the old data file and its backup are whole.
    EXPECT_EQ(Listing(Disk), (Strings{"diary.qlx", "diary.qlx.bak", "diary.qlx.qlz", "filler"}));
    ExpectEditsKeptIn(".qlz");
    EXPECT_EQ(Unseal(Data + ".bak").Content, Content);
}

// recover on a disk without room for its backup, decoded text and sealed
// file: it stops before writing anything, names the bytes needed and the
// file that holds the newest text; with room, a second recover seals it.
TEST_F(DiskFullTest, RecoverWithoutRoomKeepsEveryInputAndFinishesOnceThereIsRoom) {
    struct TCase {
        const char* Name;
        const char* Suffix; // where the newest text is
        bool Decompress;
    };
    for (const TCase& state :
         {TCase{"newer working copy", ".qlt", false}, TCase{"compressed intermediate file", ".qlz", false},
          TCase{"compressed intermediate file, decompressed", ".qlz", true}}) {
        SCOPED_TRACE(state.Name);
        for (const std::string& name : Listing(Disk)) {
            std::filesystem::remove(Disk / name);
        }
        SealContent(Data, Content, true);
        if (std::string(state.Suffix) == ".qlt") {
            WriteText(Data + ".qlt", Edited);
        } else {
            WriteBytes(Data + ".qlz", ZlibCompress(Edited));
        }
        ::chmod((Data + state.Suffix).c_str(), 0600);
        const Bytes left = ReadBytes(Data + state.Suffix);
        const Bytes sealed = ReadBytes(Data);
        LeaveFree(SealedSize() / 2);
        TScriptedView view;
        view.FName = Data;
        view.FDecompress = state.Decompress;
        EXPECT_EQ(view.Recover(), 1);
        ASSERT_FALSE(view.Messages.empty());
        const std::string& message = view.Messages.back();
        EXPECT_TRUE(message.starts_with("There is not room enough beside \"" + Data + "\" to recover: about "))
            << message;
        EXPECT_NE(message.find("Nothing has been changed: the newest text is in \"" + Data + state.Suffix + "\"."),
                  std::string::npos)
            << message;
        EXPECT_EQ(Listing(Disk), (Strings{"diary.qlx", std::string("diary.qlx") + state.Suffix, "filler"}));
        EXPECT_EQ(ReadBytes(Data + state.Suffix), left);
        EXPECT_EQ(ReadBytes(Data), sealed);

        std::filesystem::remove(Disk / "filler");
        TScriptedView again;
        again.FName = Data;
        again.FDecompress = state.Decompress;
        EXPECT_EQ(again.Recover(), 0) << (again.Messages.empty() ? "" : again.Messages.back());
        EXPECT_EQ(Unseal(Data).Content, Edited);
        EXPECT_EQ(Listing(Disk), (Strings{"diary.qlx", "diary.qlx.bak"}));
    }
}

// The folder is on a file system mounted read-only (for root too, unlike a
// folder without write bits): refused before anything, nothing changes.
TEST_F(DiskFullTest, ReadOnlyFileSystemRefusesAtTheStart) {
    const Bytes sealed = ReadBytes(Data);
    ASSERT_EQ(::mount(nullptr, Disk.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0) << std::strerror(errno);
    EXPECT_EQ(View.Run(), 1);
    EXPECT_EQ(View.Messages, Strings{"Unable to open the file!\r\nFile attribute is set to Read-Only!"});
    EXPECT_FALSE(View.Saw("ShowTrayIcon"));
    EXPECT_EQ(Listing(Disk), Strings{"diary.qlx"});
    EXPECT_EQ(ReadBytes(Data), sealed);
}

} // namespace
} // namespace quillock::testing
