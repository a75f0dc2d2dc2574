// Page-aligned heap buffers, wiped before they are freed.
#include "platform/AlignedBuffer.h"

#include "platform/Wipe.h"

#include <cstdlib>
#include <new>
#include <utility>

namespace quillock::platform {

TAlignedBuffer::TAlignedBuffer(std::size_t size) : FSize(size) {
    // aligned_alloc wants a whole number of alignment units, and at least one.
    FCapacity = size == 0 ? BufferAlignment : (size + BufferAlignment - 1) / BufferAlignment * BufferAlignment;
    if (FCapacity < size) {
        throw std::bad_alloc();
    }
    FData = static_cast<std::uint8_t*>(std::aligned_alloc(BufferAlignment, FCapacity));
    if (FData == nullptr) {
        throw std::bad_alloc();
    }
}

TAlignedBuffer::~TAlignedBuffer() {
    Release();
}

void TAlignedBuffer::Release() noexcept {
    if (FData != nullptr) {
        // Large buffers carry plain text through reads and writes.
        SecureZero(FData, FCapacity);
        std::free(FData);
        FData = nullptr;
    }
}

} // namespace quillock::platform
