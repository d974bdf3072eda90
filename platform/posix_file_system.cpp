// File_System over POSIX and Linux system calls.
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_objects.h"
#include "platform/file_system.h"
#include "platform/folder_handles.h"

namespace zentrel::platform {

namespace {

[[noreturn]] void fail(const std::string& path) { throw File_System_Error(errno, path); }

Entry_Kind kind_of_mode(mode_t mode) {
    if (S_ISREG(mode)) return Entry_Kind::Regular;
    if (S_ISDIR(mode)) return Entry_Kind::Directory;
    if (S_ISLNK(mode)) return Entry_Kind::Symlink;
    return Entry_Kind::Other;
}

Entry_Status status_of(const struct stat& st) {
    Entry_Status status;
    status.kind = kind_of_mode(st.st_mode);
    status.size = static_cast<std::uint64_t>(st.st_size);
    status.modified = {st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    status.mode = st.st_mode & 07777;
    status.device = st.st_dev;
    status.inode = st.st_ino;
    return status;
}

// Closes a descriptor when it goes out of scope; close() of a file being
// written is checked separately where its result matters.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

void write_all(int fd, const char* data, size_t size, const std::string& path) {
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            fail(path);
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
}

// copy_file_range() refuses some pairs of files (other file systems on old
// kernels, special file systems); those are copied by read and write instead.
bool in_kernel_copy_unavailable(int error) {
    return error == ENOSYS || error == EXDEV || error == EINVAL || error == EOPNOTSUPP || error == ENOTSUP ||
           error == EBADF || error == ETXTBSY;
}

// The devices whose file system has refused a reflink. A refusal holds for
// the whole file system (a clone between two file systems fails with EXDEV
// before the file system is asked), so it is asked once, not for every file.
class Clone_Refusals {
public:
    bool refused(dev_t device) {
        std::lock_guard lock(mutex_);
        return std::find(devices_.begin(), devices_.end(), device) != devices_.end();
    }
    void remember(dev_t device) {
        std::lock_guard lock(mutex_);
        if (std::find(devices_.begin(), devices_.end(), device) == devices_.end()) devices_.push_back(device);
    }

private:
    std::mutex mutex_;  // large files are copied on a worker thread
    std::vector<dev_t> devices_;
};

// Copies from the current offset of in to the current offset of out until
// the end of in; source is in's status.
void copy_data(int in, int out, const struct stat& source, Clone_Refusals& refusals, const std::string& from,
               const std::string& to) {
    // A reflink shares the blocks: instant, and no space used until one side
    // changes. It fails harmlessly where the file system cannot do it.
    if (!refusals.refused(source.st_dev)) {
        if (::ioctl(out, FICLONE, in) == 0) return;
        if (errno == EOPNOTSUPP) refusals.remember(source.st_dev);
    }

    std::uint64_t total = 0;
    bool kernel_copy = true;
    while (kernel_copy) {
        ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, size_t{1} << 30, 0);
        if (copied > 0) {
            total += static_cast<std::uint64_t>(copied);
            continue;
        }
        // After data, nothing more is the end. Nothing at all may also be a
        // file system that reports no size: read on to be sure.
        if (copied == 0) {
            if (total > 0) return;
            break;
        }
        if (errno == EINTR) continue;
        if (!in_kernel_copy_unavailable(errno)) {
            // The error belongs to whichever side failed; ENOSPC, EDQUOT and
            // EFBIG can only come from the destination.
            int error = errno;
            bool target_side = error == ENOSPC || error == EDQUOT || error == EFBIG;
            throw File_System_Error(error, target_side ? to : from);
        }
        kernel_copy = false;
    }

    // Small files (the usual reason to get here) need no large buffer.
    const size_t buffer_size = source.st_size < (1 << 16) ? size_t{1} << 16 : size_t{1} << 20;
    std::unique_ptr<char[]> buffer(new char[buffer_size]);
    for (;;) {
        ssize_t got = ::read(in, buffer.get(), buffer_size);
        if (got < 0) {
            if (errno == EINTR) continue;
            fail(from);
        }
        if (got == 0) return;
        write_all(out, buffer.get(), static_cast<size_t>(got), to);
    }
}

// Opens from for copying: never through a link, never waiting for the
// writer of a pipe that slipped in; fills st and accepts only a regular file.
int open_source(const std::string& from, struct stat& st, const char* not_regular) {
    Descriptor in(::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (in.get() < 0) fail(from);
    if (::fstat(in.get(), &st) != 0) fail(from);
    if (S_ISDIR(st.st_mode)) throw File_System_Error(EISDIR, from);
    if (!S_ISREG(st.st_mode)) throw File_System_Error(not_regular, from);
    // Back to blocking reads, which regular files ignore anyway. O_NONBLOCK
    // is the only flag F_SETFL can change that was set.
    ::fcntl(in.get(), F_SETFL, 0);
    return in.release();
}

// Creates the copy: only we can read it while it is incomplete, and the lock
// tells a later run that it is still being written (see
// remove_stale_partial_copies); the lock goes when we close or die.
// The new file is locked for as long as data goes into it, so that a
// removal of stale partial copies (another running instance's, say) leaves it
// alone. Where the file system can, the file is made without a name, locked,
// and only then given its name: no one ever finds it unlocked. Elsewhere the
// name comes first and the lock at once after; that lock is waited for, since
// a removal testing the name holds it for a moment.
int create_copy(const std::string& to) {
    const std::size_t slash = to.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : to.substr(0, slash);
    int out = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (out >= 0) {
        ::flock(out, LOCK_EX);
        const std::string self = "/proc/self/fd/" + std::to_string(out);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0) return out;
        const int error = errno;
        ::close(out);
        // Without /proc the name is made the other way; any other failure
        // (EEXIST above all) is the name's own.
        errno = error;
        if (error != ENOENT) fail(to);
    }
    out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (out < 0) fail(to);
    while (::flock(out, LOCK_EX) != 0 && errno == EINTR) {
    }
    return out;
}

// getxattrat() (Linux 6.13), which the C library may not offer yet: the
// attribute name of the entry path of the folder at, never through a link.
#if defined(SYS_getxattrat)
constexpr long Get_Attribute_At_Call = SYS_getxattrat;
#elif defined(__x86_64__) || defined(__aarch64__) || defined(__riscv)
constexpr long Get_Attribute_At_Call = 464;  // the same on these architectures
#else
constexpr long Get_Attribute_At_Call = -1;
#endif
constexpr bool Has_Get_Attribute_At = Get_Attribute_At_Call >= 0;

long get_attribute_at(int at, const std::string& path, const std::string& name, void* value, size_t size) {
    if constexpr (!Has_Get_Attribute_At) {
        errno = ENOSYS;
        return -1;
    }
    struct {
        std::uint64_t value;
        std::uint32_t size;
        std::uint32_t flags;
    } args{reinterpret_cast<std::uintptr_t>(value), static_cast<std::uint32_t>(size), 0};
    return ::syscall(Get_Attribute_At_Call, at, path.c_str(), AT_SYMLINK_NOFOLLOW, name.c_str(), &args, sizeof args);
}

// The extended attributes among names that the open file fd has.
std::vector<std::pair<const std::string*, std::string>> attributes_of(int fd, const std::vector<std::string>& names,
                                                                      const std::string& path) {
    std::vector<std::pair<const std::string*, std::string>> found;
    if (names.empty()) return found;
    // One listing tells which of them are there; most files have none.
    std::string list(1024, '\0');
    for (;;) {
        ssize_t length = ::flistxattr(fd, list.data(), list.size());
        if (length >= 0) {
            list.resize(static_cast<size_t>(length));
            break;
        }
        if (errno == ENOTSUP) return found;
        if (errno != ERANGE) fail(path);
        ssize_t needed = ::flistxattr(fd, nullptr, 0);
        if (needed < 0) fail(path);
        list.assign(static_cast<size_t>(needed) + 1, '\0');
    }
    auto listed = [&](const std::string& name) {
        for (size_t at = 0; at < list.size();) {
            size_t end = std::min(list.find('\0', at), list.size());
            if (list.compare(at, end - at, name) == 0) return true;
            at = end + 1;
        }
        return false;
    };
    for (const std::string& name : names) {
        if (!listed(name)) continue;
        std::string value(256, '\0');
        for (;;) {
            ssize_t length = ::fgetxattr(fd, name.c_str(), value.data(), value.size());
            if (length >= 0) {
                value.resize(static_cast<size_t>(length));
                found.emplace_back(&name, std::move(value));
                break;
            }
            if (errno == ENODATA) break;  // removed meanwhile
            if (errno != ERANGE) fail(path);
            ssize_t needed = ::fgetxattr(fd, name.c_str(), nullptr, 0);
            if (needed < 0) {
                if (errno == ENODATA) break;
                fail(path);
            }
            value.resize(static_cast<size_t>(needed) + 1);
        }
    }
    return found;
}

class Posix_File_System final : public File_System {
public:
    std::optional<Entry_Status> status(const std::string& path) override {
        struct stat st;
        if (folders_.stat_entry(path, st) != 0) {
            if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
            fail(path);
        }
        return status_of(st);
    }

