#include <algorithm>
#include <cerrno>

#include "platform/dos_attributes.h"
#include "platform/file_objects.h"
#include "platform/file_system_kind.h"
#include "platform/mounts.h"

namespace zentrel::platform {

Folder::Folder(File_System& fs, std::string path, Entry_Status status)
    : fs_(&fs), path_(std::move(path)), status_(status) {}

std::string Folder::Name() const { return path_.substr(path_.find_last_of('/') + 1); }

int Folder::Attributes() const {
    if (!attributes_) {
        // The attributes live on the folder itself, behind a link if we came
        // through one.
        std::string real = path_;
        if (!own_status_) {
            if (auto own = fs_->status(path_); own && own->kind == Entry_Kind::Symlink) real = fs_->canonical(path_);
        }
        int attributes = 0;
        try {
            attributes = read_dos_attributes(*fs_, real, status_);
        } catch (const File_System_Error& error) {
            // Another user's private folder, or one of the user's own that
            // is closed to all: counted as one with no stored attribute, as
            // a file is, so that it is tried and its failure reported,
            // rather than passed over as if hidden.
            if (error.error_number() != EACCES && error.error_number() != EPERM) throw;
            attributes = dos_attributes_from(*fs_, real, status_, std::nullopt);
        }
        // The name the user asked by decides about dot-hiding.
        if (Name().starts_with('.')) attributes |= Attribute_Hidden;
        attributes_ = attributes | Attribute_Directory;
    }
    return *attributes_;
}

bool Folder::IsRootFolder() const { return fs_->is_mount_point(path_); }

Drive Folder::Get_Drive() const {
    Mount mount = fs_->mount_of(path_);
    return {mount.mount_point, share_name(mount)};
}

long Folder::Files_Count() const {
    auto entries = fs_->read_folder(path_);
    return static_cast<long>(std::count_if(entries.begin(), entries.end(),
                                           [](const Folder_Entry& e) { return e.kind != Entry_Kind::Directory; }));
}

long Folder::SubFolders_Count() const {
    auto entries = fs_->read_folder(path_);
    return static_cast<long>(std::count_if(entries.begin(), entries.end(),
                                           [](const Folder_Entry& e) { return e.kind == Entry_Kind::Directory; }));
}

std::vector<Folder> Folder::SubFolders() const {
    auto entries = fs_->read_folder(path_);
    std::vector<std::string> names;
    for (auto& entry : entries)
        if (entry.kind == Entry_Kind::Directory) names.push_back(std::move(entry.name));
    return SubFolders(std::move(names));
}

std::vector<Folder> Folder::SubFolders(std::vector<std::string> names) const {
    std::sort(names.begin(), names.end());
    std::vector<Folder> folders;
    folders.reserve(names.size());
    const std::string prefix = path_ == "/" ? "/" : path_ + "/";
    for (const auto& name : names) {
        std::string child = prefix + name;
        // Gone or replaced since the listing: not a subfolder any more.
        auto status = fs_->status(child);
        if (status && status->kind == Entry_Kind::Directory) {
            folders.emplace_back(*fs_, std::move(child), *status);
            folders.back().own_status_ = true;
        }
    }
    return folders;
}

namespace {

// An empty text names nothing (it would otherwise mean the current folder).
void refuse_empty(const std::string& path) {
    if (path.empty()) throw File_System_Error(ENOENT, path);
}

}  // namespace

Folder File_System_Objects::GetFolder(const std::string& path) const {
    refuse_empty(path);
    std::string normal = normalize_path(path);
    auto status = fs_->status(normal);
    if (!status) throw File_System_Error(ENOENT, normal);
    if (status->kind == Entry_Kind::Symlink) {
        status = fs_->status(fs_->canonical(normal));
        if (!status) throw File_System_Error(ENOENT, normal);  // dangling
    }
    if (status->kind != Entry_Kind::Directory) throw File_System_Error(ENOTDIR, normal);
    return Folder(*fs_, std::move(normal), *status);
}

File File_System_Objects::GetFile(const std::string& path) const {
    refuse_empty(path);
    std::string normal = normalize_path(path);
    auto status = fs_->status(normal);
    if (!status) throw File_System_Error(ENOENT, normal);
    switch (status->kind) {
        case Entry_Kind::Regular:
            break;
        case Entry_Kind::Directory:
            throw File_System_Error(EISDIR, normal);
        case Entry_Kind::Symlink:
            // Every link is a file, also one that leads to a folder or
            // nowhere: it is copied as a link and never followed.
            break;
        case Entry_Kind::Other:
            throw File_System_Error("Keine gewöhnliche Datei (Pipe, Gerät oder Socket)", normal);
    }
    return File(*fs_, std::move(normal), *status);
}

std::optional<Folder> File_System_Objects::Look_Up_Folder(const std::string& path) const {
    if (path.empty()) return std::nullopt;
    std::string normal = normalize_path(path);
    auto status = fs_->status(normal);
    if (status && status->kind == Entry_Kind::Symlink) status = fs_->status(fs_->canonical(normal));
    if (!status || status->kind != Entry_Kind::Directory) return std::nullopt;
    return Folder(*fs_, std::move(normal), *status);
}

std::optional<File> File_System_Objects::Look_Up_File(const std::string& path) const {
    if (path.empty()) return std::nullopt;
    std::string normal = normalize_path(path);
    auto status = fs_->status(normal);
    if (!status || (status->kind != Entry_Kind::Regular && status->kind != Entry_Kind::Symlink)) return std::nullopt;
    return File(*fs_, std::move(normal), *status);
}

Folder File_System_Objects::CreateFolder(const std::string& path) const {
    refuse_empty(path);
    std::string normal = normalize_path(path);
    // A name Windows would refuse is refused on FAT, exFAT and NTFS before
    // their drivers answer with EPERM, EINVAL, ENOENT or take it (ntfs-3g).
    const auto slash = normal.find_last_of('/');
    const std::string reason =
        refused_name_reason(fs_->folder_kind(slash == 0 ? "/" : normal.substr(0, slash)), normal.substr(slash + 1));
    if (!reason.empty()) throw File_System_Error(reason, normal);
    fs_->create_folder(normal);
    return GetFolder(normal);
}

}  // namespace zentrel::platform
