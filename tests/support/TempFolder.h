// A temporary folder for a test (every test folder uses this one), removed
// with everything in it at the end; and small file and environment helpers.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace quillock::tests {

class TTempFolder {
public:
    TTempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillock-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        FPath = pattern;
    }
    ~TTempFolder() {
        std::error_code error;
        // Give back write permission that a test took away, so removal works.
        for (auto it = std::filesystem::recursive_directory_iterator(FPath, error);
             !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
            if (it->is_directory(error) && !it->is_symlink(error)) {
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, error);
            }
        }
        std::filesystem::remove_all(FPath, error);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;

    [[nodiscard]] const std::filesystem::path& Path() const noexcept { return FPath; }
    [[nodiscard]] std::filesystem::path operator/(const std::string& name) const { return FPath / name; }

private:
    std::filesystem::path FPath;
};

inline std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteWholeFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

// Sets an environment variable for the life of the object.
class TEnvironmentVariable {
public:
    TEnvironmentVariable(const char* name, const std::string& value) : FName(name) {
        if (const char* old = std::getenv(name)) {
            FOld = old;
            FHadOld = true;
        }
        ::setenv(name, value.c_str(), 1);
    }
    ~TEnvironmentVariable() {
        if (FHadOld) {
            ::setenv(FName.c_str(), FOld.c_str(), 1);
        } else {
            ::unsetenv(FName.c_str());
        }
    }
    TEnvironmentVariable(const TEnvironmentVariable&) = delete;
    TEnvironmentVariable& operator=(const TEnvironmentVariable&) = delete;

private:
    std::string FName;
    std::string FOld;
    bool FHadOld = false;
};

// True when the tests run under qemu's user-mode emulation (scripts/test-cross
// sets QUILLOCK_EMULATED): what the emulator does not pass to the kernel
// cannot be checked there.
inline bool UnderEmulation() {
    return std::getenv("QUILLOCK_EMULATED") != nullptr;
}

} // namespace quillock::tests
