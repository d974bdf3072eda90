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

// The extended attributes a copy carries: those that hold the DOS
// attributes, so that it reads exactly like its source. NTFS keeps the DOS
// attributes itself, and Windows shows every other one as a stream of the
// file: nothing is added there. Nothing either for a source whose folder's
// listing found no stored attribute: there is none to look for.
const std::vector<std::string>& carried_attributes(const File_System_Kind& kind, bool listed_without) {
    static const std::vector<std::string> names{Dos_Attribute_Name, Archive_Time_Name};
    static const std::vector<std::string> none;
    return kind.native == Native_Attributes::Ntfs_Xattr || listed_without ? none : names;
}

// A name the target's file system would refuse, or take for another (FAT
// drops a trailing dot), fails with the reason before anything is written.
void refuse_name_of_target(const std::string& target, const File_System_Kind& kind) {
    const std::string reason = refused_name_reason(kind, target.substr(target.find_last_of('/') + 1));
    if (!reason.empty()) throw File_System_Error(reason, target);
}

// Whether a failure to create a link means that the file system holds none:
// FUSE drivers without links answer ENOSYS, others EPERM or EOPNOTSUPP.
bool links_refused(int error_number, const File_System_Kind& kind) {
    if (not_kept_by_file_system(error_number)) return true;
    return error_number == EPERM && !kind.holds_links;
}

// One File::Copy: the source, the target and its folder's kind, asked once.
struct Copy_Task {
    Copy_Task(File_System& file_system, const std::string& source_path, const Entry_Status& status,
              const std::string& destination, bool replace, bool listed_without_attribute)
        : fs(file_system),
          source(source_path),
          source_status(status),
          target(normalize_path(destination)),
          folder(folder_of(target)),
          kind(file_system.folder_kind(folder)),
          attributes(carried_attributes(kind, listed_without_attribute)),
          overwrite(replace) {}

    File_System& fs;
    const std::string& source;
    const Entry_Status& source_status;
    const std::string target;
    const std::string folder;
    const File_System_Kind kind;
    const std::vector<std::string>& attributes;
    const bool overwrite;
    // A link is copied as a link: its text and time.
    bool as_link = false;
    std::string link_target;
    File_Time link_modified;
    bool looked_again = false;  // the source was looked at after the copy found a link
};

// Looks at the source as it is now: a link is taken as one, a folder or a
// special file refused.
void look_at_source(Copy_Task& task) {
    auto source = task.fs.status(task.source);
    if (!source) throw File_System_Error(ENOENT, task.source);
    if (source->kind == Entry_Kind::Directory) throw File_System_Error(EISDIR, task.source);
    if (source->kind == Entry_Kind::Other)
        throw File_System_Error("Keine gewöhnliche Datei (Pipe, Gerät oder Socket), wird nicht kopiert", task.source);
    if (source->kind == Entry_Kind::Symlink) {
        task.as_link = true;
        task.link_target = task.fs.read_link(task.source);
        task.link_modified = source->modified;
    }
}

// FAT and NTFS keep the attributes in the file system, where the copied
// extended attributes do not reach. fusefat, and a share's server, set a
// file's time again when it is closed, after the copy set it: without the
// right time every later run would copy it again, so it is set once more by
// its name, now that the file is closed, and looked at again.
void finish_copy(const Copy_Task& task, File_Time source_time) {
    if (task.as_link) return;
    carry_dos_attributes(task.fs, task.source, task.source_status, task.target, task.kind);
    if (task.kind.name.empty() && !task.kind.checks_time_after_copy) return;
    const File_Time wanted = truncated_time(source_time, task.kind.time_step);
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto copied = task.fs.status(task.target);
        if (!copied || truncated_time(copied->modified, task.kind.time_step) == wanted) return;
        task.fs.set_modified(task.target, source_time);
    }
}

// Builds the copy without a name where the file system can, so that it
// appears under the target name only complete. nullopt where it cannot, for
// a target that is taken (to be replaced), or a source found to be a link:
// then the copy goes through a temporary name.
std::optional<Entry_Status> copy_unnamed(Copy_Task& task) {
    if (task.as_link) return std::nullopt;
    try {
        return task.fs.copy_file_unnamed(task.source, task.target, task.attributes);
    } catch (const File_System_Error& error) {
        const bool replace = error.error_number() == EEXIST && task.overwrite && error.path() == task.target;
        const bool became_link = error.error_number() == ELOOP && error.path() == task.source;
        if (!replace && !became_link) throw;
        if (became_link) {
            task.looked_again = true;
            look_at_source(task);
            if (!task.as_link) throw;
        }
    }
    return std::nullopt;
}

