// Starting a program from a command line and waiting for it: the executable
// is found the way a command line names it, the rest is split into arguments.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillock::platform {

// The longest executable path (with the arguments that an unquoted path
// carries) that is looked for; a longer one is a damaged setting, not a
// program.
inline constexpr std::size_t MaxExecutablePathLength = 4096;
// How many prefixes of an unquoted path with blanks are tried at most.
inline constexpr std::size_t MaxPrefixesTried = 128;

// A command line taken apart: the executable that exists and may be run, and
// the arguments that follow it (without the program name).
struct TCommandLine {
    std::string Executable;
    std::vector<std::string> Arguments;
};

// Splits text into arguments. Blanks (space, tab) separate them; a double
// quote starts or ends a quoted part, in which blanks are kept; inside quotes
// two double quotes give one; backslashes are literal unless they stand before
// a double quote: 2n of them give n and the quote keeps its meaning, 2n+1 give
// n and a literal double quote.
[[nodiscard]] std::vector<std::string> SplitArguments(std::string_view text);

// The argument in double quotes so that SplitArguments gives it back
// unchanged: for a text without double quotes and trailing backslashes this
// is simply the text between two double quotes.
[[nodiscard]] std::string QuoteArgument(std::string_view argument);

// Finds the executable a command line names and splits the rest.
// - A line that begins with a double quote names the executable up to the
//   next double quote.
// - Otherwise the executable path may contain blanks: the text before the
//   first double quote, then each shorter prefix that ends before a blank, is
//   tried, longest first, and the first that is an executable regular file
//   wins. At most MaxPrefixesTried prefixes are tried, and none of a text
//   longer than MaxExecutablePathLength.
// - A name without '/' is looked up in the folder of the running program, then
//   in the folders of PATH; a name with '/' is taken as it stands (relative to
//   the current directory).
// Nothing when no executable is found.
[[nodiscard]] std::optional<TCommandLine> ParseCommandLine(std::string_view commandLine);

// The executable file a name given on a command line stands for, searched as
// ParseCommandLine does; nothing when there is none (or the name is longer
// than MaxExecutablePathLength).
[[nodiscard]] std::optional<std::string> FindExecutable(const std::string& name);

// Starts the program of the command line with the caller's standard input,
// output and error (and no other descriptors), and waits until it has ended;
// terminal interrupt and quit signals are ignored here meanwhile, as the
// program in front has the terminal. Returns -1 at once when nothing can be
// started; otherwise the program's exit code, or 128 + the signal that ended
// it. With a wait step, the program is looked for again and again and the
// step runs in between (it should return after a short while, as a window's
// local event loop does); without one the wait blocks.
[[nodiscard]] int RunAndWait(std::string_view commandLine, const std::function<void()>& waitStep = {});

} // namespace quillock::platform
