#include "engine/copy_job.h"

#include <cerrno>
#include <exception>
#include <utility>

namespace zentrel::engine {

namespace {

// Copies tried without asking the user in between: one into the folder the
// file's predecessor made, one more after making it again. Past this bound a
// copy that keeps failing is reported, never tried again on its own.
constexpr int Unasked_Copy_Limit = 3;

void ignoring_failure(const auto& operation) {
    try {
        operation();
    } catch (...) {
    }
}

// The platform's description of a failure, for the prompt that reports it.
std::string description_of(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "";
    }
}

// The errno of a platform failure, 0 for any other.
int error_number_of(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const platform::File_System_Error& error) {
        return error.error_number();
    } catch (...) {
        return 0;
    }
}

bool is_full(int error_number) { return error_number == ENOSPC || error_number == EDQUOT; }

}  // namespace

void Copy_Job::Fail_On_Full_Target(const std::string& Entry, const std::string& Reason, bool& Ignore_All, bool& Abort) {
    // Every later file would fail the same way: one question, not one box
    // each, and the rest fail at once.
    if (!target_full_ && !Ignore_All) {
        const std::string folder =
            state_->Reverse_Direction ? options_now()->Sourcefolder : options_now()->Targetfolder;
        if (events_->Target_Full(folder) == Full_Target_Answer::Stop) {
            Abort = true;
            state_->Outcome.stopped_at_failure = true;
        }
    }
    target_full_ = true;
    List_Error({.trouble = Copy_Trouble::Target_Full, .path = Entry, .detail = Reason});
}

void Copy_Job::List_Error(const Copy_Failure& Failure) {
    state_->Errors.push_back(Failure);
    display_->Add_Error(Failure);
}

bool Copy_Job::Copy_Error(const Copy_Failure& Failure, bool& Ignore_All, bool& Abort) {
    if (!Ignore_All) {
        switch (events_->Copy_Failed(Failure)) {
            case Failure_Answer::Retry:
                if (Failure.retry_allowed) return true;
                break;
            case Failure_Answer::Skip:
                break;
            case Failure_Answer::Skip_All:
                Ignore_All = true;
                break;
            case Failure_Answer::Abort:
                Abort = true;
                state_->Outcome.stopped_at_failure = true;
                break;
        }
    }
    List_Error(Failure);
    return false;
}

// One call of Copy_File: the safe-replace protocol as one member per step,
// each returning the step that follows.
class Copy_Job::Copy_Attempt {
public:
    Copy_Attempt(Copy_Job& job, std::optional<platform::File>& source, const std::string& target, bool& ignore_all,
                 bool& abort);
    // The steps until the file is copied (true) or given up (false).
    bool Run();

private:
    enum class Step {
        Source_Check,
        Look_Up_Target,
        Make_Target_Folder,
        Remove_Leftover,
        Park,
        Copy,
        Restore,
        Failed,
        Copied,
        Given_Up
    };

    Step Next();
    // The source must be there; a missing one is given up at once.
    Step Check_Source();
    // Finds the existing target (or takes the file test's finding).
    Step Look_Up_Target();
    // Makes the target's folder, or takes it as there from the file before.
    Step Make_Target_Folder();
    // Clears a stale parked version from the parking name, or keeps one
    // that may be the only copy and replaces the target unparked.
    Step Remove_Leftover();
    // Moves the existing target to the parking name, named for later runs.
    Step Park();
    // Copies the source over the target; the parked version goes after
    // success.
    Step Copy();
    // Moves a parked old version back under the target's name.
    Step Restore();
    // The copy failed for good this round: asks, or lists a full target.
    Step Fail();
    // A failure the platform raised after the first change: restores, or
    // lists the file when it came while restoring.
    Step After_Failure(const std::exception_ptr& failure);
    // Copy_Error for this file: On_Retry when the answer was Retry.
    Step Ask(Copy_Trouble trouble, const std::string& place, const std::string& detail, Step on_retry);
    // The source's path, the error list's entry; empty when it is missing.
    std::string Entry() const { return source_ ? source_->Path() : std::string(); }

    Copy_Job& job_;
    std::optional<platform::File>& source_;
    const std::string& target_;
    bool& ignore_all_;
    bool& abort_;
    const std::string prefix_;
    const std::string temporary_;
    // A target that itself bears the parking name cannot be parked; the
    // all-or-nothing copy keeps its old version safe instead.
    const bool target_is_temporary_;
    Step step_ = Step::Source_Check;
    std::optional<platform::File> existing_;
    std::optional<platform::File> parked_;
    // The test that chose the file has just looked at its target; the first
    // attempt takes its finding, a retry looks again.
    bool target_tested_;
    // The target is absent by the evaluation's verdict, not looked at: the
    // copy replaces nothing, and where the tree changed since, the walk
    // tests the file in full instead.
    bool on_verdict_;
    // The target folder was there for the file before: its look is spared
    // until a copy into it fails.
    bool folder_assumed_ = false;
    bool changed_ = false;  // a file-system change has been attempted
    // The target is replaced without being parked (the parking name is
    // taken): after a failed copy it is still there, its old version.
    bool unparked_ = false;
    // Why the last copy attempt failed, so the prompt can tell the user.
    std::string why_failed_;
    int why_errno_ = 0;
    int unasked_copies_ = 0;
};

