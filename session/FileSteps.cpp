// The steps an editing session and recover share.
#include "session/FileSteps.h"

#include "datafile/Companions.h"
#include "datafile/Compression.h"
#include "datafile/FieldHost.h"
#include "datafile/FileChecks.h"
#include "datafile/Unseal.h"
#include "platform/FileHandle.h"
#include "platform/Text.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace quillock::session {

using datafile::TMsgDlgButtons;
using datafile::TMsgDlgType;
using platform::TNameState;

namespace {

// The session's host under a given password and choices, asking nothing
// about them: for a backup, deciphered under the old key and sealed under
// the new one.
class TKeyedHost final : public datafile::TFieldHost<datafile::TDataFileHost> {
public:
    TKeyedHost(datafile::TDataFileHost& host, std::string_view password, int algorithm, int hash) : FHost(host) {
        FName = host.DataFileName();
        FPassword.Assign(password);
        FAlgorithm = algorithm;
        FHash = hash;
    }

    [[nodiscard]] std::string Caption() const override { return FHost.Caption(); }
    datafile::TModalResult AskUser(const std::string& text, datafile::TMsgDlgType kind,
                                   datafile::TMsgDlgButtons buttons) override {
        return FHost.AskUser(text, kind, buttons);
    }
    std::string InputBox(const std::string& title, const std::string& prompt, const std::string& value) override {
        return FHost.InputBox(title, prompt, value);
    }
    bool QuestionBox(const std::string& text) override { return FHost.QuestionBox(text); }
    void Progress(std::uint64_t done, std::uint64_t total) override { FHost.Progress(done, total); }
    void HearCause(int error) override { FHost.HearCause(error); }
    [[noreturn]] void ExitWithError() override {
        FHost.ExitWithError();
        std::terminate(); // a host whose ExitWithError returns breaks its contract
    }

private:
    datafile::TDataFileHost& FHost;
};

// Names that editors write beside the file they edit and that hold its text
// (backups, swap and undo files, autosaves), for a working copy called name.
std::vector<std::string> EditorLeftoverNames(const std::string& name) {
    return {name + "~",          "." + name + ".swp", "." + name + ".swo", "." + name + ".swn", "." + name + ".swx",
            "." + name + ".un~", "#" + name + "#",    name + ".orig",      name + ".bak~"};
}

} // namespace

std::vector<std::string> EditorLeftoversOf(const std::string& workingCopy, const platform::TFolderHandle& folder) {
    const std::filesystem::path working(workingCopy);
    std::vector<std::string> present;
    for (const std::string& name : EditorLeftoverNames(working.filename().string())) {
        const std::string path = (working.parent_path() / name).string();
        if (platform::CheckOwnName(folder.At(path)).State != TNameState::Absent) {
            present.push_back(path);
        }
    }
    return present;
}

std::optional<platform::TTempLocation> PrivatePlaceOf(const std::string& dataFile,
                                                      const platform::TFolderHandle& folder) {
    if (std::optional<std::string> own = platform::FindPrivateFolder(folder, dataFile)) {
        return platform::TTempLocation{platform::TTempPlace::tpPrivate, std::move(*own), ""};
    }
    return std::nullopt;
}

std::string FirstBackupOf(const std::string& dataFile) {
    return datafile::TCompanions{dataFile}.FirstBackup();
}
std::string SecondBackupOf(const std::string& dataFile) {
    return datafile::TCompanions{dataFile}.SecondBackup();
}

TSessionInputs InputsOf(const SessionView& view) {
    return {view.DataFileName(), view.UseCompression(),  view.Decompress(), view.DoubleBackup(),
            view.ChangePass(),   view.ChangeAlgorithm(), view.ExeName(),    view.PrivateTemp()};
}

TCompression ChooseCompression(std::optional<bool> heldCompressed, const TSessionInputs& inputs) {
    if (!heldCompressed) {
        return {inputs.UseCompression, false, false};
    }
    if (!*heldCompressed) {
        return {inputs.UseCompression, false, inputs.UseCompression};
    }
    return {inputs.UseCompression || !inputs.Decompress, !inputs.Decompress, inputs.Decompress};
}

TCompression RecoveryCompression(bool leftCompressed, const TSessionInputs& inputs) {
    TCompression compression = ChooseCompression(leftCompressed, inputs);
    compression.Changed = false;
    return compression;
}

void TFileSteps::Rename(const std::string& dataFile) {
    FInputs.DataFile = dataFile;
    FView.SetDataFileName(dataFile);
}

void TFileSteps::Decide(const TCompression& compression) {
    FCompression = compression;
    if (compression.Tick) {
        FView.TickCompress();
    }
}

