#include "platform/folder_handles.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

namespace zentrel::platform {

Folder_Handles::~Folder_Handles() { close_all_locked(); }

void Folder_Handles::hold() {
    std::lock_guard lock(mutex_);
    ++holds_;
}

void Folder_Handles::release() {
    std::lock_guard lock(mutex_);
    if (holds_ > 0 && --holds_ == 0) close_all_locked();
}

void Folder_Handles::before_rename(const std::string& from) {
    std::lock_guard lock(mutex_);
    if (handles_.empty()) return;
    // A file's rename, nearly every one a run makes, leaves every folder
    // where it is; a link's may change what a kept path led to.
    struct stat st;
    if (stat_entry_locked(from, st) != 0 || S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode)) close_all_locked();
}

void Folder_Handles::close_all_locked() {
    for (Handle& handle : handles_) ::close(handle.fd);
    handles_.clear();
}

int Folder_Handles::stat_entry(const std::string& path, struct stat& st) {
    std::lock_guard lock(mutex_);
    return stat_entry_locked(path, st);
}

int Folder_Handles::stat_entry_locked(const std::string& path, struct stat& st) {
    if (holds_ == 0) return ::lstat(path.c_str(), &st);
    const auto slash = path.find_last_of('/');
    // Only "/folder/name" with a plain last name has a folder to keep open.
    if (path.empty() || path.front() != '/' || slash == path.size() - 1) return ::lstat(path.c_str(), &st);
    const char* name = path.c_str() + slash + 1;
    const std::string_view name_view(name);
    if (name_view == "." || name_view == "..") return ::lstat(path.c_str(), &st);
    const std::string_view folder = slash == 0 ? std::string_view("/") : std::string_view(path).substr(0, slash);

    const auto now = std::chrono::steady_clock::now();
    std::erase_if(handles_, [&](const Handle& handle) {
        if (now - handle.opened < Lifetime) return false;
        ::close(handle.fd);
        return true;
    });
    auto found =
        std::find_if(handles_.begin(), handles_.end(), [&](const Handle& handle) { return handle.folder == folder; });
    if (found == handles_.end()) {
        // Opening the folder fails as looking up the entry would: ENOENT
        // when it is missing, ENOTDIR when it is no folder, EACCES when a
        // folder above may not be searched.
        const int fd = ::open(std::string(folder).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            // Out of descriptors is no answer about the entry.
            if (errno == EMFILE || errno == ENFILE || errno == ENOMEM) return ::lstat(path.c_str(), &st);
            return -1;
        }
        if (handles_.size() >= Capacity) {
            ::close(handles_.front().fd);
            handles_.erase(handles_.begin());
        }
        handles_.push_back({std::string(folder), fd, now});
        found = handles_.end() - 1;
    }
    return ::fstatat(found->fd, name, &st, AT_SYMLINK_NOFOLLOW);
}

}  // namespace zentrel::platform
