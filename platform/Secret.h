// Memory for secrets (passwords, key schedules): pages locked in memory where
// the system allows, left out of core dumps, and wiped before they are given
// back; and the one text type that carries a password.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace quillock::platform {

// size bytes in pages of their own, zero-filled; locked in memory and kept
// out of core dumps where the limits allow (silently without otherwise).
// std::bad_alloc when no memory is there.
[[nodiscard]] void* AllocateSecret(std::size_t size);
// Wipes and returns memory from AllocateSecret; size as allocated.
void FreeSecret(void* data, std::size_t size) noexcept;

// A text holding a password: kept in secret memory, wiped when it is
// destroyed, reassigned or cleared; moved, never copied by accident.
class TSecretText {
public:
    TSecretText() = default;
    explicit TSecretText(std::string_view text) { Assign(text); }
    ~TSecretText() { Release(); }

    TSecretText(const TSecretText&) = delete;
    TSecretText& operator=(const TSecretText&) = delete;
    // A move leaves other empty; the content given up by an assignment is
    // released (wiped) at once.
    TSecretText(TSecretText&& other) noexcept { Swap(other); }
    TSecretText& operator=(TSecretText&& other) noexcept {
        TSecretText taken(std::move(other));
        Swap(taken);
        return *this;
    }

    // A deliberate copy.
    [[nodiscard]] TSecretText Clone() const { return TSecretText(View()); }

    void Assign(std::string_view text);
    void Append(char character);
    // Wipes the text; the memory stays for the next assignment.
    void Clear() noexcept;

    [[nodiscard]] std::string_view View() const noexcept { return {FData, FSize}; }
    [[nodiscard]] std::size_t Size() const noexcept { return FSize; }
    [[nodiscard]] bool Empty() const noexcept { return FSize == 0; }

    friend bool operator==(const TSecretText& a, const TSecretText& b) noexcept { return a.View() == b.View(); }

private:
    void Reserve(std::size_t size);
    void Release() noexcept;
    void Swap(TSecretText& other) noexcept {
        std::swap(FData, other.FData);
        std::swap(FSize, other.FSize);
        std::swap(FCapacity, other.FCapacity);
    }

    char* FData = nullptr;
    std::size_t FSize = 0;
    std::size_t FCapacity = 0;
};

} // namespace quillock::platform
