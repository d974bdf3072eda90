// Directory listing by wildcard pattern.
#pragma once

#include "platform/file_system.h"

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

// The user.DOSATTRIB bytes a listing read, by file name (nullopt: the file
// has none).
using Listed_Attributes = std::unordered_map<std::string, std::optional<std::string>>;

// Names of the files of folder that match pattern, in name order: regular
// files and symbolic links that are neither hidden nor system (plus those
// classes when asked for); never folders, devices, pipes or sockets.
// With read_attributes, adds there the stored bytes of each returned name
// whose attribute the listing had to read (names it decided without them
// are left out). Throws File_System_Error when the folder cannot be read.
std::vector<std::string> list_files(File_System& fs, const std::string& folder, const std::string& pattern,
                                    int classes = List_Normal_Only, Listed_Attributes* read_attributes = nullptr);

}  // namespace zentrel::platform
