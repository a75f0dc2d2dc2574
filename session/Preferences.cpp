// Saving and loading the program's remembered choices.
#include "session/Preferences.h"

#include "datafile/Algorithms.h"

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

const char* const EditionValueNames[EditionCount] = {"ExeName0", "ExeName1", "ExeName2"};

// Reads an index value; one outside 0..last counts as absent.
std::optional<int> ReadIndex(const platform::TRegistry& registry, const char* name, int last) {
    const std::int32_t value = registry.ReadInteger(name);
    if (value >= 0 && value <= last) {
        return value;
    }
    return std::nullopt;
}

// The stored values in load order; the first that cannot be read stops the load.
void ReadStored(const platform::TRegistry& registry, TStoredPreferences& stored) {
    stored.ExeNamePos = ReadIndex(registry, "ExeNamePos", static_cast<int>(EditionCount) - 1);
    // The lists the window shows are the algorithm tables.
    stored.Algorithm = ReadIndex(registry, "Algorithm", static_cast<int>(datafile::Ciphers().size()) - 1);
    stored.Hash = ReadIndex(registry, "Hash", static_cast<int>(datafile::Hashes().size()) - 1);
    for (std::size_t i = 0; i < EditionCount; ++i) {
        stored.EditionPaths[i] = registry.ReadString(EditionValueNames[i]);
    }
    stored.ExeName = registry.ReadString("ExeName");
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
    for (std::size_t i = 0; i < EditionCount; ++i) {
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
    if (std::string distrust = registry.Distrust(); !distrust.empty()) {
        if (error != nullptr) {
            *error = std::move(distrust);
        }
        return preferences;
    }
    {
        const TKeyGuard guard(registry);
        if (!registry.OpenKey(PreferencesKey, true)) {
            return preferences;
        }
        if (registry.GetDataType(platform::PrivateTempValue) == platform::TRegDataType::rdInteger) {
            preferences.PrivateTemp = platform::PrivateTempOf(registry.ReadInteger(platform::PrivateTempValue));
        }
        if (!registry.ValueExists("ExeName")) {
            return preferences;
        }
        preferences.Stored.Found = true;
        try {
            ReadStored(registry, preferences.Stored);
        } catch (const platform::ERegistryException& failure) {
            if (error != nullptr) {
                *error = failure.what();
            }
        }
    }
    const TStoredPreferences& stored = preferences.Stored;
    preferences.ExeNamePos = stored.ExeNamePos.value_or(preferences.ExeNamePos);
    preferences.Algorithm = stored.Algorithm.value_or(preferences.Algorithm);
    preferences.Hash = stored.Hash.value_or(preferences.Hash);
    for (std::size_t i = 0; i < EditionCount; ++i) {
        preferences.EditionPaths[i] = stored.EditionPaths[i].value_or(preferences.EditionPaths[i]);
    }
    if (stored.ExeName) {
        preferences.ExeName = *stored.ExeName;
        preferences.EditionPaths[static_cast<std::size_t>(preferences.ExeNamePos)] = preferences.ExeName;
    }
    return preferences;
}

} // namespace quillock::session
