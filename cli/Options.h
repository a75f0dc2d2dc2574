// Command-line options of the subcommands. Each command's options are
// described once, in a table of TOption rows; the parser (getopt_long:
// "--opt value", "--opt=value", short options, options and operands in any
// order, "--" ends the options, -h/--help everywhere) and the help text are
// both made from that table.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillock::cli {

// What the handler of a command receives for each option. One list for every
// command: an option means the same wherever it is offered.
enum TOptionId {
    oEditor,
    oEdition,
    oCipher,
    oHash,
    oCompress,
    oDecompress,
    oNoDoubleBackup,
    oChangePassword,
    oRekeyBackups,
    oChangeAlgorithm,
    oNewPasswordFile,
    oNewCipher,
    oNewHash,
    oYes,
    oEditorReturnsAtOnce,
    oQuiet,
    oPrivateTemp,
    oRaw,
    oSalvage,
    oForce,
    // The three password options, in the order of PasswordOptionNames.
    oPasswordFile,
    oPasswordFd,
    oPasswordCommand,
};

// One option of a command.
struct TOption {
    std::string_view Name;     // the long name, without "--"; a string literal (its NUL ends it for getopt_long)
    char Short = 0;            // the short name ('f' for -f), 0 for none
    std::string_view Argument; // what the value is called in the help ("FILE"); empty for a flag
    std::string_view Help;     // what it does, one paragraph (wrapped when shown)
    TOptionId Id = oEditor;
    // Shown in the usage line in one bracket with the option before it, as
    // its alternative: [--compress | --decompress].
    bool OrPrevious = false;
};

enum class TParseResult { prOk, prHelp, prError };

// Called for each option found, with its value (empty for a flag); returns an
// error text, empty when the option is fine.
using TOptionHandler = std::function<std::string(TOptionId id, std::string_view value)>;

// Parses argv (argv[0] is the command name) with the options plus -h/--help.
// The operands are appended to operands; on prError, error says what is wrong.
[[nodiscard]] TParseResult ParseCommandLine(int argc, char** argv, std::span<const TOption> options,
                                            const TOptionHandler& handler, std::vector<std::string>& operands,
                                            std::string& error);

// For a handler: "unknown value 'VALUE' for --OPTION".
[[nodiscard]] std::string UnknownValue(std::string_view value, std::string_view option);

// For a handler: stores found, the index of the word value in its list, in
// index; returns UnknownValue when the word is not in the list (found is
// empty), an empty text when stored.
template <class TIndex>
[[nodiscard]] std::string TakeIndex(std::optional<int> found, std::string_view value, std::string_view option,
                                    TIndex& index) {
    if (!found) {
        return UnknownValue(value, option);
    }
    index = *found;
    return {};
}

// An option that only switches something on, and the member of a command's
// options it sets.
template <class TOptions> using TSwitch = std::pair<TOptionId, bool TOptions::*>;

// For a handler: sets the member of the switch option id to true; false when
// id is not among the switches.
template <class TOptions>
bool TakeSwitch(TOptionId id, std::span<const TSwitch<TOptions>> switches, TOptions& options) {
    for (const auto& [option, member] : switches) {
        if (option == id) {
            options.*member = true;
            return true;
        }
    }
    return false;
}

} // namespace quillock::cli
