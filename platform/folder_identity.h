// How a folder of a synchronised pair is known again at the next run, also
// on a stick that was unplugged and plugged in again: the kernel gives its
// file system another device number then, and FAT and exFAT make their inode
// numbers up anew at every mount.
#pragma once

#include "platform/file_system.h"

#include <sys/types.h>

#include <string>

namespace zentrel::platform {

struct Folder_Identity {
    dev_t device = 0;  // 0 where volume stands for the file system
    ino_t inode = 0;   // 0 where place stands for the folder
    // The file system's own identity (its UUID), where one is known.
    std::string volume;
    // The folder's path within that file system, where the file system
    // keeps no inode numbers of its own: a folder moved there is another
    // folder, never one that inherits a record.
    std::string place;
    friend bool operator==(const Folder_Identity&, const Folder_Identity&) = default;
    friend auto operator<=>(const Folder_Identity&, const Folder_Identity&) = default;
};

struct Identified_Folder {
    Folder_Identity identity;
    // Where the folder lies, within its file system where its volume is
    // known (a mount point renamed leaves it unchanged), else its full path.
    std::string seen_at;
};

// The existing folder at path, whose entry status is: by its file system's
// volume and its inode, or its place where the inodes are made up per mount;
// by device and inode where the file system's volume is not known (tmpfs,
// sshfs, a share). Never throws.
Identified_Folder identify_folder(File_System& fs, const std::string& path, const Entry_Status& status);

}  // namespace zentrel::platform
