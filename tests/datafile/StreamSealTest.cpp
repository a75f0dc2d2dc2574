// Sealing as the plain bytes stream in, and unsealing as they stream out into
// one temporary renamed into place: the same ciphertext as sealing a file,
// and nothing plain left behind by a failure or a signal.
#include "datafile/Compression.h"
#include "datafile/SealedFile.h"
#include "datafile/Unseal.h"
#include "platform/Signals.h"
#include "tests/support/TestHost.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <sys/resource.h>

namespace quillock::datafile::testing {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
    const Bytes bytes = ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

// Bytes in memory, read in pieces of awkward sizes (1, 7, 4093, 70001, ...),
// as a pipe delivers them.
class TOddReads final : public platform::TStream {
public:
    explicit TOddReads(const Bytes& data) : FData(data) {}
    std::int64_t Read(void* buffer, std::int64_t count) override {
        static constexpr std::int64_t Sizes[] = {1, 7, 4093, 70001, 65536, 3};
        const std::int64_t left = static_cast<std::int64_t>(FData.size()) - FAt;
        const std::int64_t n = std::min({count, left, Sizes[FTurn++ % std::size(Sizes)]});
        if (n > 0) { // an empty content has no bytes to point at
            std::memcpy(buffer, FData.data() + FAt, static_cast<std::size_t>(n));
        }
        FAt += n;
        return n;
    }
    std::int64_t Write(const void* /*buffer*/, std::int64_t /*count*/) override { throw platform::EWriteError(); }
    std::int64_t Seek(std::int64_t /*offset*/, platform::TSeekOrigin /*origin*/) override {
        throw platform::EInOutError("no seeking");
    }

private:
    const Bytes& FData;
    std::int64_t FAt = 0;
    std::size_t FTurn = 0;
};

class StreamSealTest : public TTempDirTest {
protected:
    // The sealed bytes of content, as a session seals a file it compressed
    // (or not) first.
    Bytes SealedFromFile(const Bytes& content, bool compress) {
        WriteBytes(Path("plain"), content);
        fs::remove(Path("plain.qlz"));
        if (compress) {
            CompressFile(Path("plain"), Path("plain.qlz"));
        }
        TTestHost host;
        Encrypt(host, Path(compress ? "plain.qlz" : "plain"), Path("file.qlx"));
        return ReadBytes(Path("file.qlx"));
    }
};

TEST_F(StreamSealTest, SealsWhatAStreamDeliversAsAFileOfItWouldBeSealed) {
    for (const std::size_t size : {std::size_t{0}, std::size_t{25}, std::size_t{300000}, std::size_t{2500000}}) {
        Bytes content = SampleContent(size, static_cast<std::uint32_t>(size));
        // An editor file, so that unsealing takes a plain content as it is.
        const std::string header = "Arbolix data file\r\n";
        std::copy_n(header.begin(), std::min(header.size(), size), content.begin());
        for (const bool compress : {false, true}) {
            SCOPED_TRACE(std::to_string(size) + (compress ? " compressed" : " plain"));
            TTestHost host;
            host.OnProgress = [](std::uint64_t, std::uint64_t) {};
            TOddReads known(content);
            const auto total = static_cast<std::int64_t>(size);
            EXPECT_EQ(EncryptStream(host, known, Path("stream.qlx"), compress, {}, total), size);
            EXPECT_EQ(ReadBytes(Path("stream.qlx")), SealedFromFile(content, compress));
            // Of unknown size (standard input), compressed by zlib's own deflater.
            TOddReads unknown(content);
            EXPECT_EQ(EncryptStream(host, unknown, Path("input.qlx"), compress), size);
            TTestHost reader;
            EXPECT_EQ(UnsealToFile(reader, Path("input.qlx"), Path("back"), TUnsealMode::umInflate).Content.Bytes,
                      size);
            EXPECT_EQ(ReadBytes(Path("back")), content);
            EXPECT_TRUE(host.Dialogs.empty() && reader.Dialogs.empty());
        }
    }
}

TEST_F(StreamSealTest, UnsealingStreamsIntoOneOwnerOnlyTemporaryRenamedOnceWhole) {
    const Bytes content = SampleContent(400000, 3);
    WriteBytes(Path("sealed.qlx"), SealedFromFile(content, true));
    WriteText(Path("out"), "the old output");
    std::vector<fs::path> seen;
    TTestHost host;
    host.OnProgress = [&](std::uint64_t, std::uint64_t) {
        for (const auto& entry : fs::directory_iterator(Dir)) {
            seen.push_back(entry.path().filename());
        }
        EXPECT_EQ(ReadText(Path("out")), "the old output") << "replaced only once whole";
    };
    const TUnsealedFile result = UnsealToFile(host, Path("sealed.qlx"), Path("out"), TUnsealMode::umInflate);
    EXPECT_TRUE(result.Content.Compressed);
    EXPECT_EQ(ReadBytes(Path("out")), content);
    EXPECT_EQ((fs::status(Path("out")).permissions() & fs::perms::all), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_FALSE(fs::exists(Path(UnsealingTempName("out"))));
    // Only the temporary ever stood beside it: no deciphered compressed copy.
    for (const fs::path& name : seen) {
        EXPECT_TRUE(name == "out" || name == "sealed.qlx" || name == "plain" || name == "plain.qlz" ||
                    name == "file.qlx" || name == "out.qlt")
            << name;
    }
    EXPECT_NE(std::find(seen.begin(), seen.end(), fs::path("out.qlt")), seen.end());
    // Raw: the compressed bytes as they are.
    host.OnProgress = {};
    UnsealToFile(host, Path("sealed.qlx"), Path("raw"), TUnsealMode::umRaw);
    EXPECT_EQ(ReadBytes(Path("raw")), ReadBytes(Path("plain.qlz")));
}

TEST_F(StreamSealTest, AFailureOrASignalPartWayWipesTheTemporaryAndKeepsTheOldOutput) {
    const Bytes content = SampleContent(600000, 4);
    WriteBytes(Path("sealed.qlx"), SealedFromFile(content, true));
    WriteText(Path("out"), "the old output");
    {
        // The disk fills a third of the way in.
        TTestHost host;
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit lowered = old;
        lowered.rlim_cur = 200000;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &lowered), 0);
        EXPECT_THROW(
            AsCaller(host, [&] { return UnsealToFile(host, Path("sealed.qlx"), Path("out"), TUnsealMode::umInflate); }),
            TProgramExit);
        ::setrlimit(RLIMIT_FSIZE, &old);
        ASSERT_EQ(host.Dialogs.size(), 1u);
        EXPECT_TRUE(host.Dialogs[0].Text.starts_with("File I/O error during decryption!")) << host.Dialogs[0].Text;
        EXPECT_NE(host.Dialogs[0].Text.find("Cannot write " + Path("out.qlt")), std::string::npos);
    }
    EXPECT_EQ(ReadText(Path("out")), "the old output");
    EXPECT_FALSE(fs::exists(Path("out.qlt")));
    // A signal while unsealing: the next look at it (a progress report) ends
    // the work, and what was written is wiped on the way out.
    platform::InstallSignalHandling();
    platform::ForgetPendingSignal();
    TTestHost host;
    int reports = 0;
    host.OnProgress = [&](std::uint64_t, std::uint64_t) {
        if (++reports == 3) {
            EXPECT_GT(fs::file_size(Path("out.qlt")), 0u) << "plain bytes written by now";
            // Another name for the temporary (a hard link in a shared
            // folder) does not keep its text from the wipe.
            fs::create_hard_link(Path("out.qlt"), Path("linked"));
            ::raise(SIGTERM);
        }
        platform::CheckInterrupted();
    };
    try {
        (void)UnsealToFile(host, Path("sealed.qlx"), Path("out"), TUnsealMode::umInflate);
        ADD_FAILURE() << "not interrupted";
    } catch (const platform::EInterrupted& interrupted) {
        EXPECT_EQ(interrupted.Signal, SIGTERM);
    }
    platform::ForgetPendingSignal();
    EXPECT_EQ(ReadText(Path("out")), "the old output");
    EXPECT_FALSE(fs::exists(Path("out.qlt")));
    const Bytes linked = ReadBytes(Path("linked"));
    EXPECT_GT(linked.size(), 0u);
    EXPECT_EQ(std::count(linked.begin(), linked.end(), 0), static_cast<std::ptrdiff_t>(linked.size()));
    ASSERT_EQ(host.Dialogs.size(), 1u) << "the other name is told of";
    EXPECT_NE(host.Dialogs[0].Text.find("had 2 names (hard links)"), std::string::npos) << host.Dialogs[0].Text;
}

