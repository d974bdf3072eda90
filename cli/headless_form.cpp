#include "cli/headless_form.h"

#include "window/option_interlocks.h"

namespace zentrel::cli {

using support::Control;

namespace {

// Any width will do: the job sets the bar's width as this share of it.
constexpr double Bar_Width = 1'000'000;

}  // namespace

Headless_Form::Headless_Form(engine::Run_State& state, platform::Regional_Settings regional)
    : state_(&state), regional_(regional) {}

std::string Headless_Form::Text(Control control) const {
    const auto it = texts_.find(control);
    return it == texts_.end() ? std::string() : it->second;
}

void Headless_Form::Set_Text(Control control, const std::string& text) {
    texts_[control] = text;
    if (control == Control::Later_then) window::Later_then_Change(*this, *state_, regional_);
}

int Headless_Form::Check_State(Control control) const {
    const auto it = checks_.find(control);
    return it == checks_.end() ? 0 : it->second;
}

void Headless_Form::Set_Check_State(Control control, int state) {
    if (Check_State(control) == state) return;
    checks_[control] = state;
    window::Raise_Option_Click(*this, control);
}

bool Headless_Form::Visible(Control control) const {
    const auto it = visible_.find(control);
    return it != visible_.end() && it->second;
}

void Headless_Form::Set_Visible(Control control, bool visible) { visible_[control] = visible; }

bool Headless_Form::Enabled(Control control) const {
    const auto it = enabled_.find(control);
    return it == enabled_.end() || it->second;
}

void Headless_Form::Set_Enabled(Control control, bool enabled) {
    enabled_[control] = enabled;
    if (control == Control::Start && !enabled) run_began_ = true;
}

support::Twips_Rect Headless_Form::Geometry(Control control) const {
    if (control == Control::Progress_Frame) return {0, 0, Bar_Width, 255};
    return {};
}

void Headless_Form::Set_Width(Control control, double twips) {
    if (control == Control::Progress) progress_fraction_ = twips / Bar_Width;
}

long Headless_Form::List_Count(Control control) const {
    return control == Control::Error_List ? static_cast<long>(errors_.size()) : 0;
}

std::string Headless_Form::List_Item(Control control, long index) const {
    if (control != Control::Error_List || index < 0 || index >= static_cast<long>(errors_.size())) return {};
    return errors_[index].path;
}

void Headless_Form::Add_Item(Control control, const std::string& text) {
    if (control != Control::Error_List) return;
    errors_.push_back({text, pending_reason_});
    pending_reason_.clear();
}

void Headless_Form::Clear_List(Control control) {
    if (control != Control::Error_List) return;
    errors_.clear();
    pending_reason_.clear();
}

}  // namespace zentrel::cli
