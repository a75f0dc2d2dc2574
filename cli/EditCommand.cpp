// "quillock-cli edit" and "recover": one whole editing session of a data file
// in a terminal, and the sealing of what a session cut short left behind.
#include "cli/Commands.h"
#include "cli/EditorWords.h"
#include "cli/Options.h"
#include "cli/Password.h"
#include "cli/Report.h"
#include "cli/TerminalView.h"
#include "datafile/Algorithms.h"
#include "datafile/FileChecks.h"
#include "platform/Process.h"
#include "platform/Registry.h"
#include "platform/Text.h"
#include "platform/Wipe.h"
#include "session/Preferences.h"
#include "session/Session.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <unistd.h>
#include <vector>

namespace quillock::cli {
namespace {

constexpr std::string_view EditCommand = "edit";
constexpr std::string_view RecoverCommand = "recover";

// What follows a failure reported before the session touched the data file.
constexpr std::string_view NothingChanged = "Nothing has been changed.";
constexpr std::string_view GiveAPassword = "Give a password; nothing has been changed.";

struct TEditOptions {
    std::optional<std::string> Editor;
    std::optional<int> Edition;
    std::optional<int> Algorithm;
    std::optional<int> Hash;
    bool Compress = false;
    bool Decompress = false;
    bool NoDoubleBackup = false;
    bool ChangePass = false;
    bool RekeyBackups = false;
    bool ChangeAlgorithm = false;
    bool Yes = false;
    bool EditorReturnsAtOnce = false;
    bool Quiet = false;
    bool PrivateTemp = false;
    std::string NewPasswordFile;
    std::optional<int> NewAlgorithm;
    std::optional<int> NewHash;
    TPasswordSource Password;
    std::vector<std::string> Files;
};

constexpr TSwitch<TEditOptions> EditSwitches[] = {
    {oCompress, &TEditOptions::Compress},
    {oDecompress, &TEditOptions::Decompress},
    {oNoDoubleBackup, &TEditOptions::NoDoubleBackup},
    {oChangePassword, &TEditOptions::ChangePass},
    {oRekeyBackups, &TEditOptions::RekeyBackups},
    {oChangeAlgorithm, &TEditOptions::ChangeAlgorithm},
    {oYes, &TEditOptions::Yes},
    {oEditorReturnsAtOnce, &TEditOptions::EditorReturnsAtOnce},
    {oQuiet, &TEditOptions::Quiet},
    {oPrivateTemp, &TEditOptions::PrivateTemp},
};

// Takes one option into options; returns an error text, empty on success.
std::string TakeOption(TOptionId id, std::string_view value, TEditOptions& options) {
    if (TakeSwitch<TEditOptions>(id, EditSwitches, options)) {
        return {};
    }
    switch (id) {
    case oEditor:
        if (value.empty()) {
            return "--editor needs an editor command";
        }
        options.Editor = std::string(value);
        return {};
    case oEdition: {
        int edition = -1;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), edition);
        if (error != std::errc() || end != value.data() + value.size() || edition < 0 || edition > 2) {
            return UnknownValue(value, "edition");
        }
        options.Edition = edition;
        return {};
    }
    case oCipher:
        return TakeIndex(datafile::CipherIndexOfWord(value), value, "cipher", options.Algorithm);
    case oNewCipher:
        return TakeIndex(datafile::CipherIndexOfWord(value), value, "new-cipher", options.NewAlgorithm);
    case oHash:
        return TakeIndex(datafile::HashIndexOfWord(value), value, "hash", options.Hash);
    case oNewHash:
        return TakeIndex(datafile::HashIndexOfWord(value), value, "new-hash", options.NewHash);
    case oNewPasswordFile:
        if (value.empty()) {
            return "--new-password-file needs a file name";
        }
        options.NewPasswordFile = std::string(value);
        return {};
    default:
        break;
    }
    // The three password options, in the order of PasswordOptionNames.
    return TakePasswordOptionAt(static_cast<std::size_t>(id - oPasswordFile), value, options.Password);
}