    std::vector<Folder_Entry> read_folder(const std::string& path) override {
        int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) fail(path);
        DIR* dir = ::fdopendir(fd);
        if (!dir) {
            int error = errno;
            ::close(fd);
            throw File_System_Error(error, path);
        }
        std::unique_ptr<DIR, int (*)(DIR*)> closer(dir, ::closedir);

        std::vector<Folder_Entry> entries;
        for (;;) {
            errno = 0;
            dirent* entry = ::readdir(dir);
            if (!entry) {
                if (errno != 0) fail(path);
                break;
            }
            std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            Entry_Kind kind = Entry_Kind::Other;
            switch (entry->d_type) {
                case DT_REG:
                    kind = Entry_Kind::Regular;
                    break;
                case DT_DIR:
                    kind = Entry_Kind::Directory;
                    break;
                case DT_LNK:
                    kind = Entry_Kind::Symlink;
                    break;
                case DT_UNKNOWN: {
                    struct stat st;
                    if (::fstatat(fd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
                        if (errno == ENOENT) continue;  // removed while we read
                        fail(path + "/" + name);
                    }
                    kind = kind_of_mode(st.st_mode);
                    break;
                }
                default:
                    break;
            }
            entries.push_back({std::move(name), kind});
        }
        return entries;
    }

