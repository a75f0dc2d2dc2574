// Fuzz target: decompression of arbitrary bytes, under both damage policies.
// Nothing may crash or loop; a salvage may only ever give a prefix of what the
// raising decompressor gives before it raises.
#include "FuzzDecode.h"
#include "zstream/ZLib.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using quillock::platform::TMemoryStream;
using quillock::zstream::TDamagePolicy;
using quillock::zstream::TZDecompressionStream;

std::vector<std::uint8_t> Decode(const std::vector<std::uint8_t>& input, TDamagePolicy policy, bool& raised) {
    TMemoryStream source(input);
    TZDecompressionStream decompressor(source, policy);
    std::vector<std::uint8_t> out;
    raised = quillock::fuzz::ReadBounded(decompressor, out) == quillock::fuzz::TReadEnd::Raised;
    if (policy == TDamagePolicy::dpSalvage && decompressor.Complete() && !decompressor.Damage().empty()) {
        std::abort(); // a stream cannot be both whole and damaged
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> input(data, data + size);
    bool strictRaised = false;
    bool salvageRaised = false;
    const std::vector<std::uint8_t> salvaged = Decode(input, TDamagePolicy::dpSalvage, salvageRaised);
    const std::vector<std::uint8_t> strict = Decode(input, TDamagePolicy::dpRaise, strictRaised);
    if (salvageRaised) {
        std::abort(); // salvage never raises for damaged data
    }
    // Both decode alike; the raising one only loses the piece it raised in.
    if (strict.size() > salvaged.size() || !std::equal(strict.begin(), strict.end(), salvaged.begin()) ||
        (!strictRaised && strict != salvaged)) {
        std::abort();
    }
    return 0;
}
