// An open file descriptor that is closed on every path.
#pragma once

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

} // namespace quillock::platform
