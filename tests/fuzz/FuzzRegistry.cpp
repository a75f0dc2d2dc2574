// Fuzz target: the settings text format over arbitrary content. Reading the
// values of any key never fails; every text read back is quoted so that it
// reads again as itself, and a value set into the lines reads back as set.
#include "platform/SettingsFormat.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillock::platform;
    using namespace quillock::platform::settings;
    const TLines lines = SplitLines(std::string(reinterpret_cast<const char*>(data), size));
    for (const std::string key : {"Software\\Quillock", "Software", "x"}) {
        const auto values = ValuesOf(lines, key);
        if (!values) {
            continue;
        }
        for (const auto& [name, value] : *values) {
            if (value.Type == TRegDataType::rdString || value.Type == TRegDataType::rdExpandString) {
                const auto again = UnquoteText(QuoteText(value.Text));
                if (!again || *again != value.Text) {
                    std::abort(); // a text read must survive being written again
                }
            }
            if (!ValidName(name)) {
                continue;
            }
            TLines changed = lines;
            SetLine(changed, key, std::pair{name, IntegerPayload(7)});
            const auto reread = ValuesOf(changed, key);
            if (!reread || !reread->contains(name) || reread->at(name).Type != TRegDataType::rdInteger) {
                std::abort(); // the line set is the line read
            }
        }
    }
    return 0;
}
