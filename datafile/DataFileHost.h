// What the data-file operations need from the program around them: the state
// of the main window they read and change, its dialogs, and the way to end the
// program after a reported failure.
#pragma once

#include "platform/Secret.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillock::datafile {

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation };
enum class TMsgDlgButtons { mbYesNo, mbOK };
// mrNone: the dialog was closed by its close box.
enum class TModalResult { mrNone, mrYes, mrNo, mrOk };

// The title of a message dialog of the given kind.
constexpr const char* DialogTitle(TMsgDlgType kind) noexcept {
    switch (kind) {
    case TMsgDlgType::mtWarning:
        return "Warning";
    case TMsgDlgType::mtError:
        return "Error";
    case TMsgDlgType::mtInformation:
        return "Information";
    case TMsgDlgType::mtConfirmation:
        return "Confirm";
    }
    return "";
}

// The re-keying prompts: the host hears of each right before it opens, so
// that a window can find the prompt and change it.
enum class TPromptKind {
    Password,  // "Change Arbolix File Password": the box masks what is typed
    Algorithm, // the cipher question: its buttons name the two ciphers
    Hash,      // the digest question: its buttons name the two digests
};

// Thrown by ExitWithError implementations that end the program by unwinding to
// its entry point. It deliberately does not derive from std::exception, so the
// operations' own handlers never catch it.
struct TProgramExit {
    int ExitCode;
};

// A failure a data-file operation reports instead of ending the program: the
// text to show as an error, and the temporary files (copies of plain text)
// that the caller wipes before it shows the text; see ReportAndExit. Like
// TProgramExit it does not derive from std::exception, so the operations'
// own handlers let it pass.
struct EDataFileError {
    std::string Text;
    std::vector<std::string> Wipe;
};

class TDataFileHost {
public:
    virtual ~TDataFileHost() = default;

    // The data file path (the text of the data-file box).
    [[nodiscard]] virtual std::string DataFileName() const = 0;

    // The password as its Windows-1252 bytes, in secret memory.
    [[nodiscard]] virtual platform::TSecretText Password() const = 0;
    virtual void SetPassword(std::string_view password) = 0;

    // Cipher index: 0 Rijndael, 1 Blowfish. Digest index: 0 RIPEMD-160, 1 SHA-1.
    [[nodiscard]] virtual int AlgorithmIndex() const = 0;
    virtual void SetAlgorithmIndex(int index) = 0;
    [[nodiscard]] virtual int HashIndex() const = 0;
    virtual void SetHashIndex(int index) = 0;

    // The two closing-time options: ask for a new password / a new cipher and digest.
    [[nodiscard]] virtual bool ChangePass() const = 0;
    [[nodiscard]] virtual bool ChangeAlgorithm() const = 0;

    // The main window's caption, which titles the Yes/No questions.
    [[nodiscard]] virtual std::string Caption() const = 0;

    // A message dialog of the given kind ("Warning", "Error", "Information",
    // "Confirm") with Yes and No, or OK alone.
    virtual TModalResult AskUser(const std::string& text, TMsgDlgType kind, TMsgDlgButtons buttons) = 0;
    // A text-input box with OK and Cancel; returns the typed text on OK and
    // value on Cancel.
    virtual std::string InputBox(const std::string& title, const std::string& prompt, const std::string& value) = 0;
    // A Yes/No question with the question icon, titled with Caption(); true for Yes.
    virtual bool QuestionBox(const std::string& text) = 0;
    // Tells the host which prompt opens next; a host without a window may
    // ignore it.
    virtual void PostPrivateMessage(TPromptKind prompt) { (void)prompt; }
    // Bytes done of the total during a long step (deciphering, decompressing,
    // compressing, enciphering, copying a backup, wiping). Called often, from
    // the thread that runs the step; the host decides how often to show it
    // (and, in a window, handles its pending messages there).
    virtual void Progress(std::uint64_t done, std::uint64_t total) {
        (void)done;
        (void)total;
    }

    // The system's reason (an errno value) for the failure that the next
    // message reports. The texts stay as they are; a terminal adds the reason.
    virtual void HearCause(int error) { (void)error; }

    // Ends the program at once with exit code 1 (the settings are still saved).
    [[noreturn]] virtual void ExitWithError() = 0;
};

} // namespace quillock::datafile
