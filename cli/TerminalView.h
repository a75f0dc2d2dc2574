// The editing session's view for quillock-cli: the window's state as plain
// fields, status lines and messages on stderr, questions answered on the
// terminal or by options.
#pragma once

#include "cli/TerminalDialogs.h"
#include "datafile/FieldHost.h"
#include "platform/Registry.h"
#include "session/Preferences.h"
#include "session/SessionView.h"

#include <array>
#include <optional>
#include <string>
#include <unistd.h>

namespace quillock::cli {

class TTerminalView final : public datafile::TFieldHost<session::SessionView> {
public:
    explicit TTerminalView(platform::TRegistry& registry) : FRegistry(registry) {}
    ~TTerminalView() override;
    TTerminalView(const TTerminalView&) = delete;
    TTerminalView& operator=(const TTerminalView&) = delete;

    // The window's controls.
    int FEdition = 0;
    std::array<std::string, session::EditionCount> FEditionPaths;
    std::string FExeName;
    bool FUseCompression = false;
    bool FDecompress = false;
    bool FDoubleBackup = true;
    bool FRekeyBackups = false; // --rekey-backups
    // The stored setting, or --private-temp.
    platform::TPrivateTemp FPrivateTemp = platform::TPrivateTemp::ptWhereNeeded;

    // Scripted answers.
    bool FYes = false;                                 // Yes to the import question
    bool FEditorReturnsAtOnce = false;                 // editing is finished when the editor returns
    std::optional<platform::TSecretText> FNewPassword; // both new-password prompts
    std::optional<int> FNewAlgorithm;                  // the cipher question
    std::optional<int> FNewHash;                       // the digest question
    bool FQuiet = false;                               // no status lines, messages only
    // The editor actually run when it is not the one stored (from $VISUAL,
    // $EDITOR, ...); the stored one stays in FExeName and is saved.
    std::optional<std::string> FEditorCommand;

    // The saved choices the run started from, and the cipher and digest it
    // opened the file with: SavePreferences stores only what the session
    // changed.
    session::TPreferences FStored;
    int FStartAlgorithm = 0;
    int FStartHash = 0;

    // Set by EndProgram.
    bool FEnded = false;

    // datafile::TDataFileHost
    [[nodiscard]] std::string Caption() const override;
    // Prints "<title>: <text>"; Yes/No is answered by --yes or typed: Enter is
    // Yes, the default button; the end of input is No, as Escape.
    datafile::TModalResult AskUser(const std::string& text, datafile::TMsgDlgType kind,
                                   datafile::TMsgDlgButtons buttons) override;
    // Only new passwords are asked for: from --new-password-file, or typed on
    // the terminal without echo; without either the answer is value (Cancel).
    std::string InputBox(const std::string& title, const std::string& prompt, const std::string& value) override;
    // The cipher and digest questions name their two choices; answered by
    // --new-cipher / --new-hash or typed (Enter: the first choice; end of
    // input: the current choice stays).
    bool QuestionBox(const std::string& text) override;
    void PostPrivateMessage(datafile::TPromptKind prompt) override { FPendingPrompt = prompt; }
    // Said with the next message, after what happened.
    void HearCause(int error) override { FCause = error; }
    // Throws datafile::TProgramExit{1}; the command saves and returns it.
    [[noreturn]] void ExitWithError() override;

    // session::SessionView
    // Typed only (--yes does not answer it): Enter and the end of input are No.
    datafile::TModalResult AskLeftOver(const std::string& text) override;
    // Yes by --editor-returns-at-once or --yes, and when standard input is
    // not a terminal (one line says so); else typed: Enter and the end of
    // input are No (the working copy stays).
    bool ConfirmEditingFinished(const std::string& text) override;
    // One warning line.
    void Notice(const std::string& text) override;
    [[nodiscard]] std::string EditorHint() const override;
    // A warning line when warn, else one line (none with --quiet).
    void WorkingCopyPlace(const std::string& text, bool warn) override;
    [[nodiscard]] platform::TPrivateTemp PrivateTemp() const override { return FPrivateTemp; }
    // The percentage after the status line, on a terminal.
    void Progress(std::uint64_t done, std::uint64_t total) override;
    void LockWindow() override;
    void SetStatus(const std::string& text) override;
    void SetPanelText(const std::string& text) override;
    void PumpMessages() override {}
    void HideMainWindow() override;
    void ShowMainWindow() override {}
    void WarnBox(const std::string& text) override;
    void TickCompress() override { FUseCompression = true; }
    void ClearPassword() override;
    void SavePreferences() override;
    void EndProgram() override { FEnded = true; }
    void ShowTrayIcon() override {}
    void HideTrayIcon() override {}
    // Lines printed on a terminal stay; nothing to keep on screen.
    void Sleep(std::uint32_t milliseconds) override { (void)milliseconds; }
    void SetDataFileName(const std::string& path) override { FName = path; }
    [[nodiscard]] bool UseCompression() const override { return FUseCompression; }
    [[nodiscard]] bool Decompress() const override { return FDecompress; }
    [[nodiscard]] bool DoubleBackup() const override { return FDoubleBackup; }
    [[nodiscard]] bool RekeyBackups() const override { return FRekeyBackups; }
    [[nodiscard]] std::string ExeName() const override { return FEditorCommand.value_or(FExeName); }
    // A wrong password ends the run only: edit decides whether to ask again.
    [[nodiscard]] bool TriesAnotherPassword() const override { return true; }

private:
    // A typed Yes or No; Enter gives the default, the end of input No.
    datafile::TModalResult ReadYesNo(bool defaultYes);

    platform::TRegistry& FRegistry;
    std::optional<datafile::TPromptKind> FPendingPrompt;
    TTerminalDialogs FDialogs{STDIN_FILENO}; // answers are typed on standard input
    TStatusLine& FLine = FDialogs.Line();
    int FCause = 0;
};

} // namespace quillock::cli
