// Locked, undumpable, wiped memory for secrets, and the password text type.
#include "platform/Secret.h"

#include "platform/Wipe.h"

#include <cstring>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace quillock::platform {
namespace {

std::size_t PageRounded(std::size_t size) {
    static const std::size_t page = [] {
        const long value = ::sysconf(_SC_PAGESIZE);
        return value > 0 ? static_cast<std::size_t>(value) : std::size_t{4096};
    }();
    return (size + page - 1) / page * page;
}

} // namespace

void* AllocateSecret(std::size_t size) {
    const std::size_t length = PageRounded(size == 0 ? 1 : size);
    void* data = ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (data == MAP_FAILED) {
        throw std::bad_alloc();
    }
    // Both are requests: over the locked-memory limit the secret still works,
    // only without the guarantee that it never reaches the swap.
    (void)::madvise(data, length, MADV_DONTDUMP);
    (void)::mlock(data, length);
    return data;
}

void FreeSecret(void* data, std::size_t size) noexcept {
    if (data == nullptr) {
        return;
    }
    const std::size_t length = PageRounded(size == 0 ? 1 : size);
    SecureZero(data, length);
    (void)::munlock(data, length);
    (void)::munmap(data, length);
}

void TSecretText::Assign(std::string_view text) {
    Clear();
    Reserve(text.size());
    if (!text.empty()) {
        std::memcpy(FData, text.data(), text.size());
    }
    FSize = text.size();
}

void TSecretText::Append(char character) {
    Reserve(FSize + 1);
    FData[FSize++] = character;
}

void TSecretText::Clear() noexcept {
    if (FData != nullptr) {
        SecureZero(FData, FCapacity);
    }
    FSize = 0;
}

void TSecretText::Reserve(std::size_t size) {
    if (size <= FCapacity && FData != nullptr) {
        return;
    }
    const std::size_t capacity = PageRounded(size == 0 ? 1 : size);
    auto* data = static_cast<char*>(AllocateSecret(capacity));
    if (FSize != 0) {
        std::memcpy(data, FData, FSize);
    }
    const std::size_t keep = FSize;
    Release();
    FData = data;
    FCapacity = capacity;
    FSize = keep;
}

void TSecretText::Release() noexcept {
    FreeSecret(FData, FCapacity);
    FData = nullptr;
    FSize = 0;
    FCapacity = 0;
}

} // namespace quillock::platform
