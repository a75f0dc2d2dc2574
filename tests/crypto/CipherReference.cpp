// Test helpers: OpenSSL as the independent cipher and digest, and the chaining
// modes computed from OpenSSL's single-block cipher.
#include "CipherReference.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <memory>
#include <random>

namespace quillock::crypto::reference {

std::string ToHex(const Bytes& data) {
    static const char Digits[] = "0123456789abcdef";
    std::string text;
    for (const auto b : data) {
        text += Digits[b >> 4];
        text += Digits[b & 15];
    }
    return text;
}

Bytes Pattern(std::size_t size, unsigned seed) {
    Bytes data(size);
    std::mt19937 rng(seed);
    for (auto& b : data) {
        b = static_cast<std::uint8_t>(rng());
    }
    return data;
}

void LoadOpenSslProviders() {
    // Loaded once, unloaded at exit so the leak checker sees nothing left over.
    static const struct TProviders {
        OSSL_PROVIDER* Legacy = OSSL_PROVIDER_load(nullptr, "legacy");
        OSSL_PROVIDER* Default = OSSL_PROVIDER_load(nullptr, "default");
        ~TProviders() {
            OSSL_PROVIDER_unload(Default);
            OSSL_PROVIDER_unload(Legacy);
        }
    } Providers;
}

Bytes OpenSslCrypt(const std::string& name, const Bytes& key, const Bytes& iv, const Bytes& data, bool encrypt) {
    LoadOpenSslProviders();
    std::unique_ptr<EVP_CIPHER, decltype(&EVP_CIPHER_free)> cipher(EVP_CIPHER_fetch(nullptr, name.c_str(), nullptr),
                                                                   &EVP_CIPHER_free);
    if (!cipher) {
        ADD_FAILURE() << "OpenSSL lacks " << name;
        return {};
    }
    std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
    const int enc = encrypt ? 1 : 0;
    EXPECT_EQ(EVP_CipherInit_ex2(ctx.get(), cipher.get(), nullptr, nullptr, enc, nullptr), 1);
    EXPECT_EQ(EVP_CIPHER_CTX_set_key_length(ctx.get(), static_cast<int>(key.size())), 1) << name;
    EXPECT_EQ(EVP_CipherInit_ex2(ctx.get(), nullptr, key.data(), iv.empty() ? nullptr : iv.data(), enc, nullptr), 1);
    EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
    Bytes out(data.size() + 64);
    int len = 0;
    int finalLen = 0;
    EXPECT_EQ(EVP_CipherUpdate(ctx.get(), out.data(), &len, data.data(), static_cast<int>(data.size())), 1);
    EXPECT_EQ(EVP_CipherFinal_ex(ctx.get(), out.data() + len, &finalLen), 1);
    out.resize(static_cast<std::size_t>(len + finalLen));
    return out;
}

Bytes OpenSslDigest(const std::string& name, const Bytes& data) {
    LoadOpenSslProviders();
    std::unique_ptr<EVP_MD, decltype(&EVP_MD_free)> md(EVP_MD_fetch(nullptr, name.c_str(), nullptr), &EVP_MD_free);
    if (!md) {
        ADD_FAILURE() << "OpenSSL lacks " << name;
        return {};
    }
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int len = 0;
    EXPECT_EQ(EVP_Digest(data.data(), data.size(), out.data(), &len, md.get(), nullptr), 1);
    out.resize(len);
    return out;
}

TOpenSslKey RijndaelOpenSslKey(const Bytes& key) {
    TOpenSslKey result;
    const std::size_t padded = key.size() <= 16 ? 16 : (key.size() <= 24 ? 24 : 32);
    result.Family = "AES-" + std::to_string(padded * 8);
    result.Key = key;
    result.Key.resize(padded, 0);
    return result;
}

TReferenceModes::TReferenceModes(TOpenSslKey key, std::size_t blockBytes, Bytes iv)
    : FKey(std::move(key)), FBlock(blockBytes), FChain(std::move(iv)) {}

Bytes TReferenceModes::EncryptBlock(const Bytes& block) const {
    return OpenSslCrypt(FKey.Family + "-ECB", FKey.Key, {}, block, true);
}

Bytes TReferenceModes::DecryptBlock(const Bytes& block) const {
    return OpenSslCrypt(FKey.Family + "-ECB", FKey.Key, {}, block, false);
}

Bytes TReferenceModes::Encrypt(TDCP_ciphermode mode, const Bytes& data) {
    return Run(mode, data, true);
}
Bytes TReferenceModes::Decrypt(TDCP_ciphermode mode, const Bytes& data) {
    return Run(mode, data, false);
}

// A tail shorter than a block: CV := E(CV), XOR with its first bytes.
Bytes TReferenceModes::Tail(const std::uint8_t* in, std::size_t tail) {
    Bytes out;
    if (tail == 0) {
        return out;
    }
    FChain = EncryptBlock(FChain);
    for (std::size_t j = 0; j < tail; ++j) {
        out.push_back(static_cast<std::uint8_t>(in[j] ^ FChain[j]));
    }
    return out;
}

Bytes TReferenceModes::Run(TDCP_ciphermode mode, const Bytes& data, bool encrypt) {
    Bytes out;
    const std::size_t n = FBlock;
    const std::size_t full = data.size() / n * n;
    auto block = [&](std::size_t at) {
        return Bytes(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n));
    };
    auto xorInto = [](Bytes a, const Bytes& b) {
        for (std::size_t j = 0; j < a.size(); ++j) {
            a[j] ^= b[j];
        }
        return a;
    };
    switch (mode) {
    case cmCBC:
        for (std::size_t at = 0; at < full; at += n) {
            const Bytes in = block(at);
            if (encrypt) {
                FChain = EncryptBlock(xorInto(in, FChain));
                out.insert(out.end(), FChain.begin(), FChain.end());
            } else {
                const Bytes plain = xorInto(DecryptBlock(in), FChain);
                FChain = in;
                out.insert(out.end(), plain.begin(), plain.end());
            }
        }
        break;
    case cmCFB8bit:
        for (const auto b : data) {
            const Bytes t = EncryptBlock(FChain);
            const auto result = static_cast<std::uint8_t>(b ^ t[0]);
            FChain.erase(FChain.begin());
            FChain.push_back(encrypt ? result : b);
            out.push_back(result);
        }
        return out;
    case cmCFBblock:
        for (std::size_t at = 0; at < full; at += n) {
            const Bytes in = block(at);
            const Bytes result = xorInto(in, EncryptBlock(FChain));
            FChain = encrypt ? result : in;
            out.insert(out.end(), result.begin(), result.end());
        }
        break;
    case cmOFB:
        for (std::size_t at = 0; at < full; at += n) {
            FChain = EncryptBlock(FChain);
            const Bytes result = xorInto(block(at), FChain);
            out.insert(out.end(), result.begin(), result.end());
        }
        break;
    case cmCTR:
        for (std::size_t at = 0; at < data.size(); at += n) {
            const Bytes t = EncryptBlock(FChain);
            for (std::size_t i = n; i-- > 0;) { // the counter is big-endian
                if (++FChain[i] != 0) {
                    break;
                }
            }
            for (std::size_t j = 0; j < n && at + j < data.size(); ++j) {
                out.push_back(static_cast<std::uint8_t>(data[at + j] ^ t[j]));
            }
        }
        return out;
    }
    const Bytes tail = Tail(data.data() + full, data.size() - full);
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

} // namespace quillock::crypto::reference
