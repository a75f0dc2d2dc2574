// Throughput of the two block ciphers in each chaining mode and of the two
// digests, over 8,192-byte chunks (the stream routines' unit) and over 16 MiB.
#include "bench/BenchSupport.h"
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

using namespace quillock;
using namespace quillock::crypto;

constexpr std::int64_t ChunkSize = 8192;
constexpr std::int64_t LargeSize = 16 << 20;

template <class Cipher, bool Encrypt> void BM_Cipher(benchmark::State& state, TDCP_ciphermode mode, std::int64_t size) {
    Cipher cipher;
    cipher.Init(bench::Key160, 160, nullptr);
    cipher.SetCipherMode(mode);
    bench::RunCipher(state, cipher, Encrypt, size);
}

template <class Hash> void BM_Digest(benchmark::State& state, std::int64_t size) {
    const auto data = bench::MakeData(size);
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
    return bench::RunBenchmarks(argc, argv);
}
