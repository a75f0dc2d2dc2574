// The editing session on real files, with the stand-in editor and a scripted
// view: every storage and option path, imports, left-over files, failures,
// backups, and what each end leaves on disk.
#include "tests/support/EditorTestSupport.h"
#include "tests/support/ScriptedView.h"

#include "platform/Process.h"

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <thread>

namespace quillock::testing {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

const std::string Content = "Arbolix data file\r\nfirst entry\r\n";
const std::string WriteFailure = "An error was occurred while writing on disk!\r\n\r\n"
                                 "Please check your data and/or try to restore a backup copy manually.";

class SessionTest : public TViewTest {
protected:
    // A session in which the editor changes nothing and the user says the
    // editing is finished; the result of View.Run().
    int RunUnedited() {
        View.FinishedAnswers = {true};
        Editor("keep");
        return View.Run();
    }

    // The data file made of Content, sealed compressed or not; what it holds.
    Bytes SealedData(bool compressed) {
        SealContent(Data, Content, compressed);
        return ReadBytes(Data);
    }

    // An unedited session on the plain file plain, holding Content, which the
    // user agrees to import; the result of View.Run().
    int ImportUnedited(const std::string& plain) {
        View.FName = plain;
        WriteText(plain, Content);
        View.YesNoAnswers = {TModalResult::mrYes};
        return RunUnedited();
    }

    // The data file holds content, sealed compressed or not.
    void ExpectSealed(const std::string& content, bool compressed) const {
        const TUnsealed result = Unseal(Data);
        EXPECT_EQ(result.Compressed, compressed);
        EXPECT_EQ(result.Content, content);
    }

    [[nodiscard]] Strings Files() const { return Listing(Dir); }

