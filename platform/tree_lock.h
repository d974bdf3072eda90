// Keeps two runs out of one folder tree.
//
// A run that writes into a tree holds an exclusive advisory lock (flock) on
// its top folder and a shared one on every folder above it. So a second run
// into the same folder, into a folder inside it, or into a folder that holds
// it finds one of the locks taken, whichever way the folder was named (a
// link, a bind mount: the lock belongs to the folder, not to its name).
// Programs that do not ask for the locks are not kept out; the kernel drops
// the locks of a process that dies.
#pragma once

#include <string>
#include <vector>

namespace zentrel::platform {

class Tree_Lock {
public:
    Tree_Lock() = default;
    ~Tree_Lock() { release(); }
    Tree_Lock(const Tree_Lock&) = delete;
    Tree_Lock& operator=(const Tree_Lock&) = delete;

    // Adds the tree at folder (an existing folder, named by any path) to
    // the locked ones. False when another holder has that tree or one that
    // overlaps it; nothing of this call is then kept. A folder above that
    // cannot be opened, and a file system without locks, lock nothing and
    // keep nobody out.
    bool acquire(const std::string& folder);
    void release();

private:
    std::vector<int> descriptors_;
};

}  // namespace zentrel::platform
