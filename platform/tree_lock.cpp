#include "platform/tree_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <iterator>

#include "platform/file_system_kind.h"
#include "platform/posix_services.h"

namespace zentrel::platform {

bool Tree_Lock::acquire(const std::string& folder) {
    std::vector<std::unique_ptr<Folder_Lock>> taken;
    std::string path = fs_->canonical(folder);
    Lock_Mode mode = Lock_Mode::Exclusive;
    for (;;) {
        auto lock = fs_->lock_folder(path, mode);
        if (!lock) return false;
        taken.push_back(std::move(lock));
        if (path == "/" || path.empty()) break;
        const auto slash = path.find_last_of('/');
        path = slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
        mode = Lock_Mode::Shared;
    }
    locks_.insert(locks_.end(), std::make_move_iterator(taken.begin()), std::make_move_iterator(taken.end()));
    return true;
}

namespace posix {

namespace {

class Flock final : public Folder_Lock {
public:
    explicit Flock(int fd) : fd_(fd) {}
    ~Flock() override {
        if (fd_ >= 0) ::close(fd_);
    }
    Flock(const Flock&) = delete;
    Flock& operator=(const Flock&) = delete;

private:
    int fd_;
};

}  // namespace

std::unique_ptr<Folder_Lock> lock_folder(const std::string& path, Lock_Mode mode) {
    // smbnetfs's own folders above a share cannot be opened at all, and
    // an attempt makes the share fail for a while.
    if (is_share_browser_folder(path)) return std::make_unique<Folder_Lock>();
    const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return std::make_unique<Folder_Lock>();
    while (::flock(fd, (mode == Lock_Mode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) return nullptr;
        return std::make_unique<Folder_Lock>();
    }
    return std::make_unique<Flock>(fd);
}

}  // namespace posix

}  // namespace zentrel::platform
