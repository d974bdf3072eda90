#include <cerrno>
#include <random>
#include <string_view>

#include "platform/date_value.h"
#include "platform/dos_attributes.h"
#include "platform/file_objects.h"
#include "platform/file_system_kind.h"
#include "platform/mounts.h"

namespace zentrel::platform {

namespace {

std::string folder_of(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string join(const std::string& folder, const std::string& name) {
    return folder == "/" ? "/" + name : folder + "/" + name;
}

constexpr std::string_view Partial_Prefix = ".zentrel-";
constexpr std::string_view Partial_Suffix = ".part";
constexpr int Partial_Random_Letters = 6;

// A name in the destination's folder for the copy in progress. It begins
// with a dot so that a leftover (after a power cut) stays out of sight and
// out of normal listings; creation with O_EXCL (or symlink()) rejects a
// name that is taken, and we draw another.
std::string temporary_name(const std::string& folder) {
    static constexpr char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    static thread_local std::mt19937_64 random{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof letters - 2);
    std::string name(Partial_Prefix);
    for (int i = 0; i < Partial_Random_Letters; ++i) name += letters[pick(random)];
    return join(folder, name.append(Partial_Suffix));
}

constexpr int Temporary_Attempts = 100;

// The temporary name means nothing to the user; a failure on it is a
// failure to write the destination.
[[noreturn]] void rethrow_for_target(const File_System_Error& error, const std::string& temporary,
                                     const std::string& target) {
    if (error.path() != temporary) throw error;
    if (error.error_number() != 0) throw File_System_Error(error.error_number(), target);
    std::string description = error.what();
    description.resize(description.size() - temporary.size() - 2);  // drop ": " and the path
    throw File_System_Error(description, target);
}

// Cleanup after a failure: the original failure is the one to report.
void remove_quietly(File_System& fs, const std::string& path) {
    try {
        fs.remove_file(path);
    } catch (const File_System_Error&) {
    }
}

// The extended attributes that carry the DOS attributes; both go with a copy
// so that it reads exactly like its source.
// The extended attributes a copy into folder carries. NTFS keeps the DOS
// attributes itself, and Windows shows every other one as a stream of the
// file: nothing is added there.
const std::vector<std::string>& carried_attributes(File_System& fs, const std::string& folder) {
    static const std::vector<std::string> names{Dos_Attribute_Name, Archive_Time_Name};
    static const std::vector<std::string> none;
    return fs.folder_kind(folder).native == Native_Attributes::Ntfs_Xattr ? none : names;
}

// A name the target's file system would refuse, or take for another (FAT
// drops a trailing dot), fails with the reason before anything is written.
void refuse_name_of_target(File_System& fs, const std::string& target, const std::string& folder) {
    const std::string name = target.substr(target.find_last_of('/') + 1);
    // Most names pass under the strictest rules, without a look at the target.
    File_System_Kind strictest;
    strictest.windows_names = true;
    if (refused_name_reason(strictest, name).empty()) return;
    const std::string reason = refused_name_reason(fs.folder_kind(folder), name);
    if (!reason.empty()) throw File_System_Error(reason, target);
}

// Whether a failure to create a link means that the file system holds none:
// FUSE drivers without links answer ENOSYS, others EPERM or EOPNOTSUPP.
bool links_refused(File_System& fs, int error_number, const std::string& folder) {
    if (not_kept_by_file_system(error_number)) return true;
    return error_number == EPERM && !fs.folder_kind(folder).holds_links;
}

}  // namespace

File::File(File_System& fs, std::string path, Entry_Status status)
    : fs_(&fs), path_(std::move(path)), status_(status) {}

std::string File::Name() const { return path_.substr(path_.find_last_of('/') + 1); }

int File::Attributes() const {
    if (!attributes_) {
        try {
            if (listed_) {
                attributes_ = dos_attributes_from(*fs_, path_, status_, *listed_);
                listed_.reset();
            } else {
                attributes_ = read_dos_attributes(*fs_, path_, status_);
            }
        } catch (const File_System_Error& error) {
            // Another user's private file: what its name and mode tell is
            // all there is, and its copy will fail and say why.
            if (error.error_number() != EACCES && error.error_number() != EPERM) throw;
            attributes_ = dos_attributes_from(*fs_, path_, status_, std::nullopt);
        }
    }
    return *attributes_;
}

void File::Use_Listed_Attribute(std::optional<std::string> bytes) {
    listed_.emplace(std::move(bytes));  // engaged also when bytes is nullopt
}

void File::Set_Attributes(int attributes) {
    // Act on what is there now, not on what we saw when we were made.
    auto now = fs_->status(path_);
    if (!now) throw File_System_Error(ENOENT, path_);
    attributes_.reset();
    listed_.reset();
    status_ = *now;
    write_dos_attributes(*fs_, path_, status_, attributes);
    if (auto after = fs_->status(path_)) status_ = *after;
}

bool File::Clear_Archive() {
    attributes_.reset();
    listed_.reset();
    return clear_archive_bit(*fs_, path_, copied_ ? *copied_ : status_);
}

double File::DateLastModified() const { return date_value_from_file_time(status_.modified); }

Drive File::Get_Drive() const {
    Mount mount = fs_->mount_of(path_);
    return {mount.mount_point, share_name(mount)};
}

void File::Delete(bool force) {
    if (!force) {
        // Windows refuses to delete a read-only file unless forced, and the
        // copy job counts on a read-only old version surviving.
        auto now = fs_->status(path_);
        if (!now) throw File_System_Error(ENOENT, path_);
        if (read_dos_attributes(*fs_, path_, *now) & Attribute_Read_Only) throw File_System_Error(EACCES, path_);
    }
    fs_->remove_file(path_);
}

void File::Move(const std::string& destination) {
    std::string target = normalize_path(destination);
    fs_->rename(path_, target, false);
    path_ = std::move(target);
    attributes_.reset();  // a new name may begin with a dot
    listed_.reset();
}

void File::Copy(const std::string& destination, bool overwrite) {
    const std::string target = normalize_path(destination);
    // What was a regular file when we were made is copied without another
    // look: the copy opens it without following a link and checks what it
    // opened, so a look-up first would only repeat that. A link, a file that
    // must not replace anything, or a regular file that has become a link
    // meanwhile is looked at first.
    bool as_link = false;
    std::string link_target;
    File_Time link_modified;
    auto look_at_source = [&] {
        auto source = fs_->status(path_);
        if (!source) throw File_System_Error(ENOENT, path_);
        if (source->kind == Entry_Kind::Directory) throw File_System_Error(EISDIR, path_);
        if (source->kind == Entry_Kind::Other)
            throw File_System_Error("Keine gewöhnliche Datei (Pipe, Gerät oder Socket), wird nicht kopiert", path_);
        if (source->kind == Entry_Kind::Symlink) {
            as_link = true;
            link_target = fs_->read_link(path_);
            link_modified = source->modified;
        }
    };
    if (status_.kind != Entry_Kind::Regular || !overwrite) {
        look_at_source();
        if (!overwrite && fs_->status(target)) throw File_System_Error(EEXIST, target);
    }

    const std::string folder = folder_of(target);
    refuse_name_of_target(*fs_, target, folder);
    bool looked_again = false;
    // FAT and NTFS keep the attributes in the file system, where the copied
    // extended attributes do not reach. fusefat, and a share's server, set
    // a file's time again when it is closed, after the copy set it: without
    // the right time every later run would copy it again, so it is set once
    // more by its name, now that the file is closed, and looked at again.
    auto finish = [&](File_Time source_time) {
        if (as_link) return;
        const File_System_Kind kind = fs_->folder_kind(folder);
        carry_dos_attributes(*fs_, path_, status_, target, kind);
        if (kind.name.empty() && !kind.checks_time_after_copy) return;
        const File_Time wanted = truncated_time(source_time, kind.time_step);
        for (int attempt = 0; attempt < 2; ++attempt) {
            auto copied = fs_->status(target);
            if (!copied || truncated_time(copied->modified, kind.time_step) == wanted) return;
            fs_->set_modified(target, source_time);
        }
    };

    // Where the file system can, a file is built without a name and appears
    // under the destination name only complete; only a destination that is
    // taken (to be replaced) needs the temporary name below.
    if (!as_link) {
        try {
            if (auto seen = fs_->copy_file_unnamed(path_, target, carried_attributes(*fs_, folder))) {
                copied_ = *seen;
                finish(seen->modified);
                return;
            }
        } catch (const File_System_Error& error) {
            const bool replace = error.error_number() == EEXIST && overwrite && error.path() == target;
            const bool became_link = error.error_number() == ELOOP && error.path() == path_;
            if (!replace && !became_link) throw;
            if (became_link) {
                looked_again = true;
                look_at_source();
                if (!as_link) throw;
            }
        }
    }

    // The copy is built under a temporary name and renamed onto the
    // destination only when complete: rename() is atomic, so the destination
    // name holds the old file or the whole new one, also if the process is
    // killed or the disk fills. No fsync: a power cut may lose the new data,
    // but the name never points at a half-written file that we reported as
    // copied, and syncing every file would cost more than the copy itself.
    std::string temporary;
    for (int attempt = 0;; ++attempt) {
        temporary = temporary_name(folder);
        try {
            if (as_link)
                fs_->create_link(link_target, temporary);
            else
                copied_ = fs_->copy_file(path_, temporary, carried_attributes(*fs_, folder));
            break;
        } catch (const File_System_Error& error) {
            if (error.error_number() == EEXIST && attempt + 1 < Temporary_Attempts) continue;
            // The copy may leave a partial file under the name; unless the
            // name was taken, it is ours to remove.
            if (error.error_number() != EEXIST) remove_quietly(*fs_, temporary);
            if (!as_link && !looked_again && error.error_number() == ELOOP && error.path() == path_) {
                looked_again = true;
                look_at_source();
                if (as_link) continue;
            }
            if (as_link && error.path() == temporary && links_refused(*fs_, error.error_number(), folder))
                throw File_System_Error(
                    "Das Zieldateisystem kann keine symbolischen Verknüpfungen speichern, die Verknüpfung zeigt auf "
                    "\"" +
                        link_target + "\"",
                    target);
            rethrow_for_target(error, temporary, target);
        }
    }

    try {
        if (as_link && fs_->folder_kind(folder).sets_link_times) fs_->set_modified(temporary, link_modified);
        fs_->rename(temporary, target, overwrite);
    } catch (const File_System_Error& error) {
        remove_quietly(*fs_, temporary);
        rethrow_for_target(error, temporary, target);
    } catch (...) {
        remove_quietly(*fs_, temporary);
        throw;
    }
    finish(copied_ ? copied_->modified : File_Time{});
}

std::string partial_copy_path(const std::string& folder) { return temporary_name(folder); }

bool is_partial_copy_name(const std::string& name) {
    if (name.size() != Partial_Prefix.size() + Partial_Random_Letters + Partial_Suffix.size() ||
        !name.starts_with(Partial_Prefix) || !name.ends_with(Partial_Suffix))
        return false;
    // Exactly the letters temporary_name draws from: stale copies are
    // removed by this test, so a user's file must never pass it by chance.
    for (std::size_t i = Partial_Prefix.size(); i < Partial_Prefix.size() + Partial_Random_Letters; ++i) {
        const char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    }
    return true;
}

}  // namespace zentrel::platform
