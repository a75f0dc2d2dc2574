// "quillock-cli selfcheck": the built-in known-answer tests of every algorithm.
#include "cli/Commands.h"
#include "crypto/Blowfish.h"
#include "crypto/Cipher.h"
#include "crypto/Hash.h"
#include "crypto/RIPEMD160.h"
#include "crypto/Rijndael.h"
#include "crypto/SHA1.h"
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
    using namespace quillock::crypto;
    const TDCP_cipherclass& rijndael = CipherClassOf<TDCP_rijndael>();
    const TDCP_cipherclass& blowfish = CipherClassOf<TDCP_blowfish>();
    const TDCP_hashclass& ripemd160 = HashClassOf<TDCP_ripemd160>();
    const TDCP_hashclass& sha1 = HashClassOf<TDCP_sha1>();
    bool ok = true;
    // No short cut: every algorithm gets its line.
    ok = Report(rijndael.Algorithm(), rijndael.SelfCheck) && ok;
    ok = Report(blowfish.Algorithm(), blowfish.SelfCheck) && ok;
    ok = Report(ripemd160.Algorithm(), ripemd160.SelfCheck) && ok;
    ok = Report(sha1.Algorithm(), sha1.SelfCheck) && ok;
    std::cout << "compression: " << datafile::CompressionPathName() << '\n';
    std::cout.flush();
    return ok ? ExitOk : ExitFailure;
}

} // namespace quillock::cli