// The session's steps, where a signal before the editor ran ends it, and
// a cancel asked for before the editor started.
void TFileSteps::Status(const std::string& text) {
    platform::CheckInterrupted();
    FView.SetStatus(text);
    FView.PumpMessages();
    if (FCancellable && !FEditorStarted && FView.CancelRequested()) {
        throw TCancelled{};
    }
}

// A step that can take a while: its name, and its progress from 0.
void TFileSteps::Stage(const std::string& text) {
    Status(text);
    FView.Progress(0, 1);
}

// Reports through the host, so that a failure after the editor ran says
// where the newest text is.
void TFileSteps::Fail(const std::string& text) {
    FHost.AskUser(text, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
    FHost.ExitWithError();
}

// Where the newest text is now, for the error reports from here on.
void TFileSteps::NoteNewestText(const std::string& path, const char* what) {
    FNote = "Your edits are in " + platform::QuotedName(path) + " (" + what +
            ", readable by you only). Keep that file: the backups are older than these edits.";
}

std::string TFileSteps::SharedFolderText() const {
    const bool shared = FFolder.Fd() >= 0 ? platform::FolderWritableByOthers(FFolder.Fd())
                                          : platform::FolderWritableByOthers(DataFile());
    if (!shared) {
        return {};
    }
    return "The folder of " + platform::QuotedName(DataFile()) +
           " can be written by other users. The session refuses any file of theirs at its names, "
           "but they can delete or rename yours there; a folder of your own is safer.";
}

// Every name the session works with is absent or a regular file of ours
// with one name. Anything else (another user's file planted in a shared
// folder, a link, a hard link to something else) is refused before a
// byte of plain text is written.
void TFileSteps::RefuseForeignNames(const std::string& dataFile) {
    const std::string sealing = datafile::SealingTempName(dataFile);
    const datafile::TCompanions names{dataFile};
    for (const std::string& path :
         {names.WorkingCopy(), names.Intermediate(), names.FirstBackup(), names.SecondBackup(), sealing,
          datafile::SealingTempName(names.FirstBackup()), datafile::SealingTempName(names.WorkingCopy()),
          datafile::SealingTempName(names.Intermediate()), names.Lock()}) {
        const platform::TNameCheck check = platform::CheckOwnName(Held(path));
        if (check.State == TNameState::Foreign) {
            Fail(platform::DescribeForeign(path, check) +
                 ", not a file of yours. It may have been put there by another user to read or replace "
                 "your text.\r\n\r\nRemove it (or edit the data file in a folder of your own). Nothing has "
                 "been changed.");
        }
    }
}

// A data file that cannot be written could be edited but never sealed
// again: the edits would end in a sealing error. It is refused before
// anything is done, as the window refuses a read-only file when it is
// picked.
void TFileSteps::WritableTest() {
    if (platform::FileExists(Held(DataFile())) && platform::IsReadOnly(Held(DataFile()))) {
        Fail(ReadOnlyRefusal);
    }
}

// Only one session at a time on a data file: a second copy refuses at
// once, before it touches anything. A lock that could not be taken for
// another reason (a folder turned read-only) is refused after the
// left-over report, which still names the files there.
void TFileSteps::RefuseLock(platform::TFileLock::TResult result, int error) {
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
        Fail("The folder of " + platform::QuotedName(DataFile()) + " (" +
             platform::QuotedName(folder.empty() ? "." : folder) + ") is read-only" +
             (error == EROFS ? " (it is on a read-only file system)" : " for you") +
             ": the session cannot write the files it needs there.\r\n\r\nMake the folder writable, or copy "
             "the data file to a folder you can write and open it there. Nothing has been changed.");
    }
    Fail("Cannot create the lock file " + platform::QuotedName(LockFile()) + " (" + std::strerror(error) +
         ").\r\n\r\nNothing has been changed.");
}

// The files set aside go first: while one is left, so is the file whose
// text it is part of.
void TFileSteps::WipeTemporaries(const std::string& working, const std::string& intermediate) {
    WipeOwn(AsideName(working));
    WipeOwn(AsideName(intermediate));
    WipeOwn(intermediate);
    WipeOwn(working);
}

// Both temporary files as one step, with one progress from 0 to 100.
void TFileSteps::WipeTemporaries() {
    FHost.ReportAsOne(SizeOf(WorkingCopy()) + SizeOf(Intermediate()));
    WipeTemporaries(WorkingCopy(), Intermediate());
    FHost.ReportAsOne(0);
}

// Overwrites and deletes a temporary file of ours; one that the editor
// left read-only is made writable first. Absent: nothing to do; anything
// that is not ours is left as it is and reported.
void TFileSteps::WipeOwn(const std::string& path) {
    const platform::TAtPath held = Held(path);
    const platform::TFd file(platform::OpenOwnFile(held, O_RDONLY));
    struct stat info {};
    if (file.Valid() && ::fstat(file.Get(), &info) == 0 && (info.st_mode & S_IWUSR) == 0) {
        (void)::fchmod(file.Get(), (info.st_mode & 0700) | S_IWUSR);
    }
    datafile::WipeFile(FHost, held);
}

