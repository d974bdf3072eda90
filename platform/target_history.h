// Which file system each target folder of a run lay on, by the mount point
// that held it, kept per user in $XDG_STATE_HOME/zentrel/target-mounts
// (default ~/.local/state/zentrel/target-mounts). A later start whose target
// is missing tells a stick that is not plugged in (the folder above the
// target now lies on another file system) from a folder that is simply gone.
#pragma once

#include <optional>
#include <string>

namespace zentrel::platform {

// The file that keeps the record.
std::string target_history_file();

// The mount point that held target at its last run; nothing when no run
// wrote there, or the record cannot be read. Never throws.
std::optional<std::string> remembered_mount_point(const std::string& target);

// Notes that target lies on the file system mounted at mount_point. Keeps
// the most recent targets only; a record that cannot be written is left as
// it was. Never throws.
void remember_mount_point(const std::string& target, const std::string& mount_point);

}  // namespace zentrel::platform
