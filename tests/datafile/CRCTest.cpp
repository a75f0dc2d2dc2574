// The fast CRC-32 paths (the processor's instructions: carry-less multiplication
// on x86, CRC32 on 64-bit Arm; and the slicing tables) against the byte-wise
// reference and against zlib, at every alignment and length.
#include "datafile/CRC.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace quillock::datafile {
namespace {

std::vector<std::uint8_t> RandomBytes(std::size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> data(size);
    for (auto& b : data) {
        b = static_cast<std::uint8_t>(rng());
    }
    return data;
}

// zlib takes and returns the finished checksum; ours runs on the state before
// the final inversion.
std::uint32_t ZlibCrc(const std::uint8_t* data, std::size_t len) {
    return static_cast<std::uint32_t>(crc32(0L, data, static_cast<uInt>(len)));
}

// Each test runs with the processor's instructions allowed (skipped where it
// lacks them) and with the slicing tables forced.
class CRC32Paths : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam() && !CRC32AccelerationAvailable()) {
            GTEST_SKIP() << "this processor has no CRC instructions that this build uses";
        }
        FPrevious = SetCRC32Acceleration(GetParam());
    }
    void TearDown() override { SetCRC32Acceleration(FPrevious); }

private:
    bool FPrevious = true;
};

INSTANTIATE_TEST_SUITE_P(Paths, CRC32Paths, ::testing::Bool(), [](const ::testing::TestParamInfo<bool>& info) {
    return std::string(info.param ? "Instructions" : "Slicing");
});

TEST_P(CRC32Paths, CheckValue) {
    EXPECT_EQ(UpdateCRC32Fast(0xFFFFFFFF, "123456789", 9) ^ 0xFFFFFFFF, 0xCBF43926u);
    // 128 bytes and more take the instructions where they are allowed.
    const std::string longer(1000, 'a');
    EXPECT_EQ(UpdateCRC32Fast(0xFFFFFFFF, longer.data(), longer.size()) ^ 0xFFFFFFFF,
              ZlibCrc(reinterpret_cast<const std::uint8_t*>(longer.data()), longer.size()));
}

// Every start offset 0..63 and every length 0..1024, from several running
// values, as the reference computes them; the slicing tables on their own too.
TEST_P(CRC32Paths, EveryAlignmentAndLengthMatchesTheReference) {
    const auto data = RandomBytes(64 + 1024, 1);
    for (std::size_t offset = 0; offset < 64; ++offset) {
        for (std::size_t len = 0; len <= 1024; ++len) {
            const std::uint8_t* p = data.data() + offset;
            const std::uint32_t start = len % 3 == 0 ? 0xFFFFFFFF : static_cast<std::uint32_t>(len * 2654435761u);
            const std::uint32_t expected = UpdateCRC32(start, p, len);
            ASSERT_EQ(UpdateCRC32Fast(start, p, len), expected) << "offset " << offset << " length " << len;
            ASSERT_EQ(UpdateCRC32Slicing(start, p, len), expected) << "offset " << offset << " length " << len;
        }
    }
}

// Large buffers, odd sizes, and all-zero and all-one data (where a mistaken
// constant in the folding still gives a plausible-looking result).
TEST_P(CRC32Paths, LargeBuffersMatchTheReferenceAndZlib) {
    for (const std::size_t size : {4095u, 65536u + 17u, (1u << 20) + 3u, (5u << 20) + 1u}) {
        SCOPED_TRACE(size);
        auto data = RandomBytes(size, static_cast<unsigned>(size));
        for (int fill = 0; fill < 3; ++fill) {
            if (fill > 0) {
                std::fill(data.begin(), data.end(), fill == 1 ? 0x00 : 0xFF);
            }
            const std::uint32_t expected = UpdateCRC32(0xFFFFFFFF, data.data(), size);
            EXPECT_EQ(UpdateCRC32Fast(0xFFFFFFFF, data.data(), size), expected);
            EXPECT_EQ(UpdateCRC32Fast(0xFFFFFFFF, data.data(), size) ^ 0xFFFFFFFF, ZlibCrc(data.data(), size));
        }
    }
}

// Split anywhere, the pieces give the checksum of the whole.
TEST_P(CRC32Paths, PiecesGiveTheChecksumOfTheWhole) {
    const auto data = RandomBytes(300000, 2);
    const std::uint32_t whole = UpdateCRC32(0xFFFFFFFF, data.data(), data.size());
    std::mt19937 rng(3);
    for (int trial = 0; trial < 20; ++trial) {
        std::uint32_t running = 0xFFFFFFFF;
        for (std::size_t at = 0; at < data.size();) {
            const std::size_t piece = std::min<std::size_t>(data.size() - at, rng() % 70000);
            running = UpdateCRC32Fast(running, data.data() + at, piece);
            at += piece;
        }
        EXPECT_EQ(running, whole);
    }
}

// The instructions are those of the processor family the program was built for.
TEST(CRC32Instructions, BelongToTheProcessorFamily) {
#if defined(__aarch64__)
    EXPECT_STREQ(CRC32AccelerationName(), "ARMv8 CRC32 instructions");
#elif defined(__x86_64__) || defined(__i386__)
    EXPECT_STREQ(CRC32AccelerationName(), "carry-less multiplication");
#else
    EXPECT_EQ(CRC32AccelerationName(), nullptr);
    EXPECT_FALSE(CRC32AccelerationAvailable());
#endif
}

} // namespace
} // namespace quillock::datafile
