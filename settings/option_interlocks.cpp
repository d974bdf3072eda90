#include "settings/option_interlocks.h"

namespace zentrel::settings {

void Option_Click(Job_Options& settings, Option_Box box) {
    if (box == &Job_Options::Synchronize && settings.Synchronize != 0) settings.Only_newer = 1;
    if (box == &Job_Options::Only_newer && settings.Only_newer == 0 && settings.Synchronize != 0)
        settings.Only_newer = 1;
}

bool Option_Enabled(const Job_Options& settings, Option_Box box) {
    if (box == &Job_Options::Copy_Empty_Folders) return settings.Include_Subfolders != 0;
    if (box == &Job_Options::Only_newer) return settings.Synchronize == 0;
    return true;
}

}  // namespace zentrel::settings