    static struct timespec ModifiedAt(const std::string& path) {
        struct stat info {};
        EXPECT_EQ(::stat(path.c_str(), &info), 0);
        return info.st_mtim;
    }
};

TEST_F(SessionTest, NoFileChosenWarnsAndLeavesTheWindowUsable) {
    View.FName.clear();
    EXPECT_EQ(View.Run(), -1);
    EXPECT_EQ(View.Events, Strings{"WarnBox:Select a Arbolix file!"});
    EXPECT_TRUE(Files().empty());
}

TEST_F(SessionTest, OpenedAndClosedWithoutEditsChangesNothing) {
    const Bytes sealed = SealedData(false);
    const timespec before = ModifiedAt(Data);
    Editor("copy=" + Path("seen") + " mode=" + Path("mode"));
    View.FinishedAnswers = {true};

    EXPECT_EQ(View.Run(), 0);
    // The editor was back at once without a change: asked, and checked again.
    EXPECT_EQ(View.Captions(), (Strings{"Status:Decrypting..", "Status:Checking CRC..", "Status:Starting Arbolix..",
                                        "Status:Checking CRC..", "Status:Checking CRC..", "Panel:No changes done.",
                                        "Status:Wiping data.."}));
    EXPECT_EQ(View.IndexOf("ConfirmEditingFinished"), View.IndexOf("Panel:No changes done.") - 2);
    // The editor saw the unsealed data in an owner-only working copy.
    EXPECT_EQ(ReadText(Path("seen")), Content);
    EXPECT_EQ(ReadText(Path("mode")), "600\n");
    EXPECT_EQ(ReadBytes(Data), sealed);
    const timespec after = ModifiedAt(Data);
    EXPECT_TRUE(before.tv_sec == after.tv_sec && before.tv_nsec == after.tv_nsec);
    EXPECT_EQ(Files(), (Strings{"diary.qlx", "mode", "seen"}));
    EXPECT_EQ(View.FPassword.View(), std::string(69, '0'));
    EXPECT_TRUE(View.Messages.empty());

    // The window is locked first; the editor runs hidden, between the icon's
    // showing and hiding; the session ends with the pause, a save and the end.
    EXPECT_EQ(View.Events.front(), "LockWindow");
    const auto hide = View.IndexOf("HideMainWindow");
    EXPECT_TRUE(hide < View.IndexOf("ShowTrayIcon") && View.IndexOf("ShowTrayIcon") < View.IndexOf("HideTrayIcon") &&
                View.IndexOf("HideTrayIcon") < View.IndexOf("ShowMainWindow"));
    const Strings tail(View.Events.end() - 13, View.Events.end());
    Strings expected{"ClearPassword"};
    expected.insert(expected.end(), 10, "Sleep:100");
    expected.insert(expected.end(), {"SavePreferences", "EndProgram"});
    EXPECT_EQ(tail, expected);
}

TEST_F(SessionTest, CancelBeforeTheEditorWipesThePlainCopiesAndChangesNothing) {
    SealContent(Data, Content, true); // compressed: decrypting writes the intermediate file
    const Bytes sealed = ReadBytes(Data);
    for (const char* status : {"Decompressing..", "Checking CRC..", "Starting Arbolix.."}) {
        TScriptedView view;
        view.FName = Data;
        view.FExeName = FakeEditor + " copy=" + Path("seen");
        view.CancelAtStatus = status;
        EXPECT_EQ(view.Run(), 0) << status;
        EXPECT_EQ(view.Captions().back(), "Panel:Cancelled: nothing has been changed.") << status;
        EXPECT_FALSE(view.Saw("HideMainWindow")) << status;
        EXPECT_EQ(ReadBytes(Data), sealed);
        EXPECT_EQ(Files(), Strings{"diary.qlx"}) << status;
        EXPECT_EQ(view.Events.back(), "EndProgram");
    }
    // Once the editor started, the session runs to its end.
    View.CancelAtStatus = "Creating backup..";
    Editor("append=more");
    EXPECT_EQ(View.Run(), 0);
    EXPECT_EQ(Unseal(Data).Content, Content + "more");
}

TEST_F(SessionTest, EveryLongStepReportsFromZeroAndTheWaitStepRunsWhileTheEditorDoes) {
    SealContent(Data, Content, true);
    Editor("sleep=300 append=more");
    int steps = 0;
    View.WaitStep = [&steps] {
        ++steps;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    };
    View.FUseCompression = true;
    EXPECT_EQ(View.Run(), 0);
    EXPECT_GT(steps, 1);
    // The percentage goes back only to 0, where the next step begins.
    std::size_t starts = 0;
    std::uint64_t shown = 0;
    for (const auto& [done, total] : View.Reports) {
        ASSERT_LE(done, total);
        const std::uint64_t percent = total == 0 ? 100 : done * 100 / total;
        if (done == 0) {
            ++starts;
        } else {
            EXPECT_GE(percent, shown);
        }
        shown = percent;
    }
    // Decrypting, decompressing, two CRC checks, backup, compressing,
    // encrypting, wiping: each starts at 0 at least once.
    EXPECT_GE(starts, 8u);
}

TEST_F(SessionTest, EditsAreResealedAfterABackupOfTheDataFile) {
    const Bytes sealed = SealedData(false);
    Editor("append=second");
    EXPECT_EQ(View.Run(), 0);
    const Strings captions = View.Captions();
    EXPECT_EQ(Strings(captions.begin() + 4, captions.end()),
              (Strings{"Status:Creating backup..", "Status:Encrypting.. [Uncompressed]",
                       "Panel:Data successfully encrypted.", "Status:Wiping data.."}));
    ExpectSealed(Content + "second", false);
    EXPECT_EQ(ReadBytes(Data + ".bak"), sealed);
    EXPECT_EQ(Files(), (Strings{"diary.qlx", "diary.qlx.bak"}));
}

TEST_F(SessionTest, EditorExitCodeDoesNotMatterAndSavingByRenameCounts) {
    SealContent(Data, Content, false);
    View.FExeName = FakeEditor + " \"rename=Arbolix renamed\" exit=7";
    EXPECT_EQ(View.Run(), 0);
    EXPECT_EQ(Unseal(Data).Content, "Arbolix renamed");
    EXPECT_TRUE(View.Messages.empty());
}

TEST_F(SessionTest, PasswordChangeResealsWithoutEditsAndRotatesBackups) {
    const Bytes sealed = SealedData(false);
    WriteText(Data + ".bak", "previous backup");
    View.FChangePass = true;
    View.FDoubleBackup = true;
    View.InputAnswers = {"new password", "new password"};
    EXPECT_EQ(RunUnedited(), 0);
    EXPECT_EQ(Unseal(Data, {"new password", 0, 0}).Content, Content);
    EXPECT_EQ(ReadBytes(Data + ".bak"), sealed);
    EXPECT_EQ(ReadText(Data + ".old"), "previous backup");
    EXPECT_EQ(View.Messages, (Strings{"Password changed!", "\"" + Data + ".bak\" and \"" + Data +
                                                               ".old\" still open with the old password."}));
}

TEST_F(SessionTest, AlgorithmChangeResealsUnderTheNewChoices) {
    SealContent(Data, Content, false);
    View.FChangeAlgorithm = true;
    View.QuestionAnswers = {false, false}; // Blowfish, SHA-1
    EXPECT_EQ(RunUnedited(), 0);
    EXPECT_EQ(View.FAlgorithm, 1);
    EXPECT_EQ(View.FHash, 1);
    EXPECT_EQ(Unseal(Data, {"secret", 1, 1}).Content, Content);
}

TEST_F(SessionTest, WrongPasswordWipesTheTemporaryFilesAndLeavesTheDataFile) {
    SealContent(Data, std::string(5000, 'x'), true);
    const Bytes sealed = ReadBytes(Data);
    View.SetPassword("wrong");
    Editor("keep");
    EXPECT_EQ(View.Run(), 1);
    EXPECT_EQ(View.Messages,
              Strings{"Decryption Error!\r\n\r\n(Maybe you have selected the wrong algorithm/hashing?)"});
    EXPECT_EQ(ReadBytes(Data), sealed);
    EXPECT_EQ(Files(), Strings{"diary.qlx"});
    EXPECT_FALSE(View.Saw("ShowTrayIcon"));
}

TEST_F(SessionTest, AViewThatAsksAgainGetsTheWrongPasswordBackAndTheNextTryWorks) {
    const Bytes sealed = SealedData(false);
    View.FTriesAnotherPassword = true;
    View.SetPassword("wrong");
    Editor("keep");
    EXPECT_EQ(View.Run(), -2);
    EXPECT_EQ(View.Messages,
              Strings{"Decryption Error!\r\n\r\n(Maybe you have selected the wrong algorithm/hashing?)"});
    // Nothing of the try is left, nothing is ended or saved, the lock is free.
    EXPECT_EQ(Files(), Strings{"diary.qlx"});
    EXPECT_EQ(ReadBytes(Data), sealed);
    for (const char* event : {"ExitWithError", "EndProgram", "SavePreferences", "ShowTrayIcon"}) {
        EXPECT_FALSE(View.Saw(event)) << event;
    }
    View.SetPassword("secret");
    View.FinishedAnswers = {true};
    EXPECT_EQ(View.Run(), 0);
    EXPECT_EQ(Files(), Strings{"diary.qlx"});
}

TEST_F(SessionTest, UnsealedDataThatIsNotAnEditorFileIsWiped) {
    SealContent(Data, "just some text\r\n", true);
    const Bytes sealed = ReadBytes(Data);
    Editor("keep");
    EXPECT_EQ(View.Run(), 1);
    EXPECT_EQ(View.Messages, Strings{"Error! This is not a Arbolix file!"});
    EXPECT_EQ(ReadBytes(Data), sealed);
    EXPECT_EQ(Files(), Strings{"diary.qlx"});
}

// Sets or clears the immutable attribute; false where the file system or the
// user's rights do not allow it.
bool SetImmutable(const std::string& path, bool on) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return done;
}

