// Throughput of the two block ciphers in each chaining mode and of the two
// digests, over 8,192-byte chunks (the stream routines' unit) and over 16 MiB.
#include "crypto/Blowfish.h"
#include "crypto/Cipher.h"
#include "crypto/RIPEMD160.h"
#include "crypto/Rijndael.h"
#include "crypto/SHA1.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace quillock::crypto;

constexpr std::int64_t ChunkSize = 8192;
constexpr std::int64_t LargeSize = 16 << 20;

std::vector<std::uint8_t> MakeData(std::int64_t size) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 131 + 7);
    }
    return data;
}

template <class Cipher, bool Encrypt> void BM_Cipher(benchmark::State& state, TDCP_ciphermode mode, std::int64_t size) {
    Cipher cipher;
    const std::uint8_t key[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    cipher.Init(key, 160, nullptr); // the key size every data file uses
    cipher.SetCipherMode(mode);
    auto data = MakeData(size);
    for (auto _ : state) {
        if constexpr (Encrypt) {
            cipher.EncryptData(data.data(), data.data(), static_cast<std::uint32_t>(size));
        } else {
            cipher.DecryptData(data.data(), data.data(), static_cast<std::uint32_t>(size));
        }
        benchmark::DoNotOptimize(data.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * size);
}

template <class Hash> void BM_Digest(benchmark::State& state, std::int64_t size) {
    const auto data = MakeData(size);
    Hash hash;
    std::uint8_t digest[20];
    for (auto _ : state) {
        hash.Init();
        hash.Update(data.data(), static_cast<std::uint32_t>(size));
        hash.Final(digest);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(state.iterations() * size);
}

const char* const ModeNames[] = {"CBC", "CFB8", "CFBblock", "OFB", "CTR"};

template <class Cipher> void RegisterCipher(const std::string& name) {
    for (const std::int64_t size : {ChunkSize, LargeSize}) {
        for (int mode = cmCBC; mode <= cmCTR; ++mode) {
            const std::string suffix = std::string("/") + ModeNames[mode] + "/" + std::to_string(size);
            const auto m = static_cast<TDCP_ciphermode>(mode);
            benchmark::RegisterBenchmark((name + "/Encrypt" + suffix).c_str(), BM_Cipher<Cipher, true>, m, size);
            benchmark::RegisterBenchmark((name + "/Decrypt" + suffix).c_str(), BM_Cipher<Cipher, false>, m, size);
        }
    }
}

template <class Hash> void RegisterDigest(const std::string& name) {
    for (const std::int64_t size : {ChunkSize, LargeSize}) {
        benchmark::RegisterBenchmark((name + "/" + std::to_string(size)).c_str(), BM_Digest<Hash>, size);
    }
}

} // namespace

int main(int argc, char** argv) {
    RegisterCipher<TDCP_rijndael>("Rijndael");
    RegisterCipher<TDCP_blowfish>("Blowfish");
    RegisterDigest<TDCP_sha1>("SHA1");
    RegisterDigest<TDCP_ripemd160>("RipeMD-160");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
