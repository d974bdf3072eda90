// Copies into a folder the evaluation found empty of them, named together:
// the target folder is opened afresh once for a batch instead of once a file.
#include "engine/copy_job.h"

#include <exception>

namespace zentrel::engine {

bool Copy_Job::Copy_Into_Batch(platform::File& File, const std::string& Path, const Folder_Listing& Listing,
                               long Index) {
    if (sync_) return false;
    const std::string target = Targetfile(Path);
    const std::string folder = support::Filepath(target, false);
    // The folder must be there: the first copy into it makes it, on its own.
    if (made_folder_ != folder + support::Separator) return false;
    if (folder != batch_folder_) {
        // The walk names a folder's batch before it leaves the folder:
        // nothing of another one is left to name here.
        Drop_Batch();
        batch_folder_ = folder;
        batch_ = support_->file_system().start_copy_batch(folder);
    }
    if (!batch_) return false;
    try {
        if (!File.Copy_Into(*batch_, target)) return false;
    } catch (const std::exception&) {
        // Copied on its own instead, which meets the failure again and
        // reports it (or finds the tree changed since the evaluation).
        return false;
    }
    if (batched_.empty()) {
        batched_listing_ = &Listing;
        batched_source_folder_ = support::Filepath(Path, false);
    }
    batched_.push_back({File, Path, Index});
    return true;
}

void Copy_Job::Name_Batch(int& Step, bool& Ignore_All, bool& Abort) {
    if (batched_.empty()) return;
    std::vector<Batched_File> files = std::move(batched_);
    batched_.clear();
    std::vector<int> named;
    try {
        named = batch_->name_all();
    } catch (...) {
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (i < named.size() && named[i] == 0) {
            Note_Copied(files[i].file, Step);
            continue;
        }
        if (Abort || state_->Cancel_Requested) continue;
        // No name: the tree changed since the evaluation (the name was taken,
        // the folder moved away or replaced). Tested in full, and counted
        // once, when it is walked again.
        --state_->Handled_Files;
        std::optional<platform::File> file = Look_Up_Listed(files[i].path, Ignore_All, Abort);
        if (!file) {
            if (!Still_A_Folder(batched_source_folder_)) {
                Add_Unfinished_Folder(batched_source_folder_, Copy_Trouble::Folder_Gone);
                break;
            }
            continue;
        }
        Walk_File(file, *batched_listing_, files[i].index, "", false, false, Step, Ignore_All, Abort);
    }
    display_->Show_Bytes(Byte_Count_Kind::Copied, state_->Processed_Bytes);
    display_->Show_Count(File_Counter::Processed_Files, state_->Processed_Files);
    if (state_->Source_Bytes != 0) Show_Progress(state_->Processed_Bytes / state_->Source_Bytes);
    display_->Repaint();
}

void Copy_Job::Drop_Batch() {
    batched_.clear();
    batch_.reset();
    batch_folder_.clear();
}

void Copy_Job::Note_Copied(platform::File& File, int& Step) {
    Step = 10;
    // Only a file that really reached the target may lose its archive bit,
    // or the next incremental run would miss it.
    if (options_now()->Reset_Archive) Reset_Archive_Bit(File);
    Step = 11;
    // "Dateien kopiert" counts what reached the target, not each attempt.
    Increment_Counter(state_->Processed_Files);
    state_->Processed_Bytes += static_cast<double>(File.Size());
    Increment_Counter(state_->Outcome.files_copied);
    state_->Outcome.bytes_copied += static_cast<double>(File.Size());
}

}  // namespace zentrel::engine
