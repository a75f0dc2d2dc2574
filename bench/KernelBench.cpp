// The kernels the comparison script measures against their anchors: CBC of
// both Rijndael paths and of Blowfish over 8,192-byte chunks (the stream
// routines' unit), and CRC-32 (fast, slicing, byte-wise, zlib) over the
// 256 KiB pieces FileCRC32 reads. Throughput is per CPU second, except for
// deflate and inflate of a text on both compression paths (zlib, igzip),
// which run as CompressFile and DecompressFile do (deflate on two cores) and
// are timed on the wall clock.
#include "bench/BenchSupport.h"
#include "crypto/Blowfish.h"
#include "crypto/Rijndael.h"
#include "datafile/CRC.h"
#include "zstream/Isal.h"
#include "zstream/ZLib.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using namespace quillock;

constexpr std::int64_t ChunkSize = 8192;
constexpr std::int64_t CrcSize = 256 * 1024;

// accelerated: the AES instructions allowed when the key is set (Rijndael only).
template <class Cipher> void BM_Cbc(benchmark::State& state, bool encrypt, bool accelerated) {
    const bool previous = crypto::SetRijndaelAcceleration(accelerated);
    Cipher cipher;
    cipher.Init(bench::Key160, 160, nullptr);
    crypto::SetRijndaelAcceleration(previous);
    bench::RunCipher(state, cipher, encrypt, ChunkSize);
}

enum class TCrcKind { Fast, Slicing, ByteWise, Zlib };

void BM_Crc(benchmark::State& state, TCrcKind kind) {
    const auto data = bench::MakeData(CrcSize);
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

// Text of notes: dated lines of words drawn at random, as in the comparison
// script's file.
constexpr std::int64_t TextSize = std::int64_t{32} << 20;

const std::vector<std::uint8_t>& Text() {
    static const std::vector<std::uint8_t> text = [] {
        static const char* const words[] = {
            "the",     "of",      "and",     "to",     "in",     "is",     "that",   "it",     "for",   "on",
            "with",    "as",      "was",     "at",     "by",     "this",   "be",     "from",   "or",    "have",
            "meeting", "notes",   "project", "draft",  "budget", "garden", "recipe", "letter", "call",  "email",
            "invoice", "travel",  "doctor",  "school", "Monday", "April",  "June",   "review", "plan",  "idea",
            "list",    "weather", "book",    "film",   "music",  "which",  "one",    "when",   "there", "about"};
        std::vector<std::uint8_t> out;
        out.reserve(static_cast<std::size_t>(TextSize));
        std::uint32_t state = 20240601;
        const auto next = [&state](std::uint32_t range) {
            state = state * 1103515245u + 12345u;
            return (state >> 8) % range;
        };
        while (out.size() < static_cast<std::size_t>(TextSize)) {
            const std::string date = std::to_string(1990 + next(35)) + "-" + std::to_string(10 + next(3)) + "-" +
                                     std::to_string(10 + next(18));
            std::string line = date;
            for (std::uint32_t k = 4 + next(14); k > 0; --k) {
                line += ' ';
                line += words[next(sizeof words / sizeof *words)];
            }
            if (next(10) < 3) {
                line += ' ' + std::to_string(next(100000));
            }
            line += '\n';
            out.insert(out.end(), line.begin(), line.end());
        }
        out.resize(static_cast<std::size_t>(TextSize));
        return out;
    }();
    return text;
}

std::vector<std::uint8_t> Deflate(bool isal) {
    platform::TMemoryStream source(Text());
    platform::TMemoryStream dest;
    if (isal) {
        zstream::IsalDeflateInPieces(source, TextSize, dest);
    } else {
        zstream::DeflateInPieces(source, TextSize, dest, zstream::TCompressionLevel::clFastest);
    }
    dest.SetPosition(0);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(dest.Size()));
    dest.ReadBuffer(out.data(), static_cast<std::int64_t>(out.size()));
    return out;
}

void BM_Deflate(benchmark::State& state, bool isal) {
    std::size_t compressed = 0;
    for (auto _ : state) {
        compressed = Deflate(isal).size();
        benchmark::DoNotOptimize(compressed);
    }
    state.SetBytesProcessed(state.iterations() * TextSize);
    // The compressed size over the plain one, as the label (the CSV output
    // takes no counters that only some runs have).
    state.SetLabel(std::to_string(static_cast<double>(compressed) / static_cast<double>(TextSize)));
}

void BM_Inflate(benchmark::State& state, bool isal) {
    const std::vector<std::uint8_t> stream = Deflate(isal);
    std::vector<std::uint8_t> buffer(std::size_t{1} << 18);
    for (auto _ : state) {
        platform::TMemoryStream source(stream);
        std::int64_t total = 0;
        if (isal) {
            zstream::TIsalInflater decoder(source);
            while (const std::int64_t got = decoder.Read(buffer.data(), static_cast<std::int64_t>(buffer.size()))) {
                total += got;
            }
        } else {
            zstream::TZDecompressionStream decoder(source);
            while (const std::int64_t got = decoder.Read(buffer.data(), static_cast<std::int64_t>(buffer.size()))) {
                total += got;
            }
        }
        if (total != TextSize) {
            state.SkipWithError("the text did not come back");
            break;
        }
        benchmark::DoNotOptimize(buffer.data());
    }
    state.SetBytesProcessed(state.iterations() * TextSize);
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
    for (const bool isal : {false, true}) {
        if (isal && !zstream::IsalBuiltIn()) {
            continue;
        }
        const std::string path = isal ? "Isal" : "ZLib";
        benchmark::RegisterBenchmark(("Deflate/" + path).c_str(), BM_Deflate, isal)->UseRealTime();
        benchmark::RegisterBenchmark(("Inflate/" + path).c_str(), BM_Inflate, isal)->UseRealTime();
    }
    return bench::RunBenchmarks(argc, argv);
}
