// The stream services: exact transfers, copying in pieces, and file streams.
#include "platform/Stream.h"
#include "tests/support/Checks.h"
#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>
#include <sys/stat.h>
#include <unistd.h>

namespace quillock::platform {
namespace {

using tests::ReadWholeFile;
using tests::TTempFolder;
using tests::WriteWholeFile;

// A memory stream that takes at most Capacity bytes and records each write.
class TRecordingStream : public TMemoryStream {
public:
    explicit TRecordingStream(std::int64_t capacity = INT64_MAX) : FCapacity(capacity) {}
    std::int64_t Write(const void* buffer, std::int64_t count) override {
        Writes.push_back(count);
        const std::int64_t room = std::max<std::int64_t>(0, FCapacity - Position());
        return TMemoryStream::Write(buffer, std::min(count, room));
    }
    std::vector<std::int64_t> Writes;

private:
    std::int64_t FCapacity;
};

std::vector<std::uint8_t> Pattern(std::size_t size) {
    std::vector<std::uint8_t> data(size);
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    }
    return data;
}

// The message of the EStreamError that action raises ("" when none).
template <class TAction> std::string StreamError(TAction action) {
    return tests::ErrorText<EStreamError>(action);
}

TEST(StreamTest, ExactTransfersRaiseOnAShortfall) {
    TMemoryStream source(Pattern(10));
    std::uint8_t buffer[16] = {};
    source.ReadBuffer(buffer, 10);
    EXPECT_EQ(source.Position(), 10);
    source.SetPosition(4);
    EXPECT_EQ(StreamError([&] { source.ReadBuffer(buffer, 7); }), "Stream read error");
    EXPECT_THROW(source.ReadBuffer(buffer, 1), EReadError);
    source.ReadBuffer(buffer, 0); // nothing to read is no shortfall

    TRecordingStream full(5);
    EXPECT_EQ(StreamError([&] { full.WriteBuffer(buffer, 6); }), "Stream write error");
    EXPECT_THROW(full.WriteBuffer(buffer, 1), EWriteError);
    full.WriteBuffer(buffer, 0);
}

TEST(StreamTest, CopyFromMovesPiecesOfAtMost61440Bytes) {
    const auto data = Pattern(150000);
    TMemoryStream source(data);
    source.SetPosition(1000);
    TRecordingStream target;
    EXPECT_EQ(target.CopyFrom(source, 0), 150000) << "0 copies the whole source from its start";
    EXPECT_EQ(target.Data(), data);
    EXPECT_EQ(target.Writes, (std::vector<std::int64_t>{61440, 61440, 27120}));

    source.SetPosition(100);
    TRecordingStream part;
    EXPECT_EQ(part.CopyFrom(source, 61441), 61441);
    EXPECT_EQ(part.Writes, (std::vector<std::int64_t>{61440, 1}));
    EXPECT_TRUE(std::equal(part.Data().begin(), part.Data().end(), data.begin() + 100));
    EXPECT_EQ(source.Position(), 100 + 61441);

    TMemoryStream empty;
    TRecordingStream none;
    EXPECT_EQ(none.CopyFrom(empty, 0), 0);
    EXPECT_TRUE(none.Writes.empty());
}

TEST(StreamTest, CopyFromRaisesWhenTheSourceRunsShortOrTheTargetIsFull) {
    TMemoryStream source(Pattern(100));
    TMemoryStream target;
    EXPECT_THROW(target.CopyFrom(source, 101), EReadError);
    source.SetPosition(0);
    TRecordingStream small(50);
    EXPECT_THROW(small.CopyFrom(source, 0), EWriteError);
}

TEST(StreamTest, MemoryStreamEdges) {
    TMemoryStream stream;
    std::uint8_t byte = 0;
    EXPECT_EQ(stream.Read(&byte, 1), 0);
    EXPECT_THROW(stream.Seek(-1, TSeekOrigin::soBeginning), EInOutError);
    stream.Seek(3, TSeekOrigin::soBeginning);
    stream.WriteBuffer("x", 1);
    EXPECT_EQ(stream.Data(), (std::vector<std::uint8_t>{0, 0, 0, 'x'})) << "writing past the end fills with zeros";
    EXPECT_EQ(stream.Size(), 4);
    EXPECT_EQ(stream.Seek(-2, TSeekOrigin::soEnd), 2);
}

TEST(FileStreamTest, OpenAndCreateErrorsCarryThePath) {
    const TTempFolder folder;
    const std::string missing = (folder / "missing.qlx").string();
    EXPECT_EQ(StreamError([&] { TFileStream stream(missing, fmOpenRead); }), "Cannot open file " + missing);
    EXPECT_THROW(TFileStream(missing, fmOpenRead), EFOpenError);
    const std::string noFolder = (folder / "no/such/file.qlt").string();
    EXPECT_EQ(StreamError([&] { TFileStream stream(noFolder, fmCreate); }), "Cannot create file " + noFolder);
    EXPECT_THROW(TFileStream(folder.Path().string(), fmCreate), EFCreateError);
}

TEST(FileStreamTest, CreateIsOwnerOnlyAndNeverReusesAnExistingFile) {
    const TTempFolder folder;
    const auto path = folder / "plain.qlt";
    const mode_t oldMask = ::umask(0);
    {
        TFileStream stream(path.string(), fmCreate);
        stream.WriteBuffer("hello world", 11);
        stream.Flush();
        EXPECT_EQ(stream.Size(), 11);
        stream.SetPosition(6);
        char word[5];
        stream.ReadBuffer(word, 5);
        EXPECT_EQ(std::string(word, 5), "world") << "a created file is readable too";
    }
    ::umask(oldMask);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "even with an empty umask";

    // Whatever sits at the name (another user's file in a shared folder) is
    // never opened and written through: the creation fails, the file stays.
    EXPECT_EQ(StreamError([&] { TFileStream stream(path.string(), fmCreate); }), "Cannot create file " + path.string());
    EXPECT_EQ(ReadWholeFile(path), "hello world");

    TFileStream reader(path.string(), fmOpenRead);
    EXPECT_EQ(reader.Write("y", 1), 0) << "a file opened for reading takes no data";
    EXPECT_THROW(reader.WriteBuffer("y", 1), EWriteError);
    EXPECT_THROW(reader.Seek(-5, TSeekOrigin::soBeginning), EInOutError);
}

TEST(FileStreamTest, CreateRefusesASymbolicLink) {
    const TTempFolder folder;
    const auto target = folder / "precious";
    WriteWholeFile(target, "keep me");
    const auto link = folder / "data.qlt";
    std::filesystem::create_symlink(target, link);
    EXPECT_EQ(StreamError([&] { TFileStream stream(link.string(), fmCreate); }), "Cannot create file " + link.string());
    EXPECT_EQ(ReadWholeFile(target), "keep me");
    const auto dangling = folder / "dangling.qlt";
    std::filesystem::create_symlink(folder / "nowhere", dangling);
    EXPECT_THROW(TFileStream(dangling.string(), fmCreate), EFCreateError);
    EXPECT_FALSE(std::filesystem::exists(folder / "nowhere")) << "nothing is created through the link";
}

TEST(FileStreamTest, CopyBetweenFiles) {
    const TTempFolder folder;
    const auto data = Pattern(200000);
    const auto from = folder / "from";
    WriteWholeFile(from, std::string(data.begin(), data.end()));
    TFileStream source(from.string(), fmOpenRead);
    source.SetPosition(12345);
    {
        TFileStream target((folder / "to").string(), fmCreate);
        EXPECT_EQ(target.CopyFrom(source, 0), 200000);
    }
    EXPECT_EQ(ReadWholeFile(folder / "to"), std::string(data.begin(), data.end()));
}

} // namespace
} // namespace quillock::platform

namespace {

// Anything but a regular file is refused when opened or created, and a FIFO
// without a writer does not make the open wait.
TEST(FileStreamKinds, OnlyRegularFilesOpen) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("kinds-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string fifo = (folder / "fifo").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THROW(quillock::platform::TFileStream(fifo, quillock::platform::fmOpenRead),
                 quillock::platform::EFOpenError);
    EXPECT_THROW(quillock::platform::TFileStream(fifo, quillock::platform::fmCreate),
                 quillock::platform::EFCreateError);
    EXPECT_THROW(quillock::platform::TFileStream(folder.string(), quillock::platform::fmOpenRead),
                 quillock::platform::EFOpenError);
    EXPECT_THROW(quillock::platform::TFileStream("/dev/null", quillock::platform::fmCreate),
                 quillock::platform::EFCreateError);
    quillock::platform::TMemoryStream memory(std::vector<std::uint8_t>{1, 2, 3});
    memory.Seek(10, quillock::platform::TSeekOrigin::soBeginning);
    std::uint8_t byte = 0;
    EXPECT_EQ(memory.Read(&byte, 1), 0); // past the end reads nothing
    std::filesystem::remove_all(folder);
}

} // namespace
