// Whether two folders are one and the same or lie one inside the other, by
// device and inode, so that spellings through a symbolic link or a bind
// mount are recognised as well.
#pragma once

#include "platform/file_system.h"

#include <string>

namespace zentrel::engine {

enum class Folder_Relation { Separate, Identical, Nested };

// source must be an existing folder; target may be missing, in which case
// its nearest existing folder tells where it would be made.
Folder_Relation Relate_Folders(platform::File_System& fs, const std::string& source, const std::string& target);

}  // namespace zentrel::engine
