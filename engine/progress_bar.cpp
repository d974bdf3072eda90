#include "engine/copy_job.h"

#include <cmath>

namespace zentrel::engine {

using support::Control;

// Each step stands on its own: a failing one must not keep the others from
// showing what they can.
void Copy_Job::Show_Progress(double Percent) {
    const bool shown = Percent > 0;
    try {
        form_->Set_Visible(Control::Progress_Frame, shown);
    } catch (...) {
    }
    try {
        form_->Set_Visible(Control::Progress, shown);
    } catch (...) {
    }
    if (!shown) return;
    try {
        const double frame_width = form_->Geometry(Control::Progress_Frame).width;
        form_->Set_Width(Control::Progress, static_cast<float>(frame_width * Percent));
    } catch (...) {
    }
    try {
        // The tiny allowance keeps a quotient such as 29/100, which lands
        // just below 0.29, from showing one per cent too little.
        const double whole = std::floor(Percent * 100 + 1e-9);
        form_->Set_Text(Control::Progress, std::to_string(static_cast<long long>(whole)) + "%");
    } catch (...) {
    }
}

}  // namespace zentrel::engine
