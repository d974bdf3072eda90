// Directory listing by wildcard pattern.
#pragma once

#include "platform/file_system.h"

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace zentrel::platform {

// Which files besides the normal ones a listing returns.
enum Listing_Classes : int {
    List_Normal_Only = 0,
    List_Hidden = 1,
    List_System = 2,
};

// Wildcard match of one name: "*" any run, "?" one character, letters
// compare without regard to case, "*.*" matches every name, a trailing ".*"
// also matches names without a dot. An empty pattern matches every name.
bool wildcard_match(const std::string& pattern, const std::string& name);

// The user.DOSATTRIB bytes a listing read, by position of the file. Most
// files have none: they take a byte each, so that a folder of a few
// hundred thousand files stays small.
class Listed_Attributes {
public:
    // count positions, none read.
    void reset(std::size_t count);
    void set(std::size_t at, std::optional<std::string> bytes);
    // nullopt when not read at at; else what is stored (itself nullopt: nothing).
    std::optional<std::optional<std::string>> get(std::size_t at) const;

private:
    enum State : unsigned char { Not_Read, Nothing_Stored, Stored };
    std::vector<unsigned char> states_;
    std::unordered_map<std::size_t, std::string> values_;
};

// Names of the files of folder that match pattern, in name order: regular
// files and symbolic links that are neither hidden nor system (plus those
// classes when asked for); never folders, devices, pipes or sockets.
// Throws File_System_Error when the folder cannot be read.
std::vector<std::string> list_files(File_System& fs, const std::string& folder, const std::string& pattern,
                                    int classes = List_Normal_Only);

// The two steps of list_files, for a caller that matches several patterns
// against one reading of the folder or knows some files already.
//
// The names of folder's entries a listing may return, in name order: regular
// files and links, without the partial copies of a run. With folders, puts
// there the names of the real subfolders the same reading found.
std::vector<std::string> listable_names(File_System& fs, const std::string& folder,
                                        std::vector<std::string>* folders = nullptr);
// For each of names (files of folder) whose position decide marks (every
// one without decide): 1 when the hidden and system classes let it
// through, 0 when not; 1 for the others. A name the folder no longer holds
// is left out. Reads the stored attributes only where the name cannot
// decide, and hands each read to read(position, bytes).
std::vector<char> pass_classes(File_System& fs, const std::string& folder, const std::vector<std::string>& names,
                               int classes, const std::vector<bool>* decide,
                               const std::function<void(std::size_t, std::optional<std::string>)>& read);

}  // namespace zentrel::platform
