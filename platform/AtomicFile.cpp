#include "platform/AtomicFile.h"

#include "platform/FileHandle.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillock::platform {

bool SyncFolder(const std::filesystem::path& folder) noexcept {
    const int handle = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0) {
        return false;
    }
    const bool synced = ::fsync(handle) == 0;
    const int error = errno;
    ::close(handle);
    errno = error; // the failure the caller reports is the flush's
    return synced;
}

bool ReplaceFileAtomically(const std::filesystem::path& target, const std::string& content, mode_t mode) {
    const std::filesystem::path folder = target.parent_path().empty() ? "." : target.parent_path();
    // Built by appending: GCC 12 at -O3 misreads a concatenation of
    // temporaries here as an overlapping copy.
    std::string hidden = target.filename().string();
    hidden.insert(hidden.begin(), '.');
    hidden.append(".XXXXXX");
    std::string temporary = (folder / hidden).string();
    const int handle = ::mkstemp(temporary.data());
    if (handle < 0) {
        return false;
    }
    const bool written =
        ::fchmod(handle, mode) == 0 && WriteAll(handle, content.data(), content.size()) && ::fsync(handle) == 0;
    if (::close(handle) != 0 || !written || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    // A folder that cannot be flushed still holds the complete new file.
    SyncFolder(folder);
    return true;
}

} // namespace quillock::platform
