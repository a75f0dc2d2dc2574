// The editing session's view for quillock-cli.
#include "cli/TerminalView.h"

#include "cli/Report.h"
#include "datafile/Algorithms.h"
#include "platform/Text.h"
#include "platform/Wipe.h"
#include "session/Preferences.h"

#include <iostream>
#include <string_view>
#include <utility>

namespace quillock::cli {
namespace {

constexpr const char* ProgramVersion = "3.0";
// The password box's text after a session: 69 zero digits.
constexpr std::size_t ClearedPasswordLength = 69;

} // namespace

TTerminalView::~TTerminalView() {}

std::string TTerminalView::Caption() const {
    return "Arbolix\xAE Encrypt (" + datafile::AlgorithmText(FAlgorithm) + " " + datafile::HashText(FHash) + ") v" +
           ProgramVersion;
}

datafile::TModalResult TTerminalView::AskUser(const std::string& text, datafile::TMsgDlgType kind,
                                              datafile::TMsgDlgButtons buttons) {
    FDialogs.Say(kind, FName, text, std::exchange(FCause, 0));
    if (buttons == datafile::TMsgDlgButtons::mbOK) {
        return datafile::TModalResult::mrOk;
    }
    if (FYes) {
        FLine.Err() << "Answer: y (--yes)" << std::endl;
        return datafile::TModalResult::mrYes;
    }
    return ReadYesNo(true);
}

datafile::TModalResult TTerminalView::ReadYesNo(bool defaultYes) {
    return FDialogs.ReadYesNo(defaultYes).value_or(false) ? datafile::TModalResult::mrYes
                                                          : datafile::TModalResult::mrNo;
}

datafile::TModalResult TTerminalView::AskLeftOver(const std::string& text) {
    FDialogs.Say(datafile::TMsgDlgType::mtWarning, FName, text, 0);
    if (FYes) {
        // One option must not overwrite what may be the only copy of unsaved edits.
        FLine.Err() << "(--yes does not answer this question)" << std::endl;
    }
    return ReadYesNo(false);
}

bool TTerminalView::ConfirmEditingFinished(const std::string& text) {
    if (FEditorReturnsAtOnce || FYes) {
        FLine.Err() << "The editor came back at once; going on ("
                    << (FEditorReturnsAtOnce ? "--editor-returns-at-once" : "--yes") << ")." << std::endl;
        return true;
    }
    if (!FDialogs.AnswersFromTerminal()) {
        // Nobody could answer: a script's editor (true, cat, sed) is done when it returns.
        FLine.Err() << "The editor came back at once; going on (standard input is not a terminal)." << std::endl;
        return true;
    }
    FDialogs.Say(datafile::TMsgDlgType::mtConfirmation, FName, text, 0);
    return ReadYesNo(false) == datafile::TModalResult::mrYes;
}

std::string TTerminalView::InputBox(const std::string& title, const std::string& prompt, const std::string& value) {
    // The answer leaves as an ordinary text, which sealing takes into secret
    // memory and wipes at once.
    if (FNewPassword) {
        return std::string(FNewPassword->View());
    }
    return FDialogs.ReadPassword(title, prompt, value);
}

bool TTerminalView::QuestionBox(const std::string& text) {
    const std::optional<datafile::TPromptKind> prompt = FPendingPrompt;
    FPendingPrompt.reset();
    FDialogs.Say(datafile::TMsgDlgType::mtConfirmation, FName, text, 0);
    const bool cipher = prompt == datafile::TPromptKind::Algorithm;
    const bool digest = prompt == datafile::TPromptKind::Hash;
    if (cipher && FNewAlgorithm) {
        return *FNewAlgorithm == 0;
    }
    if (digest && FNewHash) {
        return *FNewHash == 0;
    }
    // Yes is the first choice of the two, No the second: a word of the
    // algorithm table, its first letter or its name, as typed in any case.
    const auto choice = [&](std::size_t row) -> std::pair<std::string, std::string> {
        if (cipher) {
            return {std::string(datafile::Ciphers()[row].Word), AsciiLower(std::string(datafile::Ciphers()[row].Name))};
        }
        if (digest) {
            return {std::string(datafile::Hashes()[row].Word), AsciiLower(std::string(datafile::Hashes()[row].Name))};
        }
        return {row == 0 ? "yes" : "no", row == 0 ? "yes" : "no"};
    };
    const auto [first, firstName] = choice(0);
    const auto [second, secondName] = choice(1);
    // "[R]ijndael or [B]lowfish? (Enter = Rijndael) ": the names from the
    // algorithm table, each with its first letter as the short answer.
    const auto bracketed = [](std::string_view name) {
        std::string shown = "[";
        shown += name.substr(0, 1);
        shown += ']';
        shown += name.substr(1);
        return shown;
    };
    const auto names = [&](auto table) {
        std::string asked = bracketed(table[0].Name);
        asked += " or ";
        asked += bracketed(table[1].Name);
        asked += "? (Enter = ";
        asked += table[0].Name;
        asked += ") ";
        return asked;
    };
    const std::string question = cipher   ? names(datafile::Ciphers())
                                 : digest ? names(datafile::Hashes())
                                          : "y or n? [Y/n] (Enter = y) ";
    // The word without its digits is taken too ("ripemd").
    const auto stem = [](const std::string& word) { return word.substr(0, word.find_first_of("0123456789")); };
    for (;;) {
        const std::optional<std::string> answer = FDialogs.ReadAnswer(question);
        if (!answer) {
            // No choice made: the current one stays (for a plain question: No).
            return cipher ? FAlgorithm == 0 : digest ? FHash == 0 : false;
        }
        const std::string word = AsciiLower(*answer);
        if (word.empty() || word == first || word == first.substr(0, 1) || word == firstName ||
            (!stem(first).empty() && word == stem(first))) {
            return true;
        }
        if (word == second || word == second.substr(0, 1) || word == secondName ||
            (!stem(second).empty() && word == stem(second))) {
            return false;
        }
    }
}

void TTerminalView::ExitWithError() {
    throw datafile::TProgramExit{1};
}

void TTerminalView::LockWindow() {
    SetPanelText("Please wait..");
}

void TTerminalView::SetStatus(const std::string& text) {
    if (!FQuiet) {
        FLine.Show(platform::MessageToUtf8(text));
    }
}

void TTerminalView::SetPanelText(const std::string& text) {
    if (!FQuiet) {
        FLine.Show(platform::MessageToUtf8(text));
    }
}

void TTerminalView::Progress(std::uint64_t done, std::uint64_t total) {
    if (!FQuiet) {
        FLine.Progress(done, total);
    }
}

void TTerminalView::HideMainWindow() {
    // The editor may write to the terminal: it starts on a line of its own.
    FLine.Close();
}

void TTerminalView::Notice(const std::string& text) {
    FDialogs.Say(datafile::TMsgDlgType::mtWarning, FName, text, 0);
}

void TTerminalView::WorkingCopyPlace(const std::string& text, bool warn) {
    if (warn) {
        Notice(text);
    } else if (!FQuiet) {
        FLine.Err() << platform::MessageToUtf8(text) << std::endl;
    }
}

std::string TTerminalView::EditorHint() const {
    return "Give the editor with --editor CMD, or set $VISUAL or $EDITOR.";
}

void TTerminalView::WarnBox(const std::string& text) {
    FDialogs.Say(datafile::TMsgDlgType::mtWarning, FName, text, 0);
}

void TTerminalView::ClearPassword() {
    SetPassword(std::string(ClearedPasswordLength, '0'));
}

void TTerminalView::SavePreferences() {
    // The command line's choices are for this run only; what the session
    // itself changed (a new cipher and digest the file is now sealed with)
    // becomes the saved choice, as in the window.
    if (FAlgorithm == FStartAlgorithm && FHash == FStartHash) {
        return;
    }
    session::TPreferences preferences = FStored;
    preferences.Algorithm = FAlgorithm;
    preferences.Hash = FHash;
    try {
        session::SavePreferences(FRegistry, preferences);
    } catch (const platform::ERegistryException& e) {
        Report(FLine.Err(), FRegistry.FileName().string(),
               "the choices cannot be saved: " + platform::MessageToUtf8(e.what()),
               "They stay as they were; check the settings file's rights and free space.");
    }
}

} // namespace quillock::cli
