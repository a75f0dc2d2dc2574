// The cipher framework: keying, passphrase keying, stream routines, text
// encryption and the five chaining modes for 8- and 16-byte blocks.
#include "crypto/Cipher.h"

#include "crypto/Base64.h"
#include "platform/Wipe.h"

#include <cstring>
#include <iterator>
#include <vector>

namespace quillock::crypto {
namespace {

constexpr std::uint32_t StreamChunk = 8192;

// Runs size bytes from inStream through process in chunks of 8,192 bytes; a
// short read is processed as it came.
template <class Process>
std::uint32_t ProcessStream(platform::TStream& inStream, platform::TStream& outStream, std::uint32_t size,
                            Process process) {
    std::uint32_t result = 0;
    alignas(64) std::uint8_t buffer[StreamChunk];
    // The buffer holds plain text on one side or the other: wiped however we leave.
    struct TWipeOnExit {
        std::uint8_t* Data;
        ~TWipeOnExit() { platform::SecureZero(Data, StreamChunk); }
    } wipe{buffer};
    auto step = [&](std::uint32_t want) {
        const auto got = static_cast<std::uint32_t>(inStream.Read(buffer, want));
        result += got;
        process(buffer, got);
        // A destination that takes less would lose data silently: that is an error.
        outStream.WriteBuffer(buffer, got);
    };
    for (std::uint32_t i = 0; i < size / StreamChunk; ++i) {
        step(StreamChunk);
    }
    if (size % StreamChunk != 0) {
        step(size % StreamChunk);
    }
    return result;
}

// The Base64 of text run through encrypt(data, size); the plain copy is wiped.
template <class Encrypt> std::string EncipherText(std::string_view text, Encrypt encrypt) {
    std::string data(text);
    encrypt(data.data(), static_cast<std::uint32_t>(data.size()));
    std::string result = Base64EncodeStr(data);
    platform::SecureClear(data);
    return result;
}

// The Base64 text decoded and run through decrypt(data, size).
template <class Decrypt> std::string DecipherText(std::string_view text, Decrypt decrypt) {
    std::string data = Base64DecodeStr(text);
    decrypt(data.data(), static_cast<std::uint32_t>(data.size()));
    return data;
}

// Calls the routine of a chaining mode; its address, taken at compile time,
// is the pointer the mode table holds.
template <void (TDCP_blockcipher::*Routine)(const void*, void*, std::uint32_t)>
void CallRoutine(TDCP_blockcipher& cipher, const void* inData, void* outData, std::uint32_t size) {
    (cipher.*Routine)(inData, outData, size);
}

// The encrypting and the decrypting routine of each chaining mode, in the
// order of TDCP_ciphermode. Plain function pointers: GCC 12's sanitizer
// build takes a table of member-function pointers for an uninitialised read.
using TModeRoutine = void (*)(TDCP_blockcipher& cipher, const void* inData, void* outData, std::uint32_t size);
constexpr TModeRoutine ModeRoutines[][2] = {
    {CallRoutine<&TDCP_blockcipher::CbcEncrypt>, CallRoutine<&TDCP_blockcipher::CbcDecrypt>},
    {CallRoutine<&TDCP_blockcipher::Cfb8Encrypt>, CallRoutine<&TDCP_blockcipher::Cfb8Decrypt>},
    {CallRoutine<&TDCP_blockcipher::CfbBlockEncrypt>, CallRoutine<&TDCP_blockcipher::CfbBlockDecrypt>},
    {CallRoutine<&TDCP_blockcipher::OfbEncrypt>, CallRoutine<&TDCP_blockcipher::OfbDecrypt>},
    {CallRoutine<&TDCP_blockcipher::CtrEncrypt>, CallRoutine<&TDCP_blockcipher::CtrDecrypt>},
};
static_assert(std::size(ModeRoutines) == cmCTR + 1, "one row per chaining mode");

// Runs size bytes through the encrypting or the decrypting routine of the
// cipher's chaining mode; a mode outside the enumeration processes nothing.
void RunChainingMode(TDCP_blockcipher& cipher, bool encrypting, const void* inData, void* outData, std::uint32_t size) {
    if (const TDCP_ciphermode mode = cipher.CipherMode(); mode < std::size(ModeRoutines)) {
        ModeRoutines[mode][encrypting ? 0 : 1](cipher, inData, outData, size);
    }
}

} // namespace

void XorBytes(void* dest, const void* src, std::size_t len) noexcept {
    auto* d = static_cast<std::uint8_t*>(dest);
    const auto* s = static_cast<const std::uint8_t*>(src);
    for (std::size_t i = 0; i < len; ++i) {
        d[i] ^= s[i];
    }
}

// ---- TDCP_cipher ----

void TDCP_cipher::Init(const void* key, std::uint32_t size, const void* iv) {
    (void)key;
    (void)iv;
    if (FInitialized) {
        Scrub();
    }
    const int maxKeySize = ClassType().MaxKeySize();
    if (size == 0 || size % 4 != 0 || maxKeySize < 0 || size > static_cast<std::uint32_t>(maxKeySize)) {
        throw EDCP_cipher("Invalid key size");
    }
    FInitialized = true;
}

void TDCP_cipher::InitFromPassphrase(std::string_view passphrase, const TDCP_hashclass& digestClass) {
    if (FInitialized) {
        Scrub();
    }
    std::vector<std::uint8_t> digest;
    try {
        const int hashSize = digestClass.HashSize();
        if (hashSize <= 0) {
            throw EDCP_hash("Invalid digest size");
        }
        digest.resize(static_cast<std::size_t>(hashSize) / 8);
        {
            std::unique_ptr<TDCP_hash> hash = digestClass.Create(this);
            hash->Init();
            hash->UpdateString(passphrase);
            hash->Final(digest.data());
        }
        const int maxKeySize = ClassType().MaxKeySize();
        const int keySize = maxKeySize < hashSize ? maxKeySize : hashSize;
        Init(digest.data(), static_cast<std::uint32_t>(keySize), nullptr);
    } catch (...) {
        platform::SecureFill(digest.data(), digest.size(), 0xFF);
        throw EDCP_cipher("Unable to allocate sufficient memory for hash digest");
    }
    platform::SecureFill(digest.data(), digest.size(), 0xFF);
}

void TDCP_cipher::Scrub() {
    FInitialized = false;
}

void TDCP_cipher::EncryptData(const void* inData, void* outData, std::uint32_t size) {
    (void)inData;
    (void)outData;
    (void)size;
}

void TDCP_cipher::DecryptData(const void* inData, void* outData, std::uint32_t size) {
    (void)inData;
    (void)outData;
    (void)size;
}

std::string TDCP_cipher::EncryptText(std::string_view text) {
    return EncipherText(text, [this](char* data, std::uint32_t size) { EncryptData(data, data, size); });
}

std::string TDCP_cipher::DecryptText(std::string_view text) {
    return DecipherText(text, [this](char* data, std::uint32_t size) { DecryptData(data, data, size); });
}

std::uint32_t TDCP_cipher::EncryptFromStream(platform::TStream& inStream, platform::TStream& outStream,
                                             std::uint32_t size) {
    return ProcessStream(inStream, outStream, size,
                         [this](std::uint8_t* data, std::uint32_t n) { EncryptData(data, data, n); });
}

std::uint32_t TDCP_cipher::DecryptFromStream(platform::TStream& inStream, platform::TStream& outStream,
                                             std::uint32_t size) {
    return ProcessStream(inStream, outStream, size,
                         [this](std::uint8_t* data, std::uint32_t n) { DecryptData(data, data, n); });
}

// ---- TDCP_blockcipher ----

void TDCP_blockcipher::EncryptData(const void* inData, void* outData, std::uint32_t size) {
    RunChainingMode(*this, true, inData, outData, size);
}

void TDCP_blockcipher::DecryptData(const void* inData, void* outData, std::uint32_t size) {
    RunChainingMode(*this, false, inData, outData, size);
}

std::string TDCP_blockcipher::EncryptText(std::string_view text) {
    return EncipherText(text, [this](char* data, std::uint32_t size) { Cfb8Encrypt(data, data, size); });
}

std::string TDCP_blockcipher::DecryptText(std::string_view text) {
    return DecipherText(text, [this](char* data, std::uint32_t size) { Cfb8Decrypt(data, data, size); });
}

// ---- TDCP_blockcipherN ----

template <std::size_t N> void TDCP_blockcipherN<N>::CheckInitialized() const {
    if (!FInitialized) {
        throw EDCP_blockcipher("Cipher not initialized");
    }
}

template <std::size_t N> void TDCP_blockcipherN<N>::Init(const void* key, std::uint32_t size, const void* iv) {
    TDCP_cipher::Init(key, size, iv);
    try {
        ExpandKey(key, size);
        if (iv != nullptr) {
            std::memcpy(InitVector.data(), iv, N);
        } else {
            InitVector.fill(0);
            EncryptBlock(InitVector.data(), InitVector.data());
        }
    } catch (...) {
        // A key the algorithm refuses leaves the object unkeyed, not half keyed.
        Scrub();
        throw;
    }
    Reset();
}

template <std::size_t N> void TDCP_blockcipherN<N>::Scrub() {
    platform::SecureFill(InitVector.data(), N, 0xFF);
    platform::SecureFill(ChainVector.data(), N, 0xFF);
    TDCP_blockcipher::Scrub();
}

template <std::size_t N> void TDCP_blockcipherN<N>::Reset() {
    CheckInitialized();
    ChainVector = InitVector;
}

template <std::size_t N> void TDCP_blockcipherN<N>::SetInitVector(const void* value) {
    CheckInitialized();
    std::memcpy(InitVector.data(), value, N);
    Reset();
}

template <std::size_t N> void TDCP_blockcipherN<N>::GetChainVector(void* value) {
    CheckInitialized();
    std::memcpy(value, ChainVector.data(), N);
}

template <std::size_t N> void TDCP_blockcipherN<N>::StepCounter() noexcept {
    ChainVector[N - 1] = static_cast<std::uint8_t>(ChainVector[N - 1] + 1);
    for (std::size_t i = N - 1; i > 0 && ChainVector[i] == 0; --i) {
        ChainVector[i - 1] = static_cast<std::uint8_t>(ChainVector[i - 1] + 1);
    }
}

template <std::size_t N>
void TDCP_blockcipherN<N>::FeedbackTail(const std::uint8_t* in, std::uint8_t* out, std::size_t tail) {
    if (tail == 0) {
        return;
    }
    EncryptBlock(ChainVector.data(), ChainVector.data());
    for (std::size_t j = 0; j < tail; ++j) {
        out[j] = static_cast<std::uint8_t>(in[j] ^ ChainVector[j]);
    }
}

template <std::size_t N>
template <class Step>
void TDCP_blockcipherN<N>::ForEachBlock(const void* inData, void* outData, std::uint32_t size, Step step) {
    CheckInitialized();
    const auto* in = static_cast<const std::uint8_t*>(inData);
    auto* out = static_cast<std::uint8_t*>(outData);
    for (std::uint32_t i = 0; i < size / N; ++i, in += N, out += N) {
        step(in, out);
    }
    // A tail shorter than a block is enciphered as output feedback from the
    // chaining vector, so the length is kept without padding; decryption
    // uses the forward cipher for it too.
    FeedbackTail(in, out, size % N);
}

template <std::size_t N> void TDCP_blockcipherN<N>::CbcEncrypt(const void* inData, void* outData, std::uint32_t size) {
    ForEachBlock(inData, outData, size, [this](const std::uint8_t* in, std::uint8_t* out) {
        XorBytes(ChainVector.data(), in, N);
        EncryptBlock(ChainVector.data(), ChainVector.data());
        std::memcpy(out, ChainVector.data(), N);
    });
}

template <std::size_t N> void TDCP_blockcipherN<N>::CbcDecrypt(const void* inData, void* outData, std::uint32_t size) {
    ForEachBlock(inData, outData, size, [this](const std::uint8_t* in, std::uint8_t* out) {
        Block cipherBlock;
        std::memcpy(cipherBlock.data(), in, N); // in and out may be the same buffer
        Block plain;
        DecryptBlock(cipherBlock.data(), plain.data());
        for (std::size_t j = 0; j < N; ++j) {
            out[j] = static_cast<std::uint8_t>(plain[j] ^ ChainVector[j]);
        }
        ChainVector = cipherBlock;
    });
}

template <std::size_t N>
template <bool Encrypting>
void TDCP_blockcipherN<N>::Cfb8(const void* inData, void* outData, std::uint32_t size) {
    CheckInitialized();
    const auto* in = static_cast<const std::uint8_t*>(inData);
    auto* out = static_cast<std::uint8_t*>(outData);
    Block keystream{};
    for (std::uint32_t i = 0; i < size; ++i) {
        EncryptBlock(ChainVector.data(), keystream.data());
        // The ciphertext byte is fed back; it is read before out[i] is
        // written, so in and out may be the same buffer.
        const std::uint8_t c = Encrypting ? static_cast<std::uint8_t>(in[i] ^ keystream[0]) : in[i];
        std::memmove(ChainVector.data(), ChainVector.data() + 1, N - 1);
        ChainVector[N - 1] = c;
        out[i] = Encrypting ? c : static_cast<std::uint8_t>(c ^ keystream[0]);
    }
    platform::SecureZero(keystream.data(), keystream.size());
}

template <std::size_t N> void TDCP_blockcipherN<N>::Cfb8Encrypt(const void* inData, void* outData, std::uint32_t size) {
    Cfb8<true>(inData, outData, size);
}

template <std::size_t N> void TDCP_blockcipherN<N>::Cfb8Decrypt(const void* inData, void* outData, std::uint32_t size) {
    Cfb8<false>(inData, outData, size);
}

template <std::size_t N>
void TDCP_blockcipherN<N>::CfbBlockEncrypt(const void* inData, void* outData, std::uint32_t size) {
    ForEachBlock(inData, outData, size, [this](const std::uint8_t* in, std::uint8_t* out) {
        EncryptBlock(ChainVector.data(), ChainVector.data());
        XorBytes(ChainVector.data(), in, N);
        std::memcpy(out, ChainVector.data(), N);
    });
}

template <std::size_t N>
void TDCP_blockcipherN<N>::CfbBlockDecrypt(const void* inData, void* outData, std::uint32_t size) {
    ForEachBlock(inData, outData, size, [this](const std::uint8_t* in, std::uint8_t* out) {
        Block cipherBlock;
        std::memcpy(cipherBlock.data(), in, N);
        EncryptBlock(ChainVector.data(), ChainVector.data());
        for (std::size_t j = 0; j < N; ++j) {
            out[j] = static_cast<std::uint8_t>(cipherBlock[j] ^ ChainVector[j]);
        }
        ChainVector = cipherBlock;
    });
}

template <std::size_t N> void TDCP_blockcipherN<N>::OfbEncrypt(const void* inData, void* outData, std::uint32_t size) {
    ForEachBlock(inData, outData, size, [this](const std::uint8_t* in, std::uint8_t* out) {
        EncryptBlock(ChainVector.data(), ChainVector.data());
        for (std::size_t j = 0; j < N; ++j) {
            out[j] = static_cast<std::uint8_t>(in[j] ^ ChainVector[j]);
        }
    });
}

template <std::size_t N> void TDCP_blockcipherN<N>::OfbDecrypt(const void* inData, void* outData, std::uint32_t size) {
    OfbEncrypt(inData, outData, size);
}

template <std::size_t N> void TDCP_blockcipherN<N>::CtrEncrypt(const void* inData, void* outData, std::uint32_t size) {
    CheckInitialized();
    const auto* in = static_cast<const std::uint8_t*>(inData);
    auto* out = static_cast<std::uint8_t*>(outData);
    Block keystream{};
    for (std::uint32_t done = 0; done < size;) {
        EncryptBlock(ChainVector.data(), keystream.data());
        StepCounter();
        const std::uint32_t count = size - done < N ? size - done : static_cast<std::uint32_t>(N);
        for (std::uint32_t j = 0; j < count; ++j) {
            out[done + j] = static_cast<std::uint8_t>(in[done + j] ^ keystream[j]);
        }
        done += count;
    }
    platform::SecureZero(keystream.data(), keystream.size());
}

template <std::size_t N> void TDCP_blockcipherN<N>::CtrDecrypt(const void* inData, void* outData, std::uint32_t size) {
    CtrEncrypt(inData, outData, size);
}

template class TDCP_blockcipherN<8>;
template class TDCP_blockcipherN<16>;

} // namespace quillock::crypto
