// "quillock-cli config": the saved choices both programs start from, listed
// with where each comes from, changed one at a time, or put back.
#include "cli/Commands.h"
#include "cli/Options.h"
#include "cli/TerminalDialogs.h"
#include "datafile/Algorithms.h"
#include "platform/PrivateFolder.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "session/Preferences.h"

#include <algorithm>
#include <charconv>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillock::cli {
namespace {

constexpr std::string_view ConfigCommand = "config";

using session::TPreferences;

// A number in first..last, as the window's lists allow; nothing otherwise.
std::optional<int> IndexIn(std::string_view text, int first, int last) {
    int value = -1;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < first || value > last) {
        return std::nullopt;
    }
    return value;
}

// An editor path as the window's box takes it: one line, not empty.
bool EditorPathAllowed(std::string_view text) {
    return !text.empty() && text.find_first_of("\r\n") == std::string_view::npos;
}

// The words of an algorithm table, for a message.
template <class TEntry> std::string Words(std::span<const TEntry> entries) {
    std::string words;
    for (const TEntry& entry : entries) {
        words += (words.empty() ? "" : " or ") + std::string(entry.Word);
    }
    return words;
}

std::string EditorPathWords() {
    return "an editor command of one line";
}

// One saved choice: its name in the settings file, its value as shown, and
// how a typed value changes the choices (false: refused). Adding a setting is
// one row here.
struct TSetting {
    std::string_view Name;
    std::string (*Values)(); // what set takes, for the messages
    std::string (*Show)(const TPreferences& preferences);
    bool (*Set)(TPreferences& preferences, std::string_view value);
};

// Choosing an edition puts its remembered path into the editor box, and a
// typed editor path is remembered for the chosen edition, as in the window.
bool SetEditionPath(TPreferences& preferences, std::size_t edition, std::string_view value) {
    if (!EditorPathAllowed(value)) {
        return false;
    }
    preferences.EditionPaths[edition] = std::string(value);
    if (static_cast<std::size_t>(preferences.ExeNamePos) == edition) {
        preferences.ExeName = std::string(value);
    }
    return true;
}

// The row of an algorithm choice: shown and typed as the words of its table
// (Table), kept as the index of its row in the member of the choices.
template <auto Table, int TPreferences::*Member, auto IndexOfWord> TSetting AlgorithmSetting(std::string_view name) {
    return {name, [] { return Words(Table()); },
            [](const TPreferences& p) { return std::string(Table()[static_cast<std::size_t>(p.*Member)].Word); },
            [](TPreferences& p, std::string_view v) {
                const std::optional<int> index = IndexOfWord(v);
                p.*Member = index.value_or(p.*Member);
                return index.has_value();
            }};
}

const TSetting Settings[] = {
    {"ExeNamePos", [] { return std::string("0, 1 or 2"); },
     [](const TPreferences& p) { return std::to_string(p.ExeNamePos); },
     [](TPreferences& p, std::string_view v) {
         const std::optional<int> edition = IndexIn(v, 0, 2);
         if (edition) {
             p.ExeNamePos = *edition;
             p.ExeName = p.EditionPaths[static_cast<std::size_t>(*edition)];
         }
         return edition.has_value();
     }},
    AlgorithmSetting<datafile::Ciphers, &TPreferences::Algorithm, datafile::CipherIndexOfWord>("Algorithm"),
    AlgorithmSetting<datafile::Hashes, &TPreferences::Hash, datafile::HashIndexOfWord>("Hash"),
    {"ExeName0", EditorPathWords, [](const TPreferences& p) { return p.EditionPaths[0]; },
     [](TPreferences& p, std::string_view v) { return SetEditionPath(p, 0, v); }},
    {"ExeName1", EditorPathWords, [](const TPreferences& p) { return p.EditionPaths[1]; },
     [](TPreferences& p, std::string_view v) { return SetEditionPath(p, 1, v); }},
    {"ExeName2", EditorPathWords, [](const TPreferences& p) { return p.EditionPaths[2]; },
     [](TPreferences& p, std::string_view v) { return SetEditionPath(p, 2, v); }},
    {"ExeName", EditorPathWords, [](const TPreferences& p) { return p.ExeName; },
     [](TPreferences& p, std::string_view v) { return SetEditionPath(p, static_cast<std::size_t>(p.ExeNamePos), v); }},
    {platform::PrivateTempValue, [] { return std::string("0 (a private folder where needed) or 1 (always)"); },
     [](const TPreferences& p) { return std::to_string(static_cast<int>(p.PrivateTemp)); },
     [](TPreferences& p, std::string_view v) {
         const std::optional<int> choice = IndexIn(v, 0, 1);
         if (choice) {
             p.PrivateTemp = platform::PrivateTempOf(*choice);
         }
         return choice.has_value();
     }},
};