Copy_Job::Copy_Attempt::Copy_Attempt(Copy_Job& job, std::optional<platform::File>& source, const std::string& target,
                                     bool& ignore_all, bool& abort)
    : job_(job),
      source_(source),
      target_(target),
      ignore_all_(ignore_all),
      abort_(abort),
      prefix_(support::Filepath(target, false) + support::Separator),
      temporary_(prefix_ + Temporary_Name),
      target_is_temporary_(target.ends_with(support::Separator + std::string(Temporary_Name))),
      target_tested_(job.tested_target_.valid && job.tested_target_.path == target),
      on_verdict_(target_tested_ && job.tested_target_.trusted_absent) {
    job.tested_target_.valid = false;
    job.tested_target_.trusted_absent = false;
}

bool Copy_Job::Copy_Attempt::Run() {
    for (;;) {
        try {
            step_ = Next();
        } catch (...) {
            if (!changed_) throw;
            step_ = After_Failure(std::current_exception());
        }
        if (step_ == Step::Copied) return true;
        if (step_ == Step::Given_Up) return false;
    }
}

Copy_Job::Copy_Attempt::Step Copy_Job::Copy_Attempt::Next() {
    switch (step_) {
        case Step::Source_Check:
            return Check_Source();
        case Step::Look_Up_Target:
            return Look_Up_Target();
        case Step::Make_Target_Folder:
            return Make_Target_Folder();
        case Step::Remove_Leftover:
            return Remove_Leftover();
        case Step::Park:
            return Park();
        case Step::Copy:
            return Copy();
        case Step::Restore:
            return Restore();
        case Step::Failed:
            return Fail();
        case Step::Copied:
        case Step::Given_Up:
            break;
    }
    return step_;
}

Copy_Job::Copy_Attempt::Step Copy_Job::Copy_Attempt::Ask(Copy_Trouble trouble, const std::string& place,
                                                         const std::string& detail, Step on_retry) {
    unasked_copies_ = 0;
    return job_.Copy_Error({trouble, Entry(), place, detail, true}, ignore_all_, abort_) ? on_retry : Step::Given_Up;
}

Copy_Job::Copy_Attempt::Step Copy_Job::Copy_Attempt::Check_Source() {
    if (source_) return Step::Look_Up_Target;
    job_.Copy_Error({.trouble = Copy_Trouble::Source_Missing}, ignore_all_, abort_);
    return Step::Given_Up;
}

Copy_Job::Copy_Attempt::Step Copy_Job::Copy_Attempt::Look_Up_Target() {
    parked_.reset();
    unparked_ = false;
    if (target_tested_)
        existing_ = std::move(job_.tested_target_.file);
    else
        existing_ = job_.support_->Find_File(target_);
    target_tested_ = false;
    if (!existing_) return Step::Make_Target_Folder;
    job_.made_folder_ = prefix_;
    return target_is_temporary_ ? Step::Copy : Step::Remove_Leftover;
}

Copy_Job::Copy_Attempt::Step Copy_Job::Copy_Attempt::Make_Target_Folder() {
    // A folder that cannot be made is this file's failure, not the walk's:
    // the file must reach the error list.
    std::string description;
    bool made = false;
    if (prefix_ == job_.made_folder_) {
        folder_assumed_ = made = true;
    } else {
        try {
            made = job_.support_->Make_Folder(prefix_);
        } catch (const std::exception& failure) {
            description = failure.what();
            if (is_full(error_number_of(std::current_exception()))) {
                job_.Fail_On_Full_Target(Entry(), description, ignore_all_, abort_);
                return Step::Given_Up;
            }
        }
    }
    if (!made) return Ask(Copy_Trouble::Folder_Not_Made, prefix_, description, Step::Make_Target_Folder);
    job_.made_folder_ = prefix_;
    return Step::Copy;
}

Copy_Job::Copy_Attempt::Step Copy_Job::Copy_Attempt::Remove_Leftover() {
    changed_ = true;
    std::optional<platform::File> leftover = job_.support_->Find_File(temporary_);
    if (!leftover) return Step::Park;
    if (!job_.Parked_Version_Is_Stale(temporary_)) {
        // Perhaps the only copy of an old version: it stays, and the copy
        // replaces the target all at once instead of parking it.
        job_.Report_Kept_Parked_Version(temporary_);
        unparked_ = true;
        return Step::Copy;
    }
    ignoring_failure([&] { leftover->Set_Attributes(0); });
    ignoring_failure([&] { leftover->Delete(false); });
    if (job_.support_->Find_File(temporary_))
        return Ask(Copy_Trouble::Leftover_Not_Removed, temporary_, "", Step::Remove_Leftover);
    return Step::Park;
}

