// Parsing the options of a subcommand with getopt_long, from its option table.
#include "cli/Options.h"

#include <getopt.h>

namespace quillock::cli {
namespace {

constexpr int HelpId = 'h';
// Long option ids start above every short option, so they never collide with
// a short name, '?' or ':'.
constexpr int FirstId = 256;

// The option a code from getopt_long stands for: a short name or FirstId + row.
const TOption* OptionOf(std::span<const TOption> options, int found) {
    if (found >= FirstId && static_cast<std::size_t>(found - FirstId) < options.size()) {
        return &options[static_cast<std::size_t>(found - FirstId)];
    }
    for (const TOption& option : options) {
        if (option.Short != 0 && option.Short == found) {
            return &option;
        }
    }
    return nullptr;
}

} // namespace

std::string UnknownValue(std::string_view value, std::string_view option) {
    return "unknown value '" + std::string(value) + "' for --" + std::string(option);
}

TParseResult ParseCommandLine(int argc, char** argv, std::span<const TOption> options, const TOptionHandler& handler,
                              std::vector<std::string>& operands, std::string& error) {
    std::vector<option> table;
    table.reserve(options.size() + 2);
    // ':' first: a missing value is reported as ':', not as '?'.
    std::string shorts = ":h";
    for (std::size_t i = 0; i < options.size(); ++i) {
        const TOption& row = options[i];
        // The names are literals of the tables, so data() ends with the name's NUL.
        table.push_back({row.Name.data(), row.Argument.empty() ? no_argument : required_argument, nullptr,
                         FirstId + static_cast<int>(i)});
        if (row.Short != 0) {
            shorts += row.Short;
            if (!row.Argument.empty()) {
                shorts += ':';
            }
        }
    }
    table.push_back({"help", no_argument, nullptr, HelpId});
    table.push_back({nullptr, 0, nullptr, 0});

    opterr = 0; // the messages are ours, with the command's usage line
    optind = 0; // a fresh scan, with GNU permutation
    for (;;) {
        int index = -1;
        const int found = ::getopt_long(argc, argv, shorts.c_str(), table.data(), &index);
        if (found == -1) {
            break;
        }
        if (found == HelpId) {
            return TParseResult::prHelp;
        }
        const std::string given = optind >= 1 && optind <= argc ? argv[optind - 1] : "";
        if (found == '?' && optopt >= FirstId) {
            error = "--" + std::string(OptionOf(options, optopt)->Name) + " takes no value";
            return TParseResult::prError;
        }
        if (found == '?') {
            error = optopt != 0 ? std::string("unknown option '-") + static_cast<char>(optopt) + "'"
                                : "unknown option '" + given.substr(0, given.find('=')) + "'";
            return TParseResult::prError;
        }
        if (found == ':') {
            const TOption* missing = OptionOf(options, optopt);
            error = (missing != nullptr && optopt < FirstId ? std::string("-") + missing->Short
                                                            : given.substr(0, given.find('='))) +
                    " needs a value";
            return TParseResult::prError;
        }
        const TOption* chosen = OptionOf(options, found);
        if (chosen == nullptr) {
            error = "unknown option '" + given + "'";
            return TParseResult::prError;
        }
        error = handler(chosen->Id, !chosen->Argument.empty() && optarg != nullptr ? std::string_view(optarg) : "");
        if (!error.empty()) {
            return TParseResult::prError;
        }
    }
    for (int i = optind; i < argc; ++i) {
        operands.emplace_back(argv[i]);
    }
    return TParseResult::prOk;
}

} // namespace quillock::cli
