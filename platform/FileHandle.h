// An open file descriptor that is closed on every path, and moving all of a
// buffer through one.
#pragma once

#include <cerrno>
#include <cstddef>
#include <type_traits>
#include <unistd.h>

namespace quillock::platform {

class TFd {
public:
    explicit TFd(int fd) noexcept : FFd(fd) {}
    ~TFd() {
        if (FFd >= 0) {
            ::close(FFd);
        }
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;

    [[nodiscard]] int Get() const noexcept { return FFd; }
    [[nodiscard]] bool Valid() const noexcept { return FFd >= 0; }
    // Closes now and reports the outcome (a delayed write error shows here).
    [[nodiscard]] bool Close() noexcept {
        const int fd = FFd;
        FFd = -1;
        return fd >= 0 && ::close(fd) == 0;
    }

private:
    int FFd;
};

// Moves up to size bytes through op (::read or ::write) on fd, carrying on
// after short transfers and interruptions; returns how many moved, fewer when
// the file ended or op failed (errno tells why).
template <typename TVoid>
std::size_t TransferAll(ssize_t (*op)(int, TVoid*, std::size_t), int fd, TVoid* data, std::size_t size) noexcept {
    using TByte = std::conditional_t<std::is_const_v<TVoid>, const char, char>;
    auto* bytes = static_cast<TByte*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t moved = op(fd, bytes + done, size - done);
        if (moved < 0 && errno == EINTR) {
            continue;
        }
        if (moved <= 0) {
            break;
        }
        done += static_cast<std::size_t>(moved);
    }
    return done;
}

// Writes all size bytes; false when a write fails (errno tells why).
inline bool WriteAll(int fd, const void* data, std::size_t size) noexcept {
    return TransferAll(::write, fd, data, size) == size;
}

} // namespace quillock::platform