// Parses the arguments after the command name; the exit code when the
// command ends here (its help, a usage error), nothing to go on.
std::optional<int> ParseOptions(int argc, char** argv, std::string_view command, TEditOptions& options) {
    if (const std::optional<int> end =
            ParseOrEnd(command, argc, argv, options.Files,
                       [&](TOptionId id, std::string_view value) { return TakeOption(id, value, options); })) {
        return end;
    }
    if (options.Files.size() != 1) {
        return UsageError(command, "expects one data file");
    }
    if (options.Compress && options.Decompress) {
        return UsageError(command, "--compress and --decompress exclude each other");
    }
    return std::nullopt;
}

// The choices the last session saved; a settings file that cannot be read is
// reported, as the window does, and the rest keeps its defaults.
session::TPreferences LoadStoredChoices(platform::TRegistry& registry) {
    std::string error;
    session::TPreferences stored = session::LoadPreferences(registry, &error);
    if (!error.empty()) {
        std::cerr << "Error: " << platform::MessageToUtf8(error) << '\n';
    }
    return stored;
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
        view.FExeName = *options.Editor;
        view.FEditionPaths[static_cast<std::size_t>(view.FEdition)] = *options.Editor;
    }
    view.FAlgorithm = options.Algorithm.value_or(view.FAlgorithm);
    view.FHash = options.Hash.value_or(view.FHash);
    view.FUseCompression = options.Compress;
    view.FDecompress = options.Decompress;
    view.FDoubleBackup = !options.NoDoubleBackup;
    view.FChangePass = options.ChangePass;
    view.FRekeyBackups = options.RekeyBackups;
    view.FChangeAlgorithm = options.ChangeAlgorithm;
    view.FYes = options.Yes;
    view.FEditorReturnsAtOnce = options.EditorReturnsAtOnce;
    view.FQuiet = options.Quiet;
    view.FPrivateTemp = options.PrivateTemp ? platform::TPrivateTemp::ptAlways : stored.PrivateTemp;
    view.FNewAlgorithm = options.NewAlgorithm;
    view.FNewHash = options.NewHash;
    view.FName = options.Files[0];
    view.FStored = stored;
    view.FStartAlgorithm = view.FAlgorithm;
    view.FStartHash = view.FHash;
}

// True when the data file is a plain editor file, which the session imports.
bool IsPlainEditorFile(TTerminalView& view) {
    try {
        return datafile::CheckHeader(view, view.FName);
    } catch (const datafile::EDataFileError& error) {
        datafile::ReportError(view, error); // the view's ExitWithError would only end this test
        return false;                       // the session reports it again at its first check
    } catch (const datafile::TProgramExit&) {
        return false; // the session reports it again at its first check
    } catch (const std::exception&) {
        return false;
    }
}

// True when the stored editor is one of the defaults and cannot be run here.
bool DefaultEditorMissing(const std::string& exeName) {
    const auto& defaults = session::DefaultEditionPaths;
    return std::find(defaults.begin(), defaults.end(), exeName) != defaults.end() &&
           !platform::ParseCommandLine(exeName);
}

// No editor given and the stored one cannot be found: the user's editor, as
// other terminal programs choose it. $VISUAL and $EDITOR are shell words
// ("code --wait", "vim -u NONE"), taken apart as --editor is; the working
// copy is one argument after them.
void ChooseEditor(TTerminalView& view) {
    if (!DefaultEditorMissing(view.FExeName)) {
        return;
    }
    for (const char* variable : {"VISUAL", "EDITOR"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            const std::string words = value;
            try {
                view.FEditorCommand = EditorCommandFromShellWords(words);
            } catch (const EEditorWords& e) {
                std::cerr << "Editor: $" << variable << " is not used: " << e.what() << std::endl;
                continue;
            }
            std::cerr << "Editor: " << words << " (from $" << variable << "; " << view.FExeName << " was not found)"
                      << std::endl;
            return;
        }
    }
    for (const char* fallback : {"sensible-editor", "vi"}) {
        if (const std::optional<std::string> found = platform::FindExecutable(fallback)) {
            view.FEditorCommand = *found;
            std::cerr << "Editor: " << *found << " (" << view.FExeName
                      << " was not found and neither $VISUAL nor $EDITOR is set)" << std::endl;
            return;
        }
    }
}

} // namespace

