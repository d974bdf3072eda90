#include "engine/copy_job.h"

namespace zentrel::engine {

Copy_Job::Copy_Job(const Options_Port& options, Job_Display& display, support::Support_Routines& support,
                   Run_State& state)
    : options_(&options),
      display_(&display),
      support_(&support),
      state_(&state),
      box_events_(support),
      events_(&box_events_) {}

int Copy_Job::Listing_Classes() const {
    int classes = platform::List_Normal_Only;
    if (options_now()->Copy_HiddenFiles) classes |= platform::List_Hidden;
    if (options_now()->Copy_SysFiles) classes |= platform::List_System;
    return classes;
}

void Copy_Job::Set_Run_Under_Way(bool under_way) {
    state_->Run_Under_Way = under_way;
    display_->Show_Run_Under_Way(under_way);
}

Run_Outcome Copy_Job::Copy_Single_File(std::optional<platform::File>& Source, const std::string& Target) {
    bool ignore_all = false;
    bool abort = false;
    return Copy_Single_File(Source, Target, ignore_all, abort);
}

Run_Outcome Copy_Job::Copy_Single_File(std::optional<platform::File>& Source, const std::string& Target,
                                       bool& ignore_all, bool& abort) {
    Run_Outcome outcome;
    outcome.began = true;
    outcome.files_handled = 1;
    // A full target asks again: this copy is not part of a run.
    target_full_ = false;
    const Run_Outcome before = state_->Outcome;
    if (Copy_File(Source, Target, ignore_all, abort)) {
        outcome.files_copied = 1;
        outcome.bytes_copied = static_cast<double>(Source->Size());
    } else {
        outcome.files_failed = 1;
    }
    // Copy_File notes a stop chosen at a failure in the run's outcome; the
    // run's outcome is not this copy's.
    outcome.stopped_at_failure = state_->Outcome.stopped_at_failure && !before.stopped_at_failure;
    state_->Outcome.stopped_at_failure = before.stopped_at_failure;
    return outcome;
}

}  // namespace zentrel::engine
