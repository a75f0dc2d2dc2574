// The digest framework: the abstract digest class, its error and the digest
// class reference that answers class-level queries without an instance.
#pragma once

#include "platform/Component.h"
#include "platform/Secret.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quillock::crypto {

class EDCP_hash : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TDCP_hash;

// A digest class reference (`DigestClass`): the class-level queries of one
// TDCP_hash descendant and a way to create an instance of it.
struct TDCP_hashclass {
    int (*Id)();
    std::string (*Algorithm)();
    int (*HashSize)(); // bits
    bool (*SelfCheck)();
    std::unique_ptr<TDCP_hash> (*Create)(platform::TComponent* owner);
};

// The reference of digest class T (T must have the static queries and a
// constructor taking an owner).
template <class T> const TDCP_hashclass& HashClassOf() {
    static const TDCP_hashclass Class{
        &T::Id,
        &T::Algorithm,
        &T::HashSize,
        &T::SelfCheck,
        [](platform::TComponent* owner) -> std::unique_ptr<TDCP_hash> { return std::make_unique<T>(owner); },
    };
    return Class;
}

class TDCP_hash : public platform::TComponent {
public:
    explicit TDCP_hash(platform::TComponent* owner = nullptr) : TComponent(owner) {}
    // Concrete digests scrub a started object in their own destructor.
    ~TDCP_hash() override = default;

    // Objects made on the heap (the usual way, through a class reference)
    // keep their key schedule or digest state in secret memory: locked where
    // the limits allow, out of core dumps, wiped when freed.
    static void* operator new(std::size_t size) { return platform::AllocateSecret(size); }
    static void operator delete(void* data, std::size_t size) noexcept { platform::FreeSecret(data, size); }

    // Class-level queries; descendants hide them with their own values.
    static int Id() { return -1; }
    static std::string Algorithm() { return {}; }
    static int HashSize() { return -1; }
    static bool SelfCheck() { return false; }

    // The class of this object, for class-level queries through an instance.
    [[nodiscard]] virtual const TDCP_hashclass& ClassType() const = 0;

    virtual void Init() {}
    // Writes HashSize / 8 bytes to digest.
    virtual void Final(void* digest) { (void)digest; }
    virtual void Scrub() {}
    virtual void Update(const void* buffer, std::uint32_t size) {
        (void)buffer;
        (void)size;
    }

    // Feeds the bytes of an 8-bit string: exactly its length, no terminator.
    void UpdateString(std::string_view text);

    [[nodiscard]] bool Initialized() const noexcept { return FInitialized; }

protected:
    bool FInitialized = false;
};

} // namespace quillock::crypto
