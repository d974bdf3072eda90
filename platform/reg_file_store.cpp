#include "platform/reg_file_store.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string_view>

namespace zentrel::platform::reg_file {

namespace {

constexpr long Error_Invalid_Data = 13;
constexpr long Error_Disk_Full = 112;

long code_for(int error_number) {
    switch (error_number) {
        case 0:
            return ERROR_SUCCESS;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOSPC:
        case EDQUOT:
            return Error_Disk_Full;
        default:
            return ERROR_ACCESS_DENIED;
    }
}

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string home_folder() {
    std::string home = environment("HOME");
    if (!home.empty()) return home;
    if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
    return "/";
}

const char* root_name(Registry_Root root) {
    switch (root) {
        case 0x80000000u:
            return "HKEY_CLASSES_ROOT";
        case HKEY_CURRENT_USER:
            return "HKEY_CURRENT_USER";
        case HKEY_LOCAL_MACHINE:
            return "HKEY_LOCAL_MACHINE";
        case 0x80000003u:
            return "HKEY_USERS";
        case 0x80000005u:
            return "HKEY_CURRENT_CONFIG";
        default:
            return nullptr;
    }
}

class File_Descriptor {
public:
    explicit File_Descriptor(int fd = -1) : fd_(fd) {}
    ~File_Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    File_Descriptor(const File_Descriptor&) = delete;
    File_Descriptor& operator=(const File_Descriptor&) = delete;
    int get() const { return fd_; }
    // close() with its result, for files whose written data must be checked.
    int close() {
        int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

int make_folders(const std::string& folder) {
    for (std::size_t end = folder.find('/', 1);; end = folder.find('/', end + 1)) {
        const std::string part = folder.substr(0, end);
        if (!part.empty() && ::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return errno;
        if (end == std::string::npos) break;
    }
    struct stat info;
    if (::stat(folder.c_str(), &info) != 0) return errno;
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

// The whole file, or an errno (EFBIG past Largest_File, EINVAL for what is
// no regular file, with its mode in mode).
int read_whole(const std::string& path, std::string& text, std::uint32_t& mode, std::uint64_t& size) {
    text.clear();
    // A pipe or device put where the file belongs would block the read (or
    // answer it with endless data): it is looked at before it is opened, and
    // the non-blocking open is checked again for one slipped in meanwhile.
    struct stat before;
    if (::stat(path.c_str(), &before) != 0) return errno;
    mode = before.st_mode;
    if (!S_ISREG(before.st_mode)) return EINVAL;
    File_Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) return errno;
    struct stat opened;
    if (::fstat(fd.get(), &opened) != 0) return errno;
    mode = opened.st_mode;
    if (!S_ISREG(opened.st_mode)) return EINVAL;
    size = static_cast<std::uint64_t>(opened.st_size);
    if (size > Largest_File) return EFBIG;
    text.reserve(static_cast<std::size_t>(size));
    char buffer[65536];
    while (true) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (got == 0) return 0;
        // A file that grows while it is read.
        if (text.size() + static_cast<std::size_t>(got) > Largest_File) {
            size = text.size() + static_cast<std::size_t>(got);
            return EFBIG;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

int write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

// A file reached through a symbolic link (a dotfile manager's link, say) is
// replaced where it really lives, so the link survives the rewrite.
std::string real_target(const std::string& path) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string folder_of(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

int replace_file(const std::string& target, const std::string& text, bool keep_damaged_copy) {
    struct stat old_info;
    const bool had_file = ::stat(target.c_str(), &old_info) == 0;
    const std::string temporary = target + ".tmp";
    // Left behind by a writer that died; under the lock nobody else uses it.
    ::unlink(temporary.c_str());
    File_Descriptor fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (fd.get() < 0) return errno;
    int error = write_all(fd.get(), text);
    if (!error && had_file && ::fchmod(fd.get(), old_info.st_mode & 07777) != 0) error = errno;
    if (!error && ::fsync(fd.get()) != 0) error = errno;
    if (fd.close() != 0 && !error) error = errno;
    if (!error && had_file && keep_damaged_copy) {
        const std::string copy = target + ".damaged";
        ::unlink(copy.c_str());
        (void)::link(target.c_str(), copy.c_str());  // a convenience; the save goes on without it
    }
    if (!error && ::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
    if (error) {
        ::unlink(temporary.c_str());
        return error;
    }
    // The rename itself must reach the disk too.
    File_Descriptor folder(::open(folder_of(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) ::fsync(folder.get());
    return 0;
}

}  // namespace

std::optional<Location> location_of(Registry_Root root) {
    const char* name = root_name(root);
    if (!name) return std::nullopt;
    Location location;
    location.root_name = name;
    if (std::string moved = environment("ZENTREL_REGISTRY_DIR"); !moved.empty()) {
        location.folder = moved;
    } else if (root == HKEY_CURRENT_USER) {
        std::string config = environment("XDG_CONFIG_HOME");
        // The XDG rules ignore a relative path here.
        if (config.empty() || config.front() != '/') config = home_folder() + "/.config";
        location.folder = config + "/zentrel";
    } else {
        location.folder = "/etc/zentrel";
    }
    while (location.folder.size() > 1 && location.folder.back() == '/') location.folder.pop_back();
    location.path = location.folder + "/" + location.root_name + ".reg";
    return location;
}

Reading read_document(const Location& location, Document& document) {
    Reading reading;
    reading.path = location.path;
    document = Document{};
    std::string text;
    switch (const int error = read_whole(location.path, text, reading.mode, reading.size)) {
        case 0:
            reading.status = File_Status::Read;
            document = parse(text, location.root_name);
            break;
        case ENOENT:
        case ENOTDIR:
            reading.status = File_Status::Missing;
            break;
        case EFBIG:
            reading.status = File_Status::Too_Large;
            document.damaged = true;
            break;
        case EINVAL:
            reading.status = File_Status::Not_A_File;
            break;
        default:
            reading.status = File_Status::Unreadable;
            reading.error_number = error;
            break;
    }
    return reading;
}

long load(const Location& location, Document& document, bool& missing) {
    const Reading reading = read_document(location, document);
    missing = reading.status == File_Status::Missing;
    switch (reading.status) {
        case File_Status::Not_A_File:
            return ERROR_ACCESS_DENIED;
        case File_Status::Unreadable:
            return code_for(reading.error_number);
        default:
            return ERROR_SUCCESS;
    }
}

std::string damaged_copy_of(const Location& location) { return real_target(location.path) + ".damaged"; }

long update(const Location& location, const std::function<bool(Document&)>& change, int* error_number) {
    int ignored = 0;
    int& failure = error_number ? *error_number : ignored;
    failure = 0;
    auto failed = [&](int error) {
        failure = error;
        return code_for(error);
    };
    if (int error = make_folders(location.folder)) return failed(error);
    const std::string lock_path = location.path + ".lock";
    File_Descriptor lock(::open(lock_path.c_str(), O_RDWR | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (lock.get() < 0) return failed(errno);
    struct stat lock_status;
    if (::fstat(lock.get(), &lock_status) != 0) return failed(errno);
    if (!S_ISREG(lock_status.st_mode)) return failed(EINVAL);
    while (::flock(lock.get(), LOCK_EX) != 0)
        if (errno != EINTR) return failed(errno);

    const std::string target = real_target(location.path);
    std::string text;
    std::uint32_t mode = 0;
    std::uint64_t size = 0;
    Document document;
    if (int error = read_whole(target, text, mode, size); error == 0) {
        document = parse(text, location.root_name);
    } else if (error == EFBIG) {
        // Nothing of it was read; it is kept aside like a damaged file.
        document.damaged = true;
    } else if (error != ENOENT) {
        // Only a missing file may be started afresh; one that cannot be read
        // would lose every other value if it were replaced.
        return failed(error);
    }
    if (!change(document)) return ERROR_SUCCESS;
    const std::string new_text = write(document, location.root_name);
    if (new_text.size() > Largest_File) {
        failure = EFBIG;
        return Error_Invalid_Data;
    }
    if (int error = replace_file(target, new_text, document.damaged)) return failed(error);
    return ERROR_SUCCESS;
    // The lock goes with its descriptor.
}

}  // namespace zentrel::platform::reg_file
