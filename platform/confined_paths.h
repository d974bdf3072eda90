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

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace zentrel::platform {

// Where to act for one path: the folder at (a descriptor, or AT_FDCWD) and
// the name relative to it. Closes the folder it opened.
// An open folder, closed when the last holder lets go of it.
class Open_Folder {
public:
    explicit Open_Folder(int fd) : fd_(fd) {}
    ~Open_Folder();
    Open_Folder(const Open_Folder&) = delete;
    Open_Folder& operator=(const Open_Folder&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

class Path_Place {
public:
    // Not confined: the path as it is, from the working folder.
    explicit Path_Place(std::string path);
    // Confined: name within the open folder.
    Path_Place(std::shared_ptr<const Open_Folder> folder, std::string name)
        : folder_(std::move(folder)), name_(std::move(name)) {}

    int at() const;
    const char* name() const { return name_.c_str(); }
    // Another name in the same folder, reached through the same opening.
    Path_Place sibling(std::string name) const {
        Path_Place other(*this);
        other.name_ = std::move(name);
        return other;
    }
    // True when the place was found below a root without following links.
    bool confined() const { return folder_ != nullptr; }

private:
    std::shared_ptr<const Open_Folder> folder_;
    std::string name_;
};

class Confined_Paths {
public:
    ~Confined_Paths() { unconfine_all(); }

    // Calls nest; the roots of the outermost call hold. A root that cannot
    // be opened confines nothing.
    void confine(const std::vector<std::string>& roots);
    void unconfine();

    // Throws File_System_Error (ELOOP for a link, ENOENT, ENOTDIR ...) when
    // a folder on the way below a root is no real folder. For a look that
    // only reads (reading), the folder may be one opened for an earlier
    // look a moment ago (Lifetime): a folder replaced meanwhile is then seen
    // as it was that moment ago, never through the link. So is a folder
    // found missing a moment ago, until the next write: the files of a
    // target folder not yet made are each looked up in vain. Writes always
    // open the way afresh.
    Path_Place place_of(const std::string& path, bool reading = false) const;
    // The same for a look that only reads, giving nothing where a folder on
    // the way is missing (ENOENT, ENOTDIR) instead of throwing: a run looks
    // up every file of a target folder not made yet, and an exception for
    // each would cost more than the look-up. Other failures throw.
    std::optional<Path_Place> look_place_of(const std::string& path) const;

    static constexpr std::chrono::milliseconds Lifetime{100};
    static constexpr std::size_t Capacity = 4;

private:
    struct Root {
        std::string path;  // normalised, without a trailing separator (except "/")
        std::shared_ptr<const Open_Folder> folder;
    };
    struct Recent {
        const Root* root;                           // the root the folder lies below
        std::string path;                           // of the folder below it, as the caller wrote it
        std::shared_ptr<const Open_Folder> folder;  // null: missing, for the reason in error
        std::chrono::steady_clock::time_point opened;
        int error = 0;
    };
    void unconfine_all();
    // place_of's work: error is set (and nothing returned) where a folder on
    // the way cannot be reached.
    std::optional<Path_Place> find_place(const std::string& path, bool reading, int& error) const;

    mutable std::mutex mutex_;
    int depth_ = 0;
    std::vector<Root> roots_;
    mutable std::vector<Recent> recent_;
};

}  // namespace zentrel::platform
