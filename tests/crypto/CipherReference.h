// Test helpers: OpenSSL as the independent cipher and digest, and the five
// chaining modes (with their unpadded tails) computed from an independent
// block function.
#pragma once

#include "crypto/Cipher.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace quillock::crypto::reference {

using Bytes = std::vector<std::uint8_t>;

std::string ToHex(const Bytes& data);
Bytes Pattern(std::size_t size, unsigned seed);

// Makes the legacy algorithms (Blowfish, RIPEMD-160) available besides the defaults.
void LoadOpenSslProviders();

// One run of an OpenSSL cipher ("AES-128-CBC", "BF-OFB", ...) without padding;
// the key length is set explicitly, so variable-length keys work too.
Bytes OpenSslCrypt(const std::string& name, const Bytes& key, const Bytes& iv, const Bytes& data, bool encrypt);

Bytes OpenSslDigest(const std::string& name, const Bytes& data);

// The OpenSSL name of the single-block cipher matching our cipher keyed with
// keyBytes bytes, and the key to give it (Rijndael pads short keys with zero
// bytes to the next of 16, 24 or 32 bytes).
struct TOpenSslKey {
    std::string Family; // "AES-128", "AES-192", "AES-256", "BF"
    Bytes Key;
};
TOpenSslKey RijndaelOpenSslKey(const Bytes& key);
inline TOpenSslKey BlowfishOpenSslKey(const Bytes& key) {
    return {"BF", key};
}

// The chaining modes as this toolkit defines them, over an independent block
// function. The chain value carries over between calls, as in the cipher.
class TReferenceModes {
public:
    TReferenceModes(TOpenSslKey key, std::size_t blockBytes, Bytes iv);

    Bytes Encrypt(TDCP_ciphermode mode, const Bytes& data);
    Bytes Decrypt(TDCP_ciphermode mode, const Bytes& data);
    [[nodiscard]] const Bytes& Chain() const { return FChain; }

    Bytes EncryptBlock(const Bytes& block) const;
    Bytes DecryptBlock(const Bytes& block) const;

private:
    Bytes Run(TDCP_ciphermode mode, const Bytes& data, bool encrypt);
    Bytes Tail(const std::uint8_t* in, std::size_t tail);

    TOpenSslKey FKey;
    std::size_t FBlock;
    Bytes FChain;
};

} // namespace quillock::crypto::reference
