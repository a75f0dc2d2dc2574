// Starting the editor and waiting for it, and the pause that ends a session.
#include "session/EditorLaunch.h"

#include "platform/Process.h"

#include <filesystem>
#include <system_error>

namespace quillock::session {

namespace {
constexpr std::uint16_t PumpStep = 100; // milliseconds
} // namespace

std::string EditorCommandLine(const std::string& exeName, const std::string& workingCopy) {
    // An absolute path: no argument starts with '-' or '+', which editors
    // would take for an option or a command.
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(workingCopy, error);
    return exeName + " " + platform::QuoteArgument(error ? workingCopy : absolute.lexically_normal().string());
}

std::int32_t ExecuteAndWait(const std::string& commandLine, std::uint16_t showMode,
                            const std::function<void()>& waitStep) {
    // The show mode asks for a normally shown window; a program started here
    // opens its own windows, or uses the terminal it inherits.
    (void)showMode;
    const int result = platform::RunAndWait(commandLine, waitStep);
    return result == -1 ? -1 : static_cast<std::int32_t>(result);
}

void PumpDelay(SessionView& view, std::uint16_t milliseconds) {
    for (std::uint16_t step = 0; step < milliseconds / PumpStep; ++step) {
        view.PumpMessages();
        view.Sleep(PumpStep);
    }
}

} // namespace quillock::session
