// What the terminal prints for the core's messages: every text in terminal
// terms (no buttons, no second title), in one style, with the system's reason
// for a failure and the next step.
#include "cli/Report.h"
#include "cli/TerminalDialogs.h"
#include "datafile/Messages.h"
#include "platform/Text.h"
#include "session/Messages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <vector>

namespace quillock::cli {
namespace {

using datafile::TMsgDlgType;

// Words of a window's dialogs, which a terminal has not.
constexpr std::string_view DialogWords[] = {"Click", "[Yes]", "[No]", "button", "dialog", "Error: ERROR"};
constexpr TMsgDlgType Kinds[] = {TMsgDlgType::mtWarning, TMsgDlgType::mtError, TMsgDlgType::mtInformation,
                                 TMsgDlgType::mtConfirmation};

void ExpectTerminalTerms(std::string_view said) {
    for (const std::string_view word : DialogWords) {
        EXPECT_EQ(said.find(word), std::string_view::npos) << "'" << word << "' in: " << said;
    }
    EXPECT_EQ(said.find('\r'), std::string_view::npos) << said;
}

// Every text of the core's messages: those that stand alone, and those made
// of the core's parts around a file name.
std::vector<std::string> CoreTexts() {
    std::vector<std::string> texts(datafile::FixedMessageTexts.begin(), datafile::FixedMessageTexts.end());
    texts.insert(texts.end(), session::FixedMessageTexts.begin(), session::FixedMessageTexts.end());
    texts.push_back(datafile::CannotOpenText());
    texts.push_back(datafile::CannotOpenText("/data/diary.qlx"));
    texts.push_back(std::string(datafile::CannotDeleteText) + "\r\n/data/diary.qlx.qlt\"\r\n\r\n" +
                    datafile::CheckDataText);
    return texts;
}

TEST(TerminalWordingTest, EveryCoreTextIsSaidInTerminalTermsInOneStyle) {
    for (const std::string& text : CoreTexts()) {
        for (const TMsgDlgType kind : Kinds) {
            const std::string said = TerminalText(kind, "diary.qlx", text, ENOSPC);
            EXPECT_TRUE(said.starts_with("quillock-cli: diary.qlx: ")) << said;
            ExpectTerminalTerms(said);
        }
    }
    for (const TTerminalWording& wording : TerminalWordings()) {
        ExpectTerminalTerms(wording.Happened);
        ExpectTerminalTerms(wording.Next);
        EXPECT_FALSE(wording.Next.empty()) << wording.Happened << ": a failure says what to do next";
        bool found = false;
        for (const std::string& text : CoreTexts()) {
            found = found || platform::MessageToUtf8(text).find(wording.Dialog) != std::string::npos;
        }
        EXPECT_TRUE(found) << "no core text holds: " << wording.Dialog;
    }
}

TEST(TerminalWordingTest, AFailureGivesTheSystemsReasonOrTheTextsDetailsAndTheNextStep) {
    std::string next(1, '\n'); // not "\n" + text: GCC 12's -O3 -Wrestrict false alarm
    next += TerminalWordings().front().Next;
    for (const int error : {ENOENT, EISDIR, EACCES, ENOSPC}) {
        EXPECT_EQ(TerminalText(TMsgDlgType::mtError, "diary.qlx", datafile::CannotOpenText(), error),
                  "quillock-cli: diary.qlx: cannot be opened: " + std::string(std::strerror(error)) + next);
    }
    EXPECT_EQ(TerminalText(TMsgDlgType::mtError, "diary.qlx", datafile::CannotOpenText("/x/diary.qlx"), 0),
              "quillock-cli: diary.qlx: cannot be opened" + next)
        << "no reason known: none is made up";
    const std::string said = TerminalText(
        TMsgDlgType::mtError, "diary.qlx",
        std::string(datafile::EncryptErrorText) + "\r\n\r\n(Cannot rename \"a\" to \"b\": Read-only file system)", EIO);
    EXPECT_NE(said.find("failed\n(Cannot rename \"a\" to \"b\": Read-only file system)\nFree some space"),
              std::string::npos)
        << said;
    EXPECT_EQ(said.find(std::strerror(EIO)), std::string::npos) << "the text's own details stand for the reason";
}

TEST(TerminalWordingTest, AnswersAreTypedAndNoTitleIsSaidTwice) {
    EXPECT_EQ(TerminalText(TMsgDlgType::mtConfirmation, "d.qlx",
                           "Click [Yes] to go on.\r\nClick [No] to stop.\r\n\r\nRecommended choice: [No]", 0),
              "quillock-cli: d.qlx: Answer y to go on.\nAnswer n to stop.\n\nRecommended choice: n");
    EXPECT_EQ(TerminalText(TMsgDlgType::mtError, "d.qlx", "ERROR: unable to start the editor!", 0),
              "quillock-cli: d.qlx: unable to start the editor!");
    EXPECT_EQ(TerminalText(TMsgDlgType::mtWarning, "d.qlx", "WARNING: \"x\" ALREADY EXISTS!", 0),
              "quillock-cli: d.qlx: warning: \"x\" ALREADY EXISTS!");
    EXPECT_EQ(TerminalText(TMsgDlgType::mtWarning, "", "Select a file!", 0), "quillock-cli: warning: Select a file!");
}

TEST(TerminalWordingTest, ANameThatIsNotUtf8IsShownWithItsBytesEscaped) {
    EXPECT_TRUE(TerminalText(TMsgDlgType::mtError, "\xe9t\xe9.qlx", datafile::DecryptionErrorText, 0)
                    .starts_with("quillock-cli: \\xe9t\\xe9.qlx: does not open: "));
    std::ostringstream out;
    Report(out, "\xe9t\xe9.qlx", "exists", "Give --force to replace it.");
    EXPECT_EQ(out.str(), "quillock-cli: \\xe9t\\xe9.qlx: exists\nGive --force to replace it.\n");
}

} // namespace
} // namespace quillock::cli
