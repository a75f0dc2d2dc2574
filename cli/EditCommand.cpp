// "quillock-cli edit": one whole editing session of a data file in a terminal.
#include "cli/Commands.h"
#include "cli/Password.h"
#include "cli/TerminalView.h"
#include "platform/Registry.h"
#include "platform/Wipe.h"
#include "session/Preferences.h"
#include "session/Session.h"

#include <charconv>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quillock::cli {
namespace {

constexpr std::string_view Command = "edit";

struct TEditOptions {
    std::optional<std::string> Editor;
    std::optional<int> Edition;
    std::optional<int> Algorithm;
    std::optional<int> Hash;
    bool Compress = false;
    bool Decompress = false;
    bool NoDoubleBackup = false;
    bool ChangePass = false;
    bool ChangeAlgorithm = false;
    bool Yes = false;
    bool EditorReturnsAtOnce = false;
    bool Quiet = false;
    std::string NewPasswordFile;
    std::optional<int> NewAlgorithm;
    std::optional<int> NewHash;
    TPasswordSource Password;
    std::vector<std::string> Files;
};

std::optional<int> CipherIndex(std::string_view value) {
    if (value == "rijndael") {
        return 0;
    }
    if (value == "blowfish") {
        return 1;
    }
    return std::nullopt;
}

std::optional<int> HashIndex(std::string_view value) {
    if (value == "ripemd160") {
        return 0;
    }
    if (value == "sha1") {
        return 1;
    }
    return std::nullopt;
}

// Parses the arguments after the command name; returns an error text, empty
// on success.
std::string ParseOptions(std::span<char* const> args, TEditOptions& options) {
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            options.Files.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const auto value = [&]() -> std::optional<std::string_view> {
            if (i + 1 >= args.size()) {
                return std::nullopt;
            }
            return std::string_view(args[++i]);
        };
        if (arg == "--compress") {
            options.Compress = true;
        } else if (arg == "--decompress") {
            options.Decompress = true;
        } else if (arg == "--no-double-backup") {
            options.NoDoubleBackup = true;
        } else if (arg == "--change-password") {
            options.ChangePass = true;
        } else if (arg == "--change-algorithm") {
            options.ChangeAlgorithm = true;
        } else if (arg == "--yes") {
            options.Yes = true;
        } else if (arg == "--editor-returns-at-once") {
            options.EditorReturnsAtOnce = true;
        } else if (arg == "--quiet") {
            options.Quiet = true;
        } else if (arg == "--editor" || arg == "--edition" || arg == "--cipher" || arg == "--hash" ||
                   arg == "--new-cipher" || arg == "--new-hash" || arg == "--new-password-file") {
            const std::optional<std::string_view> given = value();
            if (!given) {
                return std::string(arg) + " needs a value";
            }
            const std::string bad = "unknown value '" + std::string(*given) + "' for " + std::string(arg);
            if (arg == "--editor") {
                if (given->empty()) {
                    return "--editor needs an editor command";
                }
                options.Editor = std::string(*given);
            } else if (arg == "--edition") {
                int edition = -1;
                const auto [end, error] = std::from_chars(given->data(), given->data() + given->size(), edition);
                if (error != std::errc() || end != given->data() + given->size() || edition < 0 || edition > 2) {
                    return bad;
                }
                options.Edition = edition;
            } else if (arg == "--new-password-file") {
                if (given->empty()) {
                    return "--new-password-file needs a file name";
                }
                options.NewPasswordFile = std::string(*given);
            } else {
                const bool cipher = arg == "--cipher" || arg == "--new-cipher";
                const std::optional<int> index = cipher ? CipherIndex(*given) : HashIndex(*given);
                if (!index) {
                    return bad;
                }
                (arg == "--cipher"       ? options.Algorithm
                 : arg == "--hash"       ? options.Hash
                 : arg == "--new-cipher" ? options.NewAlgorithm
                                         : options.NewHash) = index;
            }
        } else {
            try {
                if (!TakePasswordOption(args, i, options.Password)) {
                    return "unknown option '" + std::string(arg) + "'";
                }
            } catch (const EPasswordError& e) {
                return e.what();
            }
        }
    }
    if (options.Files.size() != 1) {
        return "expects one data file";
    }
    if (options.Compress && options.Decompress) {
        return "--compress and --decompress exclude each other";
    }
    return {};
}

int Fail(const std::string& message) {
    std::cerr << "quillock-cli " << Command << ": " << message << '\n';
    return ExitFailure;
}

// The window's state as the stored choices and the options leave it.
void SetUpView(TTerminalView& view, const session::TPreferences& stored, const TEditOptions& options) {
    view.FEdition = stored.ExeNamePos;
    view.FAlgorithm = stored.Algorithm;
    view.FHash = stored.Hash;
    view.FEditionPaths = stored.EditionPaths;
    view.FExeName = stored.ExeName;
    if (options.Edition) {
        // Choosing an edition puts its remembered path into the editor box.
        view.FEdition = *options.Edition;
        view.FExeName = view.FEditionPaths[static_cast<std::size_t>(view.FEdition)];
    }
    if (options.Editor) {
        // A typed editor path is remembered for the chosen edition.
        view.FExeName = *options.Editor;
        view.FEditionPaths[static_cast<std::size_t>(view.FEdition)] = *options.Editor;
    }
    view.FAlgorithm = options.Algorithm.value_or(view.FAlgorithm);
    view.FHash = options.Hash.value_or(view.FHash);
    view.FUseCompression = options.Compress;
    view.FDecompress = options.Decompress;
    view.FDoubleBackup = !options.NoDoubleBackup;
    view.FChangePass = options.ChangePass;
    view.FChangeAlgorithm = options.ChangeAlgorithm;
    view.FYes = options.Yes;
    view.FEditorReturnsAtOnce = options.EditorReturnsAtOnce;
    view.FQuiet = options.Quiet;
    view.FNewAlgorithm = options.NewAlgorithm;
    view.FNewHash = options.NewHash;
    view.FDataFile = options.Files[0];
}

} // namespace

int RunEdit(int argc, char** argv) {
    TEditOptions options;
    const std::string error = ParseOptions(std::span<char* const>(argv, static_cast<std::size_t>(argc)), options);
    if (!error.empty()) {
        return UsageError(Command, error);
    }

    platform::TRegistry registry;
    std::string loadError;
    const session::TPreferences stored = session::LoadPreferences(registry, &loadError);
    if (!loadError.empty()) {
        // As the window does: reported, and the rest keeps its defaults.
        std::cerr << "Error: " << TerminalText(loadError) << '\n';
    }

    TTerminalView view(registry);
    SetUpView(view, stored, options);
    if (!view.FDataFile.empty()) {
        try {
            if (!options.NewPasswordFile.empty()) {
                TPasswordSource source;
                source.File = options.NewPasswordFile;
                view.FNewPassword = ReadPassword(source, {});
            }
            view.FPassword = ReadPassword(options.Password, "Password: ");
        } catch (const EPasswordError& e) {
            return Fail(e.what());
        }
        if (view.FPassword.empty()) {
            // The window keeps OK disabled while the password box is empty.
            return Fail("the password is empty");
        }
    }

    int exitCode = ExitOk;
    try {
        session::BitBtn1Click(view);
        if (!view.FEnded) {
            exitCode = ExitFailure; // no file chosen: nothing was done
        }
    } catch (const datafile::TProgramExit& exit) {
        exitCode = exit.ExitCode;
    }
    // The window saves its settings when it goes, at every end of the program.
    view.SavePreferences();
    return exitCode;
}

} // namespace quillock::cli
