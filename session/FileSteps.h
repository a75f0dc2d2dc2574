// The steps an editing session and recover share: the names of a data
// file's temporaries, the checks before anything is written, the backup, the
// reseal and the wipes. Used by the session folder only.
#pragma once

#include "datafile/Companions.h"
#include "datafile/DataFileHost.h"
#include "datafile/FileChecks.h"
#include "datafile/SealedFile.h"
#include "platform/Files.h"
#include "platform/PrivateFolder.h"
#include "platform/Progress.h"
#include "platform/Signals.h"
#include "session/Messages.h"
#include "session/Session.h"
#include "session/SessionView.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace quillock::session {

// Those of the names beside workingCopy where editors keep copies of the
// file they edit that are taken now, by anything (looked at through folder
// when it holds them).
[[nodiscard]] std::vector<std::string> EditorLeftoversOf(const std::string& workingCopy,
                                                         const platform::TFolderHandle& folder = {});
// The private folder an earlier session on dataFile used, as a place of its
// temporaries, found by the identity of its held folder; nothing when it has
// none.
[[nodiscard]] std::optional<platform::TTempLocation> PrivatePlaceOf(const std::string& dataFile,
                                                                    const platform::TFolderHandle& folder);
[[nodiscard]] std::string FirstBackupOf(const std::string& dataFile);
[[nodiscard]] std::string SecondBackupOf(const std::string& dataFile);

// What a run reads from the view, taken once at its start. The data file's
// name is kept up to date where the run renames the data file (an import).
struct TSessionInputs {
    std::string DataFile;
    bool UseCompression = false;
    bool Decompress = false;
    bool DoubleBackup = false;
    bool ChangePass = false;
    bool ChangeAlgorithm = false;
    std::string ExeName;
    platform::TPrivateTemp PrivateTemp = platform::TPrivateTemp::ptWhereNeeded;
};
[[nodiscard]] TSessionInputs InputsOf(const SessionView& view);

// Whether the text is sealed compressed, decided once from how it is held
// now and the compression boxes.
struct TCompression {
    bool Seal = false;    // compressed before it is sealed
    bool Tick = false;    // compressed data kept compressed: the view's box is ticked to show it
    bool Changed = false; // sealed otherwise than the data file holds it: a reason to reseal,
                          // and the sizes are reported when it is compressed now
};
// heldCompressed: how the data file holds the text; nothing for a plain
// file being imported. Compressed data stays compressed unless Decompress
// is ticked; other data is compressed when UseCompression is.
[[nodiscard]] TCompression ChooseCompression(std::optional<bool> heldCompressed, const TSessionInputs& inputs);
// recover: the left-over text keeps its form the same way, but a form that
// differs from the data file's is no reason to report sizes.
[[nodiscard]] TCompression RecoveryCompression(bool leftCompressed, const TSessionInputs& inputs);

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
    datafile::TModalResult AskUser(const std::string& text, datafile::TMsgDlgType kind,
                                   datafile::TMsgDlgButtons buttons) override {
        if (kind == datafile::TMsgDlgType::mtError && !FNote.empty()) {
            return FView.AskUser(text + "\r\n\r\n" + FNote, kind, buttons);
        }
        return FView.AskUser(text, kind, buttons);
    }
    std::string InputBox(const std::string& title, const std::string& prompt, const std::string& value) override {
        return FView.InputBox(title, prompt, value);
    }
    bool QuestionBox(const std::string& text) override { return FView.QuestionBox(text); }
    void PostPrivateMessage(datafile::TPromptKind prompt) override { FView.PostPrivateMessage(prompt); }
    void HearCause(int error) override { FView.HearCause(error); }
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
    TSessionInputs FInputs;
    const std::string& FNote;
    std::uint64_t FWhole = 0;
    std::uint64_t FBefore = 0;
    std::uint64_t FLastDone = 0;
    std::uint64_t FLastTotal = 0;
};

