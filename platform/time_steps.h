// How finely a file system keeps modification times, where its type does
// not tell (a FUSE driver of any kind, a stick whose device the user may not
// read): a run measures it in the folder it writes into, by setting a time
// on a file of its own and reading it back. What it found is kept per file
// system, for this process and in the user's cache folder, so that a dry run
// or an evaluation started later compares times as finely as the run did.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/file_system.h"
#include "platform/mounts.h"

namespace zentrel::platform {

// Measures the step of the file system holding folder, an existing folder
// that the caller keeps other runs out of, where its kind does not know it.
// Leaves nothing behind (the scratch file bears a partial copy's name, which
// the next run removes should this one be killed). Never throws.
void measure_time_step(const std::string& folder);

// The step last measured on the file system of mount, by this process or an
// earlier one of this user.
std::optional<std::int64_t> measured_time_step(const Mount& mount);

// Counts the measurements that found something new: whoever keeps kinds
// found before looks again when it changes.
std::uint64_t time_step_measurements();

// The step that a file system keeping set as kept shows: the smallest of
// 1, 10, ... ns, 1 s and 2 s to which set cut down is kept; none where kept
// is no such cut (the file system put a time of its own).
std::optional<std::int64_t> time_step_shown(File_Time set, File_Time kept);

// Where the measurements are kept: $XDG_CACHE_HOME/zentrel/time-steps, or
// ~/.cache/zentrel/time-steps.
std::string measured_time_steps_file();

}  // namespace zentrel::platform
