#include "engine/copy_job.h"
#include "engine/folder_identity.h"
#include "platform/mounts.h"
#include "platform/target_history.h"
#include "platform/tree_lock.h"

#include <cerrno>
#include <cstdint>
#include <exception>
#include <functional>
#include <stdexcept>

namespace zentrel::engine {

namespace {

bool is_relative(const std::string& folder_text) {
    return !folder_text.empty() && folder_text.front() != support::Separator;
}

// Find_Folder gives nothing for a folder that is missing and for one that
// cannot be reached (a share answering with an I/O error): for the second,
// the description of the failure, so that it is said as it is, never as a
// missing folder to be made anew.
std::optional<std::string> unreachable_because(platform::File_System& fs, const std::string& folder_text) {
    try {
        fs.status(folder_text);
    } catch (const platform::File_System_Error& error) {
        // The errors of a device or share that does not answer; a name too
        // long or a folder the user may not enter is said as before.
        static constexpr int unreachable[] = {EIO,          ENOTCONN,   ESTALE, ETIMEDOUT, EHOSTDOWN,
                                              EHOSTUNREACH, ECONNRESET, ENXIO,  ENODEV};
        for (int number : unreachable)
            if (error.error_number() == number) return error.what();
    }
    return std::nullopt;
}

std::string comparison_key(std::string path) {
    if (path.empty() || path.back() != support::Separator) path += support::Separator;
    return path;
}

}  // namespace

void Copy_Job::Start_Click() {
    const platform::Folder_Hold held(support_->file_system());
    // The error entries stay those of the error list, which only a run
    // that gets past its evaluation clears.
    const Run_Outcome earlier = state_->Outcome;
    state_->Outcome = Run_Outcome{};
    state_->Outcome.files_failed = earlier.files_failed;
    state_->Outcome.folders_unfinished = earlier.folders_unfinished;
    try {
        Run_Start();
    } catch (const std::exception& failure) {
        // Whatever failed, the user can start again.
        try {
            Set_Run_Under_Way(false);
            display_->Show_Cancel_Button(false);
            if (state_->Outcome.began) {
                state_->Outcome.failed_unexpectedly = true;
                events_->Run_Failed(failure.what());
            } else {
                Refuse(Refusal::Unexpected_Failure, failure.what());
            }
        } catch (...) {
        }
    }
}

void Copy_Job::Preview_Click(const std::function<void(const std::string& Path)>& Counted_File) {
    preview_ = true;
    counted_file_ = Counted_File;
    struct Back_To_Runs {
        Copy_Job& job;
        ~Back_To_Runs() {
            job.preview_ = false;
            job.counted_file_ = nullptr;
        }
    } back{*this};
    Start_Click();
}

void Copy_Job::Refuse(Refusal Why, const std::string& Detail) {
    state_->Outcome.refusal = Why;
    events_->Refused(Why, Detail);
}

std::optional<platform::Folder> Copy_Job::Make_Missing_Target(const std::string& target_text) {
    // An empty mount point whose stick or share is not there: a folder made
    // in it would take the backup onto the system disk, and keep the
    // device from being mounted there afterwards.
    if (!target_text.empty()) {
        std::optional<std::string> unmounted;
        try {
            unmounted =
                support_->file_system().unmounted_storage_above(platform::normalize_path(target_text), Mount_Rules);
        } catch (...) {
        }
        if (unmounted) {
            Refuse(Refusal::Target_Not_Mounted, *unmounted);
            return std::nullopt;
        }
        // The last run wrote onto a file system that is not mounted now, and
        // the folders above the target lie on another one: that device is
        // not there, wherever it is mounted (a folder of the user's own, say).
        std::optional<std::string> was_on;
        try {
            const std::string normal = platform::normalize_path(target_text);
            was_on = platform::remembered_mount_point(normal);
            platform::File_System& fs = support_->file_system();
            if (was_on && (*was_on == fs.mount_of(normal).mount_point || fs.is_mount_point(*was_on))) was_on.reset();
        } catch (...) {
            was_on.reset();
        }
        if (was_on) {
            Refuse(Refusal::Target_Device_Missing, *was_on);
            return std::nullopt;
        }
    }
    if (!events_->Create_Missing_Target(target_text)) {
        Refuse(Refusal::Target_Missing, target_text);
        return std::nullopt;
    }
    // A preview writes nothing: its evaluation finds every file missing
    // in the target the run would make.
    if (preview_) return std::nullopt;
    bool made = false;
    try {
        made = support_->Make_Folder(target_text);
    } catch (const std::exception& failure) {
        Refuse(Refusal::Target_Not_Made, failure.what());
        return std::nullopt;
    }
    std::optional<platform::Folder> target;
    if (made) target = support_->Find_Folder(target_text);
    if (!target) Refuse(Refusal::Target_Not_Made, "");
    return target;
}

bool Copy_Job::Enough_Space_Or_Agreed(const std::optional<platform::Folder>& Target) {
    if (!Target) return true;
    std::optional<std::uint64_t> free;
    try {
        free = support_->file_system().free_space(Target->Path());
    } catch (...) {
    }
    // What the copies replace is given back as the run goes, each old
    // version once its new one is complete; a file system that cannot tell
    // its free space is not second-guessed.
    const double needed = state_->Source_Bytes - state_->Replaced_Bytes + largest_replaced_;
    if (!free || needed <= static_cast<double>(*free)) return true;
    if (events_->Run_Without_Enough_Space(Target->Path(), needed, static_cast<double>(*free))) return true;
    Refuse(Refusal::Not_Enough_Space, Target->Path());
    return false;
}

std::optional<platform::Folder> Copy_Job::Checked_Source(const std::string& source_text,
                                                         const std::string& target_text) {
    // A relative text would count from the program's working folder, which
    // nobody chose for a program started from a desktop; "~" would even
    // become a folder of that name there.
    if (is_relative(source_text) || is_relative(target_text)) {
        Refuse(Refusal::Folder_Not_Absolute, "");
        return std::nullopt;
    }
    std::optional<platform::Folder> source;
    if (!source_text.empty()) source = support_->Find_Folder(source_text);
    if (!source && !source_text.empty()) {
        if (const auto why = unreachable_because(support_->file_system(), source_text)) {
            Refuse(Refusal::Source_Unreachable, *why);
            return std::nullopt;
        }
    }
    if (!source) {
        Refuse(Refusal::Source_Missing, source_text);
        return std::nullopt;
    }
    // An empty target text names no folder at all, so there is nothing to
    // compare; the creation refuses it.
    if (!target_text.empty() && !Folders_Apart(source_text, target_text)) return std::nullopt;
    return source;
}

bool Copy_Job::Folders_Apart(const std::string& source_text, const std::string& target_text) {
    // Judged in the form the walk writes to: the folder objects fold ".."
    // by spelling, the kernel after following a link, and "link/.." may
    // therefore lead elsewhere in the two.
    const std::string source_path = platform::normalize_path(source_text);
    const std::string target_path = platform::normalize_path(target_text);
    const std::string source_key = comparison_key(Get_UNC_Path(source_path));
    const std::string target_key = comparison_key(Get_UNC_Path(target_path));
    const Folder_Relation relation = Relate_Folders(support_->file_system(), source_path, target_path);
    if (source_key == target_key || relation == Folder_Relation::Identical) {
        Refuse(Refusal::Same_Folders, "");
        return false;
    }
    if (source_key.starts_with(target_key) || target_key.starts_with(source_key) ||
        relation == Folder_Relation::Nested) {
        Refuse(Refusal::Nested_Folders, "");
        return false;
    }
    return true;
}

bool Copy_Job::Checked_Target(const platform::Folder& source, const std::string& target_text,
                              std::optional<platform::Folder>& target) {
    if (!target_text.empty()) target = support_->Find_Folder(target_text);
    if (!target && !target_text.empty()) {
        if (const auto why = unreachable_because(support_->file_system(), target_text)) {
            Refuse(Refusal::Target_Unreachable, *why);
            return false;
        }
    }
    if (!target && (source.Files_Count() + source.SubFolders_Count() != 0 || options_now()->Copy_Empty_Folders)) {
        target = Make_Missing_Target(target_text);
        return state_->Outcome.refusal == Refusal::None;
    }
    if (!target) return true;
    // The mount point itself as the target, its device not mounted.
    bool unmounted = false;
    try {
        unmounted = support_->file_system().is_unmounted_fstab_point(target->Path(), Mount_Rules);
    } catch (...) {
    }
    if (unmounted) Refuse(Refusal::Target_Not_Mounted, target->Path());
    return !unmounted;
}

void Copy_Job::Run_Preview(const std::optional<platform::Folder>& target) {
    Set_Run_Under_Way(true);
    Evaluate_Source_Click();
    // The run would ask about the space before it copies; so does its preview.
    if (!state_->Cancel_Requested && !Enough_Space_Or_Agreed(target)) {
        Set_Run_Under_Way(false);
        return;
    }
    // A synchronisation copies back what is newer in the target; what the
    // first pass brings there is then the same age and stays.
    if (!state_->Cancel_Requested && options_now()->Synchronize && target) {
        state_->Reverse_Direction = true;
        Evaluate_Source_Click();
    }
    Set_Run_Under_Way(false);
    state_->Outcome.cancelled = state_->Cancel_Requested;
}

void Copy_Job::Note_Target_Trees(const std::string& target_text, const std::optional<platform::Folder>& target,
                                 const platform::Folder& source, bool source_locked) {
    // Which file system the target lies on, for a later start that finds
    // it missing.
    if (target) {
        try {
            platform::remember_mount_point(platform::normalize_path(target_text),
                                           support_->file_system().mount_of(target->Path()).mount_point);
        } catch (...) {
        }
    }
    // How finely the trees written into keep times, where their type does
    // not tell: measured before the evaluation compares any.
    if (target) support_->file_system().measure_time_step(target->Path());
    if (source_locked) support_->file_system().measure_time_step(source.Path());
}

void Copy_Job::Begin_Run() {
    Set_Run_Under_Way(true);
    state_->Outcome.began = true;
    cleared_folder_.clear();  // a folder cleared by an earlier run may have new leftovers
    made_folder_.clear();
    Drop_Batch();  // none is left from a run that ended by an exception
    kept_parked_.clear();
    archive_kept_ = 0;
    archive_kept_reason_.clear();
    state_->Handled_Files = 0;
    state_->Left_Out_By_Option_Change = 0;
    both_passes_walked_ = false;
}

void Copy_Job::Run_Start() {
    const std::string source_text = options_now()->Sourcefolder;
    const std::string target_text = options_now()->Targetfolder;
    const std::optional<platform::Folder> source = Checked_Source(source_text, target_text);
    if (!source) return;
    state_->Reverse_Direction = false;
    std::optional<platform::Folder> target;
    if (!Checked_Target(*source, target_text, target)) return;

    // Two runs writing into one tree at once would take each other's parked
    // old versions and copies in progress: the second one does not start.
    platform::Tree_Lock trees(support_->file_system());
    if (target && !trees.acquire(target->Path())) {
        Refuse(Refusal::Target_In_Use, target->Path());
        return;
    }
    bool source_locked = false;
    const std::function<bool()> lock_source = [&] {
        if (!source_locked) source_locked = trees.acquire(source->Path());
        if (!source_locked) Refuse(Refusal::Source_In_Use, source->Path());
        return source_locked;
    };
    // A synchronisation writes into the source as well.
    if (options_now()->Synchronize && !lock_source()) return;
    // What both sides held after the last synchronisation (sync_run.cpp).
    if (options_now()->Synchronize && target) Open_Sync_Record(*source, *target);
    if (preview_) {
        Run_Preview(target);
        Close_Sync_Record(false);
        return;
    }

    Note_Target_Trees(target_text, target, *source, source_locked);
    // Nothing below the two folders is reached through a link that another
    // program puts in a folder's place while the run is under way.
    const platform::Confinement confined(support_->file_system(), Tree_Roots());
    Begin_Run();
    Evaluate_Source_Click();
    state_->Outcome.files_evaluated = state_->Total_Files;
    if (!state_->Cancel_Requested && !Enough_Space_Or_Agreed(target)) {
        state_->Outcome.began = false;
        Set_Run_Under_Way(false);
        display_->Show_Cancel_Button(false);
        Close_Sync_Record(false);
        return;
    }
    if (!state_->Cancel_Requested) Run_Passes(*source, target, target_text, lock_source);
    Finish_Run();
}

void Copy_Job::Run_Passes(const platform::Folder& source, std::optional<platform::Folder>& target,
                          const std::string& target_text, const std::function<bool()>& lock_source) {
    bool Ignore_All = false;
    state_->Errors.clear();
    display_->Clear_Errors();
    state_->Outcome.files_failed = state_->Outcome.folders_unfinished = 0;
    display_->Arrange_Error_List();
    state_->Cancel_Requested = false;
    display_->Show_Cancel_Button(true);
    target_full_ = false;
    Process_Folder(source, Ignore_All, state_->Cancel_Requested);
    Count_Left_Out_By_Option_Change();

    // Synchronize may have been set during the first pass.
    if (state_->Cancel_Requested || !options_now()->Synchronize || !lock_source()) return;
    const std::int32_t first_pass_total = state_->Total_Files;
    state_->Reverse_Direction = true;
    // The first pass makes the target when it copies a file there.
    if (!target && !target_text.empty()) target = support_->Find_Folder(target_text);
    if (!target) {
        // Never made (an empty source): there is no folder to evaluate or
        // walk back from. One box names it; the evaluation's would name the
        // source.
        Report_Folder_Failure(target_text, platform::File_System_Error(ENOENT, target_text).what(), 2);
    } else {
        Run_Way_Back(source, *target, Ignore_All);
    }
    // The sum may pass the 32-bit range only as a failure.
    const std::int64_t sum = static_cast<std::int64_t>(first_pass_total) + state_->Total_Files;
    if (sum > INT32_MAX) throw std::overflow_error("Überlauf");
    state_->Total_Files = static_cast<std::int32_t>(sum);
    state_->Outcome.files_evaluated = state_->Total_Files;
}

void Copy_Job::Run_Way_Back(const platform::Folder& source, const platform::Folder& target, bool& Ignore_All) {
    Evaluate_Source_Click();
    if (!state_->Cancel_Requested && Enough_Space_Or_Agreed(source)) {
        display_->Show_Cancel_Button(true);
        target_full_ = false;
        Process_Folder(target, Ignore_All, state_->Cancel_Requested);
        Count_Left_Out_By_Option_Change();
        both_passes_walked_ = true;
    } else if (!state_->Cancel_Requested) {
        // Too little space in the source for the way back, and the user
        // chose not to run it: the first pass stands, and the run ends as
        // stopped by the user.
        state_->Outcome.refusal = Refusal::None;
        state_->Outcome.stopped_at_failure = true;
        state_->Cancel_Requested = true;
    }
}

void Copy_Job::Finish_Run() {
    Run_Outcome& outcome = state_->Outcome;
    Set_Run_Under_Way(false);
    outcome.files_handled = state_->Handled_Files;
    outcome.cancelled = state_->Cancel_Requested;
    outcome.archive_bits_kept = static_cast<std::int32_t>(archive_kept_);
    outcome.files_left_out_by_option_change = state_->Left_Out_By_Option_Change;
    display_->Show_Status(Final_Status_Text(outcome, state_->Reverse_Direction));
    display_->Show_Cancel_Button(false);
    Report_Kept_Archive_Bits();
    Close_Sync_Record(both_passes_walked_ && !outcome.cancelled && !outcome.stopped_at_failure &&
                      outcome.folders_unfinished == 0);
}

}  // namespace zentrel::engine
