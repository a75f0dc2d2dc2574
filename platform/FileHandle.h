// An open file descriptor that is closed on every path, and writing all of a
// buffer to one.
#pragma once

#include <cerrno>
#include <cstddef>
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

// Writes all size bytes, carrying on after short writes and interruptions;
// false when a write fails (errno tells why).
inline bool WriteAll(int fd, const void* data, std::size_t size) noexcept {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(fd, bytes, size);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            return false;
        }
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

} // namespace quillock::platform
