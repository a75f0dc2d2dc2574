// The editing session: one whole open-edit-reseal cycle of a data file.
#pragma once

#include "session/Messages.h"
#include "session/SessionView.h"

#include <string>

namespace quillock::session {

// The lock file a session holds on dataFile for as long as it runs.
[[nodiscard]] std::string LockFileOf(const std::string& dataFile);
// Why dataFile is not touched while another copy of the program holds its
// lock: one sentence naming both.
[[nodiscard]] std::string BusyLockText(const std::string& dataFile);

// After a password change: which backups of dataFile still open with the
// old password (those that exist), in one sentence; empty when none does.
[[nodiscard]] std::string OldPasswordBackupsText(const std::string& dataFile);

// How a run of the session ended, when it returns.
enum class TSessionEnd {
    Ended,         // after EndProgram, or no file was chosen (the window stays usable)
    WrongPassword, // the password or choices do not open the data file; only for a
                   // view whose TriesAnotherPassword is true
};

// Runs one editing session of the chosen data file: what the window's OK
// button (BitBtn1Click) and `quillock-cli edit` start. Every failure ends
// through the view's ExitWithError, with one exception the view opts into:
// when the deciphered data file is neither a plain editor file nor
// compressed data (a wrong password or choice), the temporary files of the
// try are wiped, the decryption error is shown, and the run returns
// WrongPassword with nothing saved or ended, so that the front end can ask
// again.
TSessionEnd RunEditingSession(SessionView& view);

// What recover finds at a data file, before any password is needed.
enum class TRecoveryState {
    rsNothingLeftOver, // sealed, with no working copy or intermediate file beside it
    rsLeftOvers,       // sealed, with one or both beside it: its password is needed
    rsImportCutShort,  // a plain editor file named .qlx: it is sealed under a new password
    rsPlainFile,       // a plain editor file under a name of its own: refused
};
[[nodiscard]] TRecoveryState RecoveryState(datafile::TDataFileHost& host, const std::string& dataFile);

// After a session was cut short: seals the newest text it left beside the
// data file (the working copy, else the intermediate file; after an import
// cut short, the plain data file itself) into the data file as a session
// reseals it, with the backups rotated, once the password opens the data
// file. Copies cut short and unchanged copies are wiped, not sealed. Ends
// through EndProgram, or through ExitWithError on any failure.
void RecoverLeftOver(SessionView& view);

} // namespace quillock::session