// The state of one run on a data file, and the steps that the session and
// recover both take.
class TFileSteps {
public:
    explicit TFileSteps(SessionView& view) : FView(view), FInputs(InputsOf(view)), FHost(view, FNote) {}

protected:
    // Every name derives from the data file's name as it is now.
    [[nodiscard]] const std::string& DataFile() const { return FInputs.DataFile; }
    // The plain temporaries, where PlaceTemporaries put them.
    [[nodiscard]] std::string WorkingCopy() const { return FTemp.PathOf(DataFile(), datafile::WorkingCopyExtension); }
    [[nodiscard]] std::string Intermediate() const { return FTemp.PathOf(DataFile(), datafile::IntermediateExtension); }
    [[nodiscard]] std::string FirstBackup() const { return FirstBackupOf(DataFile()); }
    [[nodiscard]] std::string SecondBackup() const { return SecondBackupOf(DataFile()); }
    [[nodiscard]] std::string LockFile() const { return LockFileOf(DataFile()); }
    // Where a temporary file waits to be wiped once its text is held
    // elsewhere, and where recover decodes or copies a text before it becomes
    // the working copy (which thus only ever holds a whole text): whatever is
    // found at such a name is held elsewhere, and is wiped without a question.
    [[nodiscard]] static std::string AsideName(const std::string& path) { return datafile::SealingTempName(path); }

    // Thrown at a step when the user asked to cancel before the editor started.
    struct TCancelled {};

    [[nodiscard]] std::uint64_t SizeOf(const std::string& path) const {
        struct stat info {};
        return platform::StatName(Held(path), info) && S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size)
                                                                             : 0;
    }

    [[nodiscard]] bool ReportDue() const { return FCompression.Changed && FCompression.Seal; }
    // The data file has a new name, in the run and in the view.
    void Rename(const std::string& dataFile);
    // Takes the decision on compression, and ticks the view's box when
    // compressed data stays compressed.
    void Decide(const TCompression& compression);

    void OwnershipTest() { RefuseForeignNames(DataFile()); }
    // A name beside the data file as the file steps reach it: inside the
    // data file's folder as it was opened (see FFolder), so that a folder
    // renamed or replaced meanwhile is never read or written. Others (the
    // private folder) as they are. Messages keep the names as they are.
    [[nodiscard]] platform::TAtPath Held(const std::string& path) const { return FFolder.At(path); }

    [[nodiscard]] std::vector<std::string> PresentLeftovers() const {
        return EditorLeftoversOf(WorkingCopy(), FFolder);
    }

    void Status(const std::string& text);
    void Stage(const std::string& text);
    [[noreturn]] void Fail(const std::string& text);
    // A failure the data-file operations report, the same way.
    [[noreturn]] void Fail(const datafile::EDataFileError& error) { datafile::ReportAndExit(FHost, error); }
    void NoteNewestText(const std::string& path, const char* what);
    [[nodiscard]] std::string SharedFolderText() const;
    void RefuseForeignNames(const std::string& dataFile);
    void WritableTest();
    void RefuseLock(platform::TFileLock::TResult result, int error);
    void WipeTemporaries(const std::string& working, const std::string& intermediate);
    void WipeTemporaries();
    void WipeOwn(const std::string& path);
    void WipeQuietly(const std::string& path);
    void RotateBackups();
    void Reseal();
    void Reseal(const std::string& asIs, bool compressed);
    std::string WipeEditorLeftovers();
    // After the text was sealed under a new password: the backups, which
    // still open with the old one, are said so, or with RekeyBackups sealed
    // under the new one. Nothing when the password stayed.
    void BackupsAfterPasswordChange();

    SessionView& FView;
    TSessionInputs FInputs;
    // The long steps' progress, to the view.
    const platform::TProgressFn FProgress = [this](std::uint64_t done, std::uint64_t total) {
        FHost.Progress(done, total);
    };
    std::string FNote; // where the newest text is, once the editor has run
    TNotingHost FHost;
    // The data file's folder, held from the run's first step on; it outlives
    // the lock, whose name is in it.
    platform::TFolderHandle FFolder;
    platform::TFileLock FLock;
    platform::TTempLocation FTemp; // beside the data file until PlaceTemporaries decides
    bool FImported = false;
    TCompression FCompression;
    bool FResealed = false;
    // The password, cipher and digest the data file was sealed with before
    // this run changed its password.
    struct TOldKey {
        platform::TSecretText Password;
        int Algorithm = 0;
        int Hash = 0;
    };
    std::optional<TOldKey> FOldKey;
    std::optional<platform::TSignalDeferral> FEditorStarted;
    bool FCancellable = false;
    std::string FReport;
};

} // namespace quillock::session
