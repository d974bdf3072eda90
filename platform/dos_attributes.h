// DOS attributes (read-only, hidden, system, archive) of Linux files.
//
// Read-only: owner write permission clear, or the bit stored in
// user.DOSATTRIB. Hidden, system and archive: user.DOSATTRIB, read in the text
// form "0x%x" and in Samba's binary forms (version 3 begins with the text;
// versions 4 and 5 carry the bits in their version block). A name beginning
// with "." is hidden. A file without the stored attribute has archive set.
// Where the file system keeps the bits itself (FAT, NTFS), they are read
// and written there instead.
// Clearing archive records the modification time in user.zentrel.archive_mtime,
// and a later change of that time counts as archive set again.
#pragma once

#include "platform/file_system.h"
#include "platform/file_system_kind.h"

#include <optional>
#include <string>

namespace zentrel::platform {

inline constexpr const char* Dos_Attribute_Name = "user.DOSATTRIB";
inline constexpr const char* Archive_Time_Name = "user.zentrel.archive_mtime";

// The attribute bits held in a user.DOSATTRIB value, or nullopt when the
// bytes are in no form we know.
std::optional<int> parse_dosattrib(const std::string& bytes);

// The text form "0x%x" of attribute bits, as Wine and Samba read it.
std::string dosattrib_text(int attributes);

// Attributes of the entry at path whose lstat data is status.
int read_dos_attributes(File_System& fs, const std::string& path, const Entry_Status& status);
// The same with the entry's user.DOSATTRIB bytes already read (nullopt: it
// has none); the file system is asked only for what those bytes leave open.
int dos_attributes_from(File_System& fs, const std::string& path, const Entry_Status& status,
                        const std::optional<std::string>& stored_bytes);

// Sets the read-only, hidden, system and archive bits as given. Throws
// File_System_Error; on a file system without extended attributes a write
// that needs them fails with a clear description.
void write_dos_attributes(File_System& fs, const std::string& path, const Entry_Status& status, int attributes);

// The user.DOSATTRIB bytes with the archive bit cleared and nothing else
// changed, in the form they came in (the text, or Samba's binary forms with
// their creation time); nullopt for bytes in no form we know.
std::optional<std::string> dosattrib_without_archive(const std::string& bytes);

// Clears the archive bit of the regular file at path and changes nothing
// else (its mode stays as it is), provided it is still the file a copy read:
// the same size, modification and change time as copied. Returns false for a
// file changed since, which keeps its bit so that the next run copies the
// new content. Throws File_System_Error when the bit cannot be stored (no
// permission, a read-only mount, a file system without user attributes).
bool clear_archive_bit(File_System& fs, const std::string& path, const Entry_Status& copied);

// Gives the copy to the DOS attributes of from where one of the two keeps
// them in the file system itself (FAT, NTFS); elsewhere the copied extended
// attributes carry them already. Throws File_System_Error.
// to_kind is the kind of to's file system.
void carry_dos_attributes(File_System& fs, const std::string& from, const Entry_Status& from_status,
                          const std::string& to, const File_System_Kind& to_kind);

}  // namespace zentrel::platform
