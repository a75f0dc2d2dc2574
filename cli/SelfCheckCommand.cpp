// "quillock-cli selfcheck": the built-in known-answer tests of every algorithm.
#include "cli/Commands.h"
#include "crypto/Cipher.h"
#include "crypto/Hash.h"
#include "datafile/Algorithms.h"
#include "datafile/Compression.h"

#include <iostream>
#include <string>
#include <vector>

namespace quillock::cli {
namespace {

// One line per algorithm; an exception counts as a failure.
bool Report(const std::string& algorithm, bool (*selfCheck)()) {
    bool ok = false;
    try {
        ok = selfCheck();
    } catch (const std::exception&) {
        ok = false;
    }
    std::cout << algorithm << ": " << (ok ? "ok" : "FAILED") << '\n';
    return ok;
}

} // namespace

int RunSelfCheck(int argc, char** argv) {
    std::vector<std::string> operands;
    if (const std::optional<int> end = ParseOrEnd("selfcheck", argc, argv, operands)) {
        return *end;
    }
    if (!operands.empty()) {
        return UsageError("selfcheck", "unexpected argument '" + operands[0] + "'");
    }
    bool ok = true;
    // No short cut: every algorithm gets its line, in the order of the lists.
    for (const datafile::TCipherEntry& cipher : datafile::Ciphers()) {
        ok = Report(cipher.Class().Algorithm(), cipher.Class().SelfCheck) && ok;
    }
    for (const datafile::THashEntry& hash : datafile::Hashes()) {
        ok = Report(hash.Class().Algorithm(), hash.Class().SelfCheck) && ok;
    }
    std::cout << "compression: " << datafile::CompressionPathName() << '\n';
    std::cout.flush();
    return ok ? ExitOk : ExitFailure;
}

} // namespace quillock::cli