TEST_F(SessionTest, ReadOnlyDataFileIsRefusedBeforeAnythingIsDone) {
    const std::string refusal = "Unable to open the file!\r\nFile attribute is set to Read-Only!";
    // A sealed file or a plain file to import without write bits (the mode
    // decides, so this holds for root as well), and an immutable one: each
    // could be edited but never sealed again.
    enum class TKind { SealedReadOnly, PlainReadOnly, SealedImmutable };
    for (const TKind kind : {TKind::SealedReadOnly, TKind::PlainReadOnly, TKind::SealedImmutable}) {
        const bool plain = kind == TKind::PlainReadOnly;
        SCOPED_TRACE(static_cast<int>(kind));
        const std::string chosen = plain ? Path("diary.qlt") : Data;
        if (plain) {
            WriteBytes(chosen, Bytes(Content.begin(), Content.end()));
        } else {
            SealContent(chosen, Content, false);
        }
        if (kind == TKind::SealedImmutable) {
            if (!SetImmutable(chosen, true)) {
                fs::remove(chosen);
                continue; // not supported here, or not allowed for this user
            }
        } else {
            ASSERT_EQ(::chmod(chosen.c_str(), 0444), 0);
        }
        const Bytes before = ReadBytes(chosen);
        TScriptedView view;
        view.FName = chosen;
        view.FPassword = View.FPassword.Clone();
        view.FExeName = FakeEditor + " append=lost";
        EXPECT_EQ(view.Run(), 1);
        EXPECT_EQ(view.Messages, Strings{refusal});
        EXPECT_FALSE(view.Saw("ShowTrayIcon")) << "the editor never started";
        EXPECT_EQ(ReadBytes(chosen), before);
        EXPECT_EQ(Files(), Strings{plain ? "diary.qlt" : "diary.qlx"});
        if (kind == TKind::SealedImmutable) {
            ASSERT_TRUE(SetImmutable(chosen, false));
        }
        ASSERT_EQ(::chmod(chosen.c_str(), 0600), 0);
        fs::remove(chosen);
    }
}

TEST_F(SessionTest, DataFileThatIsNotARegularFileChangesNothing) {
    // Nothing may wait on a FIFO or read a device, and a folder stays.
    Strings names{"fifo.qlx", "folder.qlx"};
    ASSERT_EQ(::mkfifo(Path("fifo.qlx").c_str(), 0600), 0);
    fs::create_directory(Path("folder.qlx"));
    // The null device's numbers; making a device node needs the right to.
    if (::mknod(Path("device.qlx").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
        names.insert(names.begin(), "device.qlx");
    }
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        TScriptedView view;
        view.FName = Path(name);
        view.FPassword = View.FPassword.Clone();
        view.FExeName = FakeEditor + " append=lost";
        EXPECT_EQ(view.Run(), 1);
        ASSERT_EQ(view.Messages.size(), 1u);
        EXPECT_FALSE(view.Saw("ShowTrayIcon"));
        EXPECT_EQ(Files(), names);
    }
    EXPECT_TRUE(fs::is_fifo(Path("fifo.qlx")));
    EXPECT_TRUE(fs::is_directory(Path("folder.qlx")));
    EXPECT_TRUE(fs::is_empty(Path("folder.qlx")));
}

// The six ways a working copy comes about and what is sealed at the end.
struct TStorageRow {
    const char* Name;
    bool Import;
    bool StoredCompressed;
    bool UseCompression;
    bool Decompress;
    bool SealedCompressed;
    const char* Caption;
};

class StorageTable : public SessionTest, public ::testing::WithParamInterface<TStorageRow> {};

