#include "engine/copy_job.h"

namespace zentrel::engine {

Copy_Job::Copy_Job(const Job_Options& options, Job_Display& display, support::Support_Routines& support,
                   Run_State& state)
    : options_(&options),
      display_(&display),
      support_(&support),
      state_(&state),
      box_events_(support),
      events_(&box_events_) {}

int Copy_Job::Listing_Classes() const {
    int classes = platform::List_Normal_Only;
    if (options_->Copy_HiddenFiles()) classes |= platform::List_Hidden;
    if (options_->Copy_SysFiles()) classes |= platform::List_System;
    return classes;
}

void Copy_Job::Set_Run_Under_Way(bool under_way) {
    state_->Run_Under_Way = under_way;
    display_->Show_Run_Under_Way(under_way);
}

}  // namespace zentrel::engine
