// The handlers that hold the option check boxes in a consistent state and
// turn the date field into the run's filter date. Plain rules over the form:
// the Qt window raises them on every state change, as the test form does.
#pragma once

#include "engine/run_state.h"
#include "platform/regional.h"
#include "support/form.h"

namespace zentrel::window {

// Copy_Empty_Folders is enabled exactly while Include_Subfolders is set.
void Include_Subfolders_Click(support::Form& form);
// While Synchronize is set, Only_newer is checked and disabled.
void Synchronize_Click(support::Form& form);
void Only_newer_Click(support::Form& form);
// A text that reads as a date becomes Later_Then_Date; any other text leaves
// the last date in force.
void Later_then_Change(support::Form& form, engine::Run_State& state, const platform::Regional_Settings& regional);

// Raises the click handler of an option box whose state has changed (boxes
// without a handler are ignored).
void Raise_Option_Click(support::Form& form, support::Control box);

}  // namespace zentrel::window
