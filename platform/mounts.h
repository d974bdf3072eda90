// The mounts of the system, from /proc/self/mountinfo.
#pragma once

#include <string>

namespace zentrel::platform {

struct Mount {
    std::string mount_point;
    std::string file_system_type;
    std::string source;
};

// The mount holding path (the longest mount point that is a prefix of it).
Mount mount_of(const std::string& path);

// True when path is a mount point.
bool is_mount_point(const std::string& path);

// The share name of a mount: its source for network file systems (cifs,
// smb3, nfs, nfs4, fuse.sshfs ...), else empty.
std::string share_name(const Mount& mount);

}  // namespace zentrel::platform
