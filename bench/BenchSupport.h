// What both benchmark programs share: the test data, the key, the cipher
// loop and the run of the registered benchmarks.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

namespace quillock::bench {

// size bytes of a fixed pattern.
inline std::vector<std::uint8_t> MakeData(std::int64_t size) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 131 + 7);
    }
    return data;
}

// A key of the size every data file uses: a 20-byte digest (160 bits).
inline constexpr std::uint8_t Key160[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};

// Enciphers (or deciphers) size bytes in place with the keyed cipher, as often
// as state asks.
template <class Cipher> void RunCipher(benchmark::State& state, Cipher& cipher, bool encrypt, std::int64_t size) {
    auto data = MakeData(size);
    for (auto _ : state) {
        if (encrypt) {
            cipher.EncryptData(data.data(), data.data(), static_cast<std::uint32_t>(size));
        } else {
            cipher.DecryptData(data.data(), data.data(), static_cast<std::uint32_t>(size));
        }
        benchmark::DoNotOptimize(data.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * size);
}

// Runs the registered benchmarks as the command line asks; the exit code.
inline int RunBenchmarks(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace quillock::bench
