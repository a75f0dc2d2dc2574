// The window operations the editing session calls, and the window state it
// reads and writes. The Qt window and the terminal each implement it.
#pragma once

#include "datafile/DataFileHost.h"
#include "platform/PrivateFolder.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace quillock::session {

using datafile::TModalResult;
using datafile::TMsgDlgButtons;
using datafile::TMsgDlgType;

class SessionView : public datafile::TDataFileHost {
public:
    // Disables the controls and the window, then shows the "Please wait.." panel.
    virtual void LockWindow() = 0;
    // The progress line under the panel's caption.
    virtual void SetStatus(const std::string& text) = 0;
    // The panel's caption.
    virtual void SetPanelText(const std::string& text) = 0;
    // Handles every pending window message.
    virtual void PumpMessages() = 0;
    virtual void HideMainWindow() = 0;
    // Shows the window again, still disabled; this runs its show handler once more.
    virtual void ShowMainWindow() = 0;
    // A box with the exclamation icon and OK, titled with the caption.
    virtual void WarnBox(const std::string& text) = 0;
    // Checks the compression box.
    virtual void TickCompress() = 0;
    // Overwrites the password box with 69 zero digits.
    virtual void ClearPassword() = 0;
    virtual void SavePreferences() = 0;
    // Ends the message loop once the workflow returns; the program exits with 0.
    virtual void EndProgram() = 0;
    // The notification-area icon while the editor runs.
    virtual void ShowTrayIcon() = 0;
    virtual void HideTrayIcon() = 0;
    // The pause of one PumpDelay step; a view without anything to show
    // during it (a terminal, a test) may return at once.
    virtual void Sleep(std::uint32_t milliseconds) {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

    // What runs again and again while the editor runs, returning after a
    // short while: a window handles its messages there, so it keeps painting
    // and answering. Empty (the default): the wait blocks.
    [[nodiscard]] virtual std::function<void()> EditorWaitStep() { return {}; }
    // True once the user asked to cancel; the session stops at its next step
    // before the editor starts, wipes what it wrote and changes nothing.
    [[nodiscard]] virtual bool CancelRequested() const { return false; }

    // The warning about temporary files left by an earlier run: Yes and No,
    // with No the default answer (Enter), since Yes overwrites what may be
    // the only copy of unsaved edits.
    virtual TModalResult AskLeftOver(const std::string& text) = 0;
    // The editor was back at once with the working copy unchanged: true when
    // the user confirms that editing is finished (the default answer is No,
    // which leaves the working copy in place).
    virtual bool ConfirmEditingFinished(const std::string& text) = 0;

    // A note the session gives once and goes on (the data file's folder is
    // writable by other users): a warning box in the window, one line in a
    // terminal.
    virtual void Notice(const std::string& text) { WarnBox(text); }
    // Where the session keeps the working copy and why, said once at its
    // start. warn: a notice is due (the data file's folder can be written by
    // others, or the working copy is not beside the data file); the window
    // says it only then, in its notice box, a terminal always, on one line.
    virtual void WorkingCopyPlace(const std::string& text, bool warn) {
        if (warn) {
            Notice(text);
        }
    }
    // Where plain temporaries may go: the stored setting, or the terminal's
    // --private-temp for one run.
    [[nodiscard]] virtual platform::TPrivateTemp PrivateTemp() const { return platform::TPrivateTemp::ptWhereNeeded; }
    // What the user can do when the editor could not be started, in this
    // front end's words (the window's Path box, the terminal's option);
    // appended to the report that names the command tried.
    [[nodiscard]] virtual std::string EditorHint() const { return ""; }

    // True when this front end lets the user try another password: a wrong
    // one then ends the run (BitBtn1Click returns TSessionEnd::WrongPassword)
    // instead of the program.
    [[nodiscard]] virtual bool TriesAnotherPassword() const { return false; }

    // After a password change, whether the backups are sealed under the new
    // password too (else the session says that they still open with the old one).
    [[nodiscard]] virtual bool RekeyBackups() const { return false; }

    // The data-file box; rewritten after an import.
    virtual void SetDataFileName(const std::string& path) = 0;
    // The option boxes.
    [[nodiscard]] virtual bool UseCompression() const = 0;
    [[nodiscard]] virtual bool Decompress() const = 0;
    [[nodiscard]] virtual bool DoubleBackup() const = 0;
    // The editor executable path, as typed.
    [[nodiscard]] virtual std::string ExeName() const = 0;
};

} // namespace quillock::session
