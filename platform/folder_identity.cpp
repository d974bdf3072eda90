#include "platform/folder_identity.h"

#include "platform/file_system_kind.h"
#include "platform/mounts.h"

namespace zentrel::platform {

namespace {

// The kinds whose inode numbers the driver makes up at each mount.
bool inodes_made_up(const File_System_Kind& kind) { return kind.name == "FAT" || kind.name == "exFAT"; }

}  // namespace

Identified_Folder identify_folder(File_System& fs, const std::string& path, const Entry_Status& status) {
    Identified_Folder folder{{status.device, status.inode, {}, {}}, path};
    try {
        const Mount mount = fs.mount_of(path);
        std::string volume = fs.volume_of(mount);
        if (volume.empty()) return folder;
        const std::string place = path_in_file_system(mount, fs.canonical(path));
        folder.identity = {0, status.inode, std::move(volume), {}};
        if (inodes_made_up(fs.kind_of(path, status.device))) {
            folder.identity.inode = 0;
            folder.identity.place = place;
        }
        folder.seen_at = place;
    } catch (const std::exception&) {
        folder = {{status.device, status.inode, {}, {}}, path};
    }
    return folder;
}

}  // namespace zentrel::platform
