// The editing session: import or unseal, edit, check, back up, reseal, wipe.
#include "session/Session.h"

#include "datafile/CRC.h"
#include "datafile/Companions.h"
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
#include "session/FileSteps.h"
#include "session/LeftOver.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
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

constexpr std::uint16_t ShowNormal = 1;
constexpr std::uint16_t FinalDelay = 1000; // milliseconds
// An editor that is back sooner than this with the working copy unchanged has
// most likely handed the file to a process that is still running.
constexpr std::chrono::seconds QuickReturn{3};

using platform::TNameState;

// Unwinds a run whose password did not open the data file, for a view that
// asks again; not an std::exception, so the steps' own handlers let it pass.
struct TWrongPassword {};

// One run of the session, with its flags.
class TEditSession final : public TFileSteps {
public:
    using TFileSteps::TFileSteps;

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
            const platform::TFileLock::TResult lock = FLock.Take(Held(LockFile()), false);
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
            datafile::FileCRC32(Held(WorkingCopy()), FChecksumBefore, FProgress);
            const bool quickReturn = Edit();
            Stage("Checking CRC..");
            datafile::FileCRC32(Held(WorkingCopy()), FChecksumAfter, FProgress);
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
            BackupsAfterPasswordChange();
            platform::RemovePrivateFolder(FTemp);
            FView.ClearPassword();
        } catch (const platform::EInterrupted&) {
            EndInterrupted();
            throw;
        } catch (const datafile::EDataFileError& error) {
            Fail(error);
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

private:
    // A signal before the editor ran (or a cancel, or the folder swapped):
    // the data file still holds everything, so what this run made goes and an
    // import's rename is undone, in the folder the run opened; a signal then
    // passes on to end the program.
    void EndInterrupted() {
        const platform::TSignalDeferral unbroken;
        try {
            if (FMadeTemporaries) {
                WipeQuietly(Intermediate());
                WipeQuietly(WorkingCopy());
            }
        } catch (const datafile::EDataFileError& error) {
            Fail(error);
        }
        platform::RemovePrivateFolder(FTemp); // only when nothing is left in it
        if (!FImportedFrom.empty() && platform::RenameNoReplace(Held(DataFile()), Held(FImportedFrom))) {
            Rename(FImportedFrom);
        }
        FView.ClearPassword();
    }

    // Decides once where the plain temporaries go, under the name the data
    // file has from the import on, and says where and why. The data file's
    // folder is held from here on: every step works inside it, and after the
    // editor it is told from another one at its path.
    void PlaceTemporaries() {
        (void)FFolder.Open(DataFile());
        const bool plain = platform::FileExists(Held(DataFile())) && datafile::CheckHeader(FHost, Held(DataFile()));
        const std::string name = plain ? datafile::TCompanions{DataFile()}.Imported() : DataFile();
        FTemp = platform::ChooseTempFolder(FFolder, name, FInputs.PrivateTemp);
        const std::string working = FTemp.PathOf(name, datafile::WorkingCopyExtension);
        std::string text;
        switch (FTemp.Place) {
        case platform::TTempPlace::tpBeside:
            text = "Working copy: " + platform::QuotedName(working) + ", beside the data file (" + FTemp.Reason + ").";
            break;
        case platform::TTempPlace::tpPrivate:
            text = "Working copy: " + platform::QuotedName(working) + ", in a private folder in memory, because " +
                   FTemp.Reason +
                   ". A power cut loses edits saved in the editor but not yet sealed; the data file keeps the text "
                   "of before.";
            break;
        case platform::TTempPlace::tpFallback:
            text = "Working copy: " + platform::QuotedName(working) + ", beside the data file although " +
                   FTemp.Reason + ".";
            break;
        }
        const std::string shared = SharedFolderText();
        FView.WorkingCopyPlace(shared.empty() ? text : shared + " " + text, !shared.empty() || FTemp.BesideUnsafe);
    }

    // A plain editor file is renamed to the sealed extension and sealed for
    // the first time at the end.
    void ImportTest() {
        if (!datafile::CheckHeader(FHost, Held(DataFile()))) {
            return;
        }
        // What could never be sealed is not renamed, copied or edited.
        struct stat size {};
        if (platform::StatName(Held(DataFile()), size, true) && size.st_size > datafile::MaxSealedSize) {
            Fail(platform::QuotedName(DataFile()) +
                 " is 4 GiB or larger and cannot be sealed, so it is not imported.\r\n\r\n"
                 "Nothing has been changed.");
        }
        if (FView.AskUser(ImportQuestion, TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo) !=
            TModalResult::mrYes) {
            FView.ExitWithError();
        }
        const std::string newName = datafile::TCompanions{DataFile()}.Imported();
        // Nothing is renamed that could not be sealed, or whose names are taken.
        WritableTest();
        RefuseForeignNames(newName);
        // Plain text under a name of ours: nobody else reads it from the
        // moment it has that name (the mode goes back if the rename fails).
        const platform::TAtPath original = Held(DataFile());
        const platform::TFd plain(
            ::openat(original.Folder(), original.Name(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
        struct stat before {};
        const bool restrict = plain.Valid() && ::fstat(plain.Get(), &before) == 0 && (before.st_mode & 077) != 0 &&
                              ::fchmod(plain.Get(), before.st_mode & 07700) == 0;
        // A plain file that already carries the sealed extension (an import
        // cut short after its rename) is imported where it is.
        if (newName != DataFile() && !platform::RenameNoReplace(original, Held(newName))) {
            if (restrict) {
                (void)::fchmod(plain.Get(), before.st_mode & 07777);
            }
            Fail("Cannot rename file!\r\n" + platform::QuotedName(newName) +
                 " already exists! (or disk is write protected?)" + "\r\n\r\nPlease check your data.");
        }
        if (newName != DataFile()) {
            FImportedFrom = DataFile();
        }
        Rename(newName);
        FImported = true;
        if (const std::string fileSystem = platform::KeepsOldBlocks(plain.Get()); !fileSystem.empty()) {
            FView.Notice(platform::QuotedName(newName) + " was written in plain text before this import, on " +
                         fileSystem +
                         ", which does not overwrite a file's blocks in place: parts of that text may stay on the "
                         "disk until the file system reuses them.");
        }
    }

    // One line naming a file that may hold the text of an earlier run.
    void DescribeFile(std::string& lines, const std::string& path, const char* what) const {
        struct stat info {};
        if (platform::StatName(Held(path), info) && S_ISREG(info.st_mode)) {
            lines += "\r\n" + platform::QuotedName(path) + ": " + what + ", changed " + platform::ChangedAt(info);
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
        const datafile::TCompanions beside{DataFile()};
        std::vector<TLeftOverName> names{{beside.WorkingCopy(), true}, {beside.Intermediate(), false}};
        if (const std::optional<platform::TTempLocation> own = PrivatePlaceOf(DataFile(), FFolder)) {
            names.push_back({own->PathOf(DataFile(), datafile::WorkingCopyExtension), true});
            names.push_back({own->PathOf(DataFile(), datafile::IntermediateExtension), false});
        }
        return names;
    }

    // The editor's own copies of the working copy count too: a session cut
    // short leaves them as it leaves the working copy.
    [[nodiscard]] bool LeftOversPresent() const {
        const std::vector<TLeftOverName> names = LeftOverNames();
        return std::any_of(names.begin(), names.end(),
                           [this](const TLeftOverName& name) { return platform::FileExists(Held(name.Path)); }) ||
               !PresentLeftovers().empty();
    }

    void LeftOverTest() {
        if (!LeftOversPresent()) {
            return;
        }
        const std::vector<TLeftOverName> names = LeftOverNames();
        for (const TLeftOverName& name : names) {
            platform::MakeOwnerOnly(Held(name.Path));
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
                std::string(DataFile().starts_with("-") ? "-- " : "") + platform::ShellWord(DataFile()) +
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
            if (!StartsWithZero(Held(working)) && !StartsWithZero(Held(intermediate))) {
                continue;
            }
            Status("Comparing the left-over files..");
            if (NewestText(MeasureLeftOvers(FHost, DataFile(), FImported, working, intermediate, FFolder)) ==
                TNewest::nwDataFile) {
                Status("Wiping data..");
                WipeTemporaries(working, intermediate);
            }
        }
    }

    void MakeWorkingCopy() {
        if (FImported) {
            CopyImportedFile();
            Decide(ChooseCompression(std::nullopt, FInputs));
            return;
        }
        try {
            datafile::Decrypt(FHost, Held(DataFile()), Held(Intermediate()));
        } catch (const datafile::EDataFileError& error) {
            // Deciphering stopped (a full disk): its plain text goes too.
            datafile::ReportError(FHost, error);
            WipeQuietly(Intermediate());
            FHost.ExitWithError();
        }
        if (datafile::CheckHeader(FHost, Held(Intermediate()))) {
            Decide(ChooseCompression(false, FInputs));
            if (FCompression.Changed) {
                FView.SetStatus("[Uncompressed]");
            }
            FView.PumpMessages();
            if (!platform::RenameNoReplace(Held(Intermediate()), Held(WorkingCopy()))) {
                WipeQuietly(Intermediate());
                Fail(WriteFailureText);
            }
            return;
        }
        if (datafile::FileContentKind(Held(Intermediate())) == datafile::TContentKind::ckNeither) {
            WrongPassword();
        }
        Stage("Decompressing..");
        try {
            datafile::DecompressFile(FHost, Held(Intermediate()), Held(WorkingCopy()), FProgress);
        } catch (const datafile::EDataFileError& error) {
            // Before the editor ran the data file holds everything: no
            // partial plain copy stays, nor the deciphered bytes of a wrong
            // password, wherever the temporaries live.
            datafile::ReportError(FHost, error);
            WipeQuietly(WorkingCopy());
            WipeQuietly(Intermediate());
            FHost.ExitWithError();
        } catch (...) {
            // Before the editor ran the data file holds everything: no
            // partial plain copy stays, nor the deciphered bytes of a wrong
            // password (reported already), wherever the temporaries live.
            WipeQuietly(WorkingCopy());
            WipeQuietly(Intermediate());
            throw;
        }
        WipeOwn(Intermediate());
        Decide(ChooseCompression(true, FInputs));
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
        if (!platform::CopyFile(Held(DataFile()), Held(WorkingCopy()), 0600, false, FProgress)) {
            Fail(WriteFailureText);
        }
    }

    void PlainFileCheck() {
        if (!datafile::CheckHeader(FHost, Held(WorkingCopy()))) {
            FView.AskUser(NotArbolixText, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
            WipeOwn(WorkingCopy());
            FView.ExitWithError();
        }
    }

    // The data file's folder was renamed or replaced before the editor
    // started: the editor, given the working copy's path, would open
    // whatever is at that path now. The plain copies go from the folder the
    // session opened, an import is renamed back there, and nothing is changed.
    void RefuseFolderMovedBeforeEditor() {
        if (FFolder.StillAtItsPath()) {
            return;
        }
        EndInterrupted();
        const std::string now = FFolder.CurrentPath();
        Fail("The folder of " + platform::QuotedName(DataFile()) +
             " was renamed or replaced before the editor started" +
             (now.empty() ? std::string() : ": the folder this session opened is now " + platform::QuotedName(now)) +
             ". The editor was not started and nothing has been changed.");
    }

    // True when the editor ran and was back sooner than QuickReturn.
    bool Edit() {
        Status("Starting Arbolix..");
        RefuseFolderMovedBeforeEditor();
        FView.HideMainWindow();
        // The last look before the editor starts (showing its line may have
        // waited on a stopped terminal). From here on a signal ends the
        // session as usual: what the editor saves is sealed, the rest wiped,
        // and only then the program ends.
        platform::CheckInterrupted();
        FEditorStarted.emplace();
        FView.ShowTrayIcon();
        const auto started = std::chrono::steady_clock::now();
        // A damaged setting (a path of a megabyte of blanks) is no program:
        // refused at once rather than searched for.
        const bool damaged = FInputs.ExeName.size() > platform::MaxExecutablePathLength;
        const bool ran = !damaged && ExecuteAndWait(EditorCommandLine(FInputs.ExeName, WorkingCopy()), ShowNormal,
                                                    FView.EditorWaitStep()) != -1;
        const bool quick = ran && std::chrono::steady_clock::now() - started < QuickReturn;
        NoteNewestText(WorkingCopy(), "the working copy, plain text");
        if (!ran) {
            FEditorFailed = true;
            std::string text =
                std::string(StartFailedText) + "\r\n\r\n" +
                (damaged ? "The editor path (the setting \"ExeName\") is " + std::to_string(FInputs.ExeName.size()) +
                               " bytes long; a path of more than " + std::to_string(platform::MaxExecutablePathLength) +
                               " bytes is never tried."
                         : "The command tried: " + FInputs.ExeName);
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
        const std::string moved = now.empty() ? std::string("is gone") : "is now " + platform::QuotedName(now);
        std::string where;
        if (FTemp.Place == platform::TTempPlace::tpPrivate) {
            where = "The working copy is " + platform::QuotedName(WorkingCopy()) +
                    " (plain text, readable by you only); it holds "
                    "whatever the editor saved.";
        } else {
            where = "The working copy this session made " +
                    (now.empty()
                         ? std::string("went with that folder")
                         : "is now " +
                               platform::QuotedName(
                                   (std::filesystem::path(now) / (name + datafile::WorkingCopyExtension)).string())) +
                    "; what the editor saved under the name " + platform::QuotedName(WorkingCopy()) +
                    " after the change went into the folder that now has that name.";
        }
        FNote.clear();
        Fail("The folder of " + platform::QuotedName(DataFile()) +
             " was renamed or replaced while the editor ran: the folder this "
             "session opened " +
             moved + ". Nothing has been sealed or wiped.\r\n\r\n" + where +
             (now.empty() ? std::string()
                          : "\r\n\r\nThe command  quillock-cli recover " +
                                platform::ShellWord((std::filesystem::path(now) / name).string()) +
                                "  seals the edits into the data file there."));
    }

    // The editor may have saved by rename: what now carries the working
    // copy's name must be a regular file of ours, never another user's text
    // (or a link to it) that would then be sealed under our password.
    void AcceptWorkingCopy() {
        const platform::TNameCheck check = platform::CheckOwnName(Held(WorkingCopy()));
        if (check.State == TNameState::Absent) {
            FNote = "The editor removed the working copy " + platform::QuotedName(WorkingCopy()) + "; the data file " +
                    platform::QuotedName(DataFile()) + " holds the text as it was before this session.";
        }
        if (check.State == TNameState::Foreign) {
            FNote.clear();
            Fail(platform::DescribeForeign(WorkingCopy(), check) +
                 " after editing, not a file of yours; it is not sealed and was left as it is.\r\n\r\n"
                 "The data file has not been changed. Check the folder: another user may have replaced the "
                 "working copy.");
        }
        platform::MakeOwnerOnly(Held(WorkingCopy()));
    }

    // The editor was back at once and nothing changed: it may have handed the
    // working copy to a process that is still editing it, and checking and
    // wiping now would lose those edits.
    void ConfirmEditingFinished() {
        const std::string text = "The editor returned within " + std::to_string(QuickReturn.count()) +
                                 " seconds and the working copy is unchanged. It may still be open in another "
                                 "program.\r\n\r\nClick [Yes] when you have finished editing and saved " +
                                 platform::QuotedName(WorkingCopy()) +
                                 " (it is then checked, sealed if changed, and wiped).\r\n" +
                                 "Click [No] to leave it where it is and exit.";
        if (!FView.ConfirmEditingFinished(text)) {
            platform::MakeOwnerOnly(Held(WorkingCopy()));
            const std::string state = FImported
                                          ? "The plain file now named " + platform::QuotedName(DataFile()) +
                                                " has not been sealed yet: run the session on it again to seal it."
                                          : std::string("The data file has not been changed.");
            FView.AskUser("The working copy stays where it is, readable by you only:\r\n" +
                              platform::QuotedName(WorkingCopy()) + "\r\n\r\n" + state +
                              " The next run warns about this file; copy it elsewhere before answering [Yes] "
                              "there.",
                          TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
            FView.ExitWithError();
        }
        Stage("Checking CRC..");
        AcceptWorkingCopy();
        datafile::FileCRC32(Held(WorkingCopy()), FChecksumAfter, FProgress);
    }

    [[nodiscard]] bool SomethingToWriteBack() const {
        return FChecksumAfter != FChecksumBefore || FImported || FInputs.ChangePass || FInputs.ChangeAlgorithm ||
               FCompression.Changed;
    }

    bool FEditorFailed = false;
    bool FMadeTemporaries = false; // the temporary names are this run's
    std::string FImportedFrom;     // the plain file's name before the import renamed it
    std::uint32_t FChecksumBefore = 0;
    std::uint32_t FChecksumAfter = 0;
};

} // namespace

TSessionEnd RunEditingSession(SessionView& view) {
    if (view.DataFileName().empty()) {
        view.WarnBox(SelectFileText);
        return TSessionEnd::Ended;
    }
    TEditSession session(view);
    return session.Run();
}

} // namespace quillock::session
