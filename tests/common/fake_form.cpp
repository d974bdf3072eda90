#include "common/fake_form.h"

#include "window/option_interlocks.h"

namespace zentrel::testing {

using support::Control;

Fake_Form::Fake_Form(engine::Run_State* state, platform::Regional_Settings regional)
    : state_(state), regional_(regional) {
    // The start states that matter to the job: hidden counters and bar, the
    // cancel button hidden, the include filter as a first start leaves it.
    for (Control c : {Control::Num_Error_Files, Control::TNum_Error_Files, Control::Progress_Frame, Control::Progress,
                      Control::Cancel_Execution, Control::TError_List, Control::Error_List})
        controls_[c].visible = false;
    controls_[Control::Progress_Frame].geometry = {480, 5880, 8895, 255};
    controls_[Control::Progress].geometry = {480, 5880, 1455, 255};
    controls_[Control::Progress].text = "100%";
    controls_[Control::TError_List].geometry = {480, 6240, 1935, 255};
    controls_[Control::Error_List].geometry = {480, 6480, 8895, 3375};
    for (Control c : {Control::Num_Tot_Files, Control::Num_Sourcefiles, Control::Num_Sourcebytes,
                      Control::Num_Processed_Files, Control::Num_Processed_Bytes, Control::Num_Error_Files})
        controls_[c].text = "0";
    controls_[Control::TNum_SourceBytes].text = "Bytes zu kopieren";
    controls_[Control::TNum_Processed_Bytes].text = "Bytes kopiert";
}

std::string Fake_Form::Text(Control control) const { return controls_[control].text; }

void Fake_Form::Set_Text(Control control, const std::string& text) {
    State& s = controls_[control];
    s.text = text;
    s.history.push_back(text);
    if (control == Control::Later_then && state_) window::Later_then_Change(*this, *state_, regional_);
    if (auto it = on_text.find(control); it != on_text.end() && it->second) it->second();
}

int Fake_Form::Check_State(Control control) const { return controls_[control].check; }

void Fake_Form::Set_Check_State(Control control, int state) {
    if (controls_[control].check == state) return;
    controls_[control].check = state;
    window::Raise_Option_Click(*this, control);
}

bool Fake_Form::Visible(Control control) const { return controls_[control].visible; }
void Fake_Form::Set_Visible(Control control, bool visible) { controls_[control].visible = visible; }
bool Fake_Form::Enabled(Control control) const { return controls_[control].enabled; }
void Fake_Form::Set_Enabled(Control control, bool enabled) { controls_[control].enabled = enabled; }
void Fake_Form::Set_Focus(Control control) { focus_ = control; }
support::Twips_Rect Fake_Form::Geometry(Control control) const { return controls_[control].geometry; }
void Fake_Form::Set_Top(Control control, double twips) { controls_[control].geometry.top = twips; }
void Fake_Form::Set_Width(Control control, double twips) { controls_[control].geometry.width = twips; }
void Fake_Form::Set_Height(Control control, double twips) { controls_[control].geometry.height = twips; }
long Fake_Form::List_Count(Control control) const { return static_cast<long>(controls_[control].items.size()); }

std::string Fake_Form::List_Item(Control control, long index) const {
    const auto& items = controls_[control].items;
    return index >= 0 && index < static_cast<long>(items.size()) ? items[index] : std::string();
}

void Fake_Form::Add_Item(Control control, const std::string& text) { controls_[control].items.push_back(text); }

void Fake_Form::Clear_List(Control control) {
    controls_[control].items.clear();
    controls_[control].index = -1;
}

long Fake_Form::List_Index(Control control) const { return controls_[control].index; }

void Fake_Form::Repaint() {
    ++repaints;
    if (auto it = on_text.find(Control::Zentrel); it != on_text.end() && it->second) it->second();
}

void Fake_Form::Arrange_Error_List() {
    ++arrangements;
    bool shown = !controls_[Control::Error_List].items.empty();
    controls_[Control::TError_List].visible = shown;
    controls_[Control::Error_List].visible = shown;
}

std::vector<std::string> Fake_Form::Items(Control list) const { return controls_[list].items; }

const std::vector<std::string>& Fake_Form::Text_History(Control control) const { return controls_[control].history; }

}  // namespace zentrel::testing