// Makes the copy (or the link) under a free temporary name in the target's
// folder and returns that name; nothing is left under it when this fails.
std::string write_temporary(Copy_Task& task, std::optional<Entry_Status>& copied) {
    for (int attempt = 0;; ++attempt) {
        const std::string temporary = temporary_name(task.folder);
        try {
            if (task.as_link)
                task.fs.create_link(task.link_target, temporary);
            else
                copied = task.fs.copy_file(task.source, temporary, task.attributes);
            return temporary;
        } catch (const File_System_Error& error) {
            if (error.error_number() == EEXIST && attempt + 1 < Temporary_Attempts) continue;
            // The copy may leave a partial file under the name; unless the
            // name was taken, it is ours to remove.
            if (error.error_number() != EEXIST) remove_quietly(task.fs, temporary);
            if (!task.as_link && !task.looked_again && error.error_number() == ELOOP && error.path() == task.source) {
                task.looked_again = true;
                look_at_source(task);
                if (task.as_link) continue;
            }
            if (task.as_link && error.path() == temporary && links_refused(error.error_number(), task.kind))
                throw File_System_Error(
                    "Das Zieldateisystem kann keine symbolischen Verknüpfungen speichern, die Verknüpfung zeigt auf "
                    "\"" +
                        task.link_target + "\"",
                    task.target);
            rethrow_for_target(error, temporary, task.target);
        }
    }
}

// The copy is built under a temporary name and renamed onto the target only
// when complete: rename() is atomic, so the target name holds the old file
// or the whole new one, also if the process is killed or the disk fills. No
// fsync: a power cut may lose the new data, but the name never points at a
// half-written file that we reported as copied, and syncing every file would
// cost more than the copy itself.
std::optional<Entry_Status> copy_through_temporary(Copy_Task& task) {
    std::optional<Entry_Status> copied;
    const std::string temporary = write_temporary(task, copied);
    try {
        // Where setting a link's time may set that of what it leads to, the
        // link keeps the time it was made at.
        if (task.as_link && task.kind.sets_link_times) task.fs.set_modified(temporary, task.link_modified);
        task.fs.rename(temporary, task.target, task.overwrite);
    } catch (const File_System_Error& error) {
        remove_quietly(task.fs, temporary);
        rethrow_for_target(error, temporary, task.target);
    } catch (...) {
        remove_quietly(task.fs, temporary);
        throw;
    }
    return copied;
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
    listed_without_attribute_ = !bytes;
    listed_.emplace(std::move(bytes));  // engaged also when bytes is nullopt
}

void File::Set_Attributes(int attributes) {
    // Act on what is there now, not on what we saw when we were made.
    auto now = fs_->status(path_);
    if (!now) throw File_System_Error(ENOENT, path_);
    attributes_.reset();
    listed_.reset();
    listed_without_attribute_ = false;
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
    listed_without_attribute_ = false;
}

void File::Copy(const std::string& destination, bool overwrite) {
    Copy_Task task(*fs_, path_, status_, destination, overwrite, listed_without_attribute_);
    // What was a regular file when we were made is copied without another
    // look: the copy opens it without following a link and checks what it
    // opened, so a look-up first would only repeat that. A link is looked at
    // first. A target that is taken fails the copy without overwrite when it
    // is linked or renamed there (EEXIST): neither replaces anything.
    if (status_.kind != Entry_Kind::Regular) look_at_source(task);
    refuse_name_of_target(task.target, task.kind);
    std::optional<Entry_Status> copied = copy_unnamed(task);
    if (!copied) copied = copy_through_temporary(task);
    // The copy's own look at the source is the latest: a file made without
    // one (on an earlier look's word) learns its size and time from it.
    if (copied) copied_ = status_ = *copied;
    finish_copy(task, copied ? copied->modified : File_Time{});
}

bool File::Copy_Into(Copy_Batch& batch, const std::string& destination) {
    if (status_.kind != Entry_Kind::Regular) return false;
    Copy_Task task(*fs_, path_, status_, destination, false, listed_without_attribute_);
    // FAT, exFAT and NTFS, on either side, take attributes and times after
    // the copy (finish_copy), which the copy on its own sees to.
    if (!task.kind.name.empty() || task.kind.checks_time_after_copy || task.kind.native != Native_Attributes::None ||
        fs_->folder_kind(folder_of(path_)).native != Native_Attributes::None ||
        !refused_name_reason(task.kind, task.target.substr(task.target.find_last_of('/') + 1)).empty())
        return false;
    std::optional<Entry_Status> copied = batch.add(path_, task.target, task.attributes);
    if (!copied) return false;
    copied_ = status_ = *copied;
    return true;
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
