// Folder, file and drive objects with the properties and operations the copy
// job works with, over a File_System. A path is reported the way the objects
// normalise it: absolute, no "//", "." or "..", no trailing separator (except
// "/" itself). Objects are values: looking a path up again gives fresh data.
#pragma once

#include "platform/file_system.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zentrel::platform {

// DOS attribute bits.
enum Dos_Attribute : int {
    Attribute_Read_Only = 1,
    Attribute_Hidden = 2,
    Attribute_System = 4,
    Attribute_Directory = 16,
    Attribute_Archive = 32,
};

// The mount that holds a path.
struct Drive {
    std::string Path;       // its mount point
    std::string ShareName;  // "//server/share" style source of a network mount, else empty
};

class File {
public:
    File(File_System& fs, std::string path, Entry_Status status);

    const std::string& Path() const { return path_; }
    std::string Name() const;
    const Entry_Status& Status() const { return status_; }
    bool Is_Link() const { return status_.kind == Entry_Kind::Symlink; }

    int Attributes() const;  // Dos_Attribute bits; read on first use
    // Hands over the user.DOSATTRIB bytes a listing of the file's folder has
    // just read (nullopt: none there), so that the first Attributes() need
    // not read them again, and a Copy of a file without them looks for no
    // attribute to carry.
    void Use_Listed_Attribute(std::optional<std::string> bytes);
    void Set_Attributes(int attributes);  // throws File_System_Error
    // Clears the archive bit alone, if the file is still what the last Copy
    // read (or, without a copy, what the look-up saw); false when it has
    // changed since and keeps the bit. Throws File_System_Error when the bit
    // cannot be stored.
    bool Clear_Archive();
    double DateLastModified() const;  // date value (days since 1899-12-30, local time)
    File_Time Modified_Time() const { return status_.modified; }
    std::uint64_t Size() const { return status_.size; }
    Drive Get_Drive() const;

    // Each throws File_System_Error on failure and acts on a link itself.
    void Delete(bool force);
    // Renames the file to destination (never replacing anything there); the
    // object follows its file.
    void Move(const std::string& destination);
    // All or nothing: the destination name holds either what it held before
    // or the complete copy, with modification time, permission bits and DOS
    // attributes; a symbolic link is copied as a link. Special files are
    // never opened. Without overwrite a taken destination fails (EEXIST),
    // found only when the copy is to be named. Afterwards Status() is what
    // the copy saw of the file: a File made without a look (a regular
    // file's kind alone) learns its size and time there.
    void Copy(const std::string& destination, bool overwrite);
    // Copies as Copy does without overwrite, but into batch: the copy gets
    // its name when the batch names its files. False, having copied
    // nothing, where this file is to be copied on its own (a link, a target
    // file system that needs more than the copy's data, bits, attributes
    // and time). Throws as Copy does.
    bool Copy_Into(Copy_Batch& batch, const std::string& destination);

private:
    File_System* fs_;
    std::string path_;
    Entry_Status status_;
    mutable std::optional<int> attributes_;
    // The source as the last Copy read it.
    std::optional<Entry_Status> copied_;
    // From Use_Listed_Attribute, until Attributes() has used it.
    mutable std::optional<std::optional<std::string>> listed_;
    // The listing found no stored attribute (kept after Attributes()).
    bool listed_without_attribute_ = false;
};

class Folder {
public:
    Folder(File_System& fs, std::string path, Entry_Status status);

    const std::string& Path() const { return path_; }
    std::string Name() const;
    const Entry_Status& Status() const { return status_; }  // of the folder itself (a link followed)

    int Attributes() const;     // includes Attribute_Directory
    bool IsRootFolder() const;  // the mount point of a mounted file system
    Drive Get_Drive() const;

    // Counts of every entry, whatever its attributes: files (everything that
    // is not a real directory) and real subdirectories.
    long Files_Count() const;
    long SubFolders_Count() const;
    // Real subdirectories in name order; a symbolic link to a folder is not one.
    std::vector<Folder> SubFolders() const;
    // The same of names, the subfolder names a reading of this folder gave
    // (listable_names): for a caller that has read the folder already.
    std::vector<Folder> SubFolders(std::vector<std::string> names) const;

private:
    File_System* fs_;
    std::string path_;
    Entry_Status status_;
    // status_ is the entry's own, found without following a link: path_
    // is no link (SubFolders makes such folders).
    bool own_status_ = false;
    mutable std::optional<int> attributes_;
};

// The entry point that hands out the objects.
class File_System_Objects {
public:
    explicit File_System_Objects(File_System& fs) : fs_(&fs) {}

    // Each throws File_System_Error when the path holds no such object.
    // GetFolder follows a symbolic link; GetFile takes a regular file or any
    // symbolic link that does not lead to a folder.
    Folder GetFolder(const std::string& path) const;
    File GetFile(const std::string& path) const;
    // The same look-ups giving nothing where those throw because the path
    // holds no such object; a failing system call still throws. A run looks
    // up many targets that are not there yet, and an exception for each
    // would cost more than the look-up itself.
    std::optional<Folder> Look_Up_Folder(const std::string& path) const;
    std::optional<File> Look_Up_File(const std::string& path) const;
    Folder CreateFolder(const std::string& path) const;

    File_System& file_system() const { return *fs_; }

private:
    File_System* fs_;
};

// True for the name of a copy in progress (what File::Copy writes before it
// renames); one left behind by a power cut is never listed, so it is neither
// copied nor synchronised back.
bool is_partial_copy_name(const std::string& name);
// A free name of that pattern in folder, as a path.
std::string partial_copy_path(const std::string& folder);

// Removes from folder every copy in progress whose writer is gone (a killed
// or crashed run): only names of exactly that pattern, only files and links,
// never one that a running copy still holds. Returns how many it removed;
// never throws.
int remove_stale_partial_copies(File_System& fs, const std::string& folder);

// Lexical normalisation used for every reported path: made absolute against
// the current directory, "//", "." and ".." folded, trailing "/" removed.
std::string normalize_path(const std::string& path);

}  // namespace zentrel::platform
