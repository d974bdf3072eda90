// A File_System held in memory, for whole runs onto a stick's file system
// without mounting one: volumes mounted on its folders keep names and times
// the way FAT, exFAT or an old ext2 does.
//
//     Memory_File_System fs;                      // "/": POSIX rules, nanoseconds
//     fs.make_folders("/tmp/stick");
//     fs.mount("/tmp/stick", Memory_Volume::fat());
//     fs.write_file("/tmp/quelle/a.txt", "alpha");
//
// Every path is absolute; links are followed in the middle of a path and,
// as the kernel does, never in its last component unless the operation
// says so. A volume that ignores case finds "A.TXT" under "a.txt" and keeps
// the spelling an entry was made with; one with Windows' rules refuses the
// names Windows refuses (EINVAL), one without links refuses a link (EPERM),
// one without extended attributes has none to give and refuses to keep one
// (ENOTSUP). Times set or written are cut down to the volume's step. Folder
// locks keep out the locks of the same file system; nothing here is shared
// with another process.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/file_system_kind.h"
#include "platform/mounts.h"

namespace zentrel::testing {

struct Memory_Volume {
    std::string type = "memory";      // as the mount table names it
    platform::File_System_Kind kind;  // what it keeps; native attributes are never kept
    bool keeps_attributes = true;     // extended attributes
    std::string uuid;                 // the file system's own identity, none when empty

    // FAT as a FUSE driver keeps it: two seconds, no case, no links, no
    // extended attributes.
    static Memory_Volume fat();
    // A POSIX file system keeping whole seconds (ext2 with small inodes).
    static Memory_Volume whole_seconds();
};

class Memory_File_System : public platform::File_System {
public:
    Memory_File_System();
    ~Memory_File_System() override;

    // Mounts an empty volume on the existing, empty folder folder.
    void mount(const std::string& folder, const Memory_Volume& volume);
    // The volume mounted on folder as a stick unplugged and plugged in
    // again: the same tree under another device number, with inode numbers
    // made anew where the volume's kind is FAT or exFAT.
    void plug_in_again(const std::string& folder);

    // For building and reading trees in tests: the folder with its missing
    // parents; a file with its missing parents, written anew; a file's
    // contents (throws where there is no file).
    void make_folders(const std::string& path);
    void write_file(const std::string& path, const std::string& contents);
    std::string contents(const std::string& path);

    std::optional<platform::Entry_Status> status(const std::string& path) override;
    std::vector<platform::Folder_Entry> read_folder(const std::string& path) override;
    void create_folder(const std::string& path) override;
    void remove_file(const std::string& path) override;
    void rename(const std::string& from, const std::string& to, bool replace) override;
    void copy_contents(const std::string& from, const std::string& to, mode_t mode) override;
    std::string read_link(const std::string& path) override;
    void create_link(const std::string& link_target, const std::string& path) override;
    void set_modified(const std::string& path, platform::File_Time time) override;
    void set_mode(const std::string& path, mode_t mode) override;
    std::optional<std::string> get_attribute(const std::string& path, const std::string& name) override;
    void set_attribute(const std::string& path, const std::string& name, const std::string& value) override;
    void remove_attribute(const std::string& path, const std::string& name) override;
    std::string canonical(const std::string& path) override;
    std::shared_ptr<const std::vector<platform::Mount>> mounts() override;
    platform::File_System_Kind kind_of(const std::string& path, dev_t device) override;
    std::string volume_of(const platform::Mount& mount) override;
    std::unique_ptr<platform::Folder_Lock> lock_folder(const std::string& path, platform::Lock_Mode mode) override;
    bool being_written(const std::string& path) override;

    struct Node;
    struct Locks;

private:
    struct Place;
    Place place_of(const std::string& path, bool follow_last);
    Node& existing(const std::string& path, bool follow_last);
    Node& new_entry(const std::string& path, std::shared_ptr<Node> node);
    std::shared_ptr<Node> make_node(dev_t device, platform::Entry_Kind kind, mode_t mode);
    const Memory_Volume& volume_of(dev_t device) const;

    std::recursive_mutex mutex_;
    std::shared_ptr<Node> root_;
    std::map<dev_t, Memory_Volume> volumes_;
    std::shared_ptr<const std::vector<platform::Mount>> mounts_;
    std::shared_ptr<Locks> locks_;
    ino_t next_inode_ = 1;
};

}  // namespace zentrel::testing