const TSetting* FindSetting(std::string_view name) {
    for (const TSetting& setting : Settings) {
        if (AsciiLower(std::string(setting.Name)) == AsciiLower(std::string(name))) {
            return &setting;
        }
    }
    return nullptr;
}

// The choices with nothing stored: what a first start shows.
TPreferences Defaults() {
    TPreferences preferences;
    preferences.EditionPaths = session::DefaultEditionPaths;
    return preferences;
}

int Refuse(const std::string& message, const std::string& next) {
    std::cerr << "quillock-cli config: " << message << '\n' << next << '\n';
    return ExitFailure;
}

// Writes the choices the way the programs save them (the seven values in
// one replacement of the file, under its lock), and PrivateTemp beside them.
int Store(platform::TRegistry& registry, const TPreferences& preferences, bool privateTemp) {
    try {
        session::SavePreferences(registry, preferences);
        if (privateTemp) {
            if (!registry.OpenKey(session::PreferencesKey, true)) {
                throw platform::ERegistryException(std::string("Failed to set data for '") +
                                                   platform::PrivateTempValue + "'");
            }
            registry.WriteInteger(platform::PrivateTempValue, static_cast<std::int32_t>(preferences.PrivateTemp));
            registry.CloseKey();
        }
    } catch (const platform::ERegistryException& e) {
        return Refuse(registry.FileName().string() + ": " + platform::MessageToUtf8(e.what()),
                      "Check that the file and its folder are yours and writable.");
    }
    return ExitOk;
}

} // namespace

int RunConfig(int argc, char** argv) {
    std::vector<std::string> operands;
    if (const std::optional<int> end = ParseOrEnd(ConfigCommand, argc, argv, operands)) {
        return *end;
    }
    const std::string action = operands.empty() ? "list" : operands[0];
    const std::size_t expected = action == "list" ? 1 : action == "set" ? 3 : action == "reset" ? 0 : 99;
    if (expected == 99) {
        return UsageError(ConfigCommand, "unknown action '" + action + "' (list, set or reset)");
    }
    if ((expected != 0 && operands.size() > expected) || (action == "set" && operands.size() != 3) ||
        (action == "reset" && operands.size() > 2)) {
        return UsageError(ConfigCommand, "wrong number of arguments for " + action);
    }
    const TSetting* setting = nullptr;
    if (operands.size() >= 2) {
        setting = FindSetting(operands[1]);
        if (setting == nullptr) {
            return UsageError(ConfigCommand, "unknown setting '" + operands[1] + "'");
        }
    }

    platform::TRegistry registry;
    std::string error;
    TPreferences preferences = session::LoadPreferences(registry, &error);
    if (!error.empty()) {
        std::cerr << "quillock-cli config: " << registry.FileName().string() << ": " << platform::MessageToUtf8(error)
                  << '\n';
    }
    if (action == "list") {
        std::vector<std::string> stored;
        if (registry.OpenKey(session::PreferencesKey, false)) {
            for (const TSetting& row : Settings) {
                if (registry.ValueExists(std::string(row.Name))) {
                    stored.emplace_back(row.Name);
                }
            }
            registry.CloseKey();
        }
        std::cout << "# " << registry.FileName().string() << '\n';
        for (const TSetting& row : Settings) {
            const bool fromFile = std::find(stored.begin(), stored.end(), row.Name) != stored.end();
            std::cout << row.Name << '=' << platform::MessageToUtf8(row.Show(preferences)) << "  ("
                      << (fromFile ? "settings file" : "default") << ")\n";
        }
        return ExitOk;
    }
    const TPreferences defaults = Defaults();
    if (action == "set") {
        const std::optional<std::string> value = platform::Utf8ToCp1252(operands[2]);
        if (!value || !setting->Set(preferences, *value)) {
            return UsageError(ConfigCommand, "'" + operands[2] + "' is no value for " + std::string(setting->Name) +
                                                 ": give " + setting->Values());
        }
    } else if (setting != nullptr) {
        (void)setting->Set(preferences, setting->Show(defaults));
    } else {
        preferences = defaults;
    }
    const bool privateTemp = setting == nullptr || setting->Name == platform::PrivateTempValue;
    return Store(registry, preferences, privateTemp);
}

} // namespace quillock::cli