TEST_P(StorageTable, SealsAsTheOptionsSay) {
    const TStorageRow& row = GetParam();
    if (row.Import) {
        Data = Path("diary.qlt");
        View.FName = Data;
        WriteText(Data, Content);
        View.YesNoAnswers = {TModalResult::mrYes};
    } else {
        SealContent(Data, Content, row.StoredCompressed);
    }
    View.FUseCompression = row.UseCompression;
    View.FDecompress = row.Decompress;
    Editor("append=edit");
    EXPECT_EQ(View.Run(), 0);
    const std::string sealed = Path("diary.qlx");
    const TUnsealed result = Unseal(sealed);
    EXPECT_EQ(result.Compressed, row.SealedCompressed);
    EXPECT_EQ(result.Content, Content + "edit");
    EXPECT_TRUE(View.Saw(std::string("Status:") + row.Caption));
    const bool reported = !row.Import && !row.StoredCompressed && row.UseCompression;
    EXPECT_EQ(!View.Messages.empty() && View.Messages.back().starts_with("Decompressed size: "), reported);
    EXPECT_EQ(View.Saw("TickCompress"), row.StoredCompressed && !row.Decompress);
    EXPECT_EQ(Files(), row.Import ? Strings{"diary.qlx"} : (Strings{"diary.qlx", "diary.qlx.bak"}));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, StorageTable,
    ::testing::Values(TStorageRow{"ImportPlain", true, false, false, false, false, "Encrypting.. [Uncompressed]"},
                      TStorageRow{"ImportCompress", true, false, true, false, true, "Encrypting.. [Compressed]"},
                      TStorageRow{"PlainKept", false, false, false, false, false, "Encrypting.. [Uncompressed]"},
                      TStorageRow{"PlainCompressed", false, false, true, false, true, "Encrypting.. [Compressed]"},
                      TStorageRow{"CompressedKept", false, true, false, false, true, "Encrypting.. [Compressed]"},
                      TStorageRow{"CompressedDecompressed", false, true, false, true, false,
                                  "Encrypting.. [Uncompressed]"}),
    [](const ::testing::TestParamInfo<TStorageRow>& info) { return std::string(info.param.Name); });

TEST_F(SessionTest, CompressingPlainDataResealsWithoutEditsAndReportsTheSizes) {
    // 10,240 bytes: 11 Kb by the report's count.
    std::string content = "Arbolix data file\r\n";
    for (std::size_t i = 0; content.size() < 10240; ++i) {
        content += "entry " + std::to_string(i * 7919 % 1000) + " ";
    }
    content.resize(10240);
    SealContent(Data, content, false);
    View.FUseCompression = true;
    EXPECT_EQ(RunUnedited(), 0);
    EXPECT_TRUE(View.Saw("Status:[Uncompressed]"));
    EXPECT_TRUE(View.Saw("Status:Encrypting.. [Compressed]"));
    const std::size_t compressedKb = ZlibCompress(content).size() / 1024 + 1;
    EXPECT_EQ(View.Messages, Strings{"Decompressed size: 11 Kb\r\nCompressed size: " + std::to_string(compressedKb) +
                                     " Kb\r\nRatio: " + std::to_string(compressedKb * 100 / 11) + "% of original"});
    // The report comes after the wipe.
    EXPECT_LT(View.IndexOf("Status:Wiping data.."), View.IndexOf("AskUser:2:" + View.Messages.back()));
    ExpectSealed(content, true);
}

TEST_F(SessionTest, CompressedDataWithoutEditsStaysAsItIs) {
    const Bytes sealed = SealedData(true);
    EXPECT_EQ(RunUnedited(), 0);
    EXPECT_TRUE(View.Saw("TickCompress"));
    EXPECT_TRUE(View.FUseCompression);
    EXPECT_TRUE(View.Saw("Panel:No changes done."));
    EXPECT_EQ(ReadBytes(Data), sealed);
    EXPECT_EQ(Files(), Strings{"diary.qlx"});
}

TEST_F(SessionTest, DecompressResealsPlainWithoutEdits) {
    SealContent(Data, Content, true);
    View.FDecompress = true;
    EXPECT_EQ(RunUnedited(), 0);
    EXPECT_TRUE(View.Saw("Status:Encrypting.. [Uncompressed]"));
    EXPECT_TRUE(View.Messages.empty());
    ExpectSealed(Content, false);
}

TEST_F(SessionTest, ImportRenamesSealsWithoutEditsAndRotatesAnOldBackup) {
    const std::string plain = Path("diary.qlt");
    View.FName = plain;
    WriteText(plain, Content);
    WriteText(Data + ".bak", "older backup");
    View.FDoubleBackup = true;
    View.YesNoAnswers = {TModalResult::mrYes};
    View.FinishedAnswers = {true};
    Editor("record=" + Path("argv"));
    EXPECT_EQ(View.Run(), 0);
    EXPECT_EQ(View.Messages,
              Strings{"NON-Encrypted Arbolix File detected.\r\nDo you want to import (and encrypt) it?"});
    EXPECT_TRUE(View.Saw("SetDataFileName:" + Data));
    EXPECT_TRUE(View.Saw("Status:Importing.."));
    EXPECT_EQ(ReadText(Path("argv")), "record=" + Path("argv") + "\n" + Data + ".qlt\n");
    EXPECT_EQ(Unseal(Data).Content, Content);
    // No new first backup on an import, but the old one moved on.
    EXPECT_EQ(ReadText(Data + ".old"), "older backup");
    EXPECT_EQ(Files(), (Strings{"argv", "diary.qlx", "diary.qlx.old"}));
}

