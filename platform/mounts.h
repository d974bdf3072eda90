// The mounts of the system, from /proc/self/mountinfo. The look-ups here that
// ask the kernel are the POSIX file system's; everything else asks
// File_System (mounts, mount_of, is_mount_point and the two checks for
// storage not mounted), which a test can replace.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zentrel::platform {

struct Mount {
    std::string mount_point;
    std::string file_system_type;
    std::string source;
    std::string device;  // "major:minor" of the file system, empty when unknown
    std::string root;    // the folder of the file system that is mounted there ("/" unless a bind mount)
};

// The mount table as it stands: the same object until the kernel reports a
// mount or an unmount, so a caller may keep what it learnt about a mount for
// as long as this stays the same.
std::shared_ptr<const std::vector<Mount>> current_mounts();

// The same for a caller that asks file after file (the file-system kind of
// every copied file): the table this thread got from the kernel less than
// Recent_Mounts_Span ago, so that a mount or an unmount shows that much
// later. fresh asks the kernel now (for a device the table does not know
// yet). Every thread asks the kernel afresh after ask_mounts_afresh().
inline constexpr int Recent_Mounts_Span_Ms = 100;
std::shared_ptr<const std::vector<Mount>> recent_mounts(bool fresh = false);
// A run's start: the next recent_mounts() of every thread asks the kernel.
void ask_mounts_afresh();

// The mount holding path (the longest mount point that is a prefix of it).
Mount mount_of(const std::string& path);

// Where the already canonical path lies within its file system, seen from
// that file system's own top: the same folder mounted twice, or a folder
// bind-mounted elsewhere, gives the same text under every name.
std::string path_in_file_system(const Mount& mount, const std::string& canonical_path);

// True when path is a mount point.
bool is_mount_point(const std::string& path);

// The mounts a mountinfo text describes, in its order, with the octal
// escapes of its fields ("\040" for a blank) decoded. Lines it cannot read
// are skipped.
std::vector<Mount> parse_mountinfo(const std::string& text);

// Of mounts, the one holding the already canonical path: the longest mount
// point that is a prefix of it by whole components, the later one where two
// share a point (it is mounted over the earlier one).
Mount mount_in(const std::vector<Mount>& mounts, const std::string& canonical_path);

// The share name of a mount: its source for network file systems (cifs,
// smb3, nfs, nfs4, fuse.sshfs ...), else empty.
std::string share_name(const Mount& mount);

// Where storage is normally mounted: the mount points /etc/fstab lists, and
// every folder below the places where desktops mount removable media.
struct Mount_Point_Rules {
    std::string fstab = "/etc/fstab";
    std::vector<std::string> removable_roots{"/media", "/run/media", "/mnt"};
};

// The mount points an fstab text lists, in its order, with the octal escapes
// decoded; comments, swap and "none" are left out.
std::vector<std::string> parse_fstab(const std::string& text);

// For a path that does not exist: the nearest existing folder above it, when
// that folder is empty, storage is normally mounted on it (see the rules)
// and nothing is mounted there now, as when a stick is not plugged in; a
// folder made there would land on the disk below. nullopt otherwise, and
// wherever it cannot be told.
std::optional<std::string> unmounted_storage_above(const std::string& missing_path,
                                                   const Mount_Point_Rules& rules = {});

// For an existing folder: true when fstab lists it as a mount point, nothing
// is mounted there now and it is empty.
bool is_unmounted_fstab_point(const std::string& folder, const Mount_Point_Rules& rules = {});

}  // namespace zentrel::platform
