#include "platform/mounts.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

#include "platform/file_system.h"

namespace zentrel::platform {

namespace {

// mountinfo writes blanks, tabs, newlines and backslashes in its fields as
// a backslash and three octal digits.
std::string unescape(const std::string& field) {
    auto octal = [](char c) { return c >= '0' && c <= '7'; };
    std::string result;
    result.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && octal(field[i + 1]) && octal(field[i + 2]) &&
            octal(field[i + 3])) {
            result += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            result += field[i];
        }
    }
    return result;
}

std::string read_whole(int fd) {
    std::string text;
    if (::lseek(fd, 0, SEEK_SET) != 0) return text;
    char buffer[16384];
    for (;;) {
        const ssize_t length = ::read(fd, buffer, sizeof buffer);
        if (length < 0 && errno == EINTR) continue;
        if (length <= 0) break;
        text.append(buffer, static_cast<size_t>(length));
    }
    return text;
}

// The mount table, read again only after a mount or an unmount: the kernel
// marks an open /proc/self/mountinfo with POLLPRI when the table changes (and
// clears the mark as poll() reports it), so a folder walk that asks for every
// folder reads the table once instead of once per folder.
class Mount_Table {
public:
    ~Mount_Table() {
        if (fd_ >= 0) ::close(fd_);
    }

    std::shared_ptr<const std::vector<Mount>> current() {
        std::lock_guard lock(mutex_);
        // A child made by fork() shares the descriptor, and with it the mark:
        // whichever process saw a change first would hide it from the other.
        if (fd_ >= 0 && owner_ != ::getpid()) {
            ::close(fd_);
            fd_ = -1;
            mounts_.reset();
        }
        if (fd_ < 0) {
            fd_ = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
            owner_ = ::getpid();
        }
        if (fd_ < 0) return std::make_shared<const std::vector<Mount>>();
        pollfd changed{fd_, POLLPRI, 0};
        const bool stale = !mounts_ || ::poll(&changed, 1, 0) != 0;
        if (stale) mounts_ = std::make_shared<const std::vector<Mount>>(parse_mountinfo(read_whole(fd_)));
        return mounts_;
    }

private:
    std::mutex mutex_;
    int fd_ = -1;
    pid_t owner_ = 0;  // the process that opened fd_
    std::shared_ptr<const std::vector<Mount>> mounts_;
};

std::shared_ptr<const std::vector<Mount>> system_mounts() {
    static Mount_Table table;
    return table.current();
}

bool holds(const std::string& mount_point, const std::string& path) {
    if (mount_point == "/") return true;
    return path.starts_with(mount_point) && (path.size() == mount_point.size() || path[mount_point.size()] == '/');
}

std::string parent_of(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

// nullopt when the folder cannot be read.
std::optional<bool> is_empty_folder(const std::string& folder) {
    DIR* listing = ::opendir(folder.c_str());
    if (!listing) return std::nullopt;
    bool empty = true;
    errno = 0;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            empty = false;
            break;
        }
    }
    const bool failed = empty && errno != 0;
    ::closedir(listing);
    if (failed) return std::nullopt;
    return empty;
}

std::vector<std::string> fstab_points(const Mount_Point_Rules& rules) {
    std::ifstream in(rules.fstab);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return parse_fstab(text);
}

bool listed_in_fstab(const std::string& folder, const Mount_Point_Rules& rules) {
    for (const std::string& point : fstab_points(rules))
        if (point == folder || real_file_system().canonical(point) == folder) return true;
    return false;
}

// An existing, empty folder with nothing mounted on it.
bool is_empty_unmounted(const std::string& folder) {
    return !is_mount_point(folder) && is_empty_folder(folder).value_or(false);
}

}  // namespace

std::vector<std::string> parse_fstab(const std::string& text) {
    std::vector<std::string> points;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string device, point;
        if (!(words >> device) || device.starts_with("#") || !(words >> point)) continue;
        point = unescape(point);
        if (point.empty() || point.front() != '/') continue;  // "none", "swap"
        points.push_back(point);
    }
    return points;
}

