#include "window/option_interlocks.h"

namespace zentrel::window {

using support::Control;

void Include_Subfolders_Click(support::Form& form) {
    form.Set_Enabled(Control::Copy_Empty_Folders, form.Check_State(Control::Include_Subfolders) != 0);
}

void Synchronize_Click(support::Form& form) {
    if (form.Check_State(Control::Synchronize) != 0) form.Set_Check_State(Control::Only_newer, 1);
    form.Set_Enabled(Control::Only_newer, form.Check_State(Control::Synchronize) == 0);
}

void Only_newer_Click(support::Form& form) {
    if (form.Check_State(Control::Only_newer) == 0 && form.Check_State(Control::Synchronize) != 0)
        form.Set_Check_State(Control::Only_newer, 1);
}

void Later_then_Change(support::Form& form, engine::Run_State& state, const platform::Regional_Settings& regional) {
    if (auto date = platform::parse_date(form.Text(Control::Later_then), regional)) state.Later_Then_Date = *date;
}

void Raise_Option_Click(support::Form& form, support::Control box) {
    switch (box) {
        case Control::Include_Subfolders:
            Include_Subfolders_Click(form);
            break;
        case Control::Synchronize:
            Synchronize_Click(form);
            break;
        case Control::Only_newer:
            Only_newer_Click(form);
            break;
        default:
            break;
    }
}

}  // namespace zentrel::window
