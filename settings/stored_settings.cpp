#include "settings/stored_settings.h"

#include "settings/registry_access.h"

#include <cmath>
#include <string>

namespace zentrel::settings {

namespace {

using support::Control;

// The option boxes in the order they are loaded after the filters.
constexpr Control Later_Options[] = {Control::Copy_Empty_Folders, Control::Only_newer,    Control::Only_Archive,
                                     Control::Reset_Archive,      Control::Copy_SysFiles, Control::Copy_HiddenFiles,
                                     Control::Synchronize};

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

void load_check_state(support::Form& form, support::Support_Routines& support, Control box) {
    form.Set_Check_State(box,
                         check_state_from(Get_Setting(support, support::control_name(box), false), support.regional()));
}

}  // namespace

void Load_Settings(support::Form& form, support::Support_Routines& support) {
    form.Set_Text(Control::Sourcefolder, Get_Setting(support, "Sourcefolder", false));
    form.Set_Text(Control::Targetfolder, Get_Setting(support, "Targetfolder", false));
    load_check_state(form, support, Control::Include_Subfolders);
    form.Set_Text(Control::Include_Filter, Get_Setting(support, "Include_Filter", false));
    if (form.Text(Control::Include_Filter).empty()) form.Set_Text(Control::Include_Filter, "*.*");
    form.Set_Text(Control::Exclude_Filter, Get_Setting(support, "Exclude_Filter", false));
    for (Control box : Later_Options) load_check_state(form, support, box);

    // The window's own Include_Subfolders rule, run once: a box that was not
    // clicked during the load has raised no handler, so Copy_Empty_Folders
    // must be put in step with it here.
    form.Set_Enabled(Control::Copy_Empty_Folders, form.Check_State(Control::Include_Subfolders) != 0);

    // A stored date is shown in the regional short form; a text that is no
    // date leaves the field empty rather than holding a filter nobody can read.
    const std::string later = Get_Setting(support, "Later_Then", false);
    if (!later.empty()) {
        if (const auto date = platform::parse_date(later, support.regional()))
            form.Set_Text(Control::Later_then, platform::format_date(*date, support.regional()));
    }
}

void Save_Settings(support::Form& form, support::Support_Routines& support) {
    // An empty folder field keeps the folder stored before.
    for (Control field : {Control::Sourcefolder, Control::Targetfolder}) {
        const std::string text = form.Text(field);
        if (!text.empty()) Save_Setting(support, support::control_name(field), text, false);
    }
    Save_Setting(support, "Include_Filter", form.Text(Control::Include_Filter), false);
    Save_Setting(support, "Exclude_Filter", form.Text(Control::Exclude_Filter), false);
    Save_Setting(support, "Include_Subfolders", std::to_string(form.Check_State(Control::Include_Subfolders)), false);
    for (Control box : Later_Options)
        Save_Setting(support, support::control_name(box), std::to_string(form.Check_State(box)), false);
    Save_Setting(support, "Later_Then", form.Text(Control::Later_then), false);
}

}  // namespace zentrel::settings
