// The thirteen stored settings of the window, loaded when it opens and saved
// when it closes.
#pragma once

#include "settings/job_settings.h"
#include "support/support_routines.h"

namespace zentrel::settings {

// The stored values, settled by the option interlocks as the window settles
// when it opens with them.
Job_Settings Load_Settings(support::Support_Routines& support);
// Stores the values; never shows a message.
void Save_Settings(const Job_Settings& settings, support::Support_Routines& support);

}  // namespace zentrel::settings
