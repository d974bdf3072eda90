// What the file system holding a folder can keep: how fine its times are,
// whether it tells names apart by letter case, which names it takes, whether
// it holds symbolic links and where it keeps DOS attributes of its own.
// Found from what the kernel tells about the mount (its type, for FUSE the
// boot sector of its image or device), never by writing anything.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "platform/file_system.h"

namespace zentrel::platform {

// Where a file system keeps the DOS attributes itself.
enum class Native_Attributes {
    None,
    Fat_Ioctl,   // the kernel's vfat: FAT_IOCTL_GET_ATTRIBUTES / FAT_IOCTL_SET_ATTRIBUTES
    Ntfs_Xattr,  // ntfs-3g and the kernel's ntfs3: system.ntfs_attrib_be
};

struct File_System_Kind {
    std::string name;            // "FAT", "exFAT", "NTFS", ...; empty for the POSIX kind
    std::int64_t time_step = 1;  // nanoseconds between two times it can keep
    bool ignores_case = false;   // "a" and "A" name the same file
    bool windows_names = false;  // refuses the names Windows refuses
    bool holds_links = true;     // can hold a symbolic link
    Native_Attributes native = Native_Attributes::None;
};

// The kind of the file system of type type mounted from source, holding
// path (the POSIX kind when nothing says otherwise).
File_System_Kind file_system_kind_of_mount(const std::string& type, const std::string& source, const std::string& path);

// The kind of the file system holding path, whose entries have device
// device; remembered per device until the mount table changes. Never throws.
const File_System_Kind& file_system_kind(const std::string& path, dev_t device);

// The kind of the file system holding the existing folder folder, by
// folder: a run asks for the same folder file after file, so the last
// answer is kept until the mount table changes. Never throws.
File_System_Kind folder_file_system_kind(const std::string& folder);

// time cut down to a whole multiple of step nanoseconds, as a file system
// with that step keeps it.
File_Time truncated_time(File_Time time, std::int64_t step);

// Why a file system of kind would refuse name (German, for the user), or
// empty when it takes it.
std::string refused_name_reason(const File_System_Kind& kind, const std::string& name);

// name with ASCII letters in lower case, as a case-ignoring file system
// compares names.
std::string case_folded(const std::string& name);

}  // namespace zentrel::platform
