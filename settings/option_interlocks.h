// The rule that holds the option boxes in a consistent state, the same for
// the window's clicks and a run's command-line overrides: a synchronisation
// copies only newer files, and empty folders are copied only with the
// subfolders.
#pragma once

#include "settings/setting_names.h"

namespace zentrel::settings {

// The click handler's part after box has taken its new state in settings:
// a set Synchronize checks Only_newer, and Only_newer cannot be cleared
// while Synchronize is set.
void Option_Click(Job_Options& settings, Option_Box box);

// Whether the user can change the box: Copy_Empty_Folders only while
// Include_Subfolders is set, Only_newer only while Synchronize is clear.
bool Option_Enabled(const Job_Options& settings, Option_Box box);

}  // namespace zentrel::settings
