// A data-file host for tests: plain fields for the window's state, dialogs
// answered from queues and recorded, and an ExitWithError that unwinds.
#pragma once

#include "datafile/FieldHost.h"
#include "datafile/FileChecks.h"
#include "tests/support/Checks.h"
#include "tests/support/TempFolder.h"
#include "tests/support/TestData.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace quillock::datafile::testing {

struct TDialog {
    std::string Text;
    TMsgDlgType Kind;
};

class TTestHost final : public TFieldHost<TDataFileHost> {
public:
    TTestHost() { FPassword.Assign("secret"); }

    std::string FCaption = "Quillock";

    // Answers for the prompts, taken in order.
    std::deque<std::string> InputAnswers;
    std::deque<bool> QuestionAnswers;

    // Everything the operations showed or posted, in order.
    std::vector<TDialog> Dialogs;
    std::vector<std::string> Events;

    [[nodiscard]] std::string Caption() const override { return FCaption; }

    TModalResult AskUser(const std::string& text, TMsgDlgType kind, TMsgDlgButtons buttons) override {
        Dialogs.push_back({text, kind});
        Events.push_back("AskUser:" + text);
        return buttons == TMsgDlgButtons::mbOK ? TModalResult::mrOk : TModalResult::mrNo;
    }
    std::string InputBox(const std::string& title, const std::string& prompt, const std::string& value) override {
        Events.push_back("InputBox:" + title + "|" + prompt + "|" + value);
        return tests::NextAnswer(InputAnswers, value, "unexpected input box: " + prompt);
    }
    bool QuestionBox(const std::string& text) override {
        Events.push_back("QuestionBox:" + text);
        return tests::NextAnswer(QuestionAnswers, false, "unexpected question: " + text);
    }
    void PostPrivateMessage(datafile::TPromptKind prompt) override {
        Events.push_back(prompt == datafile::TPromptKind::Password    ? "Post:Password"
                         : prompt == datafile::TPromptKind::Algorithm ? "Post:Algorithm"
                                                                      : "Post:Hash");
    }
    // Hears each progress report of the operations, when set.
    std::function<void(std::uint64_t, std::uint64_t)> OnProgress;
    void Progress(std::uint64_t done, std::uint64_t total) override {
        if (OnProgress) {
            OnProgress(done, total);
        }
    }
    [[noreturn]] void ExitWithError() override {
        Events.emplace_back("ExitWithError");
        throw TProgramExit{1};
    }
};

using Bytes = std::vector<std::uint8_t>;

inline Bytes ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    // In blocks: byte by byte, megabytes took most of a second in the sanitizer build.
    std::ostringstream all;
    all << in.rdbuf();
    const std::string bytes = std::move(all).str();
    return Bytes(bytes.begin(), bytes.end());
}

inline void WriteBytes(const std::filesystem::path& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    ASSERT_TRUE(out.good()) << path;
}

// zlib's own one-shot compression, independent of the program's stream layer:
// of bytes at a level, or of text at level 1.
using tests::ZlibCompress;
inline Bytes ZlibCompress(const std::string& text) {
    return tests::ZlibCompress(Bytes(text.begin(), text.end()), 1);
}

inline void WriteText(const std::filesystem::path& path, const std::string& text) {
    WriteBytes(path, Bytes(text.begin(), text.end()));
}

// A fresh folder per test (a tests::TTempFolder), removed afterwards.
class TTempDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        FFolder.emplace();
        Dir = FFolder->Path();
    }
    void TearDown() override { FFolder.reset(); }
    [[nodiscard]] std::string Path(const std::string& name) const { return (Dir / name).string(); }

    std::filesystem::path Dir;

private:
    std::optional<quillock::tests::TTempFolder> FFolder;
};

// Text-like content of exactly size bytes.
inline Bytes SampleContent(std::size_t size, std::uint32_t seed = 1) {
    return tests::SampleText(size, seed, " abcdefghijklmnopqrstuvwxyz\r\n");
}

// Runs operation as the session and the commands call the data-file
// operations: a failure it raises is reported through host (its temporaries
// wiped, its text shown) and ends there, by host's ExitWithError.
template <typename TOperation> decltype(auto) AsCaller(TDataFileHost& host, TOperation operation) {
    try {
        return operation();
    } catch (const EDataFileError& error) {
        ReportAndExit(host, error);
    }
}

// Runs body in a child process whose files may not grow past limit bytes
// (writes past it fail with EFBIG, as on a full disk) and returns the child's
// exit code: 0 when body returned, the code of a TProgramExit, 1 for an
// EDataFileError, 101 for any other exception, 100 when the limit could not be set.
template <typename TBody> int WithFileSizeLimit(rlim_t limit, TBody body) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit fsize { limit, limit };
        if (::setrlimit(RLIMIT_FSIZE, &fsize) != 0) {
            ::_exit(100);
        }
        try {
            body();
        } catch (const TProgramExit& exit) {
            ::_exit(exit.ExitCode);
        } catch (const EDataFileError&) {
            ::_exit(1); // what a caller ends with
        } catch (...) {
            ::_exit(101);
        }
        ::_exit(0);
    }
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    return WEXITSTATUS(status);
}

} // namespace quillock::datafile::testing
