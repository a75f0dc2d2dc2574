// Parsing the options of a subcommand with getopt_long.
#include "cli/Options.h"

#include <getopt.h>

namespace quillock::cli {
namespace {

constexpr int HelpId = 'h';

} // namespace

TParseResult ParseCommandLine(int argc, char** argv, const std::vector<TOption>& options, const TOptionHandler& handler,
                              std::vector<std::string>& operands, std::string& error) {
    std::vector<option> table;
    table.reserve(options.size() + 2);
    // Option ids start above every short option, so they never collide with 'h', '?' or ':'.
    constexpr int FirstId = 256;
    for (std::size_t i = 0; i < options.size(); ++i) {
        table.push_back({options[i].Name, options[i].TakesValue ? required_argument : no_argument, nullptr,
                         FirstId + static_cast<int>(i)});
    }
    table.push_back({"help", no_argument, nullptr, HelpId});
    table.push_back({nullptr, 0, nullptr, 0});

    opterr = 0; // the messages are ours, with the command's usage line
    optind = 0; // a fresh scan, with GNU permutation
    for (;;) {
        int index = -1;
        const int found = ::getopt_long(argc, argv, ":h", table.data(), &index);
        if (found == -1) {
            break;
        }
        if (found == HelpId) {
            return TParseResult::prHelp;
        }
        const std::string given = optind >= 1 && optind <= argc ? argv[optind - 1] : "";
        if (found == '?' && optopt >= FirstId) {
            error = std::string("--") + options[static_cast<std::size_t>(optopt - FirstId)].Name + " takes no value";
            return TParseResult::prError;
        }
        if (found == '?') {
            error = optopt != 0 ? std::string("unknown option '-") + static_cast<char>(optopt) + "'"
                                : "unknown option '" + given.substr(0, given.find('=')) + "'";
            return TParseResult::prError;
        }
        if (found == ':') {
            error = given.substr(0, given.find('=')) + " needs a value";
            return TParseResult::prError;
        }
        const TOption& chosen = options[static_cast<std::size_t>(found - FirstId)];
        error = handler(chosen.Id, chosen.TakesValue && optarg != nullptr ? std::string_view(optarg) : "");
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
