// The desktop's trash, in the freedesktop.org layout: a file moved there
// keeps its content and can be put back from any file manager.
#pragma once

#include "platform/file_system.h"

#include <string>

namespace zentrel::platform {

// Moves the file or link at path (never followed) into the trash of its own
// file system: the user's ($XDG_DATA_HOME/Trash) when it lies on that file
// system, else $topdir/.Trash/$uid where the administrator made one, else
// $topdir/.Trash-$uid. Writes the .trashinfo that names where it came from
// first, so that a killed run never leaves a file in the trash without it.
// The file is looked up and moved through fs, so that a run's confinement
// holds: a folder on its way replaced by a link fails (ELOOP) instead of
// sending a file from elsewhere to the trash. Returns the path the file has
// in the trash; throws File_System_Error.
std::string move_to_trash(File_System& fs, const std::string& path);

}  // namespace zentrel::platform
