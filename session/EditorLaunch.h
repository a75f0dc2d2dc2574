// Starting the editor and waiting for it, and the short pause with message
// handling that ends a session.
#pragma once

#include "session/SessionView.h"

#include <cstdint>
#include <functional>
#include <string>

namespace quillock::session {

// The editor's command line: the editor path exactly as typed, a space, and
// the working copy in double quotes. A double quote inside the working copy's
// name is escaped with a backslash, so that it reaches the editor unchanged.
[[nodiscard]] std::string EditorCommandLine(const std::string& exeName, const std::string& workingCopy);

// Starts the program named by the command line (an unquoted executable path that
// may contain spaces, then its arguments) and waits until it has ended. Returns
// -1 at once when nothing can be started, otherwise anything but -1. A wait
// step (the view's EditorWaitStep) runs again and again while it waits.
[[nodiscard]] std::int32_t ExecuteAndWait(const std::string& commandLine, std::uint16_t showMode,
                                          const std::function<void()>& waitStep = {});

// Waits milliseconds div 100 steps of 100 ms, handling messages before each.
void PumpDelay(SessionView& view, std::uint16_t milliseconds);

} // namespace quillock::session
