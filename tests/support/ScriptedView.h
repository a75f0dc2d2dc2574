// A session view for tests: the window's state as fields, every call
// recorded, dialogs answered from queues, ExitWithError unwinding.
#pragma once

#include "datafile/FieldHost.h"
#include "session/Session.h"
#include "session/SessionView.h"
#include "tests/support/Checks.h"
#include "tests/support/EditorTestSupport.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace quillock::testing {

using datafile::TModalResult;
using datafile::TMsgDlgButtons;
using datafile::TMsgDlgType;

class TScriptedView final : public datafile::TFieldHost<session::SessionView> {
public:
    TScriptedView() { FPassword.Assign("secret"); }

    bool FUseCompression = false;
    bool FDecompress = false;
    bool FDoubleBackup = false;
    std::string FExeName = FakeEditor;
    bool FTriesAnotherPassword = false;

    std::deque<TModalResult> YesNoAnswers;
    std::deque<std::string> InputAnswers;
    std::deque<bool> QuestionAnswers;
    std::deque<bool> FinishedAnswers; // ConfirmEditingFinished

    // Called with every event as it is recorded (a test seam: fault tests
    // end the process at a chosen step).
    std::function<void(const std::string&)> OnEvent;

    // Cancel asked for once this status shows (empty: never).
    std::string CancelAtStatus;
    // What the editor wait runs in between its looks (empty: it blocks).
    std::function<void()> WaitStep;
    // Every progress report, in order: done and total.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> Reports;

    std::vector<std::string> Events;
    std::vector<std::string> Messages; // texts of AskUser and WarnBox, in order
    int PumpCount = 0;

    [[nodiscard]] std::string Caption() const override { return "Quillock test"; }

    void Note(const std::string& event) {
        Events.push_back(event);
        if (OnEvent) {
            OnEvent(event);
        }
    }

    TModalResult AskUser(const std::string& text, TMsgDlgType kind, TMsgDlgButtons buttons) override {
        Messages.push_back(text);
        Note("AskUser:" + std::to_string(static_cast<int>(kind)) + ":" + text);
        if (buttons == TMsgDlgButtons::mbOK) {
            return TModalResult::mrOk;
        }
        return tests::NextAnswer(YesNoAnswers, TModalResult::mrNo, "unexpected question: " + text);
    }
    // Answered from YesNoAnswers like AskUser; recorded as "AskLeftOver:text".
    TModalResult AskLeftOver(const std::string& text) override {
        Messages.push_back(text);
        Note("AskLeftOver:" + text);
        return tests::NextAnswer(YesNoAnswers, TModalResult::mrNo, "unexpected left-over warning: " + text);
    }
    bool ConfirmEditingFinished(const std::string& text) override {
        Note("ConfirmEditingFinished");
        return tests::NextAnswer(FinishedAnswers, false, "unexpected question whether editing is finished: " + text);
    }
    std::string InputBox(const std::string& title, const std::string& prompt, const std::string& value) override {
        Note("InputBox:" + prompt);
        return tests::NextAnswer(InputAnswers, value, "unexpected input box: " + title);
    }
    bool QuestionBox(const std::string& text) override {
        Note("QuestionBox:" + text);
        return tests::NextAnswer(QuestionAnswers, false, "unexpected question box: " + text);
    }
    [[noreturn]] void ExitWithError() override {
        Note("ExitWithError");
        throw datafile::TProgramExit{1};
    }

    void LockWindow() override { Note("LockWindow"); }
    void SetStatus(const std::string& text) override {
        Note("Status:" + text);
        FCancelled = FCancelled || (!CancelAtStatus.empty() && text == CancelAtStatus);
    }
    [[nodiscard]] bool CancelRequested() const override { return FCancelled; }
    [[nodiscard]] std::function<void()> EditorWaitStep() override { return WaitStep; }
    void SetPanelText(const std::string& text) override { Note("Panel:" + text); }
    void PumpMessages() override { ++PumpCount; }
    void HideMainWindow() override { Note("HideMainWindow"); }
    void ShowMainWindow() override { Note("ShowMainWindow"); }
    void WarnBox(const std::string& text) override {
        Messages.push_back(text);
        Note("WarnBox:" + text);
    }
    void TickCompress() override {
        Note("TickCompress");
        FUseCompression = true;
    }
    void ClearPassword() override {
        Note("ClearPassword");
        FPassword.Assign(std::string(69, '0'));
    }
    void SavePreferences() override { Note("SavePreferences"); }
    void EndProgram() override { Note("EndProgram"); }
    void ShowTrayIcon() override { Note("ShowTrayIcon"); }
    void HideTrayIcon() override { Note("HideTrayIcon"); }
    void Sleep(std::uint32_t milliseconds) override { Note("Sleep:" + std::to_string(milliseconds)); }
    // Recorded only when asked: fault tests stop the process part way
    // through a long step.
    bool NoteProgress = false;
    void Progress(std::uint64_t done, std::uint64_t total) override {
        Reports.emplace_back(done, total);
        if (NoteProgress) {
            Note("Progress:" + std::to_string(done) + "/" + std::to_string(total));
        }
    }
    void SetDataFileName(const std::string& path) override {
        Note("SetDataFileName:" + path);
        FName = path;
    }
    [[nodiscard]] bool UseCompression() const override { return FUseCompression; }
    [[nodiscard]] bool Decompress() const override { return FDecompress; }
    [[nodiscard]] bool DoubleBackup() const override { return FDoubleBackup; }
    [[nodiscard]] std::string ExeName() const override { return FExeName; }
    [[nodiscard]] bool TriesAnotherPassword() const override { return FTriesAnotherPassword; }

    // Runs the session: 0 after EndProgram, 1 after ExitWithError, -1 when it
    // returned without ending the program, -2 after a wrong password.
    int Run() {
        try {
            if (session::RunEditingSession(*this) == session::TSessionEnd::WrongPassword) {
                return -2;
            }
        } catch (const datafile::TProgramExit& exit) {
            return exit.ExitCode;
        }
        return !Events.empty() && Events.back() == "EndProgram" ? 0 : -1;
    }

    // Runs the recovery of left-over files, with the same results as Run.
    int Recover() {
        try {
            session::RecoverLeftOver(*this);
        } catch (const datafile::TProgramExit& exit) {
            return exit.ExitCode;
        }
        return !Events.empty() && Events.back() == "EndProgram" ? 0 : -1;
    }

    // The status lines and panel texts, in order.
    [[nodiscard]] std::vector<std::string> Captions() const {
        std::vector<std::string> captions;
        for (const std::string& event : Events) {
            if (event.starts_with("Status:") || event.starts_with("Panel:")) {
                captions.push_back(event);
            }
        }
        return captions;
    }
    [[nodiscard]] bool Saw(const std::string& event) const {
        return std::find(Events.begin(), Events.end(), event) != Events.end();
    }
    [[nodiscard]] std::ptrdiff_t IndexOf(const std::string& event) const {
        const auto found = std::find(Events.begin(), Events.end(), event);
        return found == Events.end() ? -1 : found - Events.begin();
    }

private:
    bool FCancelled = false;
};

// A fresh folder per test holding the name of a data file, Data (diary.qlx,
// not made yet), and a view on it.
class TViewTest : public datafile::testing::TTempDirTest {
protected:
    void SetUp() override {
        TTempDirTest::SetUp();
        Data = Path("diary.qlx");
        View.FName = Data;
    }

    // The stand-in editor doing the given actions.
    void Editor(const std::string& actions) { View.FExeName = FakeEditor + " " + actions; }

    std::string Data;
    TScriptedView View;
};

} // namespace quillock::testing
