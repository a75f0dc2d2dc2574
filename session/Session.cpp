// The editing session: import or unseal, edit, check, back up, reseal, wipe.
#include "session/Session.h"

#include "datafile/CRC.h"
#include "datafile/Compression.h"
#include "datafile/FileChecks.h"
#include "datafile/SealedFile.h"
#include "platform/AlignedBuffer.h"
#include "platform/AtomicFile.h"
#include "platform/FileHandle.h"
#include "session/EditorLaunch.h"

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
#include <string>
#include <sys/file.h>
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

// A file of that name, not a directory or anything else; a link counts by
// what it leads to.
bool FileExists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The path with its extension (from the last dot after the last '/') replaced
// by extension; appended when there is none.
std::string ChangeFileExt(const std::string& path, const std::string& extension) {
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return path + extension;
    }
    return path.substr(0, dot) + extension;
}

// Renames without ever replacing an existing file of the new name.
bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the flag: a new link fails when the name exists.
    if (::link(from.c_str(), to.c_str()) != 0) {
        return false;
    }
    if (::unlink(from.c_str()) != 0) {
        ::unlink(to.c_str());
        return false;
    }
    return true;
}

// Renames, replacing a file of the new name.
bool MoveFile(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

using platform::TFd;
using platform::WriteAll;

// Copies a regular file byte for byte, replacing the destination. The copy is
// created owner-only and never written through a symbolic link (a link at the
// destination is replaced itself); it then gets the given mode, or the
// source's mode when keepMode is set, and is flushed to the medium. False on
// any failure.
bool CopyFile(const std::string& source, const std::string& destination, mode_t mode, bool keepMode) {
    TFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (in.Get() < 0 || ::fstat(in.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return false;
    }
    struct stat existing {};
    if (::lstat(destination.c_str(), &existing) == 0 && S_ISLNK(existing.st_mode) &&
        ::unlink(destination.c_str()) != 0) {
        return false;
    }
    TFd out(::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600));
    struct stat target {};
    if (out.Get() < 0 || ::fstat(out.Get(), &target) != 0 || !S_ISREG(target.st_mode) ||
        ::fchmod(out.Get(), keepMode ? (info.st_mode & 07777) : mode) != 0) {
        return false;
    }
    // The kernel copies without the bytes passing through this process; where
    // it cannot (other file systems, older kernels), the copy goes through a
    // buffer.
    for (bool copied = false; !copied;) {
        const ssize_t moved = ::copy_file_range(in.Get(), nullptr, out.Get(), nullptr, 1 << 30, 0);
        if (moved < 0 && errno == EINTR) {
            continue;
        }
        if (moved < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
            break; // the loop below goes on from where the kernel stopped
        }
        if (moved < 0) {
            return false;
        }
        copied = moved == 0;
    }
    // The copied bytes may be plain text: the buffer is wiped on every way out.
    platform::TAlignedBuffer buffer(65536);
    for (;;) {
        const ssize_t got = ::read(in.Get(), buffer.Data(), buffer.Size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return false;
        }
        if (got == 0) {
            break;
        }
        if (!WriteAll(out.Get(), buffer.Data(), static_cast<std::size_t>(got))) {
            return false;
        }
    }
    return ::fsync(out.Get()) == 0 && out.Close();
}

// Makes the names in the folder of path (a rename, a new file) durable.
bool SyncDirectoryOf(const std::string& path) {
    return platform::SyncFolder(std::filesystem::path(path).parent_path());
}

// Flushes a file's bytes and its name to the medium.
bool FlushFile(const std::string& path) {
    TFd file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    return file.Get() >= 0 && ::fsync(file.Get()) == 0 && file.Close() && SyncDirectoryOf(path);
}

// An exclusive lock beside the data file for the length of a session, so a
// second copy of the program on the same file refuses instead of sharing its
// temporary files. The kernel drops the lock when the process ends in any way;
// a lock file left by a killed run is simply taken over.
class TSessionLock {
public:
    enum class TResult { Taken, Busy, Failed };

    TSessionLock() = default;
    ~TSessionLock() { Release(); }
    TSessionLock(const TSessionLock&) = delete;
    TSessionLock& operator=(const TSessionLock&) = delete;

    TResult Take(const std::string& path) {
        for (;;) {
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600);
            if (fd < 0) {
                return TResult::Failed;
            }
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                const int error = errno;
                ::close(fd);
                if (error == EWOULDBLOCK) {
                    return TResult::Busy;
                }
                errno = error;
                // A file system without locks: nothing better can be done.
                return error == ENOLCK || error == EOPNOTSUPP || error == ENOSYS ? TResult::Taken : TResult::Failed;
            }
            // The holder before us may have removed the name between our open
            // and our lock: then the lock is on a file nobody else can find.
            struct stat held {};
            struct stat named {};
            if (::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
                held.st_ino == named.st_ino) {
                FFd = fd;
                FPath = path;
                return TResult::Taken;
            }
            ::close(fd);
        }
    }

    void Release() noexcept {
        if (FFd >= 0) {
            // The name goes while the lock is still held; see Take.
            (void)::unlink(FPath.c_str());
            ::close(FFd);
            FFd = -1;
        }
    }

