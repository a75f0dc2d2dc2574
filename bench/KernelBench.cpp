// The kernels the comparison script measures against their anchors: CBC of
// both Rijndael paths and of Blowfish over 8,192-byte chunks (the stream
// routines' unit), and CRC-32 (fast, slicing, byte-wise, zlib) over the
// 256 KiB pieces FileCRC32 reads. Throughput is per CPU second.
#include "crypto/Blowfish.h"
#include "crypto/Rijndael.h"
#include "datafile/CRC.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace quillock;

constexpr std::int64_t ChunkSize = 8192;
constexpr std::int64_t CrcSize = 256 * 1024;

std::vector<std::uint8_t> MakeData(std::int64_t size) {
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 131 + 7);
    }
    return data;
}

// accelerated: the AES instructions allowed when the key is set (Rijndael only).
template <class Cipher> void BM_Cbc(benchmark::State& state, bool encrypt, bool accelerated) {
    const bool previous = crypto::SetRijndaelAcceleration(accelerated);
    Cipher cipher;
    const std::uint8_t key[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    cipher.Init(key, 160, nullptr); // the key every data file uses: a 20-byte digest
    crypto::SetRijndaelAcceleration(previous);
    auto data = MakeData(ChunkSize);
    for (auto _ : state) {
        if (encrypt) {
            cipher.EncryptData(data.data(), data.data(), static_cast<std::uint32_t>(ChunkSize));
        } else {
            cipher.DecryptData(data.data(), data.data(), static_cast<std::uint32_t>(ChunkSize));
        }
        benchmark::DoNotOptimize(data.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * ChunkSize);
}

enum class TCrcKind { Fast, Slicing, ByteWise, Zlib };

void BM_Crc(benchmark::State& state, TCrcKind kind) {
    const auto data = MakeData(CrcSize);
    std::uint32_t crc = 0;
    for (auto _ : state) {
        switch (kind) {
        case TCrcKind::Fast:
            crc = datafile::UpdateCRC32Fast(crc, data.data(), data.size());
            break;
        case TCrcKind::Slicing:
            crc = datafile::UpdateCRC32Slicing(crc, data.data(), data.size());
            break;
        case TCrcKind::ByteWise:
            crc = datafile::UpdateCRC32(crc, data.data(), data.size());
            break;
        case TCrcKind::Zlib:
            crc = static_cast<std::uint32_t>(crc32(crc, data.data(), static_cast<uInt>(data.size())));
            break;
        }
        benchmark::DoNotOptimize(crc);
    }
    state.SetBytesProcessed(state.iterations() * CrcSize);
}

} // namespace

int main(int argc, char** argv) {
    for (const bool encrypt : {true, false}) {
        const std::string direction = encrypt ? "Encrypt" : "Decrypt";
        if (crypto::RijndaelAccelerationAvailable()) {
            benchmark::RegisterBenchmark(("Rijndael/AES/CBC/" + direction).c_str(), BM_Cbc<crypto::TDCP_rijndael>,
                                         encrypt, true);
        }
        benchmark::RegisterBenchmark(("Rijndael/Portable/CBC/" + direction).c_str(), BM_Cbc<crypto::TDCP_rijndael>,
                                     encrypt, false);
        benchmark::RegisterBenchmark(("Blowfish/CBC/" + direction).c_str(), BM_Cbc<crypto::TDCP_blowfish>, encrypt,
                                     false);
    }
    benchmark::RegisterBenchmark("CRC32/Fast", BM_Crc, TCrcKind::Fast);
    benchmark::RegisterBenchmark("CRC32/Slicing", BM_Crc, TCrcKind::Slicing);
    benchmark::RegisterBenchmark("CRC32/ByteWise", BM_Crc, TCrcKind::ByteWise);
    benchmark::RegisterBenchmark("CRC32/Zlib", BM_Crc, TCrcKind::Zlib);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
