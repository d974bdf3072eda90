#include "platform/tree_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/file_system_kind.h"

namespace zentrel::platform {

namespace {

// Takes the lock on the folder; -1 when another holder has it, -2 when the
// folder or its file system cannot be locked at all.
int lock_folder(const std::string& path, int how) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return -2;
    while (::flock(fd, how | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? -1 : -2;
    }
    return fd;
}

std::string resolved(const std::string& path) {
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
    return real ? std::string(real.get()) : path;
}

}  // namespace

bool Tree_Lock::acquire(const std::string& folder) {
    std::vector<int> taken;
    auto give_back = [&] {
        for (int fd : taken) ::close(fd);
        return false;
    };
    std::string path = resolved(folder);
    int how = LOCK_EX;
    for (;;) {
        // smbnetfs's own folders above a share cannot be opened at all, and
        // an attempt makes the share fail for a while.
        const int fd = is_share_browser_folder(path) ? -2 : lock_folder(path, how);
        if (fd == -1) return give_back();
        if (fd >= 0) taken.push_back(fd);
        if (path == "/" || path.empty()) break;
        const auto slash = path.find_last_of('/');
        path = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
        how = LOCK_SH;
    }
    descriptors_.insert(descriptors_.end(), taken.begin(), taken.end());
    return true;
}

void Tree_Lock::release() {
    for (int fd : descriptors_) ::close(fd);
    descriptors_.clear();
}

}  // namespace zentrel::platform
