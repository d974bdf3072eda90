#include "engine/copy_job.h"

namespace zentrel::engine {

Copy_Job::Copy_Job(support::Form& form, support::Support_Routines& support, Run_State& state)
    : form_(&form), support_(&support), state_(&state) {}

bool Copy_Job::Is_Set(support::Control box) const { return form_->Check_State(box) != 0; }

int Copy_Job::Listing_Classes() const {
    int classes = platform::List_Normal_Only;
    if (Is_Set(support::Control::Copy_HiddenFiles)) classes |= platform::List_Hidden;
    if (Is_Set(support::Control::Copy_SysFiles)) classes |= platform::List_System;
    return classes;
}

}  // namespace zentrel::engine
