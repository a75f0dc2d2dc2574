// Secret memory and the password text: locked, undumpable pages, wiped on
// every way out, moved rather than copied.
#include "platform/Secret.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace quillock::platform {
namespace {

// The VmFlags line of the mapping that holds address, from /proc/self/smaps.
std::string MappingFlags(const void* address) {
    std::ifstream smaps("/proc/self/smaps");
    const auto where = reinterpret_cast<std::uintptr_t>(address);
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        unsigned long long begin = 0;
        unsigned long long end = 0;
        if (std::sscanf(line.c_str(), "%llx-%llx ", &begin, &end) == 2) {
            inside = where >= begin && where < end;
        } else if (inside && line.starts_with("VmFlags:")) {
            return line;
        }
    }
    return "";
}

TEST(SecretTest, SecretMemoryIsZeroedAndKeptOutOfCoreDumps) {
    auto* data = static_cast<unsigned char*>(AllocateSecret(100));
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(data[i], 0);
    }
    const std::string flags = MappingFlags(data);
    ASSERT_FALSE(flags.empty()) << "no mapping found in /proc/self/smaps";
    // Locking is asked for; only a limit may refuse it (root has none here),
    // or the address sanitizer, which turns mlock into a no-op.
#if !defined(__SANITIZE_ADDRESS__)
    const bool lockingWorks = ::geteuid() == 0;
#else
    const bool lockingWorks = false;
#endif
    if (lockingWorks) {
        EXPECT_NE(flags.find(" lo"), std::string::npos) << flags;
    }
    FreeSecret(data, 100);
    if (tests::UnderEmulation()) {
        GTEST_SKIP() << "qemu's user-mode emulation takes madvise(MADV_DONTDUMP) as a hint and drops it";
    }
    EXPECT_NE(flags.find(" dd"), std::string::npos) << flags;
}

TEST(SecretTest, TextIsMovedAssignedAndCompared) {
    TSecretText text("correct horse");
    EXPECT_EQ(text.View(), "correct horse");
    TSecretText moved(std::move(text));
    EXPECT_EQ(moved.View(), "correct horse");
    EXPECT_TRUE(text.Empty()); // NOLINT(bugprone-use-after-move): a moved-from text is empty

    TSecretText copy = moved.Clone();
    EXPECT_EQ(copy, moved);
    copy.Append('!');
    EXPECT_EQ(copy.View(), "correct horse!");
    EXPECT_FALSE(copy == moved);

    // Growing past a page keeps the text.
    TSecretText grown;
    for (int i = 0; i < 5000; ++i) {
        grown.Append(static_cast<char>('a' + i % 26));
    }
    EXPECT_EQ(grown.Size(), 5000u);
    EXPECT_EQ(grown.View().substr(0, 3), "abc");
    EXPECT_EQ(grown.View().substr(4998), "gh"); // 4998 % 26 == 6
}

TEST(SecretTest, ClearAndReassignmentWipeTheOldBytes) {
    TSecretText text("hunter2-long-enough");
    const char* bytes = text.View().data();
    text.Clear();
    EXPECT_TRUE(text.Empty());
    // The memory stays ours after Clear, so it can be looked at: all zero.
    for (std::size_t i = 0; i < 19; ++i) {
        EXPECT_EQ(bytes[i], '\0') << i;
    }
    text.Assign("new");
    EXPECT_EQ(text.View(), "new");
    EXPECT_EQ(text.View().data(), bytes) << "a shorter text reuses the wiped memory";
    EXPECT_EQ(bytes[3], '\0') << "nothing of the old text stays behind the new one";
}

} // namespace
} // namespace quillock::platform
