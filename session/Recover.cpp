// recover: seals the newest text a session cut short left beside the data
// file.
#include "session/Session.h"

#include "datafile/Companions.h"
#include "datafile/Compression.h"
#include "datafile/FileChecks.h"
#include "datafile/SealedFile.h"
#include "platform/Files.h"
#include "platform/PrivateFolder.h"
#include "platform/Signals.h"
#include "platform/Text.h"
#include "session/FileSteps.h"
#include "session/LeftOver.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <sys/stat.h>

namespace quillock::session {
namespace {

using platform::TNameState;

// Whether a session cut short left anything in place: a working copy, an
// intermediate file, one set aside, or an editor's copy of the working copy;
// names in folder are looked at through it.
bool LeftOversIn(const platform::TTempLocation& place, const std::string& dataFile,
                 const platform::TFolderHandle& folder) {
    for (const char* extension : {datafile::WorkingCopyExtension, datafile::IntermediateExtension}) {
        const std::string path = place.PathOf(dataFile, extension);
        if (platform::FileExists(folder.At(path)) || platform::FileExists(folder.At(datafile::SealingTempName(path)))) {
            return true;
        }
    }
    return !EditorLeftoversOf(place.PathOf(dataFile, datafile::WorkingCopyExtension), folder).empty();
}

TRecoveryState StateOf(datafile::TDataFileHost& host, const std::string& dataFile,
                       const platform::TFolderHandle& folder) {
    if (datafile::CheckHeader(host, folder.At(dataFile))) {
        // An import cut short has renamed its plain file already.
        return datafile::TCompanions{dataFile}.Imported() == dataFile ? TRecoveryState::rsImportCutShort
                                                                      : TRecoveryState::rsPlainFile;
    }
    const std::optional<platform::TTempLocation> own = PrivatePlaceOf(dataFile, folder);
    return LeftOversIn(platform::TTempLocation{}, dataFile, folder) || (own && LeftOversIn(*own, dataFile, folder))
               ? TRecoveryState::rsLeftOvers
               : TRecoveryState::rsNothingLeftOver;
}

class TRecovery final : public TFileSteps {
public:
    using TFileSteps::TFileSteps;

    // Seals the newest text that a session cut short left beside the data
    // file, the way a session reseals, once the password is known to open
    // the data file. Copies cut short and copies of what the data file holds
    // already are wiped; a file that is neither stops everything.
    void Recover() {
        // The left-over files may hold the only copy of the newest text: a
        // signal lets the recovery finish, and only then ends the program.
        const platform::TSignalDeferral unbroken;
        FView.LockWindow();
        // Every step works inside the folder the data file was in at the
        // start, whatever is put at its path meanwhile.
        (void)FFolder.Open(DataFile());
        try {
            SharedFolderNotice();
            WritableTest();
            OwnershipTest();
            const platform::TFileLock::TResult lock = FLock.Take(Held(LockFile()), false);
            RefuseLock(lock, errno);
            FindLeftOvers();
            switch (StateOf(FHost, DataFile(), FFolder)) {
            case TRecoveryState::rsPlainFile:
                Fail(platform::QuotedName(DataFile()) +
                     " is a plain Arbolix file, not a sealed one: there is nothing to recover. A session "
                     "imports it.");
            case TRecoveryState::rsNothingLeftOver:
                EndRecovery("Nothing to recover: there is no working copy or intermediate file beside " +
                            platform::QuotedName(DataFile()) + ".");
                return;
            case TRecoveryState::rsImportCutShort:
                FImported = true;
                break;
            case TRecoveryState::rsLeftOvers:
                break;
            }
            Status("Comparing the left-over files..");
            const TLeftOvers found =
                MeasureLeftOvers(FHost, DataFile(), FImported, WorkingCopy(), Intermediate(), FFolder);
            const TNewest newest = NewestText(found);
            if (newest == TNewest::nwUndecided) {
                RefuseUndecided(found);
            }
            Decide(RecoveryCompression(found.DataCompressed || found.Intermediate.Compressed, FInputs));
            const bool sealing = SealNewestText(found, newest);
            Status("Wiping data..");
            WipeTemporaries();
            const std::string wiped = WipeEditorLeftovers();
            platform::RemovePrivateFolder(FTemp);
            EndRecovery((!sealing ? "Nothing to recover: " + platform::QuotedName(DataFile()) +
                                        " already holds the text of the left-over files (copies cut short or "
                                        "unchanged); they are wiped."
                         : FImported
                             ? "Recovered: the newest text is sealed in " + platform::QuotedName(DataFile()) + "."
                             : "Recovered: the newest text is sealed in " + platform::QuotedName(DataFile()) +
                                   "; the file it replaced is " + platform::QuotedName(FirstBackup()) + ".") +
                        (wiped.empty() ? "" : " The editor's copies of the working copy are wiped: " + wiped + "."));
        } catch (const datafile::EDataFileError& error) {
            Fail(error);
        } catch (const std::exception& e) {
            Fail(std::string(WriteFailureText) + "\r\n\r\n(" + e.what() + ")");
        }
    }

private:
    void SharedFolderNotice() {
        if (const std::string text = SharedFolderText(); !text.empty()) {
            FView.Notice(text);
        }
    }

