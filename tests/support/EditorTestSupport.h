// What the session and CLI tests share: a temporary folder per test, file
// helpers, sealing and unsealing test data, and the stand-in editor's path.
#pragma once

#include "datafile/Compression.h"
#include "datafile/SealedFile.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace quillock::testing {

using datafile::testing::Bytes;
using datafile::testing::ReadBytes;
using datafile::testing::WriteBytes;
using datafile::testing::WriteText;
using datafile::testing::ZlibCompress;

inline const std::string FakeEditor = FAKE_EDITOR_PATH;

inline bool Exists(const std::filesystem::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

inline std::string ReadText(const std::filesystem::path& path) {
    const Bytes bytes = ReadBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

inline unsigned Mode(const std::filesystem::path& path) {
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 07777;
}

// zlib's own one-shot routines, independent of the program's stream layer.
inline std::optional<std::string> ZlibInflate(const Bytes& data) {
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) {
        return std::nullopt;
    }
    std::string out;
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    int result = Z_OK;
    char buffer[4096];
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        out.append(buffer, sizeof buffer - stream.avail_out);
    }
    inflateEnd(&stream);
    if (result != Z_STREAM_END) {
        return std::nullopt;
    }
    return out;
}

struct TChoice {
    std::string Password = "secret";
    int Algorithm = 0;
    int Hash = 0;
};

// Seals content into path; with compressed, as one zlib stream (level 1).
inline void SealContent(const std::filesystem::path& path, const std::string& content, bool compressed,
                        const TChoice& choice = {}) {
    datafile::testing::TTestHost host;
    host.FName = path.string();
    host.SetPassword(choice.Password);
    host.FAlgorithm = choice.Algorithm;
    host.FHash = choice.Hash;
    const std::filesystem::path source = path.string() + ".test-source";
    if (compressed) {
        WriteBytes(source, ZlibCompress(content));
    } else {
        WriteText(source, content);
    }
    datafile::Encrypt(host, source.string(), path.string());
    std::filesystem::remove(source);
}

// What a data file holds: its deciphered bytes, and whether they are a zlib
// stream (then Content is what it inflates to).
struct TUnsealed {
    bool Compressed = false;
    std::string Content;
};

inline TUnsealed Unseal(const std::filesystem::path& path, const TChoice& choice = {}) {
    datafile::testing::TTestHost host;
    host.FName = path.string() + ".test-unseal";
    host.SetPassword(choice.Password);
    host.FAlgorithm = choice.Algorithm;
    host.FHash = choice.Hash;
    const std::filesystem::path raw = path.string() + ".test-raw";
    datafile::Decrypt(host, path.string(), raw.string());
    const Bytes bytes = ReadBytes(raw);
    std::filesystem::remove(raw);
    TUnsealed result;
    if (std::optional<std::string> inflated = ZlibInflate(bytes)) {
        result.Compressed = true;
        result.Content = *inflated;
    } else {
        result.Content.assign(bytes.begin(), bytes.end());
    }
    return result;
}

// The names found in a folder, sorted.
inline std::vector<std::string> Listing(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Starts a program (arguments[0] is its path) in a session of its own, so
// without a controlling terminal, with standard input read from input,
// standard output and error written to output (standard error to the
// descriptor errors instead, when given), and its settings in configHome.
// Returns the child's process id.
inline pid_t StartProgram(std::vector<std::string> arguments, const std::string& input, const std::string& output,
                          const std::string& configHome, int errors = -1) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        ::setsid();
        ::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        const int in = ::open(input.c_str(), O_RDONLY);
        const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(errors >= 0 ? errors : out, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    return child;
}

// Runs body in a child process of its own and returns at once; the child
// ends with 0 when body returned true. Succeeded waits for it.
inline pid_t StartChild(const std::function<bool()>& body) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(body() ? 0 : 1);
    }
    return child;
}

// Waits for a child of StartChild: true when its body returned true.
inline bool Succeeded(pid_t child) {
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Another local user: body runs in a forked child that drops to uid 65534,
// a member of group 65534 only (needs root). AsOtherUser waits for it and is
// true when body returned true; StartAsOtherUser returns the child at once.
inline constexpr uid_t OtherUid = 65534;
inline constexpr gid_t OtherGid = 65534;
inline pid_t StartAsOtherUser(const std::function<bool()>& body) {
    return StartChild([&body] {
        const gid_t groups[] = {OtherGid};
        return ::setgroups(1, groups) == 0 && ::setgid(OtherGid) == 0 && ::setuid(OtherUid) == 0 && ::getuid() != 0 &&
               body();
    });
}
inline bool AsOtherUser(const std::function<bool()>& body) {
    return Succeeded(StartAsOtherUser(body));
}

// A fresh folder per test that the other user may pass through (mode 0711),
// holding the folder Shared (mode 0700, for the test to open to the other
// user); skipped where the other user cannot be played. A SetUp built on it
// returns when IsSkipped() or HasFatalFailure().
class TOtherUserTest : public datafile::testing::TTempDirTest {
protected:
    void SetUp() override {
        if (::geteuid() != 0) {
            GTEST_SKIP() << "playing another local user needs root (setuid to uid 65534); run the tests as root";
        }
        TTempDirTest::SetUp();
        ASSERT_EQ(::chmod(Dir.c_str(), 0711), 0);
        Shared = (Dir / "shared").string();
        ASSERT_EQ(::mkdir(Shared.c_str(), 0700), 0);
    }

    std::string Shared;
};

} // namespace quillock::testing
