// Paths inside the folder trees of a run, reached without following links.
//
// The walk names files by their full paths. Should another program replace
// a folder of a tree by a symbolic link while a run is under way, a path
// through it would lead out of the tree: into the user's other folders, or
// into /etc. While confined, a path below one of the roots is reached from
// the root as it was opened at the start, one real folder after another;
// a link on the way fails with ELOOP instead of being followed. Paths
// outside the roots are reached as before.
#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace zentrel::platform {

// Where to act for one path: the folder at (a descriptor, or AT_FDCWD) and
// the name relative to it. Closes the folder it opened.
class Path_Place {
public:
    Path_Place(int at, std::string name, bool owned) : at_(at), name_(std::move(name)), owned_(owned) {}
    ~Path_Place();
    Path_Place(Path_Place&& other) noexcept;
    Path_Place(const Path_Place&) = delete;
    Path_Place& operator=(const Path_Place&) = delete;
    Path_Place& operator=(Path_Place&&) = delete;

    int at() const { return at_; }
    const char* name() const { return name_.c_str(); }
    // True when at is a folder opened by its root (the path was confined).
    bool confined() const { return confined_; }
    void set_confined() { confined_ = true; }

private:
    int at_;
    std::string name_;
    bool owned_;
    bool confined_ = false;
};

class Confined_Paths {
public:
    ~Confined_Paths() { unconfine_all(); }

    // Calls nest; the roots of the outermost call hold. A root that cannot
    // be opened confines nothing.
    void confine(const std::vector<std::string>& roots);
    void unconfine();

    // Throws File_System_Error (ELOOP for a link, ENOENT, ENOTDIR ...) when
    // a folder on the way below a root is no real folder.
    Path_Place place_of(const std::string& path) const;

private:
    struct Root {
        std::string path;  // normalised, without a trailing separator (except "/")
        int fd = -1;
    };
    void unconfine_all();

    mutable std::mutex mutex_;
    int depth_ = 0;
    std::vector<Root> roots_;
};

}  // namespace zentrel::platform