TEST_F(StreamSealTest, ASalvageKeepsWhatDecodesAndLeavesNothingWhenNothingDoes) {
    const Bytes content = SampleContent(300000, 5);
    Bytes sealed = SealedFromFile(content, true);
    sealed.resize(sealed.size() / 2); // cut short
    WriteBytes(Path("cut.qlx"), sealed);
    TTestHost host;
    const TUnsealedFile cut = UnsealToFile(host, Path("cut.qlx"), Path("out"), TUnsealMode::umSalvage);
    EXPECT_FALSE(cut.Complete);
    EXPECT_FALSE(cut.Damage.empty());
    const Bytes recovered = ReadBytes(Path("out"));
    ASSERT_GT(recovered.size(), 0u);
    ASSERT_GT(recovered.size(), 1000u);
    ASSERT_LT(recovered.size(), content.size());
    // The last bytes of a file cut short decipher as a short last piece would,
    // so the few bytes they decode to are not the text's.
    EXPECT_TRUE(std::equal(recovered.begin(), recovered.end() - 64, content.begin()));
    // Bytes that decode to nothing: no file.
    WriteBytes(Path("noise.qlx"), SampleContent(5000, 6));
    const TUnsealedFile none = UnsealToFile(host, Path("noise.qlx"), Path("none"), TUnsealMode::umSalvage);
    EXPECT_EQ(none.Content.Bytes, 0u);
    EXPECT_FALSE(fs::exists(Path("none")));
    EXPECT_FALSE(fs::exists(Path("none.qlt")));
}

} // namespace
} // namespace quillock::datafile::testing
