// Page-aligned buffers: alignment at every size, ownership on move.
#include "platform/AlignedBuffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <utility>

namespace quillock::platform {
namespace {

TEST(AlignedBuffer, EverySizeStartsOnAPageAndIsWritable) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{1}, BufferAlignment - 1, BufferAlignment,
                                   BufferAlignment + 1, std::size_t{1} << 20}) {
        SCOPED_TRACE(size);
        TAlignedBuffer buffer(size);
        ASSERT_NE(buffer.Data(), nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.Data()) % BufferAlignment, 0u);
        EXPECT_EQ(buffer.Size(), size);
        std::memset(buffer.Data(), 0x5A, size); // the whole size is ours to write
    }
}

TEST(AlignedBuffer, MoveHandsOverTheMemory) {
    TAlignedBuffer a(100);
    std::uint8_t* const data = a.Data();
    data[99] = 7;
    TAlignedBuffer b(std::move(a));
    EXPECT_EQ(b.Data(), data);
    EXPECT_EQ(b.Size(), 100u);
    EXPECT_EQ(a.Data(), nullptr); // NOLINT(bugprone-use-after-move): the moved-from state is part of the contract
    EXPECT_EQ(a.Size(), 0u);

    TAlignedBuffer c(10);
    c = std::move(b);
    EXPECT_EQ(c.Data(), data);
    EXPECT_EQ(c.Data()[99], 7);
}

TEST(AlignedBuffer, ImpossibleSizeThrowsBadAlloc) {
    EXPECT_THROW(TAlignedBuffer(SIZE_MAX - 10), std::bad_alloc);
}

} // namespace
} // namespace quillock::platform
