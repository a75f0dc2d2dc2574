// What the fault tests share: the files a data file's session may leave, the
// text each of them holds, and the check of the left-over warning.
#pragma once

#include "tests/support/EditorTestSupport.h"
#include "tests/support/ScriptedView.h"

#include "platform/PrivateFolder.h"

#include <csignal>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace quillock::testing {

using Strings = std::vector<std::string>;

// The suffixes of the files that hold a data file's text, and how the
// left-over warning describes each.
inline const std::vector<std::pair<std::string, std::string>> TextFiles{
    {".qlt", "working copy, unencrypted"},
    {".qlz", "intermediate file, unencrypted (compressed if compression was on)"},
    {"", "data file, encrypted"},
    {".bak", "backup, encrypted"},
    {".old", "older backup, encrypted"}};

// The text a file holds: plain or inflated for the temporary files, unsealed
// for the data file and its backups; nothing when it is absent.
inline std::optional<std::string> TextIn(const std::string& data, const std::string& suffix) {
    const std::string path = data + suffix;
    if (!Exists(path)) {
        return std::nullopt;
    }
    if (suffix == ".qlt" || suffix == ".qlz") {
        const Bytes bytes = ReadBytes(path);
        if (std::optional<std::string> inflated = ZlibInflate(bytes)) {
            return inflated;
        }
        return std::string(bytes.begin(), bytes.end());
    }
    return Unseal(path).Content;
}

// The suffixes of the files that hold text, in the order above.
inline Strings FilesHolding(const std::string& data, const std::string& text) {
    Strings found;
    for (const auto& [suffix, what] : TextFiles) {
        if (TextIn(data, suffix) == text) {
            found.push_back(suffix);
        }
    }
    return found;
}

// The left-over warning names exactly the files of TextFiles that exist.
inline void ExpectWarningNamesTheFiles(const std::string& warning, const std::string& data) {
    EXPECT_TRUE(warning.starts_with("WARNING: \"" + data + ".qlt/qlz\" ALREADY EXISTS!")) << warning;
    for (const auto& [suffix, what] : TextFiles) {
        const bool named = warning.find("\r\n\"" + data + suffix + "\": " + what + ", changed ") != std::string::npos;
        EXPECT_EQ(named, Exists(data + suffix)) << suffix << " in " << warning;
    }
}

// The files of a folder as a killed run left them, to run two recoveries on
// the same state: copied away (bytes and modes) and put back.
inline void CopyFolder(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::filesystem::remove_all(to);
    std::filesystem::copy(from, to, std::filesystem::copy_options::recursive);
}

// Runs fn in a child process and returns its wait status.
template <typename F> int InChild(F fn) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(fn());
    }
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    return status;
}

// Runs a view set up by setUp through run (TScriptedView::Run or Recover) in
// a child process that kills itself (SIGKILL) as the view records its event
// number step, counted from 0; returns the child's wait status.
inline int KilledAtStep(std::size_t step, const std::function<void(TScriptedView&)>& setUp,
                        int (TScriptedView::*run)()) {
    return InChild([&] {
        TScriptedView view;
        setUp(view);
        view.OnEvent = [&view, step](const std::string&) {
            if (view.Events.size() == step + 1) {
                ::raise(SIGKILL);
            }
        };
        return (view.*run)();
    });
}

// A private $XDG_RUNTIME_DIR in memory (and a folder standing in for
// /dev/shm) for as long as it lives, so that the private folders of sessions
// in other tests are never taken for left-overs of this one's.
class TPrivateRuntime {
public:
    TPrivateRuntime() {
        std::string pattern = "/dev/shm/quillock-runtime-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) {
            FPath = pattern;
            std::filesystem::create_directory(FPath + "/shm");
            ::setenv("XDG_RUNTIME_DIR", FPath.c_str(), 1);
            platform::SetSharedMemoryRoot(FPath + "/shm");
        }
    }
    ~TPrivateRuntime() {
        ::unsetenv("XDG_RUNTIME_DIR");
        platform::SetSharedMemoryRoot("/dev/shm");
        std::error_code error;
        std::filesystem::remove_all(FPath, error);
    }
    TPrivateRuntime(const TPrivateRuntime&) = delete;
    TPrivateRuntime& operator=(const TPrivateRuntime&) = delete;

    [[nodiscard]] const std::string& Path() const noexcept { return FPath; }

private:
    std::string FPath;
};

} // namespace quillock::testing
