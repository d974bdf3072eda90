#include "engine/byte_display.h"
#include "engine/copy_job.h"

#include <algorithm>
#include <cstdint>

namespace zentrel::engine {

std::vector<std::string> Copy_Job::Tree_Roots() const {
    std::vector<std::string> roots;
    for (const std::string& text : {options_->Sourcefolder(), options_->Targetfolder()}) {
        if (!text.empty()) roots.push_back(platform::normalize_path(text));
    }
    return roots;
}

bool Copy_Job::Is_Other_Root(const platform::Folder& Folder) const {
    return other_root_ && other_root_->first == Folder.Status().device && other_root_->second == Folder.Status().inode;
}

std::string Copy_Job::Test_Options() const {
    std::string options;
    for (bool set : {options_->Copy_SysFiles(), options_->Copy_HiddenFiles(), options_->Only_newer(),
                     options_->Only_Archive(), state_->Reverse_Direction})
        options += set ? '1' : '0';
    for (const std::string& text : {options_->Later_then(), options_->Include_Filter(), options_->Exclude_Filter(),
                                    options_->Sourcefolder(), options_->Targetfolder()})
        options += text + '\0';
    return options + std::to_string(state_->Later_Then_Date);
}

std::string Copy_Job::Current_Test_Options() {
    std::string options = Test_Options();
    if (options != evaluation_options_ || options_->Include_Subfolders() != evaluation_subfolders_)
        selection_changed_ = true;
    return options;
}

void Copy_Job::Count_Left_Out_By_Option_Change() {
    if (!selection_changed_ || unfinished_in_pass_ > 0 || state_->Cancel_Requested ||
        std::int64_t{state_->Processed_Files} + state_->Error_Files >= state_->Source_Files)
        return;
    // Files the walk took beyond the evaluation's (new ones, or ones an
    // option let in) make this a lower bound.
    const std::int64_t sum = std::int64_t{state_->Left_Out_By_Option_Change} + state_->Source_Files -
                             state_->Processed_Files - state_->Error_Files;
    state_->Left_Out_By_Option_Change = static_cast<std::int32_t>(std::min<std::int64_t>(sum, INT32_MAX));
}

void Copy_Job::Evaluate_Source_Click() {
    const platform::Folder_Hold held(support_->file_system());
    const platform::Confinement confined(support_->file_system(), Tree_Roots());
    state_->Cancel_Requested = false;
    verdicts_.clear();
    display_->Show_Cancel_Button(true);
    // The bar of the previous run would otherwise stand at its old value
    // through the whole evaluation.
    display_->Show_Progress_Bar(std::nullopt);
    time_steps_.clear();
    names_ignore_case_.reset();
    folder_names_.clear();

    const std::string text = state_->Reverse_Direction ? options_->Targetfolder() : options_->Sourcefolder();
    std::optional<platform::Folder> folder;
    if (!text.empty()) folder = support_->Find_Folder(text);
    if (!folder) {
        support_->Message_Box("Quellverzeichnis existiert nicht...", support::Buttons_OK);
        display_->Show_Cancel_Button(false);
        return;
    }

    state_->Source_Files = 0;
    state_->Source_Bytes = 0;
    state_->Replaced_Bytes = 0;
    largest_replaced_ = 0;
    state_->Total_Files = 0;
    state_->Processed_Files = 0;
    state_->Processed_Bytes = 0;
    state_->Error_Files = 0;
    display_->Clear_Counters();
    display_->Show_Error_Counter(false);

    other_root_.reset();
    try {
        const std::string other = state_->Reverse_Direction ? options_->Sourcefolder() : options_->Targetfolder();
        if (!other.empty()) {
            if (auto folder = support_->Find_Folder(other))
                other_root_.emplace(folder->Status().device, folder->Status().inode);
        }
    } catch (...) {
    }

    support_->Show_Busy(true);
    // The top folder is the user's choice and the walk always enters it,
    // hidden or not (a source such as ~/.thunderbird): so is it counted.
    try {
        Do_Evaluate_Source(*folder);
    } catch (...) {
    }
    support_->Show_Busy(false);
    evaluation_options_ = Test_Options();
    evaluation_subfolders_ = options_->Include_Subfolders();
    selection_changed_ = false;
    unfinished_in_pass_ = 0;

    display_->Show_Cancel_Button(false);
    display_->Show_Progress_Bar(std::nullopt);
}

// Counts what the walk would copy; a file or subfolder that fails is left
// out silently, since this is only an estimate.
void Copy_Job::Do_Evaluate_Source(const platform::Folder& SFolder) {
    std::vector<std::string> files;
    // The attribute bytes the listing read, for the file tests below (see
    // Process_Folder).
    platform::Listed_Attributes listed;
    listing_for_ = Listing_For::Evaluation;
    const long count = Get_Folder_Files(SFolder.Path(), options_->Include_Filter(), options_->Exclude_Filter(), files,
                                        Listing_Classes(), &listed);
    // The subfolders come from the same reading of the folder.
    std::optional<std::vector<std::string>> subfolder_names = std::move(listing_folders_);
    support::Ui_Host& host = support_->host();
    for (long i = 1; i <= count; ++i) {
        try {
            std::optional<platform::File> file = support_->Find_File(files[i]);
            if (!file) continue;
            Use_Listed_Attribute(*file, listed, i);
            display_->Show_Status(file->Path());
            host.Process_Events();
            if (state_->Cancel_Requested) return;
            if (Do_Process(*file)) {
                Increment_Counter(state_->Source_Files);
                state_->Source_Bytes += static_cast<double>(file->Size());
                // The file test has just looked at the target it replaces.
                if (tested_target_.valid && tested_target_.file) {
                    const double replaced = static_cast<double>(tested_target_.file->Size());
                    state_->Replaced_Bytes += replaced;
                    largest_replaced_ = std::max(largest_replaced_, replaced);
                }
                if (tested_target_.valid && !tested_target_.file &&
                    file->Status().kind == platform::Entry_Kind::Regular &&
                    file->Size() <= Evaluation_Verdicts::Absent_Target_Bytes)
                    verdicts_.target_absent(i);
                if (Counted_File) Counted_File(file->Path());
                display_->Show_Count(File_Counter::Sourcefiles, state_->Source_Files);
                display_->Show_Bytes(Byte_Count_Kind::To_Copy, state_->Source_Bytes);
            } else {
                verdicts_.record(i, true);
            }
            Increment_Counter(state_->Total_Files);
            display_->Show_Count(File_Counter::Tot_Files, state_->Total_Files);
            if (state_->Cancel_Requested) return;
        } catch (...) {
        }
    }

    listed = {};
    // A large folder's list goes before its subfolders are walked.
    std::vector<std::string>().swap(files);
    if (options_->Include_Subfolders()) {
        try {
            for (const platform::Folder& subfolder :
                 subfolder_names ? SFolder.SubFolders(std::move(*subfolder_names)) : SFolder.SubFolders()) {
                try {
                    if (!Is_Other_Root(subfolder) && Do_Process_Folder(subfolder)) Do_Evaluate_Source(subfolder);
                } catch (...) {
                }
                if (state_->Cancel_Requested) return;
            }
        } catch (...) {
        }
    }

    try {
        display_->Show_Status("");
    } catch (...) {
    }
}

}  // namespace zentrel::engine
