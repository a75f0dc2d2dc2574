// Byte streams: the abstract stream with its derived services, file streams and
// memory streams.
#pragma once

#include "platform/Files.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace quillock::platform {

// Errors of the stream services; each carries its fixed English message.
class EStreamError : public std::runtime_error {
public:
    // cause: the errno of the request that failed, where one did.
    explicit EStreamError(const std::string& what, int cause = 0) : std::runtime_error(what), FCause(cause) {}
    // The system's reason for the failure (an errno value; 0 when none is known).
    [[nodiscard]] int Cause() const noexcept { return FCause; }

private:
    int FCause;
};
class EReadError : public EStreamError {
public:
    explicit EReadError(int cause = 0) : EStreamError("Stream read error", cause) {}
};
class EWriteError : public EStreamError {
public:
    explicit EWriteError(int cause = 0) : EStreamError("Stream write error", cause) {}
};
class EFOpenError : public EStreamError {
public:
    explicit EFOpenError(const std::string& path, int cause = 0) : EStreamError("Cannot open file " + path, cause) {}
};
class EFCreateError : public EStreamError {
public:
    explicit EFCreateError(const std::string& path, int cause = 0)
        : EStreamError("Cannot create file " + path, cause) {}
};
// A seek, size or other file-system request that the system refused.
class EInOutError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// Largest piece CopyFrom moves at a time.
inline constexpr std::int64_t MaxCopyBufferSize = 0xF000; // 61,440 bytes

class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to count bytes; returns how many came (0 at the end).
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    // Writes up to count bytes; returns how many were stored.
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    // Moves the position; returns the new position.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

    // Size by seeking to the end and back.
    [[nodiscard]] virtual std::int64_t Size();
    [[nodiscard]] std::int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(std::int64_t position) { Seek(position, TSeekOrigin::soBeginning); }

    // Exact transfers: anything short raises EReadError / EWriteError; 0 does nothing.
    void ReadBuffer(void* buffer, std::int64_t count);
    void WriteBuffer(const void* buffer, std::int64_t count);

    // Copies count bytes from source in pieces of at most 61,440 bytes; a count
    // of 0 copies the whole source from its position 0. Returns the count.
    std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// File stream open modes.
inline constexpr std::uint16_t fmOpenRead = 0x0000; // an existing file, read only
inline constexpr std::uint16_t fmCreate = 0xFFFF;   // create new, read and write
// An existing file, read only, never through a symbolic link at the name.
inline constexpr std::uint16_t fmOpenReadNoFollow = 0x0100;

class TFileStream : public TStream {
public:
    // fmOpenRead opens an existing regular file for reading ("Cannot open file
    // %s"); fmCreate creates a new owner-only (0600) file for reading and
    // writing and fails ("Cannot create file %s") when anything exists at the
    // name: a caller that replaces a file of its own removes it first.
    TFileStream(const TAtPath& path, std::uint16_t mode);
    ~TFileStream() override;

    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

    [[nodiscard]] int Handle() const noexcept { return FHandle; }
    [[nodiscard]] const std::string& FileName() const noexcept { return FFileName; }

    // Flushes written data to the medium (fsync); raises EInOutError on failure.
    void Flush();

private:
    std::string FFileName;
    int FHandle = -1;
};

// A growable in-memory stream, for tests and small buffers.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::vector<std::uint8_t> data) : FData(std::move(data)) {}

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

    [[nodiscard]] const std::vector<std::uint8_t>& Data() const noexcept { return FData; }

private:
    std::vector<std::uint8_t> FData;
    std::int64_t FPosition = 0;
};

} // namespace quillock::platform
