#include "engine/byte_display.h"
#include "engine/copy_job.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <string_view>

namespace zentrel::engine {

std::vector<std::string> Copy_Job::Tree_Roots() const {
    std::vector<std::string> roots;
    for (const std::string& text : {options_now()->Sourcefolder, options_now()->Targetfolder}) {
        if (!text.empty()) roots.push_back(platform::normalize_path(text));
    }
    return roots;
}

bool Copy_Job::Is_Other_Root(const platform::Folder& Folder) const {
    return other_root_ && other_root_->first == Folder.Status().device && other_root_->second == Folder.Status().inode;
}

namespace {

// Hands each piece of the test options' text to Take in turn, as long as it
// returns true; false when it did not. The date as its shortest exact text:
// a change in its last digit is a change.
template <typename Take>
bool each_test_option_part(const Job_Options& options, const Run_State& state, Take&& take) {
    for (bool set : {options.Copy_SysFiles != 0, options.Copy_HiddenFiles != 0, options.Only_newer != 0,
                     options.Only_Archive != 0, state.Reverse_Direction})
        if (!take(std::string_view(set ? "1" : "0"))) return false;
    for (const std::string* text : {&options.Later_then, &options.Include_Filter, &options.Exclude_Filter,
                                    &options.Sourcefolder, &options.Targetfolder})
        if (!take(std::string_view(*text)) || !take(std::string_view("", 1))) return false;
    char date[64];
    const char* end = std::to_chars(date, date + sizeof date, state.Later_Then_Date).ptr;
    return take(std::string_view(date, static_cast<std::size_t>(end - date)));
}

}  // namespace

std::string Copy_Job::Test_Options() const {
    std::string options;
    each_test_option_part(*options_now(), *state_, [&](std::string_view part) {
        options += part;
        return true;
    });
    return options;
}

bool Copy_Job::Test_Options_Are(const std::string& Text) const {
    std::string_view rest(Text);
    return each_test_option_part(*options_now(), *state_,
                                 [&](std::string_view part) {
                                     if (!rest.starts_with(part)) return false;
                                     rest.remove_prefix(part.size());
                                     return true;
                                 }) &&
           rest.empty();
}

bool Copy_Job::Note_Option_Change() {
    const bool as_evaluated = Test_Options_Are(evaluation_options_);
    if (!as_evaluated || (options_now()->Include_Subfolders != 0) != evaluation_subfolders_) selection_changed_ = true;
    return as_evaluated;
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

    const std::string text = state_->Reverse_Direction ? options_now()->Targetfolder : options_now()->Sourcefolder;
    std::optional<platform::Folder> folder;
    if (!text.empty()) folder = support_->Find_Folder(text);
    if (!folder) {
        events_->Folder_Failed({.trouble = Folder_Trouble::Not_There, .path = text});
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
        const std::string other = state_->Reverse_Direction ? options_now()->Sourcefolder : options_now()->Targetfolder;
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
    evaluation_subfolders_ = options_now()->Include_Subfolders != 0;
    selection_changed_ = false;
    unfinished_in_pass_ = 0;

    display_->Show_Cancel_Button(false);
    display_->Show_Progress_Bar(std::nullopt);
}

// Counts what the walk would copy; a file or subfolder that fails is left
// out silently, since this is only an estimate.
void Copy_Job::Do_Evaluate_Source(const platform::Folder& SFolder) {
    // With the attribute bytes the listing read, for the file tests below
    // (see Process_Folder), and the subfolders of the same reading.
    Folder_Listing listing =
        Get_Folder_Files(SFolder.Path(), options_now()->Include_Filter, options_now()->Exclude_Filter,
                         Listing_Classes(), Listing_For::Evaluation);
    const long count = listing.count();
    std::optional<std::vector<std::string>> subfolder_names = std::move(listing.folders);
    support::Ui_Host& host = support_->host();
    for (long i = 1; i <= count; ++i) {
        try {
            std::optional<platform::File> file = support_->Find_File(listing.path(i));
            if (!file) continue;
            Use_Listed_Attribute(*file, listing.attributes, i);
            display_->Show_File(Phase::Evaluating, file->Path());
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
                // To be copied into an absent target: the walk may copy it
                // without another look. Never in a synchronisation, whose
                // walk decides each file by its record.
                if (tested_target_.valid && !tested_target_.file && !sync_ &&
                    file->Status().kind == platform::Entry_Kind::Regular &&
                    file->Size() <= Evaluation_Verdicts::Absent_Target_Bytes)
                    verdicts_.target_absent(i);
                if (counted_file_) counted_file_(file->Path());
                display_->Show_Count(File_Counter::Source_Files, state_->Source_Files);
                display_->Show_Bytes(Byte_Count_Kind::To_Copy, state_->Source_Bytes);
            } else {
                verdicts_.record(i, true);
            }
            Increment_Counter(state_->Total_Files);
            display_->Show_Count(File_Counter::Total_Files, state_->Total_Files);
            if (state_->Cancel_Requested) return;
        } catch (...) {
        }
    }

    // A large folder's list goes before its subfolders are walked.
    listing = {};
    if (options_now()->Include_Subfolders) {
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
