#include "platform/confined_paths.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/file_objects.h"
#include "platform/file_system.h"

namespace zentrel::platform {

namespace {

// openat2() may be missing from the C library; the kernel has had it since 5.6.
int open_beneath(int root, const std::string& relative) {
    open_how how{};
    how.flags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    return static_cast<int>(::syscall(SYS_openat2, root, relative.c_str(), &how, sizeof how));
}

// The same without openat2: one real folder after another.
int open_step_by_step(int root, const std::string& relative) {
    int at = ::dup(root);
    if (at < 0) return -1;
    std::size_t start = 0;
    while (start < relative.size()) {
        std::size_t end = relative.find('/', start);
        if (end == std::string::npos) end = relative.size();
        const std::string part = relative.substr(start, end - start);
        const int next = ::openat(at, part.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int error = errno;
        ::close(at);
        if (next < 0) {
            // O_PATH | O_NOFOLLOW opens a link itself, which O_DIRECTORY refuses.
            errno = error == ENOTDIR ? ELOOP : error;
            return -1;
        }
        at = next;
        start = end + 1;
    }
    return at;
}

}  // namespace

Open_Folder::~Open_Folder() {
    if (fd_ >= 0) ::close(fd_);
}

Path_Place::Path_Place(std::string path) : name_(std::move(path)) {}

int Path_Place::at() const { return folder_ ? folder_->fd() : AT_FDCWD; }

void Confined_Paths::confine(const std::vector<std::string>& roots) {
    std::lock_guard lock(mutex_);
    if (depth_++ > 0) return;
    for (const std::string& root : roots) {
        if (root.empty()) continue;
        const int fd = ::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) roots_.push_back({normalize_path(root), std::make_shared<const Open_Folder>(fd)});
    }
}

void Confined_Paths::unconfine() {
    std::lock_guard lock(mutex_);
    if (depth_ > 0 && --depth_ == 0) unconfine_all();
}

void Confined_Paths::unconfine_all() {
    roots_.clear();
    recent_.clear();
}

Path_Place Confined_Paths::place_of(const std::string& path, bool reading) const {
    int error = 0;
    auto place = find_place(path, reading, error);
    if (!place) throw File_System_Error(error, path);
    return std::move(*place);
}

std::optional<Path_Place> Confined_Paths::look_place_of(const std::string& path) const {
    int error = 0;
    auto place = find_place(path, true, error);
    if (!place && error != ENOENT && error != ENOTDIR) throw File_System_Error(error, path);
    return place;
}

std::optional<Path_Place> Confined_Paths::find_place(const std::string& path, bool reading, int& error) const {
    std::lock_guard lock(mutex_);
    if (roots_.empty()) return Path_Place(path);
    // The deepest root that holds the path: the two never nest, but a
    // target may lie beside the source under a common parent.
    const Root* holder = nullptr;
    for (const Root& root : roots_) {
        const bool inside = root.path == "/" ? path.starts_with('/')
                                             : path.starts_with(root.path) &&
                                                   (path.size() == root.path.size() || path[root.path.size()] == '/');
        if (inside && (!holder || root.path.size() > holder->path.size())) holder = &root;
    }
    if (!holder) return Path_Place(path);
    // A write may make what was missing.
    if (!reading) std::erase_if(recent_, [](const Recent& recent) { return !recent.folder; });
    // Views into path: a look-up in a folder opened a moment ago makes no
    // copy but the name's.
    std::string_view relative(path);
    relative.remove_prefix(holder->path == "/" ? 1 : holder->path.size());
    while (relative.starts_with('/')) relative.remove_prefix(1);
    while (relative.ends_with('/')) relative.remove_suffix(1);
    if (relative.empty()) return Path_Place(holder->folder, ".");
    const auto slash = relative.find_last_of('/');
    if (slash == std::string_view::npos) return Path_Place(holder->folder, std::string(relative));

    const std::string_view folder = relative.substr(0, slash);
    std::string name(relative.substr(slash + 1));
    const auto now = std::chrono::steady_clock::now();
    auto same_folder = [&](const Recent& recent) { return recent.root == holder && recent.path == folder; };
    if (reading) {
        std::erase_if(recent_, [&](const Recent& recent) { return now - recent.opened >= Lifetime; });
        for (const Recent& recent : recent_) {
            if (!same_folder(recent)) continue;
            if (!recent.folder) {
                error = recent.error;
                return std::nullopt;
            }
            return Path_Place(recent.folder, std::move(name));
        }
    }
    const std::string folder_text(folder);
    int fd = open_beneath(holder->folder->fd(), folder_text);
    if (fd < 0 && errno == ENOSYS) fd = open_step_by_step(holder->folder->fd(), folder_text);
    if (fd < 0) {
        // A path of ours with ".." (never the walk's) leaves the tree.
        if (errno == EXDEV) errno = ELOOP;
        error = errno;
        if (reading && (error == ENOENT || error == ENOTDIR)) {
            if (recent_.size() >= Capacity) recent_.erase(recent_.begin());
            recent_.push_back({holder, folder_text, nullptr, now, error});
        }
        return std::nullopt;
    }
    auto opened = std::make_shared<const Open_Folder>(fd);
    // Kept for the next looks in the same folder, but never handed to a
    // write (see place_of).
    std::erase_if(recent_, same_folder);
    if (recent_.size() >= Capacity) recent_.erase(recent_.begin());
    recent_.push_back({holder, folder_text, opened, now, 0});
    return Path_Place(std::move(opened), std::move(name));
}

}  // namespace zentrel::platform
