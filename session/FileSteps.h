// The steps an editing session and recover share: the names of a data
// file's temporaries, the checks before anything is written, the backup, the
// reseal and the wipes. Used by the session folder only.
#pragma once

#include "datafile/DataFileHost.h"
#include "datafile/SealedFile.h"
#include "platform/Files.h"
#include "platform/PrivateFolder.h"
#include "platform/Progress.h"
#include "platform/Signals.h"
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

inline constexpr const char* WriteFailureText = "An error was occurred while writing on disk!\r\n\r\n"
                                                "Please check your data and/or try to restore a backup copy manually.";

// Those of the names beside workingCopy where editors keep copies of the
// file they edit that are taken now, by anything.
[[nodiscard]] std::vector<std::string> EditorLeftoversOf(const std::string& workingCopy);
// The private folder an earlier session on dataFile used, as a place of its
// temporaries; nothing when it has none.
[[nodiscard]] std::optional<platform::TTempLocation> PrivatePlaceOf(const std::string& dataFile);
[[nodiscard]] std::string FirstBackupOf(const std::string& dataFile);
[[nodiscard]] std::string SecondBackupOf(const std::string& dataFile);

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

// The state of one run on a data file, and the steps that the session and
// recover both take.
class TFileSteps {
public:
    explicit TFileSteps(SessionView& view) : FView(view), FHost(view, FNote) {}

protected:
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

    // Thrown at a step when the user asked to cancel before the editor started.
    struct TCancelled {};

    static std::uint64_t SizeOf(const std::string& path) {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) ? static_cast<std::uint64_t>(info.st_size)
                                                                          : 0;
    }

    [[nodiscard]] bool ReportDue() const { return FCompressionChanged && FView.UseCompression(); }

    void OwnershipTest() { RefuseForeignNames(DataFile()); }

    [[nodiscard]] std::vector<std::string> PresentLeftovers() const { return EditorLeftoversOf(WorkingCopy()); }

    void Status(const std::string& text);
    void Stage(const std::string& text);
    [[noreturn]] void Fail(const std::string& text);
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
    void Reseal(const std::string& asIs = {});
    std::string WipeEditorLeftovers();

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
    bool FResealed = false;
    std::optional<platform::TSignalDeferral> FEditorStarted;
    bool FCancellable = false;
    std::string FReport;
};

} // namespace quillock::session
