// The editing session: one whole open-edit-reseal cycle of a data file.
#pragma once

#include "session/SessionView.h"

namespace quillock::session {

// Shown when the chosen data file has no write bit: it could be opened and
// edited, but never sealed again.
inline constexpr const char* ReadOnlyRefusal = "Unable to open the file!\r\nFile attribute is set to Read-Only!";

// Runs the session that the OK button starts. Returns only when no file was
// chosen (the window stays usable) or after EndProgram; every failure ends
// through the view's ExitWithError.
void BitBtn1Click(SessionView& view);

} // namespace quillock::session
