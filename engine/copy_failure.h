// Why a file was not copied, or a folder not walked to its end: one entry
// of the error list, as a value.
#pragma once

#include <string>

namespace zentrel::engine {

// Why a file was not copied, or why an entry is in the error list.
enum class Copy_Trouble {
    Source_Missing,        // the file to copy is not there (path empty)
    Source_Unreachable,    // the walk could not look at the file (detail: why)
    Folder_Not_Made,       // its target folder could not be made (target: the folder and a separator)
    Leftover_Not_Removed,  // an old parked version is in the way (target: the parking name's path)
    Target_Not_Parked,     // the existing target could not be moved aside (target: its path)
    Target_Not_Restored,   // the old version could not be moved back (target: the target's path)
    Not_Copied,            // the copy failed (detail: why, when known)
    Target_Full,           // no space left in the target (detail: why); never asked for each file
    Case_Collision,        // the target ignores case and the name meets an earlier file's (target: that file)
    Parked_Version_Kept,   // an old version this run did not park stays (path: its path)
    // A synchronisation's: a file deleted on the other side could not go to
    // the trash (detail: why); one deleted there and changed here is copied
    // back; one changed on both sides keeps its older version beside it
    // (target: that version's new name), or could not (target: the older
    // version's path, detail: why).
    Not_Trashed,
    Deleted_There_Changed_Here,
    Conflict_Kept,
    Conflict_Not_Kept,
    Folder_Unreadable,  // a folder's files could not be listed (path: the folder and a separator)
    Folder_Gone,        // a folder vanished, or became a link, while it was walked
    Folder_Failed,      // a folder's walk ended on a failure (detail: why, empty when unknown; step)
};

// One failure, and with it one entry of the error list.
struct Copy_Failure {
    Copy_Trouble trouble = Copy_Trouble::Not_Copied;
    // The entry: the source file's path, a folder's with a trailing separator.
    std::string path = {};
    // The second path the trouble names (see Copy_Trouble); empty otherwise.
    std::string target = {};
    // The system's description of the failure; empty when there is none.
    std::string detail = {};
    // A retry may help; where it cannot, a Retry answer counts as Skip.
    bool retry_allowed = false;
    // Folder_Failed: the number of the walk's step that failed.
    int step = 0;
};

}  // namespace zentrel::engine
