// The editing session: import or unseal, edit, check, back up, reseal, wipe.
#include "session/Session.h"

#include "datafile/CRC.h"
#include "datafile/Compression.h"
#include "datafile/FileChecks.h"
#include "datafile/SealedFile.h"
#include "datafile/Unseal.h"
#include "platform/FileHandle.h"
#include "platform/Files.h"
#include "platform/PrivateFolder.h"
#include "platform/Process.h"
#include "platform/Signals.h"
#include "platform/Text.h"
#include "session/EditorLaunch.h"
#include "session/LeftOver.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quillock::session {
namespace {

using datafile::TModalResult;
using datafile::TMsgDlgButtons;
using datafile::TMsgDlgType;

constexpr const char* SelectFileText = "Select a Arbolix file!";
constexpr const char* ImportQuestion =
    "NON-Encrypted Arbolix File detected.\r\nDo you want to import (and encrypt) it?";
constexpr const char* NotArbolixText = "Error! This is not a Arbolix file!";
constexpr const char* StartFailedText = "ERROR: unable to start Arbolix!";
constexpr const char* WriteFailureText = "An error was occurred while writing on disk!\r\n\r\n"
                                         "Please check your data and/or try to restore a backup copy manually.";

constexpr std::uint16_t ShowNormal = 1;
constexpr std::uint16_t FinalDelay = 1000; // milliseconds
// An editor that is back sooner than this with the working copy unchanged has
// most likely handed the file to a process that is still running.
constexpr std::chrono::seconds QuickReturn{3};

using platform::TNameState;

// A path as one word for a POSIX shell, for commands shown to the user. A
// name that is not valid UTF-8 is written with its bytes escaped in $'...',
// which bash and zsh turn back into the same bytes.
std::string ShellWord(const std::string& path) {
    if (!path.empty() &&
        path.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_./+,:@%=-") ==
            std::string::npos) {
        return path;
    }
    if (!platform::IsValidUtf8(path)) {
        std::string word = "$'";
        for (const char c : platform::PrintableName(path)) {
            word += c == '\'' ? std::string("\\'") : std::string(1, c);
        }
        return word + "'";
    }
    std::string word = "'";
    for (const char c : path) {
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return word + "'";
}

// Names that editors write beside the file they edit and that hold its text
// (backups, swap and undo files, autosaves), for a working copy called name.
std::vector<std::string> EditorLeftoverNames(const std::string& name) {
    return {name + "~",          "." + name + ".swp", "." + name + ".swo", "." + name + ".swn", "." + name + ".swx",
            "." + name + ".un~", "#" + name + "#",    name + ".orig",      name + ".bak~"};
}

// Those of the names beside workingCopy that are taken now, by anything.
std::vector<std::string> EditorLeftoversOf(const std::string& workingCopy) {
    const std::filesystem::path working(workingCopy);
    std::vector<std::string> present;
    for (const std::string& name : EditorLeftoverNames(working.filename().string())) {
        const std::string path = (working.parent_path() / name).string();
        if (platform::CheckOwnName(path).State != TNameState::Absent) {
            present.push_back(path);
        }
    }
    return present;
}

// The private folder an earlier session on dataFile used, as a place of its
// temporaries; nothing when it has none.
std::optional<platform::TTempLocation> PrivatePlaceOf(const std::string& dataFile) {
    if (std::optional<std::string> folder = platform::FindPrivateFolder(dataFile)) {
        return platform::TTempLocation{platform::TTempPlace::tpPrivate, std::move(*folder), ""};
    }
    return std::nullopt;
}

// Whether a session cut short left anything in place: a working copy, an
// intermediate file, one set aside, or an editor's copy of the working copy.
bool LeftOversIn(const platform::TTempLocation& place, const std::string& dataFile) {
    for (const char* extension : {".qlt", ".qlz"}) {
        const std::string path = place.PathOf(dataFile, extension);
        if (platform::FileExists(path) || platform::FileExists(datafile::SealingTempName(path))) {
            return true;
        }
    }
    return !EditorLeftoversOf(place.PathOf(dataFile, ".qlt")).empty();
}

// Forwards to the view and, once the editor has run, ends every error report
// with where the newest text is, so that no failure leaves the user guessing.
class TNotingHost final : public datafile::TDataFileHost {
public:
    TNotingHost(SessionView& view, const std::string& note) : FView(view), FNote(note) {}

    [[nodiscard]] std::string DataFileName() const override { return FView.DataFileName(); }
    [[nodiscard]] platform::TSecretText Password() const override { return FView.Password(); }
    void SetPassword(std::string_view password) override { FView.SetPassword(password); }
    [[nodiscard]] int AlgorithmIndex() const override { return FView.AlgorithmIndex(); }
    void SetAlgorithmIndex(int index) override { FView.SetAlgorithmIndex(index); }
    [[nodiscard]] int HashIndex() const override { return FView.HashIndex(); }
    void SetHashIndex(int index) override { FView.SetHashIndex(index); }
    [[nodiscard]] bool ChangePass() const override { return FView.ChangePass(); }
    [[nodiscard]] bool ChangeAlgorithm() const override { return FView.ChangeAlgorithm(); }
    [[nodiscard]] std::string Caption() const override { return FView.Caption(); }
    TModalResult AskUser(const std::string& text, TMsgDlgType kind, TMsgDlgButtons buttons) override {
        if (kind == TMsgDlgType::mtError && !FNote.empty()) {
            return FView.AskUser(text + "\r\n\r\n" + FNote, kind, buttons);
        }
        return FView.AskUser(text, kind, buttons);
    }
    std::string InputBox(const std::string& title, const std::string& prompt, const std::string& value) override {
        return FView.InputBox(title, prompt, value);
    }
    bool QuestionBox(const std::string& text) override { return FView.QuestionBox(text); }
    void PostPrivateMessage(datafile::TPromptKind prompt) override { FView.PostPrivateMessage(prompt); }
    // The long steps' loops are where a signal cuts them short.
    void Progress(std::uint64_t done, std::uint64_t total) override {
        platform::CheckInterrupted();
        if (FWhole == 0) {
            FView.Progress(done, total);
            return;
        }
        // A report that starts again from fewer bytes is the next file's.
        if (done < FLastDone) {
            FBefore += FLastTotal;
        }
        FLastDone = done;
        FLastTotal = total;
        FView.Progress(std::min(FBefore + done, FWhole), FWhole);
    }
    // The operations from here on, one file after another, report as one step
    // of whole bytes; a whole of 0 reports each operation on its own again.
    void ReportAsOne(std::uint64_t whole) {
        FWhole = whole;
        FBefore = FLastDone = FLastTotal = 0;
    }
    [[noreturn]] void ExitWithError() override {
        FView.ExitWithError();
        std::terminate(); // a view whose ExitWithError returns breaks its contract
    }

private:
    SessionView& FView;
    const std::string& FNote;
    std::uint64_t FWhole = 0;
    std::uint64_t FBefore = 0;
    std::uint64_t FLastDone = 0;
    std::uint64_t FLastTotal = 0;
};

// Unwinds a run whose password did not open the data file, for a view that
// asks again; not an std::exception, so the steps' own handlers let it pass.
struct TWrongPassword {};

std::string FirstBackupOf(const std::string& dataFile) {
    return dataFile + ".bak";
}
std::string SecondBackupOf(const std::string& dataFile) {
    return dataFile + ".old";
}

// One run of the session, with its flags.
class TSession {
public:
    explicit TSession(SessionView& view) : FView(view), FHost(view, FNote) {}

    TSessionEnd Run() {
        FView.LockWindow();
        FView.PumpMessages();
        FCancellable = true;
        try {
            PlaceTemporaries();
            // Left-over files are reported before any refusal (below), so
            // that the report still names them when the folder turned
            // read-only; without them a read-only file is refused at once.
            if (!LeftOversPresent()) {
                WritableTest();
            }
            ImportTest();
            OwnershipTest();
            const platform::TFileLock::TResult lock = FLock.Take(LockFile(), false);
            const int lockError = errno;
            if (lock == platform::TFileLock::TResult::Busy) {
                RefuseLock(lock, lockError);
            }
            LeftOverTest();
            WritableTest();
            RefuseLock(lock, lockError);
            FMadeTemporaries = true;
            Stage("Decrypting..");
            MakeWorkingCopy();
            PlainFileCheck();
            Stage("Checking CRC..");
            datafile::FileCRC32(WorkingCopy(), FChecksumBefore, FProgress);
            const bool quickReturn = Edit();
            Stage("Checking CRC..");
            datafile::FileCRC32(WorkingCopy(), FChecksumAfter, FProgress);
            if (quickReturn && FChecksumAfter == FChecksumBefore) {
                ConfirmEditingFinished();
            }
            if (SomethingToWriteBack()) {
                Reseal();
            } else {
                FView.SetPanelText("No changes done.");
            }
            Stage("Wiping data..");
            WipeTemporaries();
            if (const std::string wiped = WipeEditorLeftovers(); !wiped.empty()) {
                Status("Wiping data.. (and the editor's " + wiped + ")");
            }
            platform::RemovePrivateFolder(FTemp);
            FView.ClearPassword();
        } catch (const platform::EInterrupted&) {
            EndInterrupted();
            throw;
        } catch (const TWrongPassword&) {
            return TSessionEnd::WrongPassword;
        } catch (const TCancelled&) {
            // Asked for before the editor started: the plain copies made so
            // far are wiped and an import is renamed back.
            EndInterrupted();
            FView.SetPanelText("Cancelled: nothing has been changed.");
        } catch (const std::exception& e) {
            // A failure the operations raise rather than report (compressing,
            // or writing zeros during a wipe): the files stay as they are, and
            // the next run reports the temporary ones.
            Fail(std::string(WriteFailureText) + "\r\n\r\n(" + e.what() + ")");
        }
        if (ReportDue()) {
            FView.AskUser(FReport, TMsgDlgType::mtInformation, TMsgDlgButtons::mbOK);
        }
        PumpDelay(FView, FinalDelay);
        FView.SavePreferences();
        if (FEditorFailed && !FResealed) {
            // Nothing was edited because nothing could be: that is no success.
            FView.ExitWithError();
        }
        FView.EndProgram();
        return TSessionEnd::Ended;
    }

    // Seals the newest text that a session cut short left beside the data
    // file, the way a session reseals, once the password is known to open
    // the data file. Copies cut short and copies of what the data file holds
    // already are wiped; a file that is neither stops everything.
    void Recover() {
        // The left-over files may hold the only copy of the newest text: a
        // signal lets the recovery finish, and only then ends the program.
        const platform::TSignalDeferral unbroken;
        FView.LockWindow();
        try {
            SharedFolderNotice();
            WritableTest();
            OwnershipTest();
            const platform::TFileLock::TResult lock = FLock.Take(LockFile(), false);
            RefuseLock(lock, errno);
            FindLeftOvers();
            switch (RecoveryState(FHost, DataFile())) {
            case TRecoveryState::rsPlainFile:
                Fail("\"" + DataFile() +
                     "\" is a plain Arbolix file, not a sealed one: there is nothing to recover. A session "
                     "imports it.");
            case TRecoveryState::rsNothingLeftOver:
                EndRecovery("Nothing to recover: there is no working copy or intermediate file beside \"" + DataFile() +
                            "\".");
                return;
            case TRecoveryState::rsImportCutShort:
                FImported = true;
                break;
            case TRecoveryState::rsLeftOvers:
                break;
            }
            Status("Comparing the left-over files..");
            const TLeftOvers found = MeasureLeftOvers(FHost, DataFile(), FImported, WorkingCopy(), Intermediate());
            const TNewest newest = NewestText(found);
            if (newest == TNewest::nwUndecided) {
                RefuseUndecided(found);
            }
            if ((found.DataCompressed || found.Intermediate.Compressed) && !FView.Decompress()) {
                FView.TickCompress(); // kept as compressed as it was
            }
            const bool sealing = SealNewestText(found, newest);
            Status("Wiping data..");
            WipeTemporaries();
            const std::string wiped = WipeEditorLeftovers();
            platform::RemovePrivateFolder(FTemp);
            EndRecovery((!sealing ? "Nothing to recover: \"" + DataFile() +
                                        "\" already holds the text of the left-over files (copies cut short or "
                                        "unchanged); they are wiped."
                         : FImported ? "Recovered: the newest text is sealed in \"" + DataFile() + "\"."
                                     : "Recovered: the newest text is sealed in \"" + DataFile() +
                                           "\"; the file it replaced is \"" + FirstBackup() + "\".") +
                        (wiped.empty() ? "" : " The editor's copies of the working copy are wiped: " + wiped + "."));
        } catch (const std::exception& e) {
            Fail(std::string(WriteFailureText) + "\r\n\r\n(" + e.what() + ")");
        }
    }

private:
    // Every name derives from the data-file box as it reads now.
    [[nodiscard]] std::string DataFile() const { return FView.DataFileName(); }
    // The plain temporaries, where PlaceTemporaries put them.
    [[nodiscard]] std::string WorkingCopy() const { return FTemp.PathOf(DataFile(), ".qlt"); }
    [[nodiscard]] std::string Intermediate() const { return FTemp.PathOf(DataFile(), ".qlz"); }
    [[nodiscard]] std::string FirstBackup() const { return FirstBackupOf(DataFile()); }
    [[nodiscard]] std::string SecondBackup() const { return SecondBackupOf(DataFile()); }
    [[nodiscard]] std::string LockFile() const { return LockFileOf(DataFile()); }
    // Where a temporary file waits to be wiped once its text is held
    // elsewhere, and where recover decodes or copies a text before it becomes
    // the working copy (which thus only ever holds a whole text): whatever is
    // found at such a name is held elsewhere, and is wiped without a question.
    [[nodiscard]] static std::string AsideName(const std::string& path) { return datafile::SealingTempName(path); }
    [[nodiscard]] std::string PartialCopy() const { return AsideName(WorkingCopy()); }

    // Thrown at a step when the user asked to cancel before the editor started.
    struct TCancelled {};

    // The session's steps, where a signal before the editor ran ends it, and
    // a cancel asked for before the editor started.
    void Status(const std::string& text) {
        platform::CheckInterrupted();
        FView.SetStatus(text);
        FView.PumpMessages();
        if (FCancellable && !FEditorStarted && FView.CancelRequested()) {
            throw TCancelled{};
        }
    }

    // A step that can take a while: its name, and its progress from 0.
    void Stage(const std::string& text) {
        Status(text);
        FView.Progress(0, 1);
    }

    static std::uint64_t SizeOf(const std::string& path) {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size)
                                                                          : 0;
    }

    // A signal before the editor ran: the data file still holds everything,
    // so what this run made goes, an import's rename is undone, and the
    // signal passes on to end the program.
    void EndInterrupted() {
        const platform::TSignalDeferral unbroken;
        if (FMadeTemporaries) {
            WipeQuietly(Intermediate());
            WipeQuietly(WorkingCopy());
        }
        platform::RemovePrivateFolder(FTemp); // only when nothing is left in it
        if (!FImportedFrom.empty() && platform::RenameNoReplace(DataFile(), FImportedFrom)) {
            FView.SetDataFileName(FImportedFrom);
        }
        FView.ClearPassword();
    }

    // Reports through the host, so that a failure after the editor ran says
    // where the newest text is.
    [[noreturn]] void Fail(const std::string& text) {
        FHost.AskUser(text, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
        FHost.ExitWithError();
    }

    [[nodiscard]] bool ReportDue() const { return FCompressionChanged && FView.UseCompression(); }

    // Where the newest text is now, for the error reports from here on.
    void NoteNewestText(const std::string& path, const char* what) {
        FNote = "Your edits are in \"" + path + "\" (" + what +
                ", readable by you only). Keep that file: the backups are older than these edits.";
    }

    [[nodiscard]] std::string SharedFolderText() const {
        if (!platform::FolderWritableByOthers(DataFile())) {
            return {};
        }
        return "The folder of \"" + DataFile() +
               "\" can be written by other users. The session refuses any file of theirs at its names, "
               "but they can delete or rename yours there; a folder of your own is safer.";
    }

    void SharedFolderNotice() {
        if (const std::string text = SharedFolderText(); !text.empty()) {
            FView.Notice(text);
        }
    }

    // Decides once where the plain temporaries go, under the name the data
    // file has from the import on, and says where and why. The data file's
    // folder is held from here on, to tell it from another one at its path.
    void PlaceTemporaries() {
        (void)FFolder.Open(DataFile());
        const bool plain = platform::FileExists(DataFile()) && datafile::CheckHeader(FHost, DataFile());
        const std::string name = plain ? platform::ChangeFileExt(DataFile(), ".qlx") : DataFile();
        FTemp = platform::ChooseTempFolder(name, FView.PrivateTemp());
        const std::string working = FTemp.PathOf(name, ".qlt");
        std::string text;
        switch (FTemp.Place) {
        case platform::TTempPlace::tpBeside:
            text = "Working copy: \"" + working + "\", beside the data file (" + FTemp.Reason + ").";
            break;
        case platform::TTempPlace::tpPrivate:
            text = "Working copy: \"" + working + "\", in a private folder in memory, because " + FTemp.Reason +
                   ". A power cut loses edits saved in the editor but not yet sealed; the data file keeps the text "
                   "of before.";
            break;
        case platform::TTempPlace::tpFallback:
            text = "Working copy: \"" + working + "\", beside the data file although " + FTemp.Reason + ".";
            break;
        }
        const std::string shared = SharedFolderText();
        FView.WorkingCopyPlace(shared.empty() ? text : shared + " " + text, !shared.empty() || FTemp.BesideUnsafe);
    }

    // Every name the session works with is absent or a regular file of ours
    // with one name. Anything else (another user's file planted in a shared
    // folder, a link, a hard link to something else) is refused before a
    // byte of plain text is written.
    void RefuseForeignNames(const std::string& dataFile) {
        const std::string sealing = datafile::SealingTempName(dataFile);
        for (const std::string& path :
             {dataFile + ".qlt", dataFile + ".qlz", dataFile + ".bak", dataFile + ".old", sealing,
              datafile::SealingTempName(dataFile + ".bak"), datafile::SealingTempName(dataFile + ".qlt"),
              datafile::SealingTempName(dataFile + ".qlz"), LockFileOf(dataFile)}) {
            const platform::TNameCheck check = platform::CheckOwnName(path);
            if (check.State == TNameState::Foreign) {
                Fail(platform::DescribeForeign(path, check) +
                     ", not a file of yours. It may have been put there by another user to read or replace "
                     "your text.\r\n\r\nRemove it (or edit the data file in a folder of your own). Nothing has "
                     "been changed.");
            }
        }
    }

    void OwnershipTest() { RefuseForeignNames(DataFile()); }

    // A data file that cannot be written could be edited but never sealed
    // again: the edits would end in a sealing error. It is refused before
    // anything is done, as the window refuses a read-only file when it is
    // picked.
    void WritableTest() {
        if (platform::FileExists(DataFile()) && platform::IsReadOnly(DataFile())) {
            Fail(ReadOnlyRefusal);
        }
    }

    // A plain editor file is renamed to the sealed extension and sealed for
    // the first time at the end.
    void ImportTest() {
        if (!datafile::CheckHeader(FHost, DataFile())) {
            return;
        }
        // What could never be sealed is not renamed, copied or edited.
        struct stat size {};
        if (::stat(DataFile().c_str(), &size) == 0 && size.st_size > datafile::MaxSealedSize) {
            Fail("\"" + DataFile() +
                 "\" is 4 GiB or larger and cannot be sealed, so it is not imported.\r\n\r\n"
                 "Nothing has been changed.");
        }
        if (FView.AskUser(ImportQuestion, TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo) !=
            TModalResult::mrYes) {
            FView.ExitWithError();
        }
        const std::string newName = platform::ChangeFileExt(DataFile(), ".qlx");
        // Nothing is renamed that could not be sealed, or whose names are taken.
        WritableTest();
        RefuseForeignNames(newName);
        // Plain text under a name of ours: nobody else reads it from the
        // moment it has that name (the mode goes back if the rename fails).
        const platform::TFd plain(::open(DataFile().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
        struct stat before {};
        const bool restrict = plain.Valid() && ::fstat(plain.Get(), &before) == 0 && (before.st_mode & 077) != 0 &&
                              ::fchmod(plain.Get(), before.st_mode & 07700) == 0;
        // A plain file that already carries the sealed extension (an import
        // cut short after its rename) is imported where it is.
        if (newName != DataFile() && !platform::RenameNoReplace(DataFile(), newName)) {
            if (restrict) {
                (void)::fchmod(plain.Get(), before.st_mode & 07777);
            }
            Fail("Cannot rename file!\r\n\"" + newName + "\" already exists! (or disk is write protected?)" +
                 "\r\n\r\nPlease check your data.");
        }
        if (newName != DataFile()) {
            FImportedFrom = DataFile();
        }
        FView.SetDataFileName(newName);
        FImported = true;
        if (const std::string fileSystem = platform::KeepsOldBlocks(plain.Get()); !fileSystem.empty()) {
            FView.Notice("\"" + newName + "\" was written in plain text before this import, on " + fileSystem +
                         ", which does not overwrite a file's blocks in place: parts of that text may stay on the "
                         "disk until the file system reuses them.");
        }
    }

    // Only one session at a time on a data file: a second copy refuses at
    // once, before it touches anything. A lock that could not be taken for
    // another reason (a folder turned read-only) is refused after the
    // left-over report, which still names the files there.
    void RefuseLock(platform::TFileLock::TResult result, int error) {
        switch (result) {
        case platform::TFileLock::TResult::Taken:
            return;
        case platform::TFileLock::TResult::Busy:
            Fail(BusyLockText(DataFile()) + "\r\n\r\nFinish that session first. Nothing has been changed here.");
        case platform::TFileLock::TResult::Foreign:
            Fail(platform::DescribeForeign(LockFile(), {TNameState::Foreign, FLock.ForeignWhat()}) +
                 ", not a file of yours.\r\n\r\nRemove it. Nothing has been changed.");
        case platform::TFileLock::TResult::Failed:
            break;
        }
        if (error == EACCES || error == EPERM || error == EROFS) {
            // The session writes beside the data file; say so, and what to do.
            const std::string folder = std::filesystem::path(DataFile()).parent_path().string();
            Fail("The folder of \"" + DataFile() + "\" (\"" + (folder.empty() ? "." : folder) + "\") is read-only" +
                 (error == EROFS ? " (it is on a read-only file system)" : " for you") +
                 ": the session cannot write the files it needs there.\r\n\r\nMake the folder writable, or copy "
                 "the data file to a folder you can write and open it there. Nothing has been changed.");
        }
        Fail("Cannot create the lock file \"" + LockFile() + "\" (" + std::strerror(error) +
             ").\r\n\r\nNothing has been changed.");
    }

    // One line naming a file that may hold the text of an earlier run.
    static void DescribeFile(std::string& lines, const std::string& path, const char* what) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            lines +=
                "\r\n\"" + platform::PrintableName(path) + "\": " + what + ", changed " + platform::ChangedAt(info);
        }
    }

    // Where an earlier session may have left its temporaries: beside the data
    // file, and in its private folder when there is one. Working copies come
    // first in each place, then intermediate files.
    struct TLeftOverName {
        std::string Path;
        bool Working;
    };
    [[nodiscard]] std::vector<TLeftOverName> LeftOverNames() const {
        std::vector<TLeftOverName> names{{DataFile() + ".qlt", true}, {DataFile() + ".qlz", false}};
        if (const std::optional<platform::TTempLocation> own = PrivatePlaceOf(DataFile())) {
            names.push_back({own->PathOf(DataFile(), ".qlt"), true});
            names.push_back({own->PathOf(DataFile(), ".qlz"), false});
        }
        return names;
    }

    // The editor's own copies of the working copy count too: a session cut
    // short leaves them as it leaves the working copy.
    [[nodiscard]] bool LeftOversPresent() const {
        const std::vector<TLeftOverName> names = LeftOverNames();
        return std::any_of(names.begin(), names.end(),
                           [](const TLeftOverName& name) { return platform::FileExists(name.Path); }) ||
               !PresentLeftovers().empty();
    }

    void LeftOverTest() {
        if (!LeftOversPresent()) {
            return;
        }
        const std::vector<TLeftOverName> names = LeftOverNames();
        for (const TLeftOverName& name : names) {
            platform::MakeOwnerOnly(name.Path);
        }
        FinishCutWipes();
        if (!LeftOversPresent()) {
            return;
        }
        // The warning's own text, then where the text of the earlier run may be.
        std::string text = "WARNING: \"" + platform::PrintableName(DataFile()) + ".qlt/qlz\" ALREADY EXISTS!\r\n" +
                           "(Maybe system crashed while working on this file, or the file is already opened?)\r\n\r\n" +
                           "Click [Yes] if you want to OVERWRITE this file (will lose all changes!)\r\n" +
                           "Click [No] to EXIT and view this file with Arbolix (it should be unencrypted)\r\n\r\n" +
                           "Recommended choice: [No]\r\n\r\nThe text of the earlier run is in one of these files:";
        for (const TLeftOverName& name : names) {
            DescribeFile(text, name.Path,
                         name.Working ? "working copy, unencrypted"
                                      : "intermediate file, unencrypted (compressed if compression was on)");
        }
        DescribeFile(text, DataFile(), "data file, encrypted");
        DescribeFile(text, FirstBackup(), "backup, encrypted");
        DescribeFile(text, SecondBackup(), "older backup, encrypted");
        for (const std::string& path : PresentLeftovers()) {
            DescribeFile(text, path, "the editor's copy of the working copy, unencrypted");
        }
        text += "\r\n\r\n[Yes] overwrites the working copy and the intermediate file: copy the one you need first."
                "\r\n[No], then the command  quillock-cli recover " +
                std::string(DataFile().starts_with("-") ? "-- " : "") + ShellWord(DataFile()) +
                "  seals the newest of these texts into the data file, with the backups kept.";
        if (FView.AskLeftOver(text) != TModalResult::mrYes) {
            FView.ExitWithError();
        }
        // Replaced as new files: the old ones (checked to be ours) go first,
        // in both places, with what an earlier recover set aside.
        for (auto name = names.rbegin(); name != names.rend(); ++name) {
            WipeOwn(AsideName(name->Path));
            WipeOwn(name->Path);
        }
        (void)WipeEditorLeftovers();
    }

    // A wipe cut short (a kill, a failing flush) leaves zeros where a copy of
    // the data file's text was. It is finished without asking, with the other
    // temporary file when that holds nothing the data file does not hold.
    void FinishCutWipes() {
        const std::vector<TLeftOverName> names = LeftOverNames();
        for (std::size_t pair = 0; pair + 1 < names.size(); pair += 2) {
            const std::string& working = names[pair].Path;
            const std::string& intermediate = names[pair + 1].Path;
            if (!StartsWithZero(working) && !StartsWithZero(intermediate)) {
                continue;
            }
            Status("Comparing the left-over files..");
            if (NewestText(MeasureLeftOvers(FHost, DataFile(), FImported, working, intermediate)) ==
                TNewest::nwDataFile) {
                Status("Wiping data..");
                WipeTemporaries(working, intermediate);
            }
        }
    }

    // recover works where a session cut short left its temporaries: beside
    // the data file, or in its private folder (found by the folder's
    // identity, so also after the folder was renamed). In both places at
    // once, which set is the newer cannot be told.
    void FindLeftOvers() {
        const std::optional<platform::TTempLocation> own = PrivatePlaceOf(DataFile());
        if (!own || !LeftOversIn(*own, DataFile())) {
            return;
        }
        if (LeftOversIn(FTemp, DataFile())) {
            Fail("A session cut short left files both beside \"" + DataFile() + "\" and in its private folder \"" +
                 own->Folder +
                 "\", so which of them is the newest cannot be told. Nothing has been changed."
                 "\r\n\r\nLook at both, keep the one you need and move the other away, then recover again.");
        }
        FTemp = *own;
        RefuseForeignNames(FTemp.PathOf(DataFile(), ""));
    }

    // The files set aside go first: while one is left, so is the file whose
    // text it is part of.
    void WipeTemporaries(const std::string& working, const std::string& intermediate) {
        WipeOwn(AsideName(working));
        WipeOwn(AsideName(intermediate));
        WipeOwn(intermediate);
        WipeOwn(working);
    }
    // Both temporary files as one step, with one progress from 0 to 100.
    void WipeTemporaries() {
        FHost.ReportAsOne(SizeOf(WorkingCopy()) + SizeOf(Intermediate()));
        WipeTemporaries(WorkingCopy(), Intermediate());
        FHost.ReportAsOne(0);
    }

    // Moves a file whose text is held elsewhere out of the way of the
    // sealing, to be wiped once the newest text is sealed. A wipe cut short
    // at its own name could look like a text of its own.
    void SetAside(const std::string& path) {
        WipeOwn(AsideName(path));
        if (platform::CheckOwnName(path).State != TNameState::Absent &&
            !platform::RenameNoReplace(path, AsideName(path))) {
            Fail(WriteFailureText + std::string("\r\n\r\n(Cannot rename \"") + path + "\" to \"" + AsideName(path) +
                 "\": " + std::strerror(errno) + ")");
        }
    }

    // Overwrites and deletes a temporary file of ours; one that the editor
    // left read-only is made writable first. Absent: nothing to do; anything
    // that is not ours is left as it is and reported.
    void WipeOwn(const std::string& path) {
        const platform::TFd file(platform::OpenOwnFile(path, O_RDONLY));
        struct stat info {};
        if (file.Valid() && ::fstat(file.Get(), &info) == 0 && (info.st_mode & S_IWUSR) == 0) {
            (void)::fchmod(file.Get(), (info.st_mode & 0700) | S_IWUSR);
        }
        datafile::WipeFile(FHost, path);
    }

    // On a way out that is failing already: a failure of its own does not
    // replace the first one, and only files of ours are touched.
    void WipeQuietly(const std::string& path) {
        if (platform::CheckOwnName(path).State != TNameState::Ours) {
            return;
        }
        try {
            WipeOwn(path);
        } catch (const std::exception&) {
        }
    }

    void MakeWorkingCopy() {
        if (FImported) {
            CopyImportedFile();
            FDataCompressed = FView.UseCompression();
            return;
        }
        try {
            datafile::Decrypt(FHost, DataFile(), Intermediate());
        } catch (const datafile::TProgramExit&) {
            // Deciphering stopped (a full disk): its plain text goes too.
            WipeQuietly(Intermediate());
            throw;
        }
        if (datafile::CheckHeader(FHost, Intermediate())) {
            FDataCompressed = false;
            if (FView.UseCompression()) {
                FView.SetStatus("[Uncompressed]");
            }
            FView.PumpMessages();
            if (!platform::RenameNoReplace(Intermediate(), WorkingCopy())) {
                WipeQuietly(Intermediate());
                Fail(WriteFailureText);
            }
            if (FView.UseCompression()) {
                FCompressionChanged = true;
            }
            return;
        }
        if (datafile::FileContentKind(Intermediate()) == datafile::TContentKind::ckNeither) {
            WrongPassword();
        }
        Stage("Decompressing..");
        try {
            datafile::DecompressFile(FHost, Intermediate(), WorkingCopy(), FProgress);
        } catch (...) {
            // Before the editor ran the data file holds everything: no
            // partial plain copy stays, nor the deciphered bytes of a wrong
            // password (reported already), wherever the temporaries live.
            WipeQuietly(WorkingCopy());
            WipeQuietly(Intermediate());
            throw;
        }
        WipeOwn(Intermediate());
        if (FView.Decompress()) {
            FCompressionChanged = true;
        } else {
            FView.TickCompress();
        }
        FDataCompressed = !FView.Decompress();
    }

    // The deciphered bytes are neither text nor compressed data: they go, and
    // the view decides whether the program ends.
    [[noreturn]] void WrongPassword() {
        WipeOwn(Intermediate());
        WipeOwn(WorkingCopy());
        platform::RemovePrivateFolder(FTemp);
        FView.AskUser(datafile::DecryptionErrorText, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
        if (FView.TriesAnotherPassword()) {
            throw TWrongPassword{};
        }
        FHost.ExitWithError();
    }

    // The plain file being imported, copied to the working copy (a copy cut
    // short is removed).
    void CopyImportedFile() {
        Stage("Importing..");
        if (!platform::CopyFile(DataFile(), WorkingCopy(), 0600, false, FProgress)) {
            Fail(WriteFailureText);
        }
    }

    void PlainFileCheck() {
        if (!datafile::CheckHeader(FHost, WorkingCopy())) {
            FView.AskUser(NotArbolixText, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
            WipeOwn(WorkingCopy());
            FView.ExitWithError();
        }
    }

    [[nodiscard]] std::vector<std::string> PresentLeftovers() const { return EditorLeftoversOf(WorkingCopy()); }

    // True when the editor ran and was back sooner than QuickReturn.
    bool Edit() {
        Status("Starting Arbolix..");
        // From here on a signal ends the session as usual: what the editor
        // saves is sealed, the rest wiped, and only then the program ends.
        FEditorStarted.emplace();
        FView.HideMainWindow();
        FView.ShowTrayIcon();
        const auto started = std::chrono::steady_clock::now();
        // A damaged setting (a path of a megabyte of blanks) is no program:
        // refused at once rather than searched for.
        const bool damaged = FView.ExeName().size() > platform::MaxExecutablePathLength;
        const bool ran = !damaged && ExecuteAndWait(EditorCommandLine(FView.ExeName(), WorkingCopy()), ShowNormal,
                                                    FView.EditorWaitStep()) != -1;
        const bool quick = ran && std::chrono::steady_clock::now() - started < QuickReturn;
        NoteNewestText(WorkingCopy(), "the working copy, plain text");
        if (!ran) {
            FEditorFailed = true;
            std::string text =
                std::string(StartFailedText) + "\r\n\r\n" +
                (damaged ? "The editor path (the setting \"ExeName\") is " + std::to_string(FView.ExeName().size()) +
                               " bytes long; a path of more than " + std::to_string(platform::MaxExecutablePathLength) +
                               " bytes is never tried."
                         : "The command tried: " + FView.ExeName());
            if (const std::string hint = FView.EditorHint(); !hint.empty()) {
                text += "\r\n" + hint;
            }
            FView.AskUser(text, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
        }
        FView.HideTrayIcon();
        FView.ShowMainWindow();
        FView.PumpMessages();
        RefuseMovedFolder();
        AcceptWorkingCopy();
        return quick;
    }

    // The data file's folder was renamed or replaced while the editor ran (by
    // the user, or by another user who can write to a folder above it): what
    // is at the data file's path now is not what this session opened, so
    // nothing is sealed there and nothing is wiped.
    void RefuseMovedFolder() {
        if (FFolder.StillAtItsPath()) {
            return;
        }
        const std::string now = FFolder.CurrentPath();
        const std::string name = std::filesystem::path(DataFile()).filename().string();
        const std::string moved = now.empty() ? std::string("is gone") : "is now \"" + now + "\"";
        std::string where;
        if (FTemp.Place == platform::TTempPlace::tpPrivate) {
            where = "The working copy is \"" + WorkingCopy() +
                    "\" (plain text, readable by you only); it holds "
                    "whatever the editor saved.";
        } else {
            where = "The working copy this session made " +
                    (now.empty() ? std::string("went with that folder")
                                 : "is now \"" + (std::filesystem::path(now) / (name + ".qlt")).string() + "\"") +
                    "; what the editor saved under the name \"" + WorkingCopy() +
                    "\" after the change went into the folder that now has that name.";
        }
        FNote.clear();
        Fail("The folder of \"" + DataFile() +
             "\" was renamed or replaced while the editor ran: the folder this "
             "session opened " +
             moved + ". Nothing has been sealed or wiped.\r\n\r\n" + where +
             (now.empty() ? std::string()
                          : "\r\n\r\nThe command  quillock-cli recover " +
                                ShellWord((std::filesystem::path(now) / name).string()) +
                                "  seals the edits into the data file there."));
    }

    // The editor may have saved by rename: what now carries the working
    // copy's name must be a regular file of ours, never another user's text
    // (or a link to it) that would then be sealed under our password.
    void AcceptWorkingCopy() {
        const platform::TNameCheck check = platform::CheckOwnName(WorkingCopy());
        if (check.State == TNameState::Absent) {
            FNote = "The editor removed the working copy \"" + WorkingCopy() + "\"; the data file \"" + DataFile() +
                    "\" holds the text as it was before this session.";
        }
        if (check.State == TNameState::Foreign) {
            FNote.clear();
            Fail(platform::DescribeForeign(WorkingCopy(), check) +
                 " after editing, not a file of yours; it is not sealed and was left as it is.\r\n\r\n"
                 "The data file has not been changed. Check the folder: another user may have replaced the "
                 "working copy.");
        }
        platform::MakeOwnerOnly(WorkingCopy());
    }

    // The editor was back at once and nothing changed: it may have handed the
    // working copy to a process that is still editing it, and checking and
    // wiping now would lose those edits.
    void ConfirmEditingFinished() {
        const std::string text = "The editor returned within " + std::to_string(QuickReturn.count()) +
                                 " seconds and the working copy is unchanged. It may still be open in another "
                                 "program.\r\n\r\nClick [Yes] when you have finished editing and saved \"" +
                                 WorkingCopy() + "\" (it is then checked, sealed if changed, and wiped).\r\n" +
                                 "Click [No] to leave it where it is and exit.";
        if (!FView.ConfirmEditingFinished(text)) {
            platform::MakeOwnerOnly(WorkingCopy());
            const std::string state = FImported
                                          ? "The plain file now named \"" + DataFile() +
                                                "\" has not been sealed yet: run the session on it again to seal it."
                                          : std::string("The data file has not been changed.");
            FView.AskUser("The working copy stays where it is, readable by you only:\r\n\"" + WorkingCopy() +
                              "\"\r\n\r\n" + state +
                              " The next run warns about this file; copy it elsewhere before answering [Yes] "
                              "there.",
                          TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
            FView.ExitWithError();
        }
        Stage("Checking CRC..");
        AcceptWorkingCopy();
        datafile::FileCRC32(WorkingCopy(), FChecksumAfter, FProgress);
    }

    [[nodiscard]] bool SomethingToWriteBack() const {
        return FChecksumAfter != FChecksumBefore || FImported || FView.ChangePass() || FView.ChangeAlgorithm() ||
               FCompressionChanged;
    }

    void EndRecovery(const std::string& text) {
        FView.SetPanelText(text);
        FView.ClearPassword();
        FView.EndProgram();
    }

    // A left-over file of no form a session writes may be the user's own, and
    // of two texts that differ neither may be dropped: nothing is touched.
    void RefuseUndecided(const TLeftOvers& found) {
        for (const TLeftOver* file : {&found.WorkingCopy, &found.Intermediate}) {
            const bool madeFromWorkingCopy = file == &found.Intermediate && file->Compressed &&
                                             found.WorkingCopy.Kind == TLeftOverKind::lkNewer &&
                                             found.Order != TTextOrder::toApart;
            if (file->Kind == TLeftOverKind::lkUnusable && !madeFromWorkingCopy) {
                Fail("\"" + file->Path + "\" is " +
                     (file == &found.WorkingCopy ? "not a plain Arbolix file"
                                                 : "neither a plain Arbolix file nor complete compressed data") +
                     ", so what it holds cannot be told. Nothing has been changed.\r\n\r\nLook at it and "
                     "move it away, then recover again.");
            }
        }
        Fail("\"" + WorkingCopy() + "\" and \"" + Intermediate() + "\" hold two different texts that \"" + DataFile() +
             "\" does not hold, and neither begins the other, so which is the newest cannot be told. Nothing has "
             "been changed.\r\n\r\nLook at both, keep the one you need and move the other away, then recover "
             "again.");
    }

    // The bytes recover is about to write beside the data file (its backup,
    // a decoded or copied text, the bytes to seal and the new data file)
    // must fit before anything is changed: a full disk part way would leave
    // the work half done.
    void RefuseWithoutRoom(std::uint64_t needed, const std::string& holder) {
        const std::uint64_t available = datafile::FreeSpaceBeside(DataFile());
        if (available >= needed) {
            return;
        }
        Fail("There is not room enough beside \"" + DataFile() + "\" to recover: about " + std::to_string(needed) +
             " bytes are needed, " + std::to_string(available) +
             " are free.\r\n\r\nNothing has been changed: the "
             "newest text is in \"" +
             holder + "\". Make room, then recover again.");
    }

    // Seals the newest text: the working copy, or the intermediate file's
    // text, or, after an import cut short, the plain data file itself. No
    // text is ever held only in a file that is being written: what is decoded
    // or copied becomes the working copy by a rename once it is whole, and
    // the file it came from is wiped only once the new data file is sealed.
    // The others are beginnings of the newest and are set aside first. False when the
    // data file already holds the newest text.
    bool SealNewestText(const TLeftOvers& found, TNewest newest) {
        const std::uint64_t backup = FImported ? 0 : FileSize(DataFile());
        // The sealed file holds the bytes to seal and a header; the bytes to
        // seal are at most the text itself once compressed.
        const auto sealed = [](std::uint64_t bytes) { return bytes + bytes / 100 + 65536; };
        const bool compress = FView.UseCompression();
        if (newest == TNewest::nwDataFile) {
            if (!FImported) {
                return false;
            }
            const std::uint64_t size = FileSize(DataFile());
            RefuseWithoutRoom(size + (compress ? 2 : 1) * sealed(size), DataFile());
            SetAside(Intermediate());
            SetAside(WorkingCopy());
            MoveIntoPlace(DataFile(),
                          [this] { return platform::CopyFile(DataFile(), PartialCopy(), 0600, false, FProgress); });
            Reseal();
        } else if (newest == TNewest::nwWorkingCopy) {
            RefuseWithoutRoom(backup + (compress ? 2 : 1) * sealed(found.WorkingCopy.TextSize), WorkingCopy());
            // What is in the intermediate file was made from it.
            SetAside(Intermediate());
            NoteNewestText(WorkingCopy(), "the working copy, plain text");
            Reseal();
        } else if (!found.Intermediate.Compressed) {
            RefuseWithoutRoom(backup + (compress ? 2 : 1) * sealed(found.Intermediate.TextSize), Intermediate());
            SetAside(WorkingCopy());
            NoteNewestText(Intermediate(), "the bytes to seal, plain text");
            if (!compress) {
                Reseal(Intermediate());
            } else if (platform::RenameNoReplace(Intermediate(), WorkingCopy())) {
                NoteNewestText(WorkingCopy(), "the working copy, plain text");
                Reseal();
            } else {
                Fail(WriteFailureText + std::string("\r\n\r\n(Cannot rename \"") + Intermediate() + "\" to \"" +
                     WorkingCopy() + "\": " + std::strerror(errno) + ")");
            }
        } else if (compress) {
            // The stream is sealed as it is.
            RefuseWithoutRoom(backup + sealed(FileSize(Intermediate())), Intermediate());
            SetAside(WorkingCopy());
            NoteNewestText(Intermediate(), "the bytes to seal, compressed");
            FDataCompressed = true;
            Reseal(Intermediate());
        } else {
            const std::uint64_t size = found.Intermediate.TextSize;
            RefuseWithoutRoom(backup + size + sealed(size), Intermediate());
            SetAside(WorkingCopy());
            NoteNewestText(Intermediate(), "the bytes to seal, compressed");
            Stage("Decompressing..");
            MoveIntoPlace(Intermediate(), [this, size] {
                const datafile::TSalvageResult inflated =
                    datafile::SalvageDecompressFile(Intermediate(), PartialCopy());
                return inflated.Complete && static_cast<std::uint64_t>(inflated.Recovered) == size &&
                       platform::FlushFile(PartialCopy());
            });
            FDataCompressed = false;
            Reseal(WorkingCopy());
        }
        return true;
    }

    // Writes a text to PartialCopy (make), then renames it to the working
    // copy once it is whole and flushed. On any failure the partial text
    // goes and source, which still holds the text, is named.
    template <typename TMake> void MoveIntoPlace(const std::string& source, TMake make) {
        WipeOwn(PartialCopy()); // a copy that an earlier recover did not finish
        bool made = false;
        std::string why;
        try {
            made = make();
        } catch (const std::exception& e) {
            why = e.what();
        }
        if (!made || !platform::RenameNoReplace(PartialCopy(), WorkingCopy()) ||
            !platform::SyncFolderOf(WorkingCopy())) {
            WipeQuietly(PartialCopy());
            Fail(WriteFailureText + std::string("\r\n\r\n(") + (why.empty() ? std::strerror(errno) : why) +
                 ")\r\n\r\nNothing has been changed: the newest text is in \"" + source + "\".");
        }
    }

    [[nodiscard]] static std::uint64_t FileSize(const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
    }

    // The first backup becomes the second one. Every name was checked to be
    // ours or absent; a rotation that fails stops here rather than losing the
    // older backup silently.
    void RotateBackups() {
        if (!FView.DoubleBackup() || !platform::FileExists(FirstBackup())) {
            return;
        }
        const std::string second = platform::ChangeFileExt(FirstBackup(), ".old");
        if (platform::CheckOwnName(second).State != TNameState::Absent && ::unlink(second.c_str()) != 0) {
            Fail(WriteFailureText + std::string("\r\n\r\n(Cannot delete \"") + second + "\": " + std::strerror(errno) +
                 ")");
        }
        if (!platform::RenameNoReplace(FirstBackup(), second)) {
            Fail(WriteFailureText + std::string("\r\n\r\n(Cannot rename \"") + FirstBackup() + "\" to \"" + second +
                 "\": " + std::strerror(errno) + ")");
        }
    }

    // Seals the working copy, compressed first or moved to the bytes to
    // seal; or, when asIs is given, that file's bytes as they are.
    void Reseal(const std::string& asIs = {}) {
        Stage("Creating backup..");
        RotateBackups();
        if (!FImported) {
            // Copied beside it and renamed: a copy cut short (a full disk)
            // never replaces the backup there is.
            const std::string partial = datafile::SealingTempName(FirstBackup());
            if (platform::CheckOwnName(partial).State == TNameState::Ours) {
                (void)::unlink(partial.c_str()); // left by a run that was cut short
            }
            if (!platform::CopyFile(DataFile(), partial, 0, true, FProgress) ||
                !platform::MoveFile(partial, FirstBackup()) || !platform::SyncFolderOf(FirstBackup())) {
                (void)::unlink(partial.c_str());
                Fail(WriteFailureText);
            }
        }
        datafile::TSealOptions sealing;
        sealing.OwnSource = true;
        sealing.WipeReplaced = FImported;
        if (!asIs.empty()) {
            const platform::TFd source(platform::OpenOwnFile(asIs, O_RDONLY));
            struct stat info {};
            if (!source.Valid() || ::fstat(source.Get(), &info) != 0) {
                Fail(WriteFailureText);
            }
            sealing.Source = platform::IdOf(info);
        } else if (FView.UseCompression()) {
            Stage("Compressing..");
            // Compressed from the file checked to be ours, whatever its name
            // refers to meanwhile: the descriptor's own name in /proc.
            const platform::TFd working(platform::OpenOwnFile(WorkingCopy(), O_RDONLY));
            if (!working.Valid()) {
                Fail(WriteFailureText + std::string("\r\n\r\n(Cannot open \"") + WorkingCopy() +
                     "\": " + std::strerror(errno) + ")");
            }
            const std::string source = "/proc/self/fd/" + std::to_string(working.Get());
            try {
                datafile::CompressFile(platform::FileExists(source) ? source : WorkingCopy(), Intermediate(),
                                       FProgress);
            } catch (const std::exception& e) {
                // The edits stay in the working copy; a partial stream is of no use.
                WipeQuietly(Intermediate());
                Fail(std::string(WriteFailureText) + "\r\n\r\n(" + e.what() + ")");
            }
        } else {
            // The file moved is the one sealed: its identity is taken first
            // and checked when sealing opens it.
            const platform::TFd working(platform::OpenOwnFile(WorkingCopy(), O_RDONLY));
            struct stat info {};
            if (!working.Valid() || ::fstat(working.Get(), &info) != 0 ||
                !platform::RenameNoReplace(WorkingCopy(), Intermediate())) {
                Fail(WriteFailureText);
            }
            sealing.Source = platform::IdOf(info);
            NoteNewestText(Intermediate(), "the bytes to seal, plain text");
        }
        // The bytes to seal are on the medium before the data file is
        // replaced; sealing flushes the new data file before anything is wiped.
        const std::string toSeal = asIs.empty() ? Intermediate() : asIs;
        if (!platform::FlushFile(toSeal)) {
            Fail(WriteFailureText);
        }
        if (ReportDue()) {
            const std::uint64_t decompressed = datafile::FileSizeKb(FHost, WorkingCopy());
            const std::uint64_t compressed = datafile::FileSizeKb(FHost, Intermediate());
            const std::uint64_t ratio = decompressed == 0 ? 0 : compressed * 100 / decompressed;
            FReport = "Decompressed size: " + std::to_string(decompressed) + " Kb\r\n" +
                      "Compressed size: " + std::to_string(compressed) + " Kb\r\n" + "Ratio: " + std::to_string(ratio) +
                      "% of original";
            FDataCompressed = true;
        }
        Stage(FDataCompressed ? "Encrypting.. [Compressed]" : "Encrypting.. [Uncompressed]");
        datafile::Encrypt(FHost, toSeal, DataFile(), sealing);
        FResealed = true;
        FNote = "The edits are sealed in \"" + DataFile() + "\".";
        FView.SetPanelText("Data successfully encrypted.");
    }

    // Files an editor wrote beside the working copy hold its text too, in
    // this session or one cut short: each one of ours is wiped (another
    // user's file, or a link, is left alone). Returns their names.
    std::string WipeEditorLeftovers() {
        std::string wiped;
        for (const std::string& path : PresentLeftovers()) {
            if (platform::CheckOwnName(path).State != TNameState::Ours) {
                continue;
            }
            WipeOwn(path);
            wiped += (wiped.empty() ? "" : ", ") + std::filesystem::path(path).filename().string();
        }
        return wiped;
    }

    SessionView& FView;
    // The long steps' progress, to the view.
    const platform::TProgressFn FProgress = [this](std::uint64_t done, std::uint64_t total) {
        FHost.Progress(done, total);
    };
    std::string FNote; // where the newest text is, once the editor has run
    TNotingHost FHost;
    platform::TFileLock FLock;
    platform::TTempLocation FTemp;   // beside the data file until PlaceTemporaries decides
    platform::TFolderHandle FFolder; // the data file's folder, held from PlaceTemporaries on
    bool FImported = false;
    bool FCompressionChanged = false;
    bool FDataCompressed = false;
    bool FEditorFailed = false;
    bool FResealed = false;
    bool FMadeTemporaries = false; // the temporary names are this run's
    std::string FImportedFrom;     // the plain file's name before the import renamed it
    std::optional<platform::TSignalDeferral> FEditorStarted;
    bool FCancellable = false;
    std::uint32_t FChecksumBefore = 0;
    std::uint32_t FChecksumAfter = 0;
    std::string FReport;
};

} // namespace

std::string LockFileOf(const std::string& dataFile) {
    return dataFile + ".qlk";
}

std::string BusyLockText(const std::string& dataFile) {
    return "\"" + dataFile + "\" is being edited by another copy of this program (it holds \"" + LockFileOf(dataFile) +
           "\").";
}

std::string OldPasswordBackupsText(const std::string& dataFile) {
    std::string names;
    for (const std::string& backup : {FirstBackupOf(dataFile), SecondBackupOf(dataFile)}) {
        if (platform::FileExists(backup)) {
            names += (names.empty() ? "\"" : " and \"") + backup + "\"";
        }
    }
    return names.empty() ? names
                         : names + " still open" + (names.find(" and ") == std::string::npos ? "s" : "") +
                               " with the old password.";
}

TSessionEnd RunEditingSession(SessionView& view) {
    if (view.DataFileName().empty()) {
        view.WarnBox(SelectFileText);
        return TSessionEnd::Ended;
    }
    TSession session(view);
    return session.Run();
}

TRecoveryState RecoveryState(datafile::TDataFileHost& host, const std::string& dataFile) {
    if (datafile::CheckHeader(host, dataFile)) {
        // An import cut short has renamed its plain file already.
        return platform::ChangeFileExt(dataFile, ".qlx") == dataFile ? TRecoveryState::rsImportCutShort
                                                                     : TRecoveryState::rsPlainFile;
    }
    const std::optional<platform::TTempLocation> own = PrivatePlaceOf(dataFile);
    return LeftOversIn(platform::TTempLocation{}, dataFile) || (own && LeftOversIn(*own, dataFile))
               ? TRecoveryState::rsLeftOvers
               : TRecoveryState::rsNothingLeftOver;
}

void RecoverLeftOver(SessionView& view) {
    TSession session(view);
    session.Recover();
}

} // namespace quillock::session