    void create_folder(const std::string& path) override {
        if (::mkdir(path.c_str(), 0777) != 0) fail(path);
    }

    void remove_file(const std::string& path) override {
        if (::unlink(path.c_str()) != 0) fail(path);
    }

    void rename(const std::string& from, const std::string& to, bool replace) override {
        folders_.before_rename(from);
        if (replace) {
            if (::rename(from.c_str(), to.c_str()) != 0) fail_rename(from, to);
            return;
        }
        if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
        if (errno != EINVAL && errno != ENOSYS) fail_rename(from, to);
        rename_without_replace_fallback(from, to);
    }

    void copy_contents(const std::string& from, const std::string& to, mode_t mode) override {
        struct stat st;
        Descriptor in(open_source(from, st, Not_Regular_Description));
        // The caller's mode is applied once the data is in.
        Descriptor out(create_copy(to));
        copy_data(in.get(), out.get(), st, clone_refusals_, from, to);
        if (::fchmod(out.get(), mode & 07777) != 0) fail(to);
        // Network file systems report deferred write errors at close.
        if (::close(out.release()) != 0) fail(to);
    }

    Entry_Status copy_file(const std::string& from, const std::string& to,
                           const std::vector<std::string>& attributes) override {
        struct stat st;
        Descriptor in(open_source(from, st, Not_Regular_Description));
        // Read before anything is written.
        const auto carried = attributes_of(in.get(), attributes, from);
        Descriptor out(create_copy(to));
        copy_data(in.get(), out.get(), st, clone_refusals_, from, to);
        for (const auto& [name, value] : carried) {
            if (::fsetxattr(out.get(), name->c_str(), value.data(), value.size(), 0) == 0) continue;
            // A target file system without extended attributes (FAT, some
            // network file systems) cannot keep them; the data matters more.
            if (errno == ENOTSUP) break;
            fail(to);
        }
        if (::fchmod(out.get(), st.st_mode & 07777) != 0) fail(to);
        // Set last, after every write; network file systems send what they
        // still hold before they change the time.
        const timespec times[2] = {st.st_mtim, st.st_mtim};
        if (::futimens(out.get(), times) != 0) fail(to);
        // Network file systems report deferred write errors at close.
        if (::close(out.release()) != 0) fail(to);
        return status_of(st);
    }

