// Byte streams: the abstract stream with its derived services, file streams and
// memory streams.
#include "platform/Stream.h"

#include "platform/AlignedBuffer.h"
#include "platform/FileHandle.h"
#include "platform/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillock::platform {

std::int64_t TStream::Size() {
    const std::int64_t position = Seek(0, TSeekOrigin::soCurrent);
    const std::int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(position, TSeekOrigin::soBeginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
    errno = 0; // a short count alone is no failure of the system's
    if (count != 0 && Read(buffer, count) != count) {
        throw EReadError(errno);
    }
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
    errno = 0;
    if (count != 0 && Write(buffer, count) != count) {
        throw EWriteError(errno);
    }
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    const std::int64_t result = count;
    // What passes through may be plain text: the buffer is wiped when it goes.
    TAlignedBuffer buffer(static_cast<std::size_t>(std::min(count, MaxCopyBufferSize)));
    while (count != 0) {
        const std::int64_t piece = std::min(count, MaxCopyBufferSize);
        source.ReadBuffer(buffer.Data(), piece);
        WriteBuffer(buffer.Data(), piece);
        count -= piece;
    }
    return result;
}

TFileStream::TFileStream(const TAtPath& path, std::uint16_t mode) : FFileName(path.Path()) {
    const bool create = mode == fmCreate;
    if (create) {
        // Always a new file: whatever sits at the name (another user's file
        // in a shared folder, a link) is never opened and written through.
        FHandle = CreateNewFile(path, 0600);
        if (FHandle < 0) {
            throw EFCreateError(FFileName, errno);
        }
        return;
    }
    // O_NONBLOCK keeps the open of a FIFO from waiting for a peer; anything but
    // a regular file is refused right after.
    FHandle = ::openat(path.Folder(), path.Name(),
                       O_RDONLY | O_CLOEXEC | O_NONBLOCK | (mode == fmOpenReadNoFollow ? O_NOFOLLOW : 0));
    int cause = errno;
    struct stat info {};
    if (FHandle >= 0 && (::fstat(FHandle, &info) != 0 || !S_ISREG(info.st_mode) ||
                         ::fcntl(FHandle, F_SETFL, ::fcntl(FHandle, F_GETFL) & ~O_NONBLOCK) != 0)) {
        // Not a file: a folder has a reason of its own, a FIFO or device none.
        cause = S_ISDIR(info.st_mode) ? EISDIR : 0;
        ::close(FHandle);
        FHandle = -1;
    }
    if (FHandle < 0) {
        throw EFOpenError(FFileName, cause);
    }
}

TFileStream::~TFileStream() {
    if (FHandle >= 0) {
        ::close(FHandle);
    }
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
    return count <= 0
               ? 0
               : static_cast<std::int64_t>(TransferAll(::read, FHandle, buffer, static_cast<std::size_t>(count)));
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
    return count <= 0
               ? 0
               : static_cast<std::int64_t>(TransferAll(::write, FHandle, buffer, static_cast<std::size_t>(count)));
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    int whence = SEEK_END;
    if (origin == TSeekOrigin::soBeginning) {
        whence = SEEK_SET;
    } else if (origin == TSeekOrigin::soCurrent) {
        whence = SEEK_CUR;
    }
    const off_t result = ::lseek(FHandle, offset, whence);
    if (result < 0) {
        throw EInOutError("Seek error on " + FFileName + ": " + std::strerror(errno), errno);
    }
    return result;
}

void TFileStream::Flush() {
    if (::fsync(FHandle) != 0) {
        throw EInOutError("Cannot flush " + FFileName + ": " + std::strerror(errno), errno);
    }
}

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
    const auto size = static_cast<std::int64_t>(FData.size());
    const std::int64_t n = std::min(count, size - FPosition);
    if (n > 0) {
        std::memcpy(buffer, FData.data() + FPosition, static_cast<std::size_t>(n));
        FPosition += n;
        return n;
    }
    return 0;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
    if (count <= 0) {
        return 0;
    }
    const auto end = static_cast<std::size_t>(FPosition + count);
    if (end > FData.size()) {
        FData.resize(end);
    }
    std::memcpy(FData.data() + FPosition, buffer, static_cast<std::size_t>(count));
    FPosition += count;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    const std::int64_t base = origin == TSeekOrigin::soBeginning ? 0
                              : origin == TSeekOrigin::soCurrent ? FPosition
                                                                 : static_cast<std::int64_t>(FData.size());
    if (base + offset < 0) {
        throw EInOutError("Seek before the beginning of a memory stream");
    }
    FPosition = base + offset;
    return FPosition;
}

} // namespace quillock::platform