private:
    int FFd = -1;
    std::string FPath;
};

// Takes group and other permissions off a plain-text file (an editor that
// saves by rename gives the new file its own mode); a link is left alone.
void MakeOwnerOnly(const std::string& path) {
    TFd file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (file.Get() >= 0 && ::fstat(file.Get(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 077) != 0) {
        (void)::fchmod(file.Get(), info.st_mode & 0700);
    }
}

// "YYYY-MM-DD HH:MM:SS" of a file's last change, local time.
std::string ChangedAt(const struct stat& info) {
    struct tm local {};
    const time_t seconds = info.st_mtim.tv_sec;
    char text[32] = "";
    if (::localtime_r(&seconds, &local) != nullptr) {
        (void)std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    }
    return text;
}

// One run of the session, with its flags.
class TSession {
public:
    explicit TSession(SessionView& view) : FView(view) {}

    void Run() {
        FView.LockWindow();
        FView.PumpMessages();
        try {
            WritableTest();
            ImportTest();
            TakeLock();
            LeftOverTest();
            Status("Decrypting..");
            MakeWorkingCopy();
            PlainFileCheck();
            Status("Checking CRC..");
            datafile::FileCRC32(WorkingCopy(), FChecksumBefore);
            const bool quickReturn = Edit();
            Status("Checking CRC..");
            datafile::FileCRC32(WorkingCopy(), FChecksumAfter);
            if (quickReturn && FChecksumAfter == FChecksumBefore) {
                ConfirmEditingFinished();
            }
            if (SomethingToWriteBack()) {
                Reseal();
            } else {
                FView.SetPanelText("No changes done.");
            }
            Status("Wiping data..");
            datafile::WipeFile(FView, Intermediate());
            datafile::WipeFile(FView, WorkingCopy());
            FView.ClearPassword();
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
        FView.EndProgram();
    }

private:
    // Every name derives from the data-file box as it reads now.
    [[nodiscard]] std::string DataFile() const { return FView.DataFileName(); }
    [[nodiscard]] std::string WorkingCopy() const { return DataFile() + ".qlt"; }
    [[nodiscard]] std::string Intermediate() const { return DataFile() + ".qlz"; }
    [[nodiscard]] std::string FirstBackup() const { return DataFile() + ".bak"; }
    [[nodiscard]] std::string SecondBackup() const { return DataFile() + ".old"; }
    [[nodiscard]] std::string LockFile() const { return DataFile() + ".qlk"; }

    void Status(const std::string& text) {
        FView.SetStatus(text);
        FView.PumpMessages();
    }

    [[noreturn]] void Fail(const std::string& text) {
        FView.AskUser(text, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
        FView.ExitWithError();
        std::terminate(); // a view whose ExitWithError returns breaks its contract
    }

    [[nodiscard]] bool ReportDue() const { return FCompressionChanged && FView.UseCompression(); }

    // A data file that cannot be written could be edited but never sealed
    // again: the edits would end in a sealing error. It is refused before
    // anything is done, as the window refuses a read-only file when it is
    // picked. Read-only is a mode without any write bit, whoever runs the
    // program, or a file the system will not let us write (immutable, or on
    // a read-only file system).
    void WritableTest() {
        struct stat info {};
        if (::stat(DataFile().c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(DataFile().c_str(), W_OK) != 0)) {
            Fail(ReadOnlyRefusal);
        }
    }

    // A plain editor file is renamed to the sealed extension and sealed for
    // the first time at the end.
    void ImportTest() {
        if (!datafile::CheckHeader(FView, DataFile())) {
            return;
        }
        if (FView.AskUser(ImportQuestion, TMsgDlgType::mtConfirmation, TMsgDlgButtons::mbYesNo) !=
            TModalResult::mrYes) {
            FView.ExitWithError();
        }
        const std::string newName = ChangeFileExt(DataFile(), ".qlx");
        // A plain file that already carries the sealed extension (an import
        // cut short after its rename) is imported where it is.
        if (newName != DataFile() && !RenameNoReplace(DataFile(), newName)) {
            Fail("Cannot rename file!\r\n\"" + newName + "\" already exists! (or disk is write protected?)" +
                 "\r\n\r\nPlease check your data.");
        }
        FView.SetDataFileName(newName);
        FImported = true;
    }

    // Only one session at a time on a data file; a second copy refuses
    // before it touches anything.
    void TakeLock() {
        switch (FLock.Take(LockFile())) {
        case TSessionLock::TResult::Taken:
            return;
        case TSessionLock::TResult::Busy:
            Fail("\"" + DataFile() + "\" is being edited by another copy of this program (it holds \"" + LockFile() +
                 "\").\r\n\r\nFinish that session first. Nothing has been changed here.");
        case TSessionLock::TResult::Failed:
            break;
        }
        Fail("Cannot create the lock file \"" + LockFile() + "\" (" + std::strerror(errno) +
             ").\r\n\r\nNothing has been changed.");
    }

    // One line naming a file that may hold the text of an earlier run.
    static void DescribeFile(std::string& lines, const std::string& path, const char* what) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
            lines += "\r\n\"" + path + "\": " + what + ", changed " + ChangedAt(info);
        }
    }

    void LeftOverTest() {
        if (!FileExists(WorkingCopy()) && !FileExists(Intermediate())) {
            return;
        }
        MakeOwnerOnly(WorkingCopy());
        MakeOwnerOnly(Intermediate());
        // The design's text, then where the text of the earlier run may be.
        std::string text = "WARNING: \"" + DataFile() + ".qlt/qlz\" ALREADY EXISTS!\r\n" +
                           "(Maybe system crashed while working on this file, or the file is already opened?)\r\n\r\n" +
                           "Click [Yes] if you want to OVERWRITE this file (will lose all changes!)\r\n" +
                           "Click [No] to EXIT and view this file with Arbolix (it should be unencrypted)\r\n\r\n" +
                           "Recommended choice: [No]\r\n\r\nThe text of the earlier run is in one of these files:";
        DescribeFile(text, WorkingCopy(), "working copy, unencrypted");
        DescribeFile(text, Intermediate(), "intermediate file, unencrypted (compressed if compression was on)");
        DescribeFile(text, DataFile(), "data file, encrypted");
        DescribeFile(text, FirstBackup(), "backup, encrypted");
        DescribeFile(text, SecondBackup(), "older backup, encrypted");
        text += "\r\n\r\n[Yes] overwrites the working copy and the intermediate file: copy the one you need first.";
        if (FView.AskLeftOver(text) != TModalResult::mrYes) {
            FView.ExitWithError();
        }
    }

    // A copy or move that makes the working copy failed: a left-over working
    // copy could otherwise pass for the fresh one.
    [[noreturn]] void WorkingCopyFailed(const std::string& partial) {
        datafile::WipeFile(FView, partial);
        Fail(WriteFailureText);
    }

    void MakeWorkingCopy() {
        if (FImported) {
            Status("Importing..");
            if (!CopyFile(DataFile(), WorkingCopy(), 0600, false)) {
                WorkingCopyFailed(WorkingCopy());
            }
            FDataCompressed = FView.UseCompression();
            return;
        }
        try {
            datafile::Decrypt(FView, DataFile(), Intermediate());
        } catch (const datafile::TProgramExit&) {
            // Deciphering stopped (a full disk): its plain text goes too.
            WipeQuietly(Intermediate());
            throw;
        }
        if (datafile::CheckHeader(FView, Intermediate())) {
            FDataCompressed = false;
            if (FView.UseCompression()) {
                FView.SetStatus("[Uncompressed]");
            }
            FView.PumpMessages();
            if (!MoveFile(Intermediate(), WorkingCopy())) {
                WorkingCopyFailed(Intermediate());
            }
            if (FView.UseCompression()) {
                FCompressionChanged = true;
            }
            return;
        }
        Status("Decompressing..");
        datafile::DecompressFile(FView, Intermediate(), WorkingCopy());
        datafile::WipeFile(FView, Intermediate());
        if (FView.Decompress()) {
            FCompressionChanged = true;
        } else {
            FView.TickCompress();
        }
        FDataCompressed = !FView.Decompress();
    }

    void PlainFileCheck() {
        if (!datafile::CheckHeader(FView, WorkingCopy())) {
            FView.AskUser(NotArbolixText, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
            datafile::WipeFile(FView, WorkingCopy());
            FView.ExitWithError();
        }
    }

    // Overwrites and deletes a file on a way out that is failing already; a
    // failure of its own does not replace the first one.
    void WipeQuietly(const std::string& path) {
        try {
            datafile::WipeFile(FView, path);
        } catch (const std::exception&) {
        }
    }

    // True when the editor ran and was back sooner than QuickReturn.
    bool Edit() {
        Status("Starting Arbolix..");
        FView.HideMainWindow();
        FView.ShowTrayIcon();
        const auto started = std::chrono::steady_clock::now();
        const bool ran = ExecuteAndWait(EditorCommandLine(FView.ExeName(), WorkingCopy()), ShowNormal) != -1;
        const bool quick = ran && std::chrono::steady_clock::now() - started < QuickReturn;
        if (!ran) {
            FView.AskUser(StartFailedText, TMsgDlgType::mtError, TMsgDlgButtons::mbOK);
        }
        MakeOwnerOnly(WorkingCopy());
        FView.HideTrayIcon();
        FView.ShowMainWindow();
        FView.PumpMessages();
        return quick;
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
            MakeOwnerOnly(WorkingCopy());
            FView.AskUser("The working copy stays where it is, readable by you only:\r\n\"" + WorkingCopy() +
                              "\"\r\n\r\nThe data file has not been changed. The next run warns about this "
                              "file; copy it elsewhere before answering [Yes] there.",
                          TMsgDlgType::mtWarning, TMsgDlgButtons::mbOK);
            FView.ExitWithError();
        }
        Status("Checking CRC..");
        datafile::FileCRC32(WorkingCopy(), FChecksumAfter);
    }

    [[nodiscard]] bool SomethingToWriteBack() const {
        return FChecksumAfter != FChecksumBefore || FImported || FView.ChangePass() || FView.ChangeAlgorithm() ||
               FCompressionChanged;
    }

    void Reseal() {
        Status("Creating backup..");
        if (FView.DoubleBackup() && FileExists(FirstBackup())) {
            // Neither result matters: a backup that failed to move is
            // replaced by the new copy below.
            if (FileExists(SecondBackup())) {
                (void)::unlink(SecondBackup().c_str());
            }
            (void)MoveFile(FirstBackup(), ChangeFileExt(FirstBackup(), ".old"));
        }
        if (!FImported) {
            // Copied beside it and renamed: a copy cut short (a full disk)
            // never replaces the backup there is.
            const std::string partial = datafile::SealingTempName(FirstBackup());
            if (!CopyFile(DataFile(), partial, 0, true) || !MoveFile(partial, FirstBackup()) ||
                !SyncDirectoryOf(FirstBackup())) {
                (void)::unlink(partial.c_str());
                Fail(WriteFailureText);
            }
        }
        if (FView.UseCompression()) {
            Status("Compressing..");
            try {
                datafile::CompressFile(WorkingCopy(), Intermediate());
            } catch (const std::exception& e) {
                // The edits stay in the working copy; a partial stream is of no use.
                WipeQuietly(Intermediate());
                Fail(std::string(WriteFailureText) + "\r\n\r\n(" + e.what() + ")");
            }
        } else if (!MoveFile(WorkingCopy(), Intermediate())) {
            // Sealing on would take whatever an earlier run left at the
            // intermediate name; the edits stay in the working copy.
            Fail(WriteFailureText);
        }
        // The bytes to seal are on the medium before the data file is
        // replaced; sealing flushes the new data file before anything is wiped.
        if (!FlushFile(Intermediate())) {
            Fail(WriteFailureText);
        }
        if (ReportDue()) {
            const std::uint64_t decompressed = datafile::FileSizeKb(FView, WorkingCopy());
            const std::uint64_t compressed = datafile::FileSizeKb(FView, Intermediate());
            const std::uint64_t ratio = decompressed == 0 ? 0 : compressed * 100 / decompressed;
            FReport = "Decompressed size: " + std::to_string(decompressed) + " Kb\r\n" +
                      "Compressed size: " + std::to_string(compressed) + " Kb\r\n" + "Ratio: " + std::to_string(ratio) +
                      "% of original";
            FDataCompressed = true;
        }
        FView.SetStatus(FDataCompressed ? "Encrypting.. [Compressed]" : "Encrypting.. [Uncompressed]");
        FView.PumpMessages();
        datafile::Encrypt(FView, Intermediate(), DataFile());
        FView.SetPanelText("Data successfully encrypted.");
    }

    SessionView& FView;
    TSessionLock FLock;
    bool FImported = false;
    bool FCompressionChanged = false;
    bool FDataCompressed = false;
    std::uint32_t FChecksumBefore = 0;
    std::uint32_t FChecksumAfter = 0;
    std::string FReport;
};

} // namespace

void BitBtn1Click(SessionView& view) {
    if (view.DataFileName().empty()) {
        view.WarnBox(SelectFileText);
        return;
    }
    TSession session(view);
    session.Run();
}

} // namespace quillock::session