    std::string read_link(const std::string& path) override {
        std::vector<char> buffer(256);
        for (;;) {
            ssize_t length = ::readlink(path.c_str(), buffer.data(), buffer.size());
            if (length < 0) fail(path);
            if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), length);
            buffer.resize(buffer.size() * 4);
        }
    }

    void create_link(const std::string& link_target, const std::string& path) override {
        if (::symlink(link_target.c_str(), path.c_str()) != 0) fail(path);
    }

    void set_modified(const std::string& path, File_Time time) override {
        timespec times[2];
        times[0].tv_sec = static_cast<time_t>(time.seconds);
        times[0].tv_nsec = static_cast<long>(time.nanoseconds);
        times[1] = times[0];
        if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) fail(path);
    }

    void set_mode(const std::string& path, mode_t mode) override {
        if (::chmod(path.c_str(), mode & 07777) != 0) fail(path);
    }

    std::optional<std::string> get_attribute(const std::string& path, const std::string& name) override {
        std::string value(256, '\0');
        for (;;) {
            ssize_t length = ::lgetxattr(path.c_str(), name.c_str(), value.data(), value.size());
            if (length >= 0) {
                value.resize(static_cast<size_t>(length));
                return value;
            }
            if (errno == ENODATA || errno == ENOTSUP) return std::nullopt;
            if (errno != ERANGE) fail(path);
            // Grown meanwhile: ask for the size and try again.
            ssize_t needed = ::lgetxattr(path.c_str(), name.c_str(), nullptr, 0);
            if (needed < 0) {
                if (errno == ENODATA || errno == ENOTSUP) return std::nullopt;
                fail(path);
            }
            value.resize(static_cast<size_t>(needed) + 1);
        }
    }

    std::vector<std::optional<std::string>> get_attributes_in(const std::string& folder,
                                                              const std::vector<std::string>& names,
                                                              const std::string& name) override {
        if (!attributes_at_.load(std::memory_order_relaxed)) return File_System::get_attributes_in(folder, names, name);
        // A folder that cannot be opened is left to the paths, which tell
        // what is wrong with each.
        Descriptor at(::open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (at.get() < 0) return File_System::get_attributes_in(folder, names, name);
        const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
        std::vector<std::optional<std::string>> values;
        values.reserve(names.size());
        for (const std::string& entry : names) {
            if (!attributes_at_.load(std::memory_order_relaxed)) {
                values.push_back(get_attribute(prefix + entry, name));
                continue;
            }
            std::string value(256, '\0');
            for (;;) {
                long length = get_attribute_at(at.get(), entry, name, value.data(), value.size());
                if (length >= 0) {
                    value.resize(static_cast<size_t>(length));
                    values.push_back(std::move(value));
                    break;
                }
                if (errno == ENOSYS) {
                    // An older kernel: by path from now on.
                    attributes_at_.store(false, std::memory_order_relaxed);
                    values.push_back(get_attribute(prefix + entry, name));
                    break;
                }
                if (errno == ENODATA || errno == ENOTSUP) {
                    values.push_back(std::nullopt);
                    break;
                }
                if (errno != ERANGE) fail(prefix + entry);
                // Grown meanwhile: ask for the size and try again.
                long needed = get_attribute_at(at.get(), entry, name, nullptr, 0);
                if (needed < 0) {
                    if (errno == ENODATA || errno == ENOTSUP) {
                        values.push_back(std::nullopt);
                        break;
                    }
                    fail(prefix + entry);
                }
                value.resize(static_cast<size_t>(needed) + 1);
            }
        }
        return values;
    }

    void set_attribute(const std::string& path, const std::string& name, const std::string& value) override {
        if (::lsetxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0) != 0) fail(path);
    }

    void remove_attribute(const std::string& path, const std::string& name) override {
        if (::lremovexattr(path.c_str(), name.c_str()) != 0) {
            if (errno == ENODATA || errno == ENOTSUP) return;
            fail(path);
        }
    }

    void hold_folders() override { folders_.hold(); }
    void release_folders() override { folders_.release(); }

    std::string canonical(const std::string& path) override {
        try {
            return canonical_of(path);
        } catch (...) {
            return normalize_path(path);
        }
    }

    static constexpr const char* Not_Regular_Description =
        "Keine gewöhnliche Datei (Pipe, Gerät oder Socket), wird nicht kopiert";