int RunEdit(int argc, char** argv) {
    TEditOptions options;
    if (const std::optional<int> end = ParseOptions(argc, argv, EditCommand, options)) {
        return *end;
    }

    platform::TRegistry registry;
    const session::TPreferences stored = LoadStoredChoices(registry);

    TTerminalView view(registry);
    SetUpView(view, stored, options);
    if (options.Editor) {
        try {
            view.FEditorCommand = EditorCommandFromShellWords(*options.Editor);
        } catch (const EEditorWords& e) {
            return UsageError(EditCommand, std::string("--editor: ") + e.what());
        }
    } else {
        ChooseEditor(view);
    }
    if (!view.FName.empty() && ReportUnreadable(view.FName)) {
        // What the session would report at its first check, and why.
        view.SavePreferences();
        return ExitFailure;
    }
    int exitCode = ExitOk;
    for (int attempt = 1;; ++attempt) {
        if (!view.FName.empty()) {
            try {
                if (!options.NewPasswordFile.empty()) {
                    TPasswordSource source;
                    source.File = options.NewPasswordFile;
                    view.FNewPassword = ReadPassword(source, {});
                }
                // A first sealing from the terminal: one typo would seal the
                // only copy under a password nobody knows, so it is typed
                // twice, and a mismatch stops before the file is renamed.
                const bool import = options.Password.FromTerminal() && IsPlainEditorFile(view);
                view.FPassword =
                    import ? ReadNewPassword(options.Password) : ReadPassword(options.Password, "Password: ");
            } catch (const EPasswordError& e) {
                view.SavePreferences();
                return Fail(view.FName, e.what(), NothingChanged);
            }
            if (view.FPassword.Empty()) {
                // The window keeps OK disabled while the password box is empty.
                return Fail(view.FName, EmptyPasswordText, GiveAPassword);
            }
        }
        try {
            const session::TSessionEnd end = session::RunEditingSession(view);
            if (end == session::TSessionEnd::WrongPassword) {
                // Typed: a second and a third try. Given by a file, a
                // descriptor or a command, another try would read the same.
                if (OfferAnotherTry(options.Password, attempt)) {
                    continue;
                }
                exitCode = ExitFailure;
            } else if (!view.FEnded) {
                exitCode = ExitFailure; // no file chosen: nothing was done
            }
        } catch (const datafile::TProgramExit& exit) {
            exitCode = exit.ExitCode;
        }
        break;
    }
    // The window saves its settings when it goes, at every end of the program.
    view.SavePreferences();
    return exitCode;
}

int RunRecover(int argc, char** argv) {
    TEditOptions options;
    if (const std::optional<int> end = ParseOptions(argc, argv, RecoverCommand, options)) {
        return *end;
    }
    if (ReportUnreadable(options.Files[0])) {
        return ExitFailure;
    }
    platform::TRegistry registry;
    const session::TPreferences stored = LoadStoredChoices(registry);
    TTerminalView view(registry);
    SetUpView(view, stored, options);
    // No password is needed to say there is nothing to recover, or to
    // refuse a plain file under a name of its own.
    session::TRecoveryState state = session::TRecoveryState::rsNothingLeftOver;
    try {
        state = session::RecoveryState(view, view.FName);
    } catch (const datafile::EDataFileError& error) {
        datafile::ReportError(view, error); // the file cannot be opened
        return ExitFailure;
    } catch (const datafile::TProgramExit& exit) {
        return exit.ExitCode; // reported: the file cannot be opened
    }
    const bool importCutShort = state == session::TRecoveryState::rsImportCutShort;
    if (importCutShort || state == session::TRecoveryState::rsLeftOvers) {
        try {
            // The plain file of an import cut short is sealed for the first
            // time: its password is typed twice, as for an import.
            view.FPassword = importCutShort && options.Password.FromTerminal()
                                 ? ReadNewPassword(options.Password)
                                 : ReadPassword(options.Password, "Password: ");
        } catch (const EPasswordError& e) {
            return Fail(view.FName, e.what(), NothingChanged);
        }
        if (view.FPassword.Empty()) {
            return Fail(view.FName, EmptyPasswordText, GiveAPassword);
        }
    }
    try {
        session::RecoverLeftOver(view);
    } catch (const datafile::TProgramExit& exit) {
        return exit.ExitCode;
    }
    return view.FEnded ? ExitOk : ExitFailure;
}

} // namespace quillock::cli
