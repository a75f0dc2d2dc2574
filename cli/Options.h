// Command-line options of the subcommands, parsed the standard way
// (getopt_long): "--opt value" and "--opt=value", options and operands in any
// order, "--" ends the options, -h/--help everywhere.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quillock::cli {

// One long option of a command; Id is what the handler receives.
struct TOption {
    const char* Name;
    bool TakesValue;
    int Id;
};

enum class TParseResult { prOk, prHelp, prError };

// Called for each option found, with its value (empty for a flag); returns an
// error text, empty when the option is fine.
using TOptionHandler = std::function<std::string(int id, std::string_view value)>;

// Parses argv (argv[0] is the command name) with the command's options plus
// -h/--help. The operands are appended to operands; on prError, error says
// what is wrong.
[[nodiscard]] TParseResult ParseCommandLine(int argc, char** argv, const std::vector<TOption>& options,
                                            const TOptionHandler& handler, std::vector<std::string>& operands,
                                            std::string& error);

} // namespace quillock::cli