Copy_Job::Copy_Attempt::Step Copy_Job::Copy_Attempt::Park() {
    changed_ = true;
    bool moved = false;
    // Named before the move, so that a run killed at any moment after it
    // leaves a parked file a later run can judge.
    platform::File_System& fs = job_.support_->file_system();
    const std::string name = existing_->Name();
    const std::string from = existing_->Path();
    ignoring_failure([&] { fs.set_attribute(from, Parked_From_Attribute, name); });
    ignoring_failure([&] {
        existing_->Move(temporary_);
        moved = true;
    });
    // A move that reports success has put it there; only a failed one is
    // looked for.
    parked_ = moved ? existing_ : job_.support_->Find_File(temporary_);
    if (parked_) return Step::Copy;
    ignoring_failure([&] { fs.remove_attribute(from, Parked_From_Attribute); });
    return Ask(Copy_Trouble::Target_Not_Parked, existing_->Path(), "", Step::Look_Up_Target);
}

Copy_Job::Copy_Attempt::Step Copy_Job::Copy_Attempt::Copy() {
    if (++unasked_copies_ > Unasked_Copy_Limit) return Step::Restore;
    changed_ = true;
    bool copy_failed = false;
    platform::File& source = *source_;
    Run_State& state = *job_.state_;
    job_.support_->Run_Keeping_Window_Alive(
        [&] {
            try {
                source.Copy(target_, !on_verdict_);
            } catch (...) {
                copy_failed = true;
                why_failed_ = description_of(std::current_exception());
                why_errno_ = error_number_of(std::current_exception());
            }
        },
        source.Size(),
        [&](std::uint64_t done) {
            // The bar moves with a large file's bytes while it is copied in
            // a run; the byte counters change after it.
            if (state.Source_Bytes != 0 && state.Run_Under_Way)
                job_.Show_Progress((state.Processed_Bytes + static_cast<double>(done)) / state.Source_Bytes);
        });
    // The tree changed since the verdict (the target appeared, the file or
    // its folder went): the walk tests the file anew. Any other failure is
    // this copy's own.
    if (copy_failed && on_verdict_ &&
        (why_errno_ == EEXIST || why_errno_ == ENOENT || why_errno_ == ELOOP || why_errno_ == ENOTDIR)) {
        job_.verdict_failed_ = true;
        return Step::Given_Up;
    }
    on_verdict_ = false;
    // A copy that reports success has put the whole file under its name.
    // One that failed late may have done so as well, unless the name is our
    // temporary one.
    const bool copied =
        !copy_failed || (!target_is_temporary_ && !unparked_ && job_.support_->Find_File(target_).has_value());
    if (copied) {
        // Parked by this call: its old version goes, read-only or not, and
        // no run leaves one behind.
        if (parked_) ignoring_failure([&] { parked_->Delete(true); });
        return Step::Copied;
    }
    job_.made_folder_.clear();
    if (!folder_assumed_) return Step::Restore;
    // The folder may have gone since: made again before the failure counts.
    folder_assumed_ = false;
    return Step::Make_Target_Folder;
}

Copy_Job::Copy_Attempt::Step Copy_Job::Copy_Attempt::Restore() {
    if (!parked_) return Step::Failed;
    ignoring_failure([&] { parked_->Move(target_); });
    if (platform::normalize_path(parked_->Path()) != platform::normalize_path(target_))
        return Ask(Copy_Trouble::Target_Not_Restored, target_, "", Step::Restore);
    ignoring_failure([&] { job_.support_->file_system().remove_attribute(target_, Parked_From_Attribute); });
    parked_.reset();
    return Step::Failed;
}

Copy_Job::Copy_Attempt::Step Copy_Job::Copy_Attempt::Fail() {
    if (is_full(why_errno_)) {
        job_.Fail_On_Full_Target(Entry(), why_failed_, ignore_all_, abort_);
        return Step::Given_Up;
    }
    const std::string why = std::exchange(why_failed_, std::string());
    why_errno_ = 0;
    return Ask(Copy_Trouble::Not_Copied, "", why, Step::Source_Check);
}

Copy_Job::Copy_Attempt::Step Copy_Job::Copy_Attempt::After_Failure(const std::exception_ptr& failure) {
    why_failed_ = description_of(failure);
    why_errno_ = error_number_of(failure);
    // A failure while already recovering is not retried: the file counts
    // as not copied, and nothing more is touched.
    if (step_ != Step::Restore && step_ != Step::Failed) return Step::Restore;
    job_.List_Error({.trouble = Copy_Trouble::Not_Copied, .path = Entry(), .detail = why_failed_});
    return Step::Given_Up;
}

bool Copy_Job::Copy_File(std::optional<platform::File>& Source, const std::string& Target, bool& Ignore_All,
                         bool& Abort) {
    return Copy_Attempt(*this, Source, Target, Ignore_All, Abort).Run();
}

}  // namespace zentrel::engine
