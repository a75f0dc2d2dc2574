// Fuzz target: the settings-file reader over a file of arbitrary content.
// Opening the key and reading any value may fail with the store's own
// exception, and nothing else may happen.
#include "FuzzFile.h"
#include "platform/Registry.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace quillock::platform;
    const std::string& path = quillock::fuzz::WriteScratch(data, size, ".ini");
    for (const char* key : {"Software\\Quillock", "Software", ""}) {
        TRegistry registry{std::filesystem::path(path)};
        if (!registry.OpenKey(key, false)) {
            continue;
        }
        for (const char* name : {"ExeName", "ExeName1", "ExeNamePos", "Algorithm", "Hash", "", "x"}) {
            // A value of a type the store does not know exists with rdUnknown.
            const bool exists = registry.ValueExists(name);
            const TRegDataType type = registry.GetDataType(name);
            if (!exists && type != TRegDataType::rdUnknown) {
                std::abort();
            }
            try {
                (void)registry.ReadInteger(name);
                if (type != TRegDataType::rdInteger) {
                    std::abort(); // only an integer reads as one
                }
            } catch (const ERegistryException&) {
            }
            try {
                (void)registry.ReadString(name);
            } catch (const ERegistryException&) {
            }
        }
        registry.CloseKey();
    }
    return 0;
}
