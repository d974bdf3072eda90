// What the POSIX file system asks the kernel for besides files and folders:
// DOS attributes that FAT and NTFS keep themselves, folder locks, and whether
// a copy in progress is still being written. Posix_File_System is their one
// caller; everything else asks File_System.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/file_system.h"
#include "platform/file_system_kind.h"

namespace zentrel::platform::posix {

// The read-only, hidden, system and archive bits kept where the kind keeps
// them; nullopt for Native_Attributes::None. Throws when they are there but
// cannot be read.
std::optional<int> read_native_attributes(const std::string& path, Native_Attributes where);
// Sets those four bits and keeps the others; false for Native_Attributes::None.
// Throws on failure.
bool write_native_attributes(const std::string& path, Native_Attributes where, int attributes);

// flock() on the folder, as File_System::lock_folder says.
std::unique_ptr<Folder_Lock> lock_folder(const std::string& path, Lock_Mode mode);

// As File_System::being_written says: the writer holds its copy under flock.
bool being_written(const std::string& path);

}  // namespace zentrel::platform::posix
