// Saving and loading the program's remembered choices.
#include "session/Preferences.h"

#include <optional>
#include <vector>

namespace quillock::session {
namespace {

// Closes the registry key on every way out.
class TKeyGuard {
public:
    explicit TKeyGuard(platform::TRegistry& registry) : FRegistry(registry) {}
    ~TKeyGuard() { FRegistry.CloseKey(); }
    TKeyGuard(const TKeyGuard&) = delete;
    TKeyGuard& operator=(const TKeyGuard&) = delete;

private:
    platform::TRegistry& FRegistry;
};

const char* const EditionValueNames[3] = {"ExeName0", "ExeName1", "ExeName2"};

// Reads an index value; one outside 0..last leaves target as it was.
void ReadIndex(const platform::TRegistry& registry, const char* name, int last, int& target) {
    const std::int32_t value = registry.ReadInteger(name);
    if (value >= 0 && value <= last) {
        target = value;
    }
}

} // namespace

void SavePreferences(platform::TRegistry& registry, const TPreferences& preferences) {
    const TKeyGuard guard(registry);
    if (!registry.OpenKey(PreferencesKey, true)) {
        throw platform::ERegistryException("Failed to set data for 'ExeNamePos'");
    }
    // One replacement of the file for all seven values.
    std::vector<platform::TRegistry::TNamedValue> values{{"ExeNamePos", preferences.ExeNamePos, std::nullopt},
                                                         {"Algorithm", preferences.Algorithm, std::nullopt},
                                                         {"Hash", preferences.Hash, std::nullopt}};
    for (std::size_t i = 0; i < 3; ++i) {
        values.push_back({EditionValueNames[i], 0, preferences.EditionPaths[i]});
    }
    values.push_back({"ExeName", 0, preferences.ExeName});
    registry.WriteValues(values);
}

TPreferences LoadPreferences(platform::TRegistry& registry, std::string* error) {
    if (error != nullptr) {
        error->clear();
    }
    TPreferences preferences;
    preferences.EditionPaths = DefaultEditionPaths;
    const TKeyGuard guard(registry);
    if (!registry.OpenKey(PreferencesKey, true) || !registry.ValueExists("ExeName")) {
        return preferences;
    }
    try {
        ReadIndex(registry, "ExeNamePos", 2, preferences.ExeNamePos);
        ReadIndex(registry, "Algorithm", 1, preferences.Algorithm);
        ReadIndex(registry, "Hash", 1, preferences.Hash);
        for (std::size_t i = 0; i < 3; ++i) {
            preferences.EditionPaths[i] = registry.ReadString(EditionValueNames[i]);
        }
        preferences.ExeName = registry.ReadString("ExeName");
        preferences.EditionPaths[static_cast<std::size_t>(preferences.ExeNamePos)] = preferences.ExeName;
    } catch (const platform::ERegistryException& failure) {
        if (error != nullptr) {
            *error = failure.what();
        }
    }
    return preferences;
}

} // namespace quillock::session
