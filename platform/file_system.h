// The file-system primitives everything above this layer works through.
//
// One abstract class, so that tests can put a wrapper in front of the real
// implementation that fails a chosen operation on a chosen path (root ignores
// permissions, so most failures cannot be produced with real files).
// Every path is a byte string as the kernel takes it; nothing here assumes
// UTF-8. No operation follows a symbolic link in its last component unless it
// says so.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace zentrel::platform {

// A failed platform operation. what() is the platform's description of the
// failure (the strerror text) followed by the path, e.g.
// "Permission denied: /home/a/x.txt".
class File_System_Error : public std::runtime_error {
public:
    File_System_Error(int error_number, const std::string& path);
    File_System_Error(const std::string& description, const std::string& path);
    int error_number() const { return error_number_; }  // errno, 0 when none
    const std::string& path() const { return path_; }

private:
    int error_number_ = 0;
    std::string path_;
};

// True for the errors a file system gives for what it cannot keep at all
// (extended attributes, permission bits, ownership): the copy's content and
// time are what matters, and such a file system simply does without.
bool not_kept_by_file_system(int error_number);
// The same for a mode change, which FAT refuses with EPERM (the kernel's
// vfat) or ENOSYS (FUSE drivers) on a file its caller owns.
bool mode_not_kept_by_file_system(int error_number);
// True for an error number with which reading an extended attribute says
// that it cannot be had here (not kept, or an I/O error of a share), rather
// than that the file is gone: the file is still copied, without it.
bool attribute_unreadable(int error_number);

enum class Entry_Kind { Regular, Directory, Symlink, Other };

// Seconds and nanoseconds since the Unix epoch, as the kernel keeps them.
struct File_Time {
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
    friend bool operator==(const File_Time&, const File_Time&) = default;
    friend auto operator<=>(const File_Time&, const File_Time&) = default;
};

// What lstat() tells about an entry (links are not followed).
struct Entry_Status {
    Entry_Kind kind = Entry_Kind::Other;
    std::uint64_t size = 0;
    File_Time modified;
    mode_t mode = 0;  // permission bits only (07777)
    dev_t device = 0;
    ino_t inode = 0;
    File_Time changed;  // the inode's change time: moves with every write, rename or attribute change
};

// What get_attributes_in found of one entry's attribute.
struct Entry_Attribute {
    std::optional<std::string> value;  // nullopt: not there, or it could not be read
    bool vanished = false;             // the entry is gone since its folder was read
    friend bool operator==(const Entry_Attribute&, const Entry_Attribute&) = default;
};

struct Folder_Entry {
    std::string name;
    Entry_Kind kind = Entry_Kind::Other;  // from the directory, lstat where it does not say
};

struct Mount;              // platform/mounts.h
struct Mount_Point_Rules;  // platform/mounts.h
struct File_System_Kind;   // platform/file_system_kind.h

// A lock that File_System::lock_folder took; given back when destroyed.
class Folder_Lock {
public:
    virtual ~Folder_Lock() = default;
};

enum class Lock_Mode { Shared, Exclusive };

// New files of one folder, each built complete without a name and named
// together: the folder is opened afresh once for all of them instead of
// once for each. A file built but not named vanishes with the batch, and
// with the process if that is killed.
class Copy_Batch {
public:
    // A batch is filled while nothing else happens: a caller that keeps a
    // window alive copies a larger file on its own, with its progress.
    static constexpr std::uint64_t Largest_File = std::uint64_t{1} << 20;

    virtual ~Copy_Batch() = default;
    // Copies from as File_System::copy_file_unnamed does, for the name to in
    // the batch's folder, but leaves it without a name. Returns from's
    // status as the copy read it; nullopt, having built nothing, where the
    // file cannot be built this way or is larger than Largest_File (the
    // caller copies it on its own). Throws as copy_file_unnamed does.
    virtual std::optional<Entry_Status> add(const std::string& from, const std::string& to,
                                            const std::vector<std::string>& attributes) = 0;
    // Opens the folder afresh, from the root of its tree and never through
    // a link, and names the files built since the last call, in the order
    // they were added: for each 0, or the errno why it got no name (EEXIST:
    // the name is taken; ENOENT, ENOTDIR or ELOOP for all of them: the
    // folder is no longer there as it was, moved away or replaced).
    virtual std::vector<int> name_all() = 0;
};

class File_System {
public:
    virtual ~File_System() = default;

    // lstat(): the entry at path, or nullopt when there is none (ENOENT,
    // ENOTDIR). Other failures (EACCES on a parent, EIO) throw.
    virtual std::optional<Entry_Status> status(const std::string& path) = 0;

    // The entries of a folder except "." and "..", in no particular order.
    // Throws when the folder cannot be read.
    virtual std::vector<Folder_Entry> read_folder(const std::string& path) = 0;

    // mkdir() of one folder with mode 0777 less the umask. Throws, also when
    // something already exists there.
    virtual void create_folder(const std::string& path) = 0;

