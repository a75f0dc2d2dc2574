// An editor given as shell words (--editor, $VISUAL, $EDITOR): "code --wait",
// "'My Editor' -n", "vim -c 'set tw=72'". The shell takes the words apart,
// with its own quoting and expansions; the session then starts the program
// they name itself, so one that cannot be started is reported as such.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace quillock::cli {

// The words could not be read, or name no program that can be given.
class EEditorWords : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The words as /bin/sh splits them (quotes, escapes and expansions as in a
// shell script). Raises EEditorWords when the shell refuses them (the shell's
// own message is on stderr then) or they are no words at all.
[[nodiscard]] std::vector<std::string> SplitShellWords(const std::string& words);

// The command line for the session's program start (platform::RunAndWait):
// each word double-quoted as that start reads it back. Raises EEditorWords as
// SplitShellWords, and for a program name with a double quote, which that
// start cannot name.
[[nodiscard]] std::string EditorCommandFromShellWords(const std::string& words);

} // namespace quillock::cli
