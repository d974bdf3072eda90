#include "engine/copy_job.h"
#include "engine/folder_identity.h"

#include "platform/mounts.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace zentrel::engine {

using support::Separator;

namespace {

using Identity = std::pair<dev_t, ino_t>;

std::string parent_of(const std::string& path) {
    std::size_t cut = path.find_last_of(Separator);
    if (cut == std::string::npos || cut == 0) return std::string(1, Separator);
    return path.substr(0, cut);
}

std::optional<platform::Entry_Status> status_of(platform::File_System& fs, const std::string& path) {
    try {
        return fs.status(path);
    } catch (const platform::File_System_Error&) {
        return std::nullopt;  // an unreadable parent tells nothing about identity
    }
}

// The identities of a canonical folder path and of all its ancestors, the
// folder's own first. Ancestors are taken lexically: the canonical path has
// no links left, and a bind mount shows itself by its identity.
std::vector<Identity> identity_chain(platform::File_System& fs, std::string path) {
    std::vector<Identity> chain;
    for (;;) {
        if (auto status = status_of(fs, path)) chain.emplace_back(status->device, status->inode);
        if (path == std::string(1, Separator)) break;
        path = parent_of(path);
    }
    return chain;
}

}  // namespace

Folder_Relation Relate_Folders(platform::File_System& fs, const std::string& source, const std::string& target) {
    std::string source_path = fs.canonical(source);
    auto source_status = status_of(fs, source_path);
    if (!source_status || source_status->kind != platform::Entry_Kind::Directory) return Folder_Relation::Separate;
    const Identity source_id{source_status->device, source_status->inode};

    std::string nearest = fs.canonical(target);
    bool target_exists = true;
    for (;;) {
        auto status = status_of(fs, nearest);
        if (status && status->kind == platform::Entry_Kind::Directory) break;
        target_exists = false;
        if (nearest == std::string(1, Separator)) return Folder_Relation::Separate;
        nearest = parent_of(nearest);
    }
    std::vector<Identity> target_chain = identity_chain(fs, nearest);
    if (target_chain.empty()) return Folder_Relation::Separate;

    if (target_exists && target_chain.front() == source_id) return Folder_Relation::Identical;
    // The target is, or would be made, inside the source.
    if (std::find(target_chain.begin(), target_chain.end(), source_id) != target_chain.end())
        return Folder_Relation::Nested;
    // The source lies inside the existing target.
    if (target_exists) {
        std::vector<Identity> source_chain = identity_chain(fs, source_path);
        if (!source_chain.empty() &&
            std::find(source_chain.begin() + 1, source_chain.end(), target_chain.front()) != source_chain.end())
            return Folder_Relation::Nested;
    }
    // A bind mount of a folder inside the other one has no ancestor in
    // common with it: where both lie within their file system tells.
    const auto mounts = fs.mounts();
    const platform::Mount source_mount = platform::mount_in(*mounts, source_path);
    const platform::Mount target_mount = platform::mount_in(*mounts, nearest);
    if (!source_mount.device.empty() && source_mount.device == target_mount.device) {
        const std::string inner_source = platform::path_in_file_system(source_mount, source_path);
        const std::string inner_target = platform::path_in_file_system(target_mount, nearest);
        auto inside = [](const std::string& path, const std::string& folder) {
            return folder == "/" || path.starts_with(folder + "/");
        };
        if (target_exists && inner_source == inner_target) return Folder_Relation::Identical;
        if (inner_source == inner_target || inside(inner_target, inner_source)) return Folder_Relation::Nested;
        if (target_exists && inside(inner_source, inner_target)) return Folder_Relation::Nested;
    }
    return Folder_Relation::Separate;
}

std::string Copy_Job::Get_UNC_Path(const std::string& Path) const {
    if (Path.empty()) return std::string();
    std::string canonical = support_->file_system().canonical(Path);
    platform::Mount mount = support_->file_system().mount_of(canonical);
    std::string share = platform::share_name(mount);
    if (share.empty()) return canonical;
    while (share.size() > 1 && share.back() == Separator) share.pop_back();

    const std::string& point = mount.mount_point;
    if (point == std::string(1, Separator)) return share + canonical;
    if (canonical.compare(0, point.size(), point) != 0) return canonical;
    return share + canonical.substr(point.size());
}

}  // namespace zentrel::engine