    // unlink() of a file or symbolic link. Throws on failure.
    virtual void remove_file(const std::string& path) = 0;

    // Renames from onto to. With replace false it fails (EEXIST) when to
    // exists; with replace true an existing file at to is replaced
    // atomically. Acts on a symbolic link itself. Throws on failure.
    virtual void rename(const std::string& from, const std::string& to, bool replace) = 0;

    // Creates a new regular file at to (it must not exist) and copies the
    // contents of the regular file from into it, with mode as its permission
    // bits. Throws on failure; to may then hold a partial file, which the
    // caller removes. Uses the kernel's in-kernel copy where it works.
    virtual void copy_contents(const std::string& from, const std::string& to, mode_t mode) = 0;

    // Copies the regular file from into a new file to (it must not exist):
    // contents, those of the extended attributes named in attributes that
    // from has (left out where to's file system keeps none), permission bits
    // and modification time (the access time set to it too). Returns from's
    // status as the copy saw it. A symbolic link at from fails with ELOOP, a
    // folder with EISDIR, anything else that is no regular file with a
    // description. Throws on failure; to may then hold a partial file, which
    // the caller removes.
    // The default does it with the operations of this class, one after
    // another; the POSIX implementation does it on the open files, which
    // spares the kernel a path look-up for every step.
    virtual Entry_Status copy_file(const std::string& from, const std::string& to,
                                   const std::vector<std::string>& attributes);

    // Copies as copy_file does, but builds the new file without a name and
    // gives it the name to only once it is complete, so that no program, and
    // no clean-up of another run, ever sees it half written. Fails with
    // EEXIST when to is taken; leaves nothing behind when it fails. Returns
    // nullopt, having written nothing, where the file system cannot build a
    // file without a name: the caller then copies under a temporary name.
    virtual std::optional<Entry_Status> copy_file_unnamed(const std::string& /*from*/, const std::string& /*to*/,
                                                          const std::vector<std::string>& /*attributes*/) {
        return std::nullopt;
    }

    // A batch of unnamed copies into folder; nullptr where the file system
    // builds none (the default): the caller copies each file on its own.
    virtual std::unique_ptr<Copy_Batch> start_copy_batch(const std::string& /*folder*/) { return nullptr; }

    // readlink() and symlink().
    virtual std::string read_link(const std::string& path) = 0;
    virtual void create_link(const std::string& link_target, const std::string& path) = 0;

    // Sets the modification time (and the access time to the same value) of
    // the entry itself, a symbolic link included.
    virtual void set_modified(const std::string& path, File_Time time) = 0;

    // chmod() of a file or folder (never called on a symbolic link).
    virtual void set_mode(const std::string& path, mode_t mode) = 0;

    // Extended attributes of the entry itself. get_attribute returns nullopt
    // when the attribute is not there or the file system has none (ENODATA,
    // ENOTSUP); set and remove throw on failure, removing an absent attribute
    // is no failure.
    virtual std::optional<std::string> get_attribute(const std::string& path, const std::string& name) = 0;
    virtual void set_attribute(const std::string& path, const std::string& name, const std::string& value) = 0;
    // get_attribute of each of the entries names of folder, in their order.
    // One entry's failure is that entry's alone: one gone meanwhile is
    // marked vanished, one whose attribute cannot be read (no permission, an
    // I/O error) has no value; only a folder that cannot be used at all
    // throws. The default asks get_attribute for each path; the POSIX
    // implementation reads them relative to the open folder where the kernel
    // can, which spares it the look-up of the folder's path for every entry.
    virtual std::vector<Entry_Attribute> get_attributes_in(const std::string& folder,
                                                           const std::vector<std::string>& names,
                                                           const std::string& name);
    virtual void remove_attribute(const std::string& path, const std::string& name) = 0;

    // The read-only, hidden, system and archive bits that the file system
    // keeps itself, where Windows reads them: FAT's attribute byte on the
    // kernel's vfat, the file attributes of NTFS. nullopt where it keeps
    // none; device is the entry's. Throws when they are there but cannot be
    // read. Never follows a link. The default: none.
    virtual std::optional<int> get_native_attributes(const std::string& /*path*/, dev_t /*device*/) {
        return std::nullopt;
    }
    // Sets those four bits and keeps the file system's others; false where
    // it keeps none. Throws on failure.
    virtual bool set_native_attributes(const std::string& /*path*/, dev_t /*device*/, int /*attributes*/) {
        return false;
    }

    // While held (calls nest), the implementation may keep the folders whose
    // entries status() looked up open for a moment, so that the next look-up
    // there walks one name instead of the whole path. A job holds them for
    // its run only, so that no folder stays in use while the program sits
    // idle (a removable drive can then be unmounted). The default keeps
    // nothing open.
    virtual void hold_folders() {}
    virtual void release_folders() {}