private:
    Clone_Refusals clone_refusals_;
    Folder_Handles folders_;
    // Whether the kernel reads attributes relative to an open folder.
    std::atomic<bool> attributes_at_{Has_Get_Attribute_At};

    [[noreturn]] static void fail_rename(const std::string& from, const std::string& to) {
        // The path that is at fault: a missing source names the source, a
        // taken or unwritable destination names the destination.
        int error = errno;
        throw File_System_Error(error, error == ENOENT ? from : to);
    }

    // For file systems without RENAME_NOREPLACE (some network and FUSE file
    // systems): link() refuses an existing name atomically, so a file is
    // linked under its new name and the old name removed. Folders, and file
    // systems without hard links, get a check before the rename, which leaves
    // only a tiny window for a file appearing in between.
    void rename_without_replace_fallback(const std::string& from, const std::string& to) {
        struct stat st;
        if (::lstat(from.c_str(), &st) != 0) fail(from);
        if (!S_ISDIR(st.st_mode)) {
            if (::link(from.c_str(), to.c_str()) == 0) {
                if (::unlink(from.c_str()) != 0) {
                    int error = errno;
                    ::unlink(to.c_str());
                    throw File_System_Error(error, from);
                }
                return;
            }
            if (errno == EEXIST) fail(to);
            if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOTSUP && errno != EMLINK) fail_rename(from, to);
        }
        struct stat existing;
        if (::lstat(to.c_str(), &existing) == 0) throw File_System_Error(EEXIST, to);
        if (errno != ENOENT) fail(to);
        if (::rename(from.c_str(), to.c_str()) != 0) fail_rename(from, to);
    }

    static std::string real_path(const std::string& path) {
        char* resolved = ::realpath(path.c_str(), nullptr);
        if (!resolved) return {};
        std::string result(resolved);
        std::free(resolved);
        return result;
    }

    static std::string canonical_of(const std::string& path) {
        std::string absolute = path;
        if (absolute.empty() || absolute[0] != '/') {
            char* cwd = ::getcwd(nullptr, 0);
            if (!cwd) return normalize_path(path);
            absolute = std::string(cwd) + "/" + absolute;
            std::free(cwd);
        }
        // Walk back from the end until a leading part resolves; the rest
        // does not exist and is folded by spelling alone.
        std::string head = absolute;
        std::string rest;
        for (;;) {
            std::string resolved = real_path(head.empty() ? "/" : head);
            if (!resolved.empty()) return normalize_path(rest.empty() ? resolved : resolved + "/" + rest);
            auto slash = head.find_last_of('/');
            if (slash == std::string::npos || head.empty()) return normalize_path(absolute);
            std::string last = head.substr(slash + 1);
            rest = rest.empty() ? last : last + "/" + rest;
            head.resize(slash);
        }
    }
};

}  // namespace

std::unique_ptr<File_System> make_posix_file_system() { return std::make_unique<Posix_File_System>(); }

File_System& real_file_system() {
    static Posix_File_System instance;
    return instance;
}

}  // namespace zentrel::platform
