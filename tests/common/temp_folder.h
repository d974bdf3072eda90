// A fresh folder under /tmp for one test, removed with everything in it.
#pragma once

#include <string>

namespace zentrel::testing {

class Temp_Folder {
public:
    Temp_Folder();
    ~Temp_Folder();
    Temp_Folder(const Temp_Folder&) = delete;
    Temp_Folder& operator=(const Temp_Folder&) = delete;

    const std::string& path() const { return path_; }
    // path() + "/" + relative
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
};

// Small helpers for building trees: each creates missing parent folders.
void write_file(const std::string& path, const std::string& content);
std::string read_file(const std::string& path);
void make_folders(const std::string& path);
// Sets the modification time to seconds since the epoch (nanoseconds 0).
void set_mtime(const std::string& path, long long seconds, long nanoseconds = 0);
bool exists(const std::string& path);  // lstat

}  // namespace zentrel::testing
