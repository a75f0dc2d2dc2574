// A scratch file for the fuzz targets whose code under test reads a path:
// one per process, rewritten with each input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace quillock::fuzz {

// Writes the input to the process's scratch file and returns its path.
inline const std::string& WriteScratch(const std::uint8_t* data, std::size_t size, const char* suffix = "") {
    static const std::string path = [suffix] {
        std::string pattern = std::string("/tmp/quillock-fuzz-XXXXXX") + suffix;
        const int fd = ::mkstemps(pattern.data(), static_cast<int>(std::string(suffix).size()));
        if (fd < 0) {
            std::abort();
        }
        ::close(fd);
        return pattern;
    }();
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0) {
        std::abort();
    }
    return path;
}

} // namespace quillock::fuzz
