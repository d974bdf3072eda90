#include "engine/copy_job.h"

namespace zentrel::engine {

void Copy_Job::Remove_Stale_Partial_Copies(const std::string& Target) {
    // The walk copies a folder's files one after another, so remembering the
    // last folder makes this one directory read per folder copied into.
    std::string folder = support::Filepath(Target, false);
    if (folder.empty() || folder == cleared_folder_) return;
    platform::remove_stale_partial_copies(support_->file_system(), folder);
    cleared_folder_ = std::move(folder);
}

bool Copy_Job::Parked_Version_Is_Stale(const std::string& Temporary) {
    platform::File_System& fs = support_->file_system();
    try {
        const std::optional<std::string> from = fs.get_attribute(Temporary, Parked_From_Attribute);
        if (!from || from->empty() || from->find(support::Separator) != std::string::npos || *from == "." ||
            *from == ".." || *from == Temporary_Name)
            return false;
        const auto beside = fs.status(support::Filepath(Temporary, false) + support::Separator + *from);
        return beside &&
               (beside->kind == platform::Entry_Kind::Regular || beside->kind == platform::Entry_Kind::Symlink);
    } catch (...) {
        return false;
    }
}

void Copy_Job::Report_Kept_Parked_Version(const std::string& Temporary) {
    if (!kept_parked_.insert(Temporary).second) return;
    try {
        List_Error({.trouble = Copy_Trouble::Parked_Version_Kept, .path = Temporary});
        Count_Failed_File();
        display_->Arrange_Error_List();
    } catch (...) {
    }
}

void Copy_Job::Clear_Parked_Version(const std::string& Target_Folder) {
    const std::string temporary = support::Trailing_Backslash(Target_Folder, false) + Temporary_Name;
    if (kept_parked_.contains(temporary)) return;
    std::optional<platform::File> parked = support_->Find_File(temporary);
    if (!parked) return;
    if (Parked_Version_Is_Stale(temporary)) {
        try {
            parked->Delete(true);
            return;
        } catch (...) {
        }
    }
    Report_Kept_Parked_Version(temporary);
}

}  // namespace zentrel::engine
