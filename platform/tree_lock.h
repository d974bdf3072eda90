// Keeps two runs out of one folder tree.
//
// A run that writes into a tree holds an exclusive lock on its top folder
// and a shared one on every folder above it (File_System::lock_folder). So a
// second run into the same folder, into a folder inside it, or into a folder
// that holds it finds one of the locks taken, whichever way the folder was
// named (a link, a bind mount: the lock belongs to the folder, not to its
// name). On the real file system these are advisory flock locks: programs
// that do not ask for them are not kept out, and the kernel drops the locks
// of a process that dies.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace zentrel::platform {

class Tree_Lock {
public:
    explicit Tree_Lock(File_System& fs) : fs_(&fs) {}
    Tree_Lock(const Tree_Lock&) = delete;
    Tree_Lock& operator=(const Tree_Lock&) = delete;

    // Adds the tree at folder (an existing folder, named by any path) to
    // the locked ones. False when another holder has that tree or one that
    // overlaps it; nothing of this call is then kept. A folder above that
    // cannot be opened, and a file system without locks, lock nothing and
    // keep nobody out.
    bool acquire(const std::string& folder);
    void release() { locks_.clear(); }

private:
    File_System* fs_;
    std::vector<std::unique_ptr<Folder_Lock>> locks_;
};

}  // namespace zentrel::platform
