// Throughput of the two block ciphers in each chaining mode and of the two
// digests, over 8,192-byte chunks (the stream routines' unit) and over 16 MiB.
#include "crypto/Blowfish.h"
#include "crypto/Cipher.h"
#include "crypto/RIPEMD160.h"
#include "crypto/Rijndael.h"
#include "crypto/SHA1.h"

#include <benchmark/benchmark.h>

#include <cstdint>
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

template <class Cipher, bool Encrypt> void BM_Cipher(benchmark::State& state) {
    const auto mode = static_cast<TDCP_ciphermode>(state.range(0));
    const std::int64_t size = state.range(1);
    Cipher cipher;
    const std::uint8_t key[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    cipher.Init(key, 160, nullptr);
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

template <class Hash> void BM_Digest(benchmark::State& state) {
    const std::int64_t size = state.range(0);
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

void CipherArgs(benchmark::internal::Benchmark* bench) {
    bench->ArgNames({"mode", "bytes"});
    for (const std::int64_t size : {ChunkSize, LargeSize}) {
        for (int mode = cmCBC; mode <= cmCTR; ++mode) {
            bench->Args({mode, size});
        }
    }
}

void DigestArgs(benchmark::internal::Benchmark* bench) {
    bench->ArgName("bytes")->Arg(ChunkSize)->Arg(LargeSize);
}

BENCHMARK(BM_Cipher<TDCP_rijndael, true>)->Name("Rijndael/Encrypt")->Apply(CipherArgs);
BENCHMARK(BM_Cipher<TDCP_rijndael, false>)->Name("Rijndael/Decrypt")->Apply(CipherArgs);
BENCHMARK(BM_Cipher<TDCP_blowfish, true>)->Name("Blowfish/Encrypt")->Apply(CipherArgs);
BENCHMARK(BM_Cipher<TDCP_blowfish, false>)->Name("Blowfish/Decrypt")->Apply(CipherArgs);
BENCHMARK(BM_Digest<TDCP_sha1>)->Name("SHA1")->Apply(DigestArgs);
BENCHMARK(BM_Digest<TDCP_ripemd160>)->Name("RipeMD-160")->Apply(DigestArgs);

} // namespace

BENCHMARK_MAIN();
