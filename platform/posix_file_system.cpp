// File_System over POSIX and Linux system calls.
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/confined_paths.h"
#include "platform/data_copy.h"
#include "platform/file_objects.h"
#include "platform/file_system.h"
#include "platform/file_system_kind.h"
#include "platform/folder_handles.h"
#include "platform/mounts.h"
#include "platform/new_file_rules.h"
#include "platform/posix_services.h"
#include "platform/time_steps.h"

namespace zentrel::platform {

namespace {

[[noreturn]] void fail(const std::string& path) { throw File_System_Error(errno, path); }

Entry_Kind kind_of_mode(mode_t mode) {
    if (S_ISREG(mode)) return Entry_Kind::Regular;
    if (S_ISDIR(mode)) return Entry_Kind::Directory;
    if (S_ISLNK(mode)) return Entry_Kind::Symlink;
    return Entry_Kind::Other;
}

std::string folder_of(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

Entry_Status status_of(const struct stat& st) {
    Entry_Status status;
    status.kind = kind_of_mode(st.st_mode);
    status.size = static_cast<std::uint64_t>(st.st_size);
    status.modified = {st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    status.mode = st.st_mode & 07777;
    status.device = st.st_dev;
    status.inode = st.st_ino;
    status.changed = {st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
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

// Opens from for copying: never through a link, never waiting for the
// writer of a pipe that slipped in; fills st and accepts only a regular file.
int open_source(const Path_Place& place, const std::string& from, struct stat& st, const char* not_regular) {
    Descriptor in(::openat(place.at(), place.name(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (in.get() < 0) fail(from);
    if (::fstat(in.get(), &st) != 0) fail(from);
    if (S_ISDIR(st.st_mode)) throw File_System_Error(EISDIR, from);
    if (!S_ISREG(st.st_mode)) throw File_System_Error(not_regular, from);
    // O_NONBLOCK stays: regular files ignore it, and copy_data clears it
    // should a read ever answer EAGAIN.
    return in.release();
}

// Creates the copy under its temporary name where no unnamed file can be
// made: only we can read it while it is incomplete, and the lock tells a
// later run that it is still being written (see remove_stale_partial_copies);
// the lock goes when we close or die. A removal testing the name holds the
// lock for a moment, so it is waited for.
int create_copy(const Path_Place& place, const std::string& to) {
    int out = ::openat(place.at(), place.name(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
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
        // A share that cannot list them (an I/O error from smbnetfs) still
        // gives the file's data: the attributes are left behind.
        if (attribute_unreadable(errno)) return found;
        if (errno != ERANGE) fail(path);
        ssize_t needed = ::flistxattr(fd, nullptr, 0);
        if (needed < 0) {
            if (attribute_unreadable(errno)) return found;
            fail(path);
        }
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
            if (errno == ENODATA || attribute_unreadable(errno)) break;  // removed meanwhile, or unreadable
            if (errno != ERANGE) fail(path);
            ssize_t needed = ::fgetxattr(fd, name.c_str(), nullptr, 0);
            if (needed < 0) {
                if (errno == ENODATA || attribute_unreadable(errno)) break;
                fail(path);
            }
            value.resize(static_cast<size_t>(needed) + 1);
        }
    }
    return found;
}

// The entry at a confined place itself, opened without following a link,
// for the calls that take only a path: its /proc name leads to the entry and
// never further.
class Entry_Handle {
public:
    Entry_Handle(const Path_Place& place, const std::string& path)
        : fd_(::openat(place.at(), place.name(), O_PATH | O_NOFOLLOW | O_CLOEXEC)) {
        if (fd_.get() < 0) fail(path);
    }
    std::string proc_path() const { return "/proc/self/fd/" + std::to_string(fd_.get()); }

private:
    Descriptor fd_;
};

class Posix_File_System final : public File_System {
public:
    std::optional<Entry_Status> status(const std::string& path) override {
        struct stat st;
        const std::optional<Path_Place> place = confined_.look_place_of(path);
        if (!place) return std::nullopt;
        const int result = place->confined() ? ::fstatat(place->at(), place->name(), &st, AT_SYMLINK_NOFOLLOW)
                                             : folders_.stat_entry(path, st);
        if (result != 0) {
            if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
            fail(path);
        }
        return status_of(st);
    }

    std::vector<Folder_Entry> read_folder(const std::string& path) override {
        const Path_Place place = confined_.place_of(path, true);
        // A root given through a link is the user's choice; below it no link is followed.
        int fd = ::openat(place.at(), place.name(),
                          O_RDONLY | O_DIRECTORY | O_CLOEXEC | (place.confined() ? O_NOFOLLOW : 0));
        if (fd < 0) {
            // A link where a folder was: say so, not just "no folder".
            struct stat st;
            if (errno == ENOTDIR && place.confined() &&
                ::fstatat(place.at(), place.name(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
                errno = ELOOP;
            fail(path);
        }
        const Descriptor folder(fd);
        // Straight from the kernel: fdopendir() would first check the
        // descriptor with three calls of its own, for every folder.
        constexpr size_t Buffer_Size = size_t{1} << 16;
        std::unique_ptr<char[]> buffer(new char[Buffer_Size]);
        std::vector<Folder_Entry> entries;
        for (;;) {
            const ssize_t got = ::getdents64(fd, buffer.get(), Buffer_Size);
            if (got < 0) {
                if (errno == EINTR) continue;
                fail(path);
            }
            if (got == 0) break;
            for (ssize_t at = 0; at < got;) {
                const auto* entry = reinterpret_cast<const dirent64*>(buffer.get() + at);
                at += entry->d_reclen;
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
                            // Cannot tell what it is: taken as a file, so that
                            // its copy fails and says why rather than it being
                            // left out unseen.
                            kind = Entry_Kind::Regular;
                            break;
                        }
                        kind = kind_of_mode(st.st_mode);
                        break;
                    }
                    default:
                        break;
                }
                entries.push_back({std::move(name), kind});
            }
        }
        return entries;
    }

    void create_folder(const std::string& path) override {
        const Path_Place place = confined_.place_of(path);
        if (::mkdirat(place.at(), place.name(), 0777) != 0) fail(path);
    }

    void remove_file(const std::string& path) override {
        const Path_Place place = confined_.place_of(path);
        if (::unlinkat(place.at(), place.name(), 0) != 0) fail(path);
    }

    void rename(const std::string& from, const std::string& to, bool replace) override {
        folders_.before_rename(from);
        const Path_Place old_place = confined_.place_of(from);
        // A rename within one folder (the parking of an old version, its
        // way back) opens that folder once for both names.
        const auto from_slash = from.find_last_of('/');
        const auto to_slash = to.find_last_of('/');
        const std::string_view to_name =
            to_slash == std::string::npos ? std::string_view() : std::string_view(to).substr(to_slash + 1);
        const bool same_folder = old_place.confined() && from_slash != std::string::npos && from_slash == to_slash &&
                                 from.compare(0, from_slash, to, 0, to_slash) == 0 && !to_name.empty() &&
                                 to_name != "." && to_name != ".." && from_slash + 1 < from.size();
        const Path_Place new_place = same_folder ? old_place.sibling(std::string(to_name)) : confined_.place_of(to);
        if (replace) {
            if (::renameat(old_place.at(), old_place.name(), new_place.at(), new_place.name()) != 0)
                fail_rename(from, to);
            return;
        }
        if (::renameat2(old_place.at(), old_place.name(), new_place.at(), new_place.name(), RENAME_NOREPLACE) == 0)
            return;
        if (errno != EINVAL && errno != ENOSYS) fail_rename(from, to);
        rename_without_replace_fallback(old_place, new_place, from, to);
    }

    void copy_contents(const std::string& from, const std::string& to, mode_t mode) override {
        struct stat st;
        Descriptor in(open_source(confined_.place_of(from, true), from, st, Not_Regular_Description));
        // The caller's mode is applied once the data is in.
        Descriptor out(create_copy(confined_.place_of(to), to));
        posix::copy_data(in.get(), out.get(), st, clone_refusals_, from, to);
        if (::fchmod(out.get(), mode & 07777) != 0 && !mode_not_kept_by_file_system(errno)) fail(to);
        // Network file systems report deferred write errors at close.
        if (::close(out.release()) != 0) fail(to);
    }

    Entry_Status copy_file(const std::string& from, const std::string& to,
                           const std::vector<std::string>& attributes) override {
        struct stat st;
        Descriptor in(open_source(confined_.place_of(from, true), from, st, Not_Regular_Description));
        // Read before anything is written.
        const auto carried = attributes_of(in.get(), carried_between(attributes, from, to), from);
        Descriptor out(create_copy(confined_.place_of(to), to));
        fill_copy(in.get(), out.get(), st, carried, from, to);
        // Network file systems report deferred write errors at close.
        if (::close(out.release()) != 0) fail(to);
        return status_of(st);
    }

    std::optional<Entry_Status> copy_file_unnamed(const std::string& from, const std::string& to,
                                                  const std::vector<std::string>& attributes) override {
        if (!unnamed_files_.load(std::memory_order_relaxed)) return std::nullopt;
        // A folder whose file system refused the last time is not asked for
        // each file again.
        if (new_files_.refuses_unnamed(folder_of(to))) return std::nullopt;
        const Path_Place place = confined_.place_of(to);
        Unnamed_File built = build_unnamed(from, to, attributes, place);
        if (!built.fd) return std::nullopt;
        return name_unnamed(built, place, to);
    }

    std::unique_ptr<Copy_Batch> start_copy_batch(const std::string& folder) override {
        if (!unnamed_files_.load(std::memory_order_relaxed) || new_files_.refuses_unnamed(folder)) return nullptr;
        return std::make_unique<Batch>(*this, folder);
    }

private:
    // A copy complete but for its name; fd is null where none could be made.
    struct Unnamed_File {
        std::unique_ptr<Descriptor> fd;
        struct stat source {};
    };

    // The copy of from, complete but without a name, made in to's folder
    // (opened at place); none where from is larger than largest.
    Unnamed_File build_unnamed(const std::string& from, const std::string& to,
                               const std::vector<std::string>& attributes, const Path_Place& place,
                               off_t largest = std::numeric_limits<off_t>::max()) {
        const std::string to_folder = folder_of(to);
        Unnamed_File built;
        struct stat& st = built.source;
        Descriptor in(open_source(confined_.place_of(from, true), from, st, Not_Regular_Description));
        if (st.st_size > largest) return built;
        const auto carried = attributes_of(in.get(), carried_between(attributes, from, to), from);
        // Nobody sees the file before it is complete and named, so it is made
        // with its source's bits at once, unless special bits (which a write
        // clears) or attributes still to be written by an owner without
        // write permission need a chmod at the end anyway.
        const mode_t wanted = st.st_mode & 07777;
        const bool final_bits = (wanted & 07000) == 0 && (carried.empty() || (wanted & S_IWUSR));
        const mode_t asked = final_bits ? wanted : 0600;
        // An unnamed file vanishes with its descriptor, whatever fails later.
        auto out = std::make_unique<Descriptor>(::openat(place.at(), place.at() != AT_FDCWD ? "." : to_folder.c_str(),
                                                         O_TMPFILE | O_WRONLY | O_CLOEXEC, asked));
        if (out->get() < 0) {
            // A file system without them (FAT, most FUSE and network ones)
            // says so once per folder; a kernel without them once for all.
            if (errno == EOPNOTSUPP) {
                new_files_.note_unnamed_refused(to_folder);
                return built;
            }
            if (errno == EISDIR || errno == EINVAL) {
                unnamed_files_.store(false, std::memory_order_relaxed);
                return built;
            }
            fail(to);
        }
        fill_copy(in.get(), out->get(), st, carried, from, to, final_bits && opened_with(out->get(), to_folder, asked));
        built.fd = std::move(out);
        return built;
    }

    // Gives the finished copy the name of place, in the folder opened
    // there; nullopt where this kernel cannot name an unnamed file.
    std::optional<Entry_Status> name_unnamed(Unnamed_File& built, const Path_Place& place, const std::string& to) {
        if (!link_unnamed(built.fd->get(), place, to)) {
            unnamed_files_.store(false, std::memory_order_relaxed);
            return std::nullopt;
        }
        // Named and complete: an error reported now would leave a file the
        // caller believes not made; the name is taken back with it.
        if (::close(built.fd->release()) != 0) {
            const int error = errno;
            ::unlinkat(place.at(), place.name(), 0);
            throw File_System_Error(error, to);
        }
        return status_of(built.source);
    }

    // The unnamed copies of one folder: made in the folder as opened at the
    // first, named through an opening of it when they are named.
    class Batch final : public Copy_Batch {
    public:
        Batch(Posix_File_System& fs, std::string folder) : fs_(fs), folder_(std::move(folder)) {}

        std::optional<Entry_Status> add(const std::string& from, const std::string& to,
                                        const std::vector<std::string>& attributes) override {
            if (folder_of(to) != folder_ || !fs_.unnamed_files_.load(std::memory_order_relaxed)) return std::nullopt;
            if (!made_in_) made_in_.emplace(fs_.confined_.place_of(to));
            Unnamed_File built = fs_.build_unnamed(from, to, attributes, *made_in_, static_cast<off_t>(Largest_File));
            if (!built.fd) return std::nullopt;
            const Entry_Status status = status_of(built.source);
            built_.push_back({std::move(built), to});
            return status;
        }

        std::vector<int> name_all() override {
            std::vector<Built> built = std::move(built_);
            built_.clear();
            std::vector<int> results(built.size(), 0);
            if (built.empty()) return results;
            // The one fresh opening of the folder the files get their names in.
            std::optional<Path_Place> folder;
            int unreachable = 0;
            try {
                folder.emplace(fs_.confined_.place_of(built.front().to));
            } catch (const File_System_Error& error) {
                unreachable = error.error_number() != 0 ? error.error_number() : EIO;
            }
            for (std::size_t i = 0; i < built.size(); ++i) {
                if (!folder) {
                    results[i] = unreachable;
                    continue;
                }
                const std::string& to = built[i].to;
                try {
                    const Path_Place place = folder->sibling(to.substr(to.find_last_of('/') + 1));
                    if (!fs_.name_unnamed(built[i].file, place, to)) results[i] = EOPNOTSUPP;
                } catch (const File_System_Error& error) {
                    results[i] = error.error_number() != 0 ? error.error_number() : EIO;
                }
            }
            return results;
        }

    private:
        struct Built {
            Unnamed_File file;
            std::string to;
        };
        Posix_File_System& fs_;
        const std::string folder_;
        std::optional<Path_Place> made_in_;
        std::vector<Built> built_;
    };

public:
    // Whether the new file out of folder got the bits asked for: known from
    // the folder's earlier files, or looked at once.
    bool opened_with(int out, const std::string& folder, mode_t asked) {
        switch (new_files_.bits(folder, asked)) {
            case New_File_Rules::Bits::Kept:
                return true;
            case New_File_Rules::Bits::Changed:
                return false;
            case New_File_Rules::Bits::Unknown:
                break;
        }
        struct stat made;
        if (::fstat(out, &made) != 0) return false;
        new_files_.learn(folder, asked, made.st_mode & 07777);
        return (made.st_mode & 07777) == asked;
    }

    // Gives the finished unnamed file its name; linkat never replaces.
    // Linking the descriptor itself (AT_EMPTY_PATH) spares the kernel a
    // walk through /proc for every file, but needs CAP_DAC_READ_SEARCH on
    // most kernels: refused once, it is not asked again. The descriptor's
    // /proc name needs no privilege. False where neither way exists.
    bool link_unnamed(int file, const Path_Place& place, const std::string& to) {
        if (empty_path_links_.load(std::memory_order_relaxed)) {
            if (::linkat(file, "", place.at(), place.name(), AT_EMPTY_PATH) == 0) return true;
            if (errno != ENOENT && errno != EPERM) fail(to);
            empty_path_links_.store(false, std::memory_order_relaxed);
        }
        const std::string self = "/proc/self/fd/" + std::to_string(file);
        if (::linkat(AT_FDCWD, self.c_str(), place.at(), place.name(), AT_SYMLINK_FOLLOW) == 0) return true;
        if (errno == ENOENT && ::access("/proc/self/fd", F_OK) != 0) return false;
        fail(to);
    }

    std::string read_link(const std::string& path) override {
        const Path_Place place = confined_.place_of(path, true);
        std::vector<char> buffer(256);
        for (;;) {
            ssize_t length = ::readlinkat(place.at(), place.name(), buffer.data(), buffer.size());
            if (length < 0) fail(path);
            if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), length);
            buffer.resize(buffer.size() * 4);
        }
    }

    void create_link(const std::string& link_target, const std::string& path) override {
        const Path_Place place = confined_.place_of(path);
        if (::symlinkat(link_target.c_str(), place.at(), place.name()) != 0) fail(path);
    }

    void set_modified(const std::string& path, File_Time time) override {
        timespec times[2];
        times[0].tv_sec = static_cast<time_t>(time.seconds);
        times[0].tv_nsec = static_cast<long>(time.nanoseconds);
        times[1] = times[0];
        const Path_Place place = confined_.place_of(path);
        if (::utimensat(place.at(), place.name(), times, AT_SYMLINK_NOFOLLOW) != 0) fail(path);
    }

    void set_mode(const std::string& path, mode_t mode) override {
        const Path_Place place = confined_.place_of(path);
        if (!place.confined()) {
            if (::chmod(path.c_str(), mode & 07777) != 0) fail(path);
            return;
        }
        // Never through a link that took a file's place meanwhile.
        const Entry_Handle entry(place, path);
        if (::chmod(entry.proc_path().c_str(), mode & 07777) != 0) fail(path);
    }

    std::optional<std::string> get_attribute(const std::string& path, const std::string& name) override {
        if (refuses_attribute_calls(path)) return std::nullopt;
        const Path_Place place = confined_.place_of(path, true);
        // One call relative to the folder where the kernel has one, instead
        // of opening the entry for its /proc name.
        if (place.confined() && attributes_at_.load(std::memory_order_relaxed)) {
            const std::string entry_name = place.name();
            std::string value(256, '\0');
            for (;;) {
                long length = get_attribute_at(place.at(), entry_name, name, value.data(), value.size());
                if (length >= 0) {
                    value.resize(static_cast<size_t>(length));
                    return value;
                }
                if (errno == ENOSYS) {
                    attributes_at_.store(false, std::memory_order_relaxed);
                    break;
                }
                if (errno == ENODATA || attribute_unreadable(errno)) return std::nullopt;
                if (errno != ERANGE) fail(path);
                long needed = get_attribute_at(place.at(), entry_name, name, nullptr, 0);
                if (needed < 0) {
                    if (errno == ENODATA || attribute_unreadable(errno)) return std::nullopt;
                    fail(path);
                }
                value.resize(static_cast<size_t>(needed) + 1);
            }
        }
        std::optional<Entry_Handle> entry;
        if (place.confined()) entry.emplace(place, path);
        // lgetxattr() by path; through the handle's /proc name, which leads
        // to the entry itself, never further.
        auto get = [&](void* value, size_t size) {
            return entry ? ::getxattr(entry->proc_path().c_str(), name.c_str(), value, size)
                         : ::lgetxattr(path.c_str(), name.c_str(), value, size);
        };
        std::string value(256, '\0');
        for (;;) {
            ssize_t length = get(value.data(), value.size());
            if (length >= 0) {
                value.resize(static_cast<size_t>(length));
                return value;
            }
            if (errno == ENODATA || attribute_unreadable(errno)) return std::nullopt;
            if (errno != ERANGE) fail(path);
            // Grown meanwhile: ask for the size and try again.
            ssize_t needed = get(nullptr, 0);
            if (needed < 0) {
                if (errno == ENODATA || attribute_unreadable(errno)) return std::nullopt;
                fail(path);
            }
            value.resize(static_cast<size_t>(needed) + 1);
        }
    }

    std::vector<Entry_Attribute> get_attributes_in(const std::string& folder, const std::vector<std::string>& names,
                                                   const std::string& name) override {
        if (refuses_attribute_calls(folder)) return std::vector<Entry_Attribute>(names.size());
        if (!attributes_at_.load(std::memory_order_relaxed)) return File_System::get_attributes_in(folder, names, name);
        // A folder that cannot be opened is left to the paths, which tell
        // what is wrong with each.
        const Path_Place place = confined_.place_of(folder, true);
        Descriptor at(
            ::openat(place.at(), place.name(), O_PATH | O_DIRECTORY | O_CLOEXEC | (place.confined() ? O_NOFOLLOW : 0)));
        if (at.get() < 0) return File_System::get_attributes_in(folder, names, name);
        const std::string prefix = folder.ends_with('/') ? folder : folder + "/";
        std::vector<Entry_Attribute> values;
        values.reserve(names.size());
        for (const std::string& entry : names) {
            if (!attributes_at_.load(std::memory_order_relaxed)) {
                values.push_back(File_System::get_attributes_in(folder, {entry}, name).front());
                continue;
            }
            values.push_back(attribute_at(at.get(), entry, name, folder));
        }
        return values;
    }

    void set_attribute(const std::string& path, const std::string& name, const std::string& value) override {
        if (refuses_attribute_calls(path)) throw File_System_Error(ENOTSUP, path);
        const Path_Place place = confined_.place_of(path);
        if (!place.confined()) {
            if (::lsetxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0) != 0) fail(path);
            return;
        }
        const Entry_Handle entry(place, path);
        if (::setxattr(entry.proc_path().c_str(), name.c_str(), value.data(), value.size(), 0) != 0) fail(path);
    }

    void remove_attribute(const std::string& path, const std::string& name) override {
        if (refuses_attribute_calls(path)) return;
        const Path_Place place = confined_.place_of(path);
        std::optional<Entry_Handle> entry;
        if (place.confined()) entry.emplace(place, path);
        const int result = entry ? ::removexattr(entry->proc_path().c_str(), name.c_str())
                                 : ::lremovexattr(path.c_str(), name.c_str());
        if (result != 0) {
            if (errno == ENODATA || not_kept_by_file_system(errno)) return;
            fail(path);
        }
    }

    void confine(const std::vector<std::string>& roots) override {
        confined_.confine(roots);
        // A run's start sees the folders and mounts as they are now.
        new_files_.forget();
        ask_mounts_afresh();
    }
    void unconfine() override { confined_.unconfine(); }

    void hold_folders() override { folders_.hold(); }
    void release_folders() override { folders_.release(); }

    std::optional<std::uint64_t> free_space(const std::string& path) override {
        struct statvfs space {};
        if (::statvfs(path.c_str(), &space) != 0) return std::nullopt;
        // A file system that tells no size at all (sshfs and smbnetfs over
        // servers that do not say, some FUSE drivers) has not run out of
        // space: its free space is unknown.
        if (space.f_blocks == 0) return std::nullopt;
        return static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize;
    }

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
    // The attributes a copy from from to to carries: none where either file
    // system must not be asked for them.
    static const std::vector<std::string>& carried_between(const std::vector<std::string>& attributes,
                                                           const std::string& from, const std::string& to) {
        static const std::vector<std::string> none;
        if (attributes.empty() || refuses_attribute_calls(from) || refuses_attribute_calls(to)) return none;
        return attributes;
    }

    // Data, carried attributes, mode and time of a new copy out of in.
    // has_mode: the file was made with st's permission bits and has them.
    void fill_copy(int in, int out, const struct stat& st,
                   const std::vector<std::pair<const std::string*, std::string>>& carried, const std::string& from,
                   const std::string& to, bool has_mode = false) {
        posix::copy_data(in, out, st, clone_refusals_, from, to);
        for (const auto& [name, value] : carried) {
            if (::fsetxattr(out, name->c_str(), value.data(), value.size(), 0) == 0) continue;
            // A target file system without extended attributes (FAT, some
            // network file systems) cannot keep them; the data matters more.
            if (not_kept_by_file_system(errno)) break;
            fail(to);
        }
        // FAT keeps no permission bits; its files show what the mount says.
        if (!has_mode && ::fchmod(out, st.st_mode & 07777) != 0 && !mode_not_kept_by_file_system(errno)) fail(to);
        // Set last, after every write; network file systems send what they
        // still hold before they change the time.
        const timespec times[2] = {st.st_mtim, st.st_mtim};
        if (::futimens(out, times) != 0) fail(to);
    }

    // One entry's attribute relative to the open folder at.
    Entry_Attribute attribute_at(int at, const std::string& entry, const std::string& name, const std::string& folder) {
        Entry_Attribute found;
        std::string value(256, '\0');
        for (;;) {
            long length = get_attribute_at(at, entry, name, value.data(), value.size());
            if (length >= 0) {
                value.resize(static_cast<size_t>(length));
                found.value = std::move(value);
                return found;
            }
            if (errno == ENOSYS) {
                // An older kernel: by path from now on.
                attributes_at_.store(false, std::memory_order_relaxed);
                return File_System::get_attributes_in(folder, {entry}, name).front();
            }
            if (errno != ERANGE) {
                found.vanished = errno == ENOENT;
                return found;
            }
            // Grown meanwhile: ask for the size and try again.
            long needed = get_attribute_at(at, entry, name, nullptr, 0);
            if (needed < 0) {
                found.vanished = errno == ENOENT;
                return found;
            }
            value.resize(static_cast<size_t>(needed) + 1);
        }
    }

    posix::Clone_Refusals clone_refusals_;
    New_File_Rules new_files_;
    Folder_Handles folders_;
    Confined_Paths confined_;
    // Whether files can be built without a name (O_TMPFILE and /proc).
    std::atomic<bool> unnamed_files_{true};
    std::atomic<bool> empty_path_links_{true};
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
    void rename_without_replace_fallback(const Path_Place& old_place, const Path_Place& new_place,
                                         const std::string& from, const std::string& to) {
        struct stat st;
        if (::fstatat(old_place.at(), old_place.name(), &st, AT_SYMLINK_NOFOLLOW) != 0) fail(from);
        if (!S_ISDIR(st.st_mode)) {
            if (::linkat(old_place.at(), old_place.name(), new_place.at(), new_place.name(), 0) == 0) {
                if (::unlinkat(old_place.at(), old_place.name(), 0) != 0) {
                    int error = errno;
                    ::unlinkat(new_place.at(), new_place.name(), 0);
                    throw File_System_Error(error, from);
                }
                return;
            }
            if (errno == EEXIST) fail(to);
            if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOTSUP && errno != EMLINK) fail_rename(from, to);
        }
        struct stat existing;
        if (::fstatat(new_place.at(), new_place.name(), &existing, AT_SYMLINK_NOFOLLOW) == 0)
            throw File_System_Error(EEXIST, to);
        if (errno != ENOENT) fail(to);
        if (::renameat(old_place.at(), old_place.name(), new_place.at(), new_place.name()) != 0) fail_rename(from, to);
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

public:
    // What holds a path, and the locks: the mount table, the kinds found
    // from it and flock, each in the file named after it.
    std::optional<int> get_native_attributes(const std::string& path, dev_t device) override {
        return posix::read_native_attributes(path, platform::file_system_kind(path, device).native);
    }
    bool set_native_attributes(const std::string& path, dev_t device, int attributes) override {
        return posix::write_native_attributes(path, platform::file_system_kind(path, device).native, attributes);
    }
    std::shared_ptr<const std::vector<Mount>> mounts() override { return current_mounts(); }
    Mount mount_of(const std::string& path) override { return platform::mount_of(path); }
    bool is_mount_point(const std::string& path) override { return platform::is_mount_point(path); }
    std::string volume_of(const Mount& mount) override {
        return file_system_volume_of_mount(mount.file_system_type, mount.source, mount.device);
    }
    File_System_Kind kind_of(const std::string& path, dev_t device) override {
        return platform::file_system_kind(path, device);
    }
    File_System_Kind folder_kind(const std::string& folder) override { return folder_file_system_kind(folder); }
    void measure_time_step(const std::string& folder) override { platform::measure_time_step(folder); }
    std::optional<std::string> unmounted_storage_above(const std::string& missing_path,
                                                       const Mount_Point_Rules& rules) override {
        return platform::unmounted_storage_above(missing_path, rules);
    }
    bool is_unmounted_fstab_point(const std::string& folder, const Mount_Point_Rules& rules) override {
        return platform::is_unmounted_fstab_point(folder, rules);
    }
    std::unique_ptr<Folder_Lock> lock_folder(const std::string& path, Lock_Mode mode) override {
        return posix::lock_folder(path, mode);
    }
    bool being_written(const std::string& path) override { return posix::being_written(path); }
};

}  // namespace

std::unique_ptr<File_System> make_posix_file_system() { return std::make_unique<Posix_File_System>(); }

File_System& real_file_system() {
    static Posix_File_System instance;
    return instance;
}

}  // namespace zentrel::platform