    // While confined (calls nest; the roots of the outermost call hold), a
    // path below one of roots is reached from that root as it was opened
    // now, one real folder after another: a folder that another program
    // replaces by a symbolic link during a run fails (ELOOP) instead of
    // leading out of the tree. Paths elsewhere are reached as before. The
    // default confines nothing.
    virtual void confine(const std::vector<std::string>& /*roots*/) {}
    virtual void unconfine() {}

    // The bytes an ordinary user may still write on the file system that
    // holds path (statvfs: available blocks times their size); nullopt where
    // it cannot be told. The default tells nothing.
    virtual std::optional<std::uint64_t> free_space(const std::string& /*path*/) { return std::nullopt; }

    // realpath() of the longest existing leading part of path, with the rest
    // appended after "." and ".." are folded. Never throws.
    virtual std::string canonical(const std::string& path) = 0;

    // What holds a path and who else works there. The POSIX implementation
    // asks the kernel (the mount table, flock); the defaults do no I/O and
    // describe one file system of the POSIX kind where nothing is locked.
    // None of these throws.

    // The mounts as they stand, in the mount table's order: the same object
    // until something is mounted or unmounted, so that a caller may keep
    // what it learnt about one for as long as it gets the same. The
    // default: none.
    virtual std::shared_ptr<const std::vector<Mount>> mounts();
    // The mount holding path: of mounts(), the one whose point is the
    // longest prefix of canonical(path) by whole components ("/" when none).
    virtual Mount mount_of(const std::string& path);
    // True when path is the point of a mount, "/" included.
    virtual bool is_mount_point(const std::string& path);

    // The identity of mount's file system that stays the same from one
    // mount to the next (platform/file_system_kind.h:
    // file_system_volume_of_mount); empty where none is known. The
    // default: none.
    virtual std::string volume_of(const Mount& /*mount*/) { return {}; }

    // What the file system holding path can keep (platform/file_system_kind.h),
    // path's entries having device device; a link at path is judged itself,
    // never what it leads to. The default: the POSIX kind.
    virtual File_System_Kind kind_of(const std::string& path, dev_t device);
    // The same for the existing folder folder, asked by its path (the POSIX
    // kind where it cannot be looked up). A run asks for the same folder
    // file after file: an implementation may keep the last answer while the
    // mounts stay the same.
    virtual File_System_Kind folder_kind(const std::string& folder);
    // Where kind_of cannot tell how finely the file system holding the
    // existing folder keeps times, finds it out there (writing nothing that
    // stays) so that kind_of tells it from now on. The default: nothing.
    virtual void measure_time_step(const std::string& /*folder*/) {}

    // For a path that does not exist: the nearest existing folder above it
    // where rules say storage is normally mounted but nothing is mounted now
    // (a stick not plugged in); nullopt otherwise. The default: nullopt.
    virtual std::optional<std::string> unmounted_storage_above(const std::string& missing_path,
                                                               const Mount_Point_Rules& rules);
    // For an existing folder: true when rules' fstab lists it as a mount
    // point, nothing is mounted there now and it is empty. The default: false.
    virtual bool is_unmounted_fstab_point(const std::string& folder, const Mount_Point_Rules& rules);

    // Takes an advisory lock on the existing folder at path without
    // waiting. An exclusive lock keeps out every other, a shared one only
    // exclusive ones, whoever asks (another process, another call here) and
    // whatever name the folder was given. Returns the lock, held until it is
    // destroyed; nullptr when another holder has one that conflicts. Where
    // the folder or its file system cannot be locked, returns a lock that
    // holds nothing and keeps nobody out. The default locks nothing.
    virtual std::unique_ptr<Folder_Lock> lock_folder(const std::string& path, Lock_Mode mode);
    // True while a copy in progress at path is still being written (a
    // writer of copy_contents holds it locked until it is done), and where
    // that cannot be told: a clean-up leaves such a file alone. The default
    // cannot tell.
    virtual bool being_written(const std::string& /*path*/) { return true; }
};

// Holds a file system's folders (hold_folders) for as long as it lives.
class Folder_Hold {
public:
    explicit Folder_Hold(File_System& fs) : fs_(fs) { fs_.hold_folders(); }
    ~Folder_Hold() { fs_.release_folders(); }
    Folder_Hold(const Folder_Hold&) = delete;
    Folder_Hold& operator=(const Folder_Hold&) = delete;

private:
    File_System& fs_;
};

// Confines a file system to the given folder trees for as long as it lives.
class Confinement {
public:
    Confinement(File_System& fs, const std::vector<std::string>& roots) : fs_(fs) { fs_.confine(roots); }
    ~Confinement() { fs_.unconfine(); }
    Confinement(const Confinement&) = delete;
    Confinement& operator=(const Confinement&) = delete;

private:
    File_System& fs_;
};

// The real implementation over POSIX system calls.
std::unique_ptr<File_System> make_posix_file_system();

// One process-wide real file system, for code that is handed none.
File_System& real_file_system();

}  // namespace zentrel::platform
