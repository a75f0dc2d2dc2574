// A session view for tests: the window's state as fields, every call
// recorded, dialogs answered from queues, ExitWithError unwinding.
#pragma once

#include "session/Session.h"
#include "session/SessionView.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace quillock::testing {

using datafile::TModalResult;
using datafile::TMsgDlgButtons;
using datafile::TMsgDlgType;

class TScriptedView final : public session::SessionView {
public:
    std::string FName;
    std::string FPassword = "secret";
    int FAlgorithm = 0;
    int FHash = 0;
    bool FUseCompression = false;
    bool FDecompress = false;
    bool FDoubleBackup = false;
    bool FChangePass = false;
    bool FChangeAlgorithm = false;
    std::string FExeName = FakeEditor;

    std::deque<TModalResult> YesNoAnswers;
    std::deque<std::string> InputAnswers;
    std::deque<bool> QuestionAnswers;

    std::vector<std::string> Events;
    std::vector<std::string> Messages; // texts of AskUser and WarnBox, in order
    int PumpCount = 0;

    [[nodiscard]] std::string DataFileName() const override { return FName; }
    [[nodiscard]] std::string Password() const override { return FPassword; }
    void SetPassword(const std::string& password) override { FPassword = password; }
    [[nodiscard]] int AlgorithmIndex() const override { return FAlgorithm; }
    void SetAlgorithmIndex(int index) override { FAlgorithm = index; }
    [[nodiscard]] int HashIndex() const override { return FHash; }
    void SetHashIndex(int index) override { FHash = index; }
    [[nodiscard]] bool ChangePass() const override { return FChangePass; }
    [[nodiscard]] bool ChangeAlgorithm() const override { return FChangeAlgorithm; }
    [[nodiscard]] std::string Caption() const override { return "Quillock test"; }

    TModalResult AskUser(const std::string& text, TMsgDlgType kind, TMsgDlgButtons buttons) override {
        Messages.push_back(text);
        Events.push_back("AskUser:" + std::to_string(static_cast<int>(kind)) + ":" + text);
        if (buttons == TMsgDlgButtons::mbOK) {
            return TModalResult::mrOk;
        }
        if (YesNoAnswers.empty()) {
            ADD_FAILURE() << "unexpected question: " << text;
            return TModalResult::mrNo;
        }
        const TModalResult answer = YesNoAnswers.front();
        YesNoAnswers.pop_front();
        return answer;
    }
    std::string InputBox(const std::string& title, const std::string& prompt, const std::string& value) override {
        Events.push_back("InputBox:" + prompt);
        if (InputAnswers.empty()) {
            ADD_FAILURE() << "unexpected input box: " << title;
            return value;
        }
        std::string answer = InputAnswers.front();
        InputAnswers.pop_front();
        return answer;
    }
    bool QuestionBox(const std::string& text) override {
        Events.push_back("QuestionBox:" + text);
        if (QuestionAnswers.empty()) {
            ADD_FAILURE() << "unexpected question box: " << text;
            return false;
        }
        const bool answer = QuestionAnswers.front();
        QuestionAnswers.pop_front();
        return answer;
    }
    [[noreturn]] void ExitWithError() override {
        Events.emplace_back("ExitWithError");
        throw datafile::TProgramExit{1};
    }

    void LockWindow() override { Events.emplace_back("LockWindow"); }
    void SetStatus(const std::string& text) override { Events.push_back("Status:" + text); }
    void SetPanelText(const std::string& text) override { Events.push_back("Panel:" + text); }
    void PumpMessages() override { ++PumpCount; }
    void HideMainWindow() override { Events.emplace_back("HideMainWindow"); }
    void ShowMainWindow() override { Events.emplace_back("ShowMainWindow"); }
    void WarnBox(const std::string& text) override {
        Messages.push_back(text);
        Events.push_back("WarnBox:" + text);
    }
    void TickCompress() override {
        Events.emplace_back("TickCompress");
        FUseCompression = true;
    }
    void ClearPassword() override {
        Events.emplace_back("ClearPassword");
        FPassword = std::string(69, '0');
    }
    void SavePreferences() override { Events.emplace_back("SavePreferences"); }
    void EndProgram() override { Events.emplace_back("EndProgram"); }
    void ShowTrayIcon() override { Events.emplace_back("ShowTrayIcon"); }
    void HideTrayIcon() override { Events.emplace_back("HideTrayIcon"); }
    void Sleep(std::uint32_t milliseconds) override { Events.push_back("Sleep:" + std::to_string(milliseconds)); }
    void SetDataFileName(const std::string& path) override {
        Events.push_back("SetDataFileName:" + path);
        FName = path;
    }
    [[nodiscard]] bool UseCompression() const override { return FUseCompression; }
    [[nodiscard]] bool Decompress() const override { return FDecompress; }
    [[nodiscard]] bool DoubleBackup() const override { return FDoubleBackup; }
    [[nodiscard]] std::string ExeName() const override { return FExeName; }

    // Runs the session: 0 after EndProgram, 1 after ExitWithError, -1 when it
    // returned without ending the program.
    int Run() {
        try {
            session::BitBtn1Click(*this);
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
};

} // namespace quillock::testing
