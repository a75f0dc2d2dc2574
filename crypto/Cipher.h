// The cipher framework: the abstract cipher, the block cipher with its five
// chaining modes, and the two block-size bases that implement them.
#pragma once

#include "crypto/Hash.h"
#include "platform/Component.h"
#include "platform/Secret.h"
#include "platform/Stream.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quillock::crypto {

class EDCP_cipher : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class EDCP_blockcipher : public EDCP_cipher {
public:
    using EDCP_cipher::EDCP_cipher;
};

enum TDCP_ciphermode : std::uint8_t { cmCBC = 0, cmCFB8bit = 1, cmCFBblock = 2, cmOFB = 3, cmCTR = 4 };

class TDCP_cipher;

// A cipher class reference: class-level queries of one descendant and creation.
struct TDCP_cipherclass {
    int (*Id)();
    std::string (*Algorithm)();
    int (*MaxKeySize)(); // bits
    int (*BlockSize)();  // bits; -1 for a cipher that is not a block cipher
    bool (*SelfCheck)();
    std::unique_ptr<TDCP_cipher> (*Create)(platform::TComponent* owner);
};

template <class T> const TDCP_cipherclass& CipherClassOf() {
    static const TDCP_cipherclass Class{
        &T::Id,
        &T::Algorithm,
        &T::MaxKeySize,
        &T::BlockSize,
        &T::SelfCheck,
        [](platform::TComponent* owner) -> std::unique_ptr<TDCP_cipher> { return std::make_unique<T>(owner); },
    };
    return Class;
}

class TDCP_cipher : public platform::TComponent {
public:
    explicit TDCP_cipher(platform::TComponent* owner = nullptr) : TComponent(owner) {}
    ~TDCP_cipher() override = default;

    // Objects made on the heap (the usual way, through a class reference)
    // keep their key schedule or digest state in secret memory: locked where
    // the limits allow, out of core dumps, wiped when freed.
    static void* operator new(std::size_t size) { return platform::AllocateSecret(size); }
    static void operator delete(void* data, std::size_t size) noexcept { platform::FreeSecret(data, size); }

    static int Id() { return -1; }
    static std::string Algorithm() { return {}; }
    static int MaxKeySize() { return -1; }
    static int BlockSize() { return -1; }
    static bool SelfCheck() { return false; }

    [[nodiscard]] virtual const TDCP_cipherclass& ClassType() const = 0;

    // Keys the cipher with size bits of key; iv points to one block or is null.
    virtual void Init(const void* key, std::uint32_t size, const void* iv);
    // Keys the cipher with the digest of the passphrase's 8-bit bytes.
    void InitFromPassphrase(std::string_view passphrase, const TDCP_hashclass& digestClass);
    virtual void Scrub();
    virtual void Reset() {}
    virtual void EncryptData(const void* inData, void* outData, std::uint32_t size);
    virtual void DecryptData(const void* inData, void* outData, std::uint32_t size);
    // Base64 of the enciphered bytes of text, and the reverse.
    virtual std::string EncryptText(std::string_view text);
    virtual std::string DecryptText(std::string_view text);

    // Enciphers size bytes from the current position of inStream to the current
    // position of outStream, in chunks of 8,192 bytes with the chaining carried
    // over; returns the number of bytes read.
    std::uint32_t EncryptFromStream(platform::TStream& inStream, platform::TStream& outStream, std::uint32_t size);
    std::uint32_t DecryptFromStream(platform::TStream& inStream, platform::TStream& outStream, std::uint32_t size);

    [[nodiscard]] bool Initialized() const noexcept { return FInitialized; }

protected:
    bool FInitialized = false;
};

class TDCP_blockcipher : public TDCP_cipher {
public:
    explicit TDCP_blockcipher(platform::TComponent* owner = nullptr) : TDCP_cipher(owner) {}

    [[nodiscard]] TDCP_ciphermode CipherMode() const noexcept { return FCipherMode; }
    void SetCipherMode(TDCP_ciphermode mode) noexcept { FCipherMode = mode; }

    // Dispatch on the chaining mode.
    void EncryptData(const void* inData, void* outData, std::uint32_t size) override;
    void DecryptData(const void* inData, void* outData, std::uint32_t size) override;
    // Always byte-wise cipher feedback, whatever the chaining mode.
    std::string EncryptText(std::string_view text) override;
    std::string DecryptText(std::string_view text) override;

