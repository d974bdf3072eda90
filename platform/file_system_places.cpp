// File_System's defaults for what holds a path: one file system of the
// POSIX kind, mounted at "/", where nothing is locked. None does I/O beyond
// the calls of the class itself.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/file_system_kind.h"
#include "platform/mounts.h"

namespace zentrel::platform {

std::shared_ptr<const std::vector<Mount>> File_System::mounts() {
    static const auto none = std::make_shared<const std::vector<Mount>>();
    return none;
}

Mount File_System::mount_of(const std::string& path) { return mount_in(*mounts(), canonical(path)); }

bool File_System::is_mount_point(const std::string& path) {
    const std::string real = canonical(path);
    if (real == "/") return true;
    for (const Mount& mount : *mounts())
        if (mount.mount_point == real) return true;
    return false;
}

File_System_Kind File_System::kind_of(const std::string& /*path*/, dev_t /*device*/) { return {}; }

File_System_Kind File_System::folder_kind(const std::string& folder) {
    try {
        if (auto found = status(folder)) return kind_of(folder, found->device);
    } catch (const File_System_Error&) {
    }
    return {};
}

std::optional<std::string> File_System::unmounted_storage_above(const std::string& /*missing_path*/,
                                                                const Mount_Point_Rules& /*rules*/) {
    return std::nullopt;
}

bool File_System::is_unmounted_fstab_point(const std::string& /*folder*/, const Mount_Point_Rules& /*rules*/) {
    return false;
}

std::unique_ptr<Folder_Lock> File_System::lock_folder(const std::string& /*path*/, Lock_Mode /*mode*/) {
    return std::make_unique<Folder_Lock>();
}

}  // namespace zentrel::platform
