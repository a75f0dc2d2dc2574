// The ".qlx" file association on Linux: desktop entry, MIME package, caches.
#include "platform/Association.h"

#include "platform/AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quillock::platform {
namespace {

namespace fs = std::filesystem;

// Replaces file by a complete new one, creating its folders first.
bool WriteFileAtomically(const fs::path& file, const std::string& content) {
    std::error_code error;
    fs::create_directories(file.parent_path(), error);
    if (error) {
        return false;
    }
    return ReplaceFileAtomically(file, content, 0644);
}

// Runs a cache tool on folder, without a shell and with its output discarded.
// A tool that is not installed, or that fails, leaves the cache as it was:
// the files themselves are already in place.
void RefreshCache(const char* tool, const fs::path& folder) {
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        return;
    }
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string toolName = tool;
    std::string folderName = folder.string();
    char* arguments[] = {toolName.data(), folderName.data(), nullptr};
    pid_t child = -1;
    const int started = ::posix_spawnp(&child, tool, &actions, nullptr, arguments, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) {
        return;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

// Quotes one argument of a desktop entry's Exec key: inside double quotes the
// characters " ` $ and \ take a backslash; a literal % is doubled, as % starts
// a field code.
std::string ExecArgument(const std::string& argument) {
    static constexpr std::string_view Reserved = " \t\n\"'\\><~|&;$*?#()`";
    std::string out;
    const bool quote = argument.empty() || argument.find_first_of(Reserved) != std::string::npos;
    if (quote) {
        out.push_back('"');
    }
    for (const char c : argument) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) {
            out.push_back('\\');
        }
        out.push_back(c);
        if (c == '%') {
            out.push_back('%');
        }
    }
    if (quote) {
        out.push_back('"');
    }
    return out;
}

// The escapes of a desktop entry's string values, applied to the whole value
// after the quoting of its arguments (so one literal backslash becomes four).
std::string EscapeString(const std::string& value) {
    std::string out;
    for (const char c : value) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

} // namespace

fs::path DataHome() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
        return data;
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        const passwd* entry = ::getpwuid(::getuid());
        home = entry != nullptr ? entry->pw_dir : "/";
    }
    return fs::path(home) / ".local" / "share";
}

std::string DesktopEntry(const fs::path& program) {
    std::error_code error;
    fs::path full = fs::absolute(program, error);
    if (error) {
        full = program;
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Quillock\n"
           "GenericName=Sealed data files\n"
           "Comment=Opens a sealed Arbolix data file in the editor and seals it again\n"
           "Exec=" +
           EscapeString(ExecArgument(full.string())) +
           " %f\n"
           "Icon=quillock\n"
           "Terminal=false\n"
           "MimeType=" +
           std::string(SealedMimeType) +
           ";\n"
           "Categories=Utility;Security;\n";
}

std::string MimePackage() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
           "  <mime-type type=\"" +
           std::string(SealedMimeType) +
           "\">\n"
           "    <comment>Sealed Arbolix data file</comment>\n"
           "    <glob pattern=\"*" +
           std::string(SealedExtension) +
           "\"/>\n"
           "  </mime-type>\n"
           "</mime-info>\n";
}

bool WriteAssociationCommand(const fs::path& program) {
    if (program.empty()) {
        return false;
    }
    const fs::path folder = DataHome() / "applications";
    if (!WriteFileAtomically(folder / "quillock.desktop", DesktopEntry(program))) {
        return false;
    }
    RefreshCache("update-desktop-database", folder);
    return true;
}

bool RegisterExtension() {
    const fs::path folder = DataHome() / "mime";
    if (!WriteFileAtomically(folder / "packages" / "quillock.xml", MimePackage())) {
        return false;
    }
    RefreshCache("update-mime-database", folder);
    return true;
}

fs::path RunningProgramPath() {
    std::error_code error;
    std::string path = fs::read_symlink("/proc/self/exe", error).string();
    if (error) {
        return {};
    }
    // A program file replaced while it runs (an upgrade) is shown as deleted;
    // the new file at the same path is the one to open files with.
    static constexpr std::string_view Deleted = " (deleted)";
    if (path.ends_with(Deleted)) {
        path.erase(path.size() - Deleted.size());
    }
    return path;
}

std::string ApplicationTitle(const fs::path& program) {
    std::string title = program.filename().stem().string();
    for (std::size_t i = 0; i < title.size(); ++i) {
        const auto c = static_cast<unsigned char>(title[i]);
        if (i == 0 && c >= 'a' && c <= 'z') {
            title[i] = static_cast<char>(c - 'a' + 'A');
        } else if (i > 0 && c >= 'A' && c <= 'Z') {
            title[i] = static_cast<char>(c - 'A' + 'a');
        }
    }
    return title;
}

} // namespace quillock::platform
