// Open folders for looking up their entries by name.
//
// A look-up by full path makes the kernel walk every component of the path
// again; one relative to an open folder walks a single name. While held, the
// folders last asked for stay open for a short while (Lifetime), so that the
// entries of the folder a job works through are looked up relative to it.
//
// A folder that another program renames or replaces meanwhile is still seen
// at its old place until its handle expires, as if the change had happened
// that much later; one this process renames is forgotten at once
// (before_rename). Nothing stays open once the last hold is released.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

namespace zentrel::platform {

class Folder_Handles {
public:
    static constexpr std::chrono::milliseconds Lifetime{100};
    static constexpr std::size_t Capacity = 4;

    Folder_Handles() = default;
    Folder_Handles(const Folder_Handles&) = delete;
    Folder_Handles& operator=(const Folder_Handles&) = delete;
    ~Folder_Handles();

    // Calls nest; with no hold, nothing is kept open.
    void hold();
    void release();

    // lstat() of path: 0, or -1 with errno as lstat() sets it.
    int stat_entry(const std::string& path, struct stat& st);

    // Before this process renames from: a folder renamed (or one below it,
    // or one a renamed link led to) would still be seen at its old name
    // through a kept handle, so every handle is closed unless from is known
    // to be a file.
    void before_rename(const std::string& from);

private:
    struct Handle {
        std::string folder;
        int fd = -1;
        std::chrono::steady_clock::time_point opened;
    };
    void close_all_locked();
    int stat_entry_locked(const std::string& path, struct stat& st);

    std::mutex mutex_;
    int holds_ = 0;
    std::vector<Handle> handles_;
};

}  // namespace zentrel::platform