// On a way out that is failing already: a failure of its own does not
// replace the first one, and only files of ours are touched.
void TFileSteps::WipeQuietly(const std::string& path) {
    if (platform::CheckOwnName(Held(path)).State != TNameState::Ours) {
        return;
    }
    try {
        WipeOwn(path);
    } catch (const std::exception&) {
    }
}

// The first backup becomes the second one. Every name was checked to be
// ours or absent; a rotation that fails stops here rather than losing the
// older backup silently.
void TFileSteps::RotateBackups() {
    if (!FInputs.DoubleBackup || !platform::FileExists(Held(FirstBackup()))) {
        return;
    }
    const std::string second = SecondBackup();
    if (platform::CheckOwnName(Held(second)).State != TNameState::Absent && !platform::RemoveName(Held(second))) {
        Fail(WriteFailureText + std::string("\r\n\r\n(Cannot delete ") + platform::QuotedName(second) + ": " +
             std::strerror(errno) + ")");
    }
    if (!platform::RenameNoReplace(Held(FirstBackup()), Held(second))) {
        Fail(WriteFailureText + std::string("\r\n\r\n(Cannot rename ") + platform::QuotedName(FirstBackup()) + " to " +
             platform::QuotedName(second) + ": " + std::strerror(errno) + ")");
    }
}

// Seals the working copy, compressed first or moved to the bytes to seal,
// as decided.
void TFileSteps::Reseal() {
    Reseal({}, FCompression.Seal);
}

// Seals the working copy (asIs empty), compressed first or not; or asIs,
// that file's bytes as they are (compressed: they are compressed data).
void TFileSteps::Reseal(const std::string& asIs, bool compressed) {
    Stage("Creating backup..");
    RotateBackups();
    if (!FImported) {
        // Copied beside it and renamed: a copy cut short (a full disk)
        // never replaces the backup there is.
        const platform::TAtPath partial = Held(datafile::SealingTempName(FirstBackup()));
        if (platform::CheckOwnName(partial).State == TNameState::Ours) {
            (void)platform::RemoveName(partial); // left by a run that was cut short
        }
        if (!platform::CopyFile(Held(DataFile()), partial, 0, true, FProgress) ||
            !platform::MoveFile(partial, Held(FirstBackup())) || !platform::SyncFolderOf(Held(FirstBackup()))) {
            (void)platform::RemoveName(partial);
            Fail(WriteFailureText);
        }
    }
    datafile::TSealOptions sealing;
    sealing.OwnSource = true;
    sealing.WipeReplaced = FImported;
    if (!asIs.empty()) {
        const platform::TFd source(platform::OpenOwnFile(Held(asIs), O_RDONLY));
        struct stat info {};
        if (!source.Valid() || ::fstat(source.Get(), &info) != 0) {
            Fail(WriteFailureText);
        }
        sealing.Source = platform::IdOf(info);
    } else if (compressed) {
        Stage("Compressing..");
        // Compressed from the file checked to be ours, whatever its name
        // refers to meanwhile: the descriptor's own name in /proc.
        const platform::TFd working(platform::OpenOwnFile(Held(WorkingCopy()), O_RDONLY));
        if (!working.Valid()) {
            Fail(WriteFailureText + std::string("\r\n\r\n(Cannot open ") + platform::QuotedName(WorkingCopy()) + ": " +
                 std::strerror(errno) + ")");
        }
        const std::string source = platform::DescriptorName(working.Get());
        try {
            datafile::CompressFile(platform::FileExists(source) ? platform::TAtPath(source) : Held(WorkingCopy()),
                                   Held(Intermediate()), FProgress);
        } catch (const std::exception& e) {
            // The edits stay in the working copy; a partial stream is of no use.
            WipeQuietly(Intermediate());
            Fail(std::string(WriteFailureText) + "\r\n\r\n(" + e.what() + ")");
        }
    } else {
        // The file moved is the one sealed: its identity is taken first
        // and checked when sealing opens it.
        const platform::TFd working(platform::OpenOwnFile(Held(WorkingCopy()), O_RDONLY));
        struct stat info {};
        if (!working.Valid() || ::fstat(working.Get(), &info) != 0 ||
            !platform::RenameNoReplace(Held(WorkingCopy()), Held(Intermediate()))) {
            Fail(WriteFailureText);
        }
        sealing.Source = platform::IdOf(info);
        NoteNewestText(Intermediate(), "the bytes to seal, plain text");
    }
    // The bytes to seal are on the medium before the data file is
    // replaced; sealing flushes the new data file before anything is wiped.
    const std::string toSeal = asIs.empty() ? Intermediate() : asIs;
    if (!platform::FlushFile(Held(toSeal))) {
        Fail(WriteFailureText);
    }
    if (ReportDue()) {
        const std::uint64_t decompressed = datafile::FileSizeKb(FHost, Held(WorkingCopy()));
        const std::uint64_t compressed = datafile::FileSizeKb(FHost, Held(Intermediate()));
        const std::uint64_t ratio = decompressed == 0 ? 0 : compressed * 100 / decompressed;
        FReport = "Decompressed size: " + std::to_string(decompressed) + " Kb\r\n" +
                  "Compressed size: " + std::to_string(compressed) + " Kb\r\n" + "Ratio: " + std::to_string(ratio) +
                  "% of original";
    }
    Stage(compressed ? "Encrypting.. [Compressed]" : "Encrypting.. [Uncompressed]");
    TOldKey before{FHost.Password(), FHost.AlgorithmIndex(), FHost.HashIndex()};
    datafile::Encrypt(FHost, Held(toSeal), Held(DataFile()), sealing);
    if (!(FHost.Password() == before.Password)) {
        FOldKey = std::move(before);
    }
    FResealed = true;
    FNote = "The edits are sealed in " + platform::QuotedName(DataFile()) + ".";
    FView.SetPanelText("Data successfully encrypted.");
}