TEST_F(SessionTest, ImportOfANameWithoutExtensionAppendsIt) {
    const std::string plain = Path("diary");
    EXPECT_EQ(ImportUnedited(plain), 0);
    EXPECT_EQ(View.FName, Path("diary.qlx"));
    EXPECT_EQ(Unseal(Path("diary.qlx")).Content, Content);
    EXPECT_EQ(Files(), Strings{"diary.qlx"});
}

TEST_F(SessionTest, ImportReplacesOnlyTheLastExtensionOfTheFileName) {
    std::filesystem::create_directories(Path("notes.d"));
    const std::string plain = Path("notes.d/diary.2024.txt");
    EXPECT_EQ(ImportUnedited(plain), 0);
    EXPECT_EQ(View.FName, Path("notes.d/diary.2024.qlx"));
    EXPECT_EQ(Listing(Path("notes.d")), Strings{"diary.2024.qlx"});
}

TEST_F(SessionTest, ImportOntoAnExistingDataFileChangesNothing) {
    const std::string plain = Path("diary.qlt");
    View.FName = plain;
    WriteText(plain, Content);
    ASSERT_EQ(::chmod(plain.c_str(), 0644), 0);
    WriteText(Data, "an existing data file");
    View.YesNoAnswers = {TModalResult::mrYes};
    EXPECT_EQ(View.Run(), 1);
    EXPECT_EQ(Mode(plain), 0644u) << "a file not renamed keeps its mode";
    EXPECT_EQ(View.Messages.back(),
              "Cannot rename file!\r\n\"" + Data +
                  "\" already exists! (or disk is write protected?)\r\n\r\nPlease check your data.");
    EXPECT_EQ(ReadText(plain), Content);
    EXPECT_EQ(ReadText(Data), "an existing data file");
    EXPECT_EQ(Files(), (Strings{"diary.qlt", "diary.qlx"}));
}

TEST_F(SessionTest, ImportOfAPlainFileOf4GiBIsRefusedBeforeAnythingIsDone) {
    // Sparse: the size counts, not the blocks.
    const std::string plain = Path("diary.qlt");
    WriteText(plain, Content);
    fs::resize_file(plain, std::uintmax_t{1} << 32);
    View.FName = plain;
    View.YesNoAnswers = {TModalResult::mrYes};
    EXPECT_EQ(View.Run(), 1);
    EXPECT_EQ(View.Messages, Strings{"\"" + plain +
                                     "\" is 4 GiB or larger and cannot be sealed, so it is not imported.\r\n\r\n"
                                     "Nothing has been changed."});
    EXPECT_EQ(View.YesNoAnswers.size(), 1u) << "not even asked";
    EXPECT_EQ(Files(), Strings{"diary.qlt"});
    EXPECT_EQ(fs::file_size(plain), std::uintmax_t{1} << 32);
}

TEST_F(SessionTest, ImportDeclinedByNoOrCloseBoxKeepsThePlainFile) {
    for (const TModalResult answer : {TModalResult::mrNo, TModalResult::mrNone}) {
        TScriptedView view;
        view.FName = Path("diary.qlt");
        WriteText(view.FName, Content);
        view.YesNoAnswers = {answer};
        EXPECT_EQ(view.Run(), 1);
        EXPECT_EQ(ReadText(Path("diary.qlt")), Content);
        EXPECT_EQ(Files(), Strings{"diary.qlt"});
    }
}

TEST_F(SessionTest, PlainFileAlreadyNamedLikeADataFileIsImportedInPlace) {
    // What an import cut short after its rename leaves.
    WriteText(Data, Content);
    View.YesNoAnswers = {TModalResult::mrYes};
    Editor("append=more");
    EXPECT_EQ(View.Run(), 0);
    EXPECT_EQ(Unseal(Data).Content, Content + "more");
    EXPECT_EQ(Files(), Strings{"diary.qlx"});
}

const std::string LeftOverWarningText =
    ".qlt/qlz\" ALREADY EXISTS!\r\n(Maybe system crashed while working on this file, or the file is already "
    "opened?)\r\n\r\nClick [Yes] if you want to OVERWRITE this file (will lose all changes!)\r\nClick [No] to "
    "EXIT and view this file with Arbolix (it should be unencrypted)\r\n\r\nRecommended choice: [No]\r\n\r\n";