    virtual void ExpandKey(const void* key, std::uint32_t size) {
        (void)key;
        (void)size;
    }
    virtual void SetInitVector(const void* value) { (void)value; }
    virtual void GetChainVector(void* value) { (void)value; }
    virtual void EncryptBlock(const void* inBlock, void* outBlock) {
        (void)inBlock;
        (void)outBlock;
    }
    virtual void DecryptBlock(const void* inBlock, void* outBlock) {
        (void)inBlock;
        (void)outBlock;
    }

    virtual void CbcEncrypt(const void* inData, void* outData, std::uint32_t size) = 0;
    virtual void CbcDecrypt(const void* inData, void* outData, std::uint32_t size) = 0;
    virtual void Cfb8Encrypt(const void* inData, void* outData, std::uint32_t size) = 0;
    virtual void Cfb8Decrypt(const void* inData, void* outData, std::uint32_t size) = 0;
    virtual void CfbBlockEncrypt(const void* inData, void* outData, std::uint32_t size) = 0;
    virtual void CfbBlockDecrypt(const void* inData, void* outData, std::uint32_t size) = 0;
    virtual void OfbEncrypt(const void* inData, void* outData, std::uint32_t size) = 0;
    virtual void OfbDecrypt(const void* inData, void* outData, std::uint32_t size) = 0;
    virtual void CtrEncrypt(const void* inData, void* outData, std::uint32_t size) = 0;
    virtual void CtrDecrypt(const void* inData, void* outData, std::uint32_t size) = 0;

private:
    TDCP_ciphermode FCipherMode = cmCBC;
};

// The chaining modes for one block size (8 or 16 bytes). Descendants supply
// ExpandKey, EncryptBlock and DecryptBlock, and wipe their schedule in Scrub
// before calling this Scrub.
template <std::size_t BlockBytes> class TDCP_blockcipherN : public TDCP_blockcipher {
public:
    using Block = std::array<std::uint8_t, BlockBytes>;

    // Starts unkeyed with the chaining buffers as Scrub leaves them (all 0xFF).
    explicit TDCP_blockcipherN(platform::TComponent* owner = nullptr) : TDCP_blockcipher(owner) {
        InitVector.fill(0xFF);
        ChainVector.fill(0xFF);
    }

    static int BlockSize() { return static_cast<int>(BlockBytes * 8); }

    void Init(const void* key, std::uint32_t size, const void* iv) override;
    void Scrub() override;
    void Reset() override;
    void SetInitVector(const void* value) override;
    void GetChainVector(void* value) override;

    void CbcEncrypt(const void* inData, void* outData, std::uint32_t size) override;
    void CbcDecrypt(const void* inData, void* outData, std::uint32_t size) override;
    void Cfb8Encrypt(const void* inData, void* outData, std::uint32_t size) override;
    void Cfb8Decrypt(const void* inData, void* outData, std::uint32_t size) override;
    void CfbBlockEncrypt(const void* inData, void* outData, std::uint32_t size) override;
    void CfbBlockDecrypt(const void* inData, void* outData, std::uint32_t size) override;
    void OfbEncrypt(const void* inData, void* outData, std::uint32_t size) override;
    void OfbDecrypt(const void* inData, void* outData, std::uint32_t size) override;
    void CtrEncrypt(const void* inData, void* outData, std::uint32_t size) override;
    void CtrDecrypt(const void* inData, void* outData, std::uint32_t size) override;

    // Adds one to ChainVector read as a big-endian counter.
    void StepCounter() noexcept;

protected:
    void CheckInitialized() const;
    // CV := E(CV), then out := in XOR the first tail bytes of CV.
    void FeedbackTail(const std::uint8_t* in, std::uint8_t* out, std::size_t tail);
    // Checks the key, calls step(in, out) for each whole block of the size
    // bytes, then FeedbackTail for the rest.
    template <class Step> void ForEachBlock(const void* inData, void* outData, std::uint32_t size, Step step);
    // Byte-wise cipher feedback, one direction.
    template <bool Encrypting> void Cfb8(const void* inData, void* outData, std::uint32_t size);

    Block InitVector{};
    Block ChainVector{};
};

extern template class TDCP_blockcipherN<8>;
extern template class TDCP_blockcipherN<16>;

using TDCP_blockcipher64 = TDCP_blockcipherN<8>;
using TDCP_blockcipher128 = TDCP_blockcipherN<16>;

// XORs len bytes of src into dest.
void XorBytes(void* dest, const void* src, std::size_t len) noexcept;

} // namespace quillock::crypto
