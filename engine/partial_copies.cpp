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

}  // namespace zentrel::engine