// The left-over warning keeps its words; the files that hold the text follow it.
void ExpectLeftOverWarning(const std::string& text, const std::string& data, const Strings& named) {
    EXPECT_TRUE(text.starts_with("WARNING: \"" + data + LeftOverWarningText)) << text;
    EXPECT_NE(text.find("The text of the earlier run is in one of these files:"), std::string::npos) << text;
    const std::vector<std::pair<std::string, std::string>> all{
        {".qlt", "working copy, unencrypted"},
        {".qlz", "intermediate file, unencrypted (compressed if compression was on)"},
        {"", "data file, encrypted"},
        {".bak", "backup, encrypted"},
        {".old", "older backup, encrypted"}};
    for (const auto& [suffix, what] : all) {
        const bool wanted = std::find(named.begin(), named.end(), suffix) != named.end();
        EXPECT_EQ(text.find("\r\n\"" + data + suffix + "\": " + what + ", changed ") != std::string::npos, wanted)
            << suffix << " in " << text;
    }
    EXPECT_TRUE(text.ends_with("\r\n\r\n[Yes] overwrites the working copy and the intermediate file: copy the one "
                               "you need first.\r\n[No], then the command  quillock-cli recover " +
                               data + "  seals the newest of these texts into the data file, with the backups kept."))
        << text;
}

TEST_F(SessionTest, LeftOverWorkingCopyAnsweredNoOrClosedStaysUntouched) {
    for (const TModalResult answer : {TModalResult::mrNo, TModalResult::mrNone}) {
        SealContent(Data, Content, false);
        const Bytes sealed = ReadBytes(Data);
        WriteText(Data + ".qlt", "Arbolix unsaved edits");
        WriteText(Data + ".bak", "a backup");
        TScriptedView view;
        view.FName = Data;
        view.YesNoAnswers = {answer};
        EXPECT_EQ(view.Run(), 1);
        ASSERT_EQ(view.Messages.size(), 1u);
        ExpectLeftOverWarning(view.Messages[0], Data, {".qlt", "", ".bak"});
        EXPECT_TRUE(view.Saw("AskLeftOver:" + view.Messages[0]));
        EXPECT_EQ(ReadText(Data + ".qlt"), "Arbolix unsaved edits");
        EXPECT_EQ(ReadBytes(Data), sealed);
        EXPECT_EQ(Files(), (Strings{"diary.qlx", "diary.qlx.bak", "diary.qlx.qlt"}));
    }
}

TEST_F(SessionTest, ALeftOverWarningNamesANameThatIsNotUtf8ByteForByte) {
    const std::string data = Path("\xe9t\xe9.qlx");
    SealContent(data, Content, false);
    WriteText(data + ".qlt", "Arbolix unsaved edits");
    View.FName = data;
    View.YesNoAnswers = {TModalResult::mrNo};
    EXPECT_EQ(View.Run(), 1);
    ASSERT_EQ(View.Messages.size(), 1u);
    const std::string& warning = View.Messages[0];
    const std::string shown = Path("\\xe9t\\xe9.qlx");
    EXPECT_TRUE(warning.starts_with("WARNING: \"" + shown + ".qlt/qlz\" ALREADY EXISTS!")) << warning;
    EXPECT_NE(warning.find("\r\n\"" + shown + ".qlt\": working copy, unencrypted"), std::string::npos) << warning;
    // The suggested command, pasted into bash, names the data file.
    const std::string command = "quillock-cli recover ";
    const std::size_t start = warning.find(command);
    ASSERT_NE(start, std::string::npos) << warning;
    const std::string word = warning.substr(start + command.size(), warning.find("  seals") - start - command.size());
    EXPECT_EQ(word, "$'" + shown + "'");
    WriteText(Path("names.sh"), "test -f " + word + "\n");
    EXPECT_EQ(std::system(("bash " + Path("names.sh")).c_str()), 0) << word;
    if (std::system("command -v zsh >/dev/null") == 0) {
        EXPECT_EQ(std::system(("zsh -f " + Path("names.sh")).c_str()), 0) << word;
    } else {
        std::cout << "zsh is not installed: the command was pasted into bash only\n";
    }
}

TEST_F(SessionTest, LeftOverFilesAnsweredYesAreReplacedByFreshData) {
    SealContent(Data, Content, false);
    WriteText(Data + ".qlt", "Arbolix stale working copy");
    WriteText(Data + ".qlz", "stale intermediate");
    View.FExeName = FakeEditor + " copy=" + Path("seen") + " append=new";
    View.YesNoAnswers = {TModalResult::mrYes};
    EXPECT_EQ(View.Run(), 0);
    ASSERT_FALSE(View.Messages.empty());
    ExpectLeftOverWarning(View.Messages[0], Data, {".qlt", ".qlz", ""});
    EXPECT_EQ(ReadText(Path("seen")), Content);
    EXPECT_EQ(Unseal(Data).Content, Content + "new");
    EXPECT_EQ(Files(), (Strings{"diary.qlx", "diary.qlx.bak", "seen"}));
}

TEST_F(SessionTest, LeftOverOnAnImportIsAskedAfterTheRename) {
    const std::string plain = Path("diary.qlt");
    View.FName = plain;
    WriteText(plain, Content);
    WriteText(Data + ".qlz", "left over");
    View.YesNoAnswers = {TModalResult::mrYes, TModalResult::mrNo};
    EXPECT_EQ(View.Run(), 1);
    // The plain file already carries the new name.
    EXPECT_EQ(ReadText(Data), Content);
    EXPECT_EQ(Files(), (Strings{"diary.qlx", "diary.qlx.qlz"}));
}