std::optional<std::string> unmounted_storage_above(const std::string& missing_path, const Mount_Point_Rules& rules) {
    std::string folder = missing_path;
    struct stat about {};
    while (::stat(folder.c_str(), &about) != 0) {
        if (errno != ENOENT || folder == "/" || folder.empty()) return std::nullopt;
        folder = parent_of(folder);
    }
    if (!S_ISDIR(about.st_mode)) return std::nullopt;
    folder = real_file_system().canonical(folder);
    if (!is_empty_unmounted(folder)) return std::nullopt;
    for (const std::string& root : rules.removable_roots) {
        const std::string real_root = real_file_system().canonical(root);
        if (folder.size() > real_root.size() && holds(real_root, folder)) return folder;
    }
    if (listed_in_fstab(folder, rules)) return folder;
    return std::nullopt;
}

bool is_unmounted_fstab_point(const std::string& folder, const Mount_Point_Rules& rules) {
    const std::string real = real_file_system().canonical(folder);
    return listed_in_fstab(real, rules) && is_empty_unmounted(real);
}

std::shared_ptr<const std::vector<Mount>> current_mounts() { return system_mounts(); }

namespace {
std::atomic<std::uint64_t> mount_generation{0};
}

std::shared_ptr<const std::vector<Mount>> recent_mounts(bool fresh) {
    struct Recent {
        std::shared_ptr<const std::vector<Mount>> mounts;
        std::chrono::steady_clock::time_point at;
        std::uint64_t generation = 0;
    };
    static thread_local Recent recent;
    // The clock is read without a system call; the table's own check costs
    // two (getpid and poll) each time.
    const auto now = std::chrono::steady_clock::now();
    const std::uint64_t generation = mount_generation.load(std::memory_order_relaxed);
    if (fresh || !recent.mounts || generation != recent.generation ||
        now - recent.at >= std::chrono::milliseconds(Recent_Mounts_Span_Ms))
        recent = {system_mounts(), now, generation};
    return recent.mounts;
}

void ask_mounts_afresh() { mount_generation.fetch_add(1, std::memory_order_relaxed); }

std::vector<Mount> parse_mountinfo(const std::string& text) {
    // id parent major:minor root mount-point options [optional fields...] - type source super-options
    std::vector<Mount> mounts;
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::vector<std::string> fields;
        for (std::string word; words >> word;) fields.push_back(word);
        size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-") ++dash;
        if (fields.size() < 5 || dash + 2 >= fields.size()) continue;
        mounts.push_back({unescape(fields[4]), unescape(fields[dash + 1]), unescape(fields[dash + 2]), fields[2],
                          unescape(fields[3])});
    }
    return mounts;
}

Mount mount_in(const std::vector<Mount>& mounts, const std::string& canonical_path) {
    const Mount* best = nullptr;
    for (const auto& mount : mounts) {
        if (!holds(mount.mount_point, canonical_path)) continue;
        if (!best || mount.mount_point.size() >= best->mount_point.size()) best = &mount;
    }
    if (!best) return {"/", "", ""};
    return *best;
}

std::string path_in_file_system(const Mount& mount, const std::string& canonical_path) {
    const std::string rest =
        mount.mount_point == "/" ? canonical_path : canonical_path.substr(mount.mount_point.size());
    if (mount.root.empty() || mount.root == "/") return rest.empty() ? "/" : rest;
    return mount.root + rest;
}

Mount mount_of(const std::string& path) { return mount_in(*system_mounts(), real_file_system().canonical(path)); }

bool is_mount_point(const std::string& path) {
    // The kernel says so itself (Linux 5.8 and later), without resolving
    // the path one link at a time or reading the mount table.
    struct statx about {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_TYPE, &about) == 0 &&
        (about.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT))
        return about.stx_attributes & STATX_ATTR_MOUNT_ROOT;
    std::string real = real_file_system().canonical(path);
    if (real == "/") return true;
    // A different device than the parent is the common case and needs no
    // mount table; a bind mount of the same file system only shows there.
    struct stat own, parent;
    if (::stat(real.c_str(), &own) != 0) return false;
    if (::stat(parent_of(real).c_str(), &parent) == 0 && own.st_dev != parent.st_dev) return true;
    for (const auto& mount : *system_mounts())
        if (mount.mount_point == real) return true;
    return false;
}

std::string share_name(const Mount& mount) {
    static const char* const network_types[] = {"cifs", "smb3", "smbfs", "nfs", "nfs4", "fuse.sshfs"};
    for (const char* type : network_types)
        if (mount.file_system_type == type) return mount.source;
    return {};
}

}  // namespace zentrel::platform
