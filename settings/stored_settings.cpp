#include "settings/stored_settings.h"

#include "settings/option_interlocks.h"
#include "settings/registry_access.h"

#include <cmath>
#include <string>

namespace zentrel::settings {

namespace {

// A stored check state: the number rounded half to even. Anything that is
// not 0, 1 or 2 then (no number, 3, -1) is no state a box can take, and reads
// as unchecked.
int check_state_from(const std::string& text, const platform::Regional_Settings& regional) {
    const double number = support::Num_Value(text, regional);
    if (!std::isfinite(number)) return 0;
    double rounded = std::floor(number);
    const double rest = number - rounded;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(rounded, 2.0) != 0)) rounded += 1;
    return rounded >= 0 && rounded <= 2 ? static_cast<int>(rounded) : 0;
}

}  // namespace

const char* Option_Name(Option_Box box) {
    if (box == &Job_Settings::Include_Subfolders) return "Include_Subfolders";
    if (box == &Job_Settings::Copy_Empty_Folders) return "Copy_Empty_Folders";
    if (box == &Job_Settings::Only_newer) return "Only_newer";
    if (box == &Job_Settings::Only_Archive) return "Only_Archive";
    if (box == &Job_Settings::Reset_Archive) return "Reset_Archive";
    if (box == &Job_Settings::Copy_SysFiles) return "Copy_SysFiles";
    if (box == &Job_Settings::Copy_HiddenFiles) return "Copy_HiddenFiles";
    if (box == &Job_Settings::Synchronize) return "Synchronize";
    return "";
}

Job_Settings Load_Settings(support::Support_Routines& support) {
    Job_Settings settings;
    settings.Sourcefolder = Get_Setting(support, "Sourcefolder", false);
    settings.Targetfolder = Get_Setting(support, "Targetfolder", false);
    settings.Include_Filter = Get_Setting(support, "Include_Filter", false);
    if (settings.Include_Filter.empty()) settings.Include_Filter = "*.*";
    settings.Exclude_Filter = Get_Setting(support, "Exclude_Filter", false);
    for (Option_Box box : Option_Boxes)
        settings.*box = check_state_from(Get_Setting(support, Option_Name(box), false), support.regional());
    // Only_newer is loaded before Synchronize, while Synchronize is still
    // clear: only Synchronize's own handler has an effect.
    Option_Click(settings, &Job_Settings::Synchronize);

    // A stored date is shown in the regional short form; a text that is no
    // date leaves the field empty rather than holding a filter nobody can read.
    const std::string later = Get_Setting(support, "Later_Then", false);
    if (!later.empty()) {
        if (const auto date = platform::parse_date(later, support.regional()))
            settings.Later_Then = platform::format_date(*date, support.regional());
    }
    return settings;
}

void Save_Settings(const Job_Settings& settings, support::Support_Routines& support) {
    // An empty folder field keeps the folder stored before.
    if (!settings.Sourcefolder.empty()) Save_Setting(support, "Sourcefolder", settings.Sourcefolder, false);
    if (!settings.Targetfolder.empty()) Save_Setting(support, "Targetfolder", settings.Targetfolder, false);
    Save_Setting(support, "Include_Filter", settings.Include_Filter, false);
    Save_Setting(support, "Exclude_Filter", settings.Exclude_Filter, false);
    for (Option_Box box : Option_Boxes) Save_Setting(support, Option_Name(box), std::to_string(settings.*box), false);
    Save_Setting(support, "Later_Then", settings.Later_Then, false);
}

}  // namespace zentrel::settings