TEST_F(SessionTest, EditorThatCannotStartIsReportedWhileHiddenAndChangesNothing) {
    const Bytes sealed = SealedData(false);
    View.FExeName = Path("no such editor");
    // Nothing could be edited: the session ends as usual, but not as a success.
    EXPECT_EQ(View.Run(), 1);
    const std::string report = "ERROR: unable to start Arbolix!\r\n\r\nThe command tried: " + Path("no such editor");
    EXPECT_EQ(View.Messages, Strings{report});
    const auto error = View.IndexOf("AskUser:1:" + report);
    EXPECT_LT(View.IndexOf("HideMainWindow"), error);
    EXPECT_LT(error, View.IndexOf("ShowMainWindow"));
    EXPECT_TRUE(View.Saw("Panel:No changes done."));
    EXPECT_EQ(ReadBytes(Data), sealed);
    EXPECT_EQ(Files(), Strings{"diary.qlx"});
}

TEST_F(SessionTest, ADamagedEditorPathIsRefusedNamingTheSetting) {
    SealContent(Data, Content, false);
    View.FExeName = std::string(240000, ' ') + "x";
    EXPECT_EQ(View.Run(), 1);
    EXPECT_EQ(View.Messages, Strings{"ERROR: unable to start Arbolix!\r\n\r\nThe editor path (the setting "
                                     "\"ExeName\") is 240001 bytes long; a path of more than 4096 bytes is never "
                                     "tried."});
    EXPECT_EQ(Files(), Strings{"diary.qlx"});
}

TEST_F(SessionTest, EditorThatCannotStartStillResealsWhenCompressionChanges) {
    SealContent(Data, Content, false);
    View.FExeName = Path("no such editor");
    View.FUseCompression = true;
    EXPECT_EQ(View.Run(), 0);
    ExpectSealed(Content, true);
}

TEST_F(SessionTest, DoubleBackupRotatesBakToOldBeforeTheNewCopy) {
    const Bytes sealed = SealedData(false);
    WriteText(Data + ".bak", "first backup");
    WriteText(Data + ".old", "second backup");
    View.FDoubleBackup = true;
    Editor("append=x");
    EXPECT_EQ(View.Run(), 0);
    EXPECT_EQ(ReadText(Data + ".old"), "first backup");
    EXPECT_EQ(ReadBytes(Data + ".bak"), sealed);
    EXPECT_EQ(Unseal(Data).Content, Content + "x");
}

TEST_F(SessionTest, WithoutDoubleBackupTheFirstBackupIsReplaced) {
    const Bytes sealed = SealedData(false);
    WriteText(Data + ".bak", "first backup");
    Editor("append=x");
    EXPECT_EQ(View.Run(), 0);
    EXPECT_EQ(ReadBytes(Data + ".bak"), sealed);
    EXPECT_EQ(Files(), (Strings{"diary.qlx", "diary.qlx.bak"}));
}

TEST_F(SessionTest, BackupCopyKeepsTheDataFilesMode) {
    SealContent(Data, Content, false);
    std::filesystem::permissions(Data, static_cast<std::filesystem::perms>(0640));
    Editor("append=x");
    EXPECT_EQ(View.Run(), 0);
    EXPECT_EQ(Mode(Data + ".bak"), 0640u);
    EXPECT_EQ(Mode(Data), 0640u);
}

TEST_F(SessionTest, DataFileWithoutExtensionRotatesToItsOwnNames) {
    Data = Path("diary");
    View.FName = Data;
    SealContent(Data, Content, false);
    WriteText(Path("diary.bak"), "first backup");
    View.FDoubleBackup = true;
    Editor("append=x");
    EXPECT_EQ(View.Run(), 0);
    EXPECT_EQ(ReadText(Path("diary.old")), "first backup");
    EXPECT_EQ(Files(), (Strings{"diary", "diary.bak", "diary.old"}));
}

TEST_F(SessionTest, BackupThatCannotBeWrittenKeepsTheEditsInTheWorkingCopy) {
    const Bytes sealed = SealedData(false);
    // The backup's partial copy cannot be created: the editor put a folder there.
    Editor("append=precious mkdir=" + Data + ".bak.qln");
    EXPECT_EQ(View.Run(), 1);
    EXPECT_EQ(View.Messages, Strings{WriteFailure + "\r\n\r\nYour edits are in \"" + Data +
                                     ".qlt\" (the working copy, plain text, readable by you only). Keep that file: "
                                     "the backups are older than these edits."});
    EXPECT_EQ(ReadText(Data + ".qlt"), Content + "precious");
    EXPECT_EQ(Mode(Data + ".qlt"), 0600u);
    EXPECT_EQ(ReadBytes(Data), sealed);
}

TEST_F(SessionTest, SealingThatFailsKeepsTheBackupAndTheBytesToSeal) {
    const Bytes sealed = SealedData(false);
    // A directory at the sealing's temporary name cannot be cleared away.
    Editor("append=precious mkdir=" + Data + ".qln");
    EXPECT_EQ(View.Run(), 1);
    EXPECT_TRUE(View.Messages.back().starts_with("File I/O error during encryption!"));
    // The report says where the edits are: the bytes to seal, not a backup.
    EXPECT_NE(View.Messages.back().find("Your edits are in \"" + Data + ".qlz\""), std::string::npos);
    EXPECT_EQ(ReadBytes(Data), sealed);
    EXPECT_EQ(ReadBytes(Data + ".bak"), sealed);
    EXPECT_EQ(ReadText(Data + ".qlz"), Content + "precious");
}