    // recover works where a session cut short left its temporaries: beside
    // the data file, or in its private folder (found by the folder's
    // identity, so also after the folder was renamed). In both places at
    // once, which set is the newer cannot be told.
    void FindLeftOvers() {
        const std::optional<platform::TTempLocation> own = PrivatePlaceOf(DataFile(), FFolder);
        if (!own || !LeftOversIn(*own, DataFile(), FFolder)) {
            return;
        }
        if (LeftOversIn(FTemp, DataFile(), FFolder)) {
            Fail("A session cut short left files both beside " + platform::QuotedName(DataFile()) +
                 " and in its private folder " + platform::QuotedName(own->Folder) +
                 ", so which of them is the newest cannot be told. Nothing has been changed."
                 "\r\n\r\nLook at both, keep the one you need and move the other away, then recover again.");
        }
        FTemp = *own;
        RefuseForeignNames(FTemp.PathOf(DataFile(), ""));
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
                Fail(platform::QuotedName(file->Path) + " is " +
                     (file == &found.WorkingCopy ? "not a plain Arbolix file"
                                                 : "neither a plain Arbolix file nor complete compressed data") +
                     ", so what it holds cannot be told. Nothing has been changed.\r\n\r\nLook at it and "
                     "move it away, then recover again.");
            }
        }
        Fail(platform::QuotedName(WorkingCopy()) + " and " + platform::QuotedName(Intermediate()) +
             " hold two different texts that " + platform::QuotedName(DataFile()) +
             " does not hold, and neither begins the other, so which is the newest cannot be told. Nothing has "
             "been changed.\r\n\r\nLook at both, keep the one you need and move the other away, then recover "
             "again.");
    }

    // The bytes recover is about to write beside the data file (its backup,
    // a decoded or copied text, the bytes to seal and the new data file)
    // must fit before anything is changed: a full disk part way would leave
    // the work half done.
    void RefuseWithoutRoom(std::uint64_t needed, const std::string& holder) {
        const std::uint64_t available = datafile::FreeSpaceBeside(Held(DataFile()));
        if (available >= needed) {
            return;
        }
        Fail("There is not room enough beside " + platform::QuotedName(DataFile()) + " to recover: about " +
             std::to_string(needed) + " bytes are needed, " + std::to_string(available) +
             " are free.\r\n\r\nNothing has been changed: the "
             "newest text is in " +
             platform::QuotedName(holder) + ". Make room, then recover again.");
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
        const bool compress = FCompression.Seal;
        if (newest == TNewest::nwDataFile) {
            if (!FImported) {
                return false;
            }
            const std::uint64_t size = FileSize(DataFile());
            RefuseWithoutRoom(size + (compress ? 2 : 1) * sealed(size), DataFile());
            SetAside(Intermediate());
            SetAside(WorkingCopy());
            MoveIntoPlace(DataFile(), [this] {
                return platform::CopyFile(Held(DataFile()), Held(PartialCopy()), 0600, false, FProgress);
            });
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
                Reseal(Intermediate(), false);
            } else if (platform::RenameNoReplace(Held(Intermediate()), Held(WorkingCopy()))) {
                NoteNewestText(WorkingCopy(), "the working copy, plain text");
                Reseal();
            } else {
                Fail(WriteFailureText + std::string("\r\n\r\n(Cannot rename ") + platform::QuotedName(Intermediate()) +
                     " to " + platform::QuotedName(WorkingCopy()) + ": " + std::strerror(errno) + ")");
            }
        } else if (compress) {
            // The stream is sealed as it is.
            RefuseWithoutRoom(backup + sealed(FileSize(Intermediate())), Intermediate());
            SetAside(WorkingCopy());
            NoteNewestText(Intermediate(), "the bytes to seal, compressed");
            Reseal(Intermediate(), true);
        } else {
            const std::uint64_t size = found.Intermediate.TextSize;
            RefuseWithoutRoom(backup + size + sealed(size), Intermediate());
            SetAside(WorkingCopy());
            NoteNewestText(Intermediate(), "the bytes to seal, compressed");
            Stage("Decompressing..");
            MoveIntoPlace(Intermediate(), [this, size] {
                const datafile::TSalvageResult inflated =
                    datafile::SalvageDecompressFile(Held(Intermediate()), Held(PartialCopy()));
                return inflated.Complete && static_cast<std::uint64_t>(inflated.Recovered) == size &&
                       platform::FlushFile(Held(PartialCopy()));
            });
            Reseal(WorkingCopy(), false);
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
        if (!made || !platform::RenameNoReplace(Held(PartialCopy()), Held(WorkingCopy())) ||
            !platform::SyncFolderOf(Held(WorkingCopy()))) {
            WipeQuietly(PartialCopy());
            Fail(WriteFailureText + std::string("\r\n\r\n(") + (why.empty() ? std::strerror(errno) : why) +
                 ")\r\n\r\nNothing has been changed: the newest text is in " + platform::QuotedName(source) + ".");
        }
    }

    [[nodiscard]] std::uint64_t FileSize(const std::string& path) const {
        struct stat info {};
        return platform::StatName(Held(path), info, true) ? static_cast<std::uint64_t>(info.st_size) : 0;
    }

    // Moves a file whose text is held elsewhere out of the way of the
    // sealing, to be wiped once the newest text is sealed. A wipe cut short
    // at its own name could look like a text of its own.
    void SetAside(const std::string& path) {
        WipeOwn(AsideName(path));
        if (platform::CheckOwnName(Held(path)).State != TNameState::Absent &&
            !platform::RenameNoReplace(Held(path), Held(AsideName(path)))) {
            Fail(WriteFailureText + std::string("\r\n\r\n(Cannot rename ") + platform::QuotedName(path) + " to " +
                 platform::QuotedName(AsideName(path)) + ": " + std::strerror(errno) + ")");
        }
    }
    [[nodiscard]] std::string PartialCopy() const { return AsideName(WorkingCopy()); }
};

} // namespace

TRecoveryState RecoveryState(datafile::TDataFileHost& host, const std::string& dataFile) {
    return StateOf(host, dataFile, {});
}

void RecoverLeftOver(SessionView& view) {
    TRecovery session(view);
    session.Recover();
}

} // namespace quillock::session