void TFileSteps::BackupsAfterPasswordChange() {
    if (!FOldKey) {
        return;
    }
    if (!FView.RekeyBackups()) {
        if (const std::string note = OldPasswordBackupsText(DataFile()); !note.empty()) {
            FView.Notice(note);
        }
        return;
    }
    // Each backup is deciphered under the old key into the intermediate
    // file (created new, owner-only, where the session keeps its plain
    // temporaries), sealed under the new one through a temporary flushed and
    // renamed over it, and the plain copy wiped. One the old password does
    // not open is left as it is and named.
    TKeyedHost oldKey(FHost, FOldKey->Password.View(), FOldKey->Algorithm, FOldKey->Hash);
    const platform::TSecretText password = FHost.Password();
    TKeyedHost newKey(FHost, password.View(), FHost.AlgorithmIndex(), FHost.HashIndex());
    std::string left;
    for (const std::string& backup : {FirstBackup(), SecondBackup()}) {
        if (platform::CheckOwnName(Held(backup)).State != TNameState::Ours) {
            continue;
        }
        Stage("Sealing " + platform::QuotedName(backup) + " with the new password..");
        try {
            datafile::Decrypt(oldKey, Held(backup), Held(Intermediate()));
            if (datafile::FileContentKind(Held(Intermediate())) == datafile::TContentKind::ckNeither) {
                left += (left.empty() ? "" : " and ") + platform::QuotedName(backup);
            } else {
                datafile::TSealOptions sealing;
                sealing.OwnSource = true;
                datafile::Encrypt(newKey, Held(Intermediate()), Held(backup), sealing);
            }
        } catch (...) {
            WipeQuietly(Intermediate());
            throw;
        }
        WipeOwn(Intermediate());
    }
    if (!left.empty()) {
        FView.Notice(left + " did not open with the old password and " +
                     (left.find(" and ") == std::string::npos ? "was" : "were") + " left as it was.");
    }
}

// Files an editor wrote beside the working copy hold its text too, in
// this session or one cut short: each one of ours is wiped (another
// user's file, or a link, is left alone). Returns their names.
std::string TFileSteps::WipeEditorLeftovers() {
    std::string wiped;
    for (const std::string& path : PresentLeftovers()) {
        if (platform::CheckOwnName(Held(path)).State != TNameState::Ours) {
            continue;
        }
        WipeOwn(path);
        wiped += (wiped.empty() ? "" : ", ") + std::filesystem::path(path).filename().string();
    }
    return wiped;
}

std::string LockFileOf(const std::string& dataFile) {
    return datafile::TCompanions{dataFile}.Lock();
}

std::string BusyLockText(const std::string& dataFile) {
    return platform::QuotedName(dataFile) + " is being edited by another copy of this program (it holds " +
           platform::QuotedName(LockFileOf(dataFile)) + ").";
}

std::string OldPasswordBackupsText(const std::string& dataFile) {
    std::string names;
    for (const std::string& backup : {FirstBackupOf(dataFile), SecondBackupOf(dataFile)}) {
        if (platform::FileExists(backup)) {
            names += (names.empty() ? "" : " and ") + platform::QuotedName(backup);
        }
    }
    return names.empty() ? names
                         : names + " still open" + (names.find(" and ") == std::string::npos ? "s" : "") +
                               " with the old password.";
}

} // namespace quillock::session
