#include "platform/trash.h"

#include "platform/file_system.h"
#include "platform/mounts.h"
#include "platform/user_folders.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <optional>

namespace zentrel::platform {

namespace {

// The trashinfo's Path is a URL path: every byte outside the unreserved
// set and "/" escaped, so names that are not UTF-8 read back whole.
std::string url_escaped(const std::string& path) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string base_name(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool make_folder(const std::string& path, mode_t mode) { return ::mkdir(path.c_str(), mode) == 0 || errno == EEXIST; }

// A trash folder with its files/ and info/, made as desktops make it
// (only the user may enter it); nothing when it cannot be.
std::optional<std::string> prepared(const std::string& trash) {
    if (!make_folder(trash, 0700)) return std::nullopt;
    struct stat status {};
    // Never through a link another user may have put there.
    if (::lstat(trash.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) || status.st_uid != ::getuid())
        return std::nullopt;
    if (!make_folder(trash + "/files", 0700) || !make_folder(trash + "/info", 0700)) return std::nullopt;
    return trash;
}

// $topdir/.Trash/$uid, where the administrator made a sticky .Trash that is
// no link; else $topdir/.Trash-$uid.
std::optional<std::string> top_trash(const std::string& top) {
    const std::string uid = std::to_string(::getuid());
    const std::string shared = (top == "/" ? "" : top) + "/.Trash";
    struct stat status {};
    if (::lstat(shared.c_str(), &status) == 0 && S_ISDIR(status.st_mode) && (status.st_mode & S_ISVTX)) {
        if (auto trash = prepared(shared + "/" + uid)) return trash;
    }
    return prepared((top == "/" ? "" : top) + "/.Trash-" + uid);
}

std::string deletion_date() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// Moves path into trash under a name free there, through fs; the info
// file, taken first with O_EXCL, reserves the name. Nothing when the move
// crosses file systems (a bind mount); throws on any other failure.
std::optional<std::string> move_into(File_System& fs, const std::string& trash, const std::string& path,
                                     const std::string& info_path) {
    const std::string name = base_name(path);
    const std::string text =
        "[Trash Info]\nPath=" + url_escaped(info_path) + "\nDeletionDate=" + deletion_date() + "\n";
    for (int attempt = 1;; ++attempt) {
        std::string candidate = name;
        if (attempt > 1) {
            const auto dot = name.rfind('.');
            const bool extension = dot != std::string::npos && dot > 0;
            candidate = (extension ? name.substr(0, dot) : name) + "." + std::to_string(attempt) +
                        (extension ? name.substr(dot) : "");
        }
        const std::string info = trash + "/info/" + candidate + ".trashinfo";
        const int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST && attempt < 10000) continue;
            throw File_System_Error(errno, info);
        }
        const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
        const bool closed = ::fsync(fd) == 0 && ::close(fd) == 0;
        if (!written || !closed) {
            const int error = errno;
            ::unlink(info.c_str());
            throw File_System_Error(error ? error : EIO, info);
        }
        const std::string destination = trash + "/files/" + candidate;
        struct stat taken {};
        if (::lstat(destination.c_str(), &taken) == 0) {
            // A file without its info: keep looking, leave both alone.
            ::unlink(info.c_str());
            continue;
        }
        try {
            fs.rename(path, destination, false);
            return destination;
        } catch (const File_System_Error& failure) {
            ::unlink(info.c_str());
            if (failure.error_number() == EXDEV) return std::nullopt;
            if (failure.error_number() == EEXIST && attempt < 10000) continue;
            throw;
        }
    }
}

}  // namespace

std::string move_to_trash(File_System& fs, const std::string& path) {
    // Through fs, as the run reaches the file: a folder on the way that was
    // swapped for a link fails here, before any trash is chosen or made.
    const auto status = fs.status(path);
    if (!status) throw File_System_Error(ENOENT, path);

    const std::string data_home = xdg_folder("XDG_DATA_HOME", ".local/share");
    std::error_code ignored;
    const std::string home_trash = data_home + "/Trash";
    std::filesystem::create_directories(data_home, ignored);
    std::optional<Entry_Status> home;
    try {
        home = fs.status(data_home);
    } catch (const File_System_Error&) {
    }
    if (home && home->device == status->device) {
        if (auto trash = prepared(home_trash)) {
            if (auto moved = move_into(fs, *trash, path, path)) return *moved;
        }
    }
    const std::string top = fs.mount_of(path).mount_point;
    if (auto trash = top_trash(top)) {
        // Paths in a trash at the top of a file system are relative to that top.
        std::string relative = path;
        if (top != "/" && relative.starts_with(top + "/")) relative = relative.substr(top.size() + 1);
        if (auto moved = move_into(fs, *trash, path, relative)) return *moved;
    }
    throw File_System_Error("Kein Papierkorb auf dem Dateisystem dieser Datei", path);
}

}  // namespace zentrel::platform
