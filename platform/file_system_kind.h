// What the file system holding a folder can keep: how fine its times are,
// whether it tells names apart by letter case, which names it takes, whether
// it holds symbolic links and where it keeps DOS attributes of its own.
// Found from what the kernel tells about the mount (its type; for FUSE the
// boot sector of its image or device, udev's record of the device, or what
// the driver answers), never by writing anything. Where none of that tells
// how fine its times are, a run measures it (time_steps.h).
// file_system_kind and folder_file_system_kind are the POSIX file system's
// answers; everything else asks File_System::kind_of and folder_kind.
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
    // False where nothing about the mount tells time_step: a run measures
    // it then, and time_step is what was measured last (or 1 ns before).
    bool time_step_known = true;
    // True where the driver may change a file's time after it was set (a
    // FUSE driver or a network share that sets its own at close): the copy
    // sets it again once the file is closed, and checks it.
    bool checks_time_after_copy = false;
    // False where setting a link's time may set that of what it leads to:
    // SFTP's setstat follows links, and a FUSE driver or a share's server
    // may do the same, which would change a file the run must not touch
    // (even one outside the target). A link is then left with the time it
    // was made at; a later run tells it by its text.
    bool sets_link_times = true;
};

// The kind of the file system of type type mounted from source, holding
// path, with the device "major:minor" the mount table gives (the POSIX kind
// when nothing says otherwise). udev_folder is where udev keeps what it
// found on each device, readable by every user.
File_System_Kind file_system_kind_of_mount(const std::string& type, const std::string& source, const std::string& path,
                                           const std::string& device = "",
                                           const std::string& udev_folder = "/run/udev/data");

// The file system's own identity, which stays the same from one mount to
// the next (a stick plugged in again gets another device number, and FAT
// and exFAT make their inode numbers up anew): udev's ID_FS_UUID of its
// block device (for FUSE the device the driver mounted), else the serial
// number in the boot sector of a FAT, exFAT or NTFS image or device that can
// be read, spelt as udev spells it ("5324-F0BC"). Empty where none is known
// (tmpfs, sshfs, a share). Arguments as for file_system_kind_of_mount.
std::string file_system_volume_of_mount(const std::string& type, const std::string& source, const std::string& device,
                                        const std::string& udev_folder = "/run/udev/data");

// The kind of the file system holding path, whose entries have device
// device; remembered per device until the mount table changes. Never throws.
const File_System_Kind& file_system_kind(const std::string& path, dev_t device);

// The kind of the file system holding the existing folder folder, by
// folder: a run asks for the same folder file after file, so the last
// answer is kept until the mount table changes. Never throws.
File_System_Kind folder_file_system_kind(const std::string& folder);

// True for a path on a file system whose driver must not be asked for
// extended attributes at all: smbnetfs answers with an I/O error, and then
// every call of the next seconds with one too. Never throws.
bool refuses_attribute_calls(const std::string& path);

// True for the folders smbnetfs shows above the shares (its top, the
// servers): opening one gives an I/O error, and the same seconds of them.
bool is_share_browser_folder(const std::string& path);

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