TEST_F(SessionTest, EditorThatDeletesTheWorkingCopyLeavesTheDataFile) {
    const Bytes sealed = SealedData(false);
    Editor("delete");
    EXPECT_EQ(View.Run(), 1);
    EXPECT_EQ(View.Messages,
              Strings{WriteFailure + "\r\n\r\nThe editor removed the working copy \"" + Data +
                      ".qlt\"; the data file \"" + Data + "\" holds the text as it was before this session."});
    EXPECT_EQ(ReadBytes(Data), sealed);
    EXPECT_EQ(ReadBytes(Data + ".bak"), sealed);
}

TEST_F(SessionTest, EditorThatHandsOverAndReturnsIsNotWaitedFor) {
    const Bytes sealed = SealedData(false);
    // The child outlives the session; only the started process is waited for,
    // and the user confirms that editing is finished.
    Editor("fork sleep=1500 keep");
    View.FinishedAnswers = {true};
    EXPECT_EQ(View.Run(), 0);
    EXPECT_LT(View.IndexOf("ConfirmEditingFinished"), View.IndexOf("Panel:No changes done."));
    EXPECT_EQ(ReadBytes(Data), sealed);
    EXPECT_EQ(Files(), Strings{"diary.qlx"});
}

TEST_F(SessionTest, EditorBackAtOnceWhileStillEditingKeepsTheWorkingCopy) {
    const Bytes sealed = SealedData(false);
    // Hands over to a process that saves later, after the question was answered No.
    Editor("fork sleep=1500 append=late");
    View.FinishedAnswers = {false};
    EXPECT_EQ(View.Run(), 1);
    const std::string kept = Data + ".qlt";
    ASSERT_EQ(View.Messages.size(), 1u);
    EXPECT_EQ(View.Messages[0], "The working copy stays where it is, readable by you only:\r\n\"" + kept +
                                    "\"\r\n\r\nThe data file has not been changed. The next run warns about this "
                                    "file; copy it elsewhere before answering [Yes] there.");
    EXPECT_EQ(ReadBytes(Data), sealed);
    EXPECT_EQ(Mode(kept), 0600u);
    EXPECT_EQ(Files(), (Strings{"diary.qlx", "diary.qlx.qlt"}));
    // The late save lands in the working copy that was kept.
    for (int wait = 0; wait < 500 && ReadText(kept) != Content + "late"; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(ReadText(kept), Content + "late");
}

TEST_F(SessionTest, EditorBackAtOnceConfirmedLateStillSealsTheLateSave) {
    SealContent(Data, Content, false);
    // The save comes while the question is open; the checksum is taken again.
    Editor("fork sleep=1500 append=late");
    View.OnEvent = [this](const std::string& event) {
        if (event == "ConfirmEditingFinished") {
            for (int wait = 0; wait < 500 && ReadText(Data + ".qlt") != Content + "late"; ++wait) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
    };
    View.FinishedAnswers = {true};
    EXPECT_EQ(View.Run(), 0);
    EXPECT_EQ(Unseal(Data).Content, Content + "late");
    EXPECT_EQ(Files(), (Strings{"diary.qlx", "diary.qlx.bak"}));
}

TEST_F(SessionTest, EditorThatChangesTheFileIsNotAskedAbout) {
    SealContent(Data, Content, false);
    Editor("append=x");
    EXPECT_EQ(View.Run(), 0);
    EXPECT_FALSE(View.Saw("ConfirmEditingFinished"));
}

TEST_F(SessionTest, PathsWithBlanksAndQuotesReachTheEditorIntact) {
    const std::filesystem::path folder = Dir / "my \"notes\" dir";
    const std::filesystem::path editorFolder = Dir / "Arbolix Extra";
    std::filesystem::create_directories(folder);
    std::filesystem::create_directories(editorFolder);
    const std::filesystem::path editor = editorFolder / "fake editor";
    std::filesystem::copy_file(FakeEditor, editor);
    Data = (folder / "diary.qlx").string();
    View.FName = Data;
    SealContent(Data, Content, false);
    View.FExeName = editor.string() + " record=" + Path("argv") + " append=x";
    EXPECT_EQ(View.Run(), 0);
    EXPECT_EQ(ReadText(Path("argv")), "record=" + Path("argv") + "\nappend=x\n" + Data + ".qlt\n");
    EXPECT_EQ(Unseal(Data).Content, Content + "x");
}

TEST_F(SessionTest, QuotedEditorPathIsAcceptedToo) {
    SealContent(Data, Content, false);
    View.FExeName = "\"" + FakeEditor + "\" append=x";
    EXPECT_EQ(View.Run(), 0);
    EXPECT_EQ(Unseal(Data).Content, Content + "x");
}

} // namespace
} // namespace quillock::testing
