// Fuzz target: splitting an editor command line into arguments. Any text
// splits without crashing; any argument quoted by QuoteArgument splits back
// to itself.
#include "platform/Process.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillock::platform;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    (void)SplitArguments(text);
    // NUL cannot stand in a command line; anything else must come back whole.
    if (text.find('\0') == std::string_view::npos) {
        const auto back = SplitArguments(QuoteArgument(text));
        if (back.size() != 1 || back[0] != text) {
            std::abort();
        }
    }
    return 0;
}
