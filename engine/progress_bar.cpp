#include "engine/copy_job.h"

#include <optional>

namespace zentrel::engine {

// The bar is no reason to stop a copy: a display that fails leaves it as it was.
void Copy_Job::Show_Progress(double Percent) {
    try {
        display_->Show_Progress_Bar(Percent > 0 ? std::optional<double>(Percent) : std::nullopt);
    } catch (...) {
    }
}

}  // namespace zentrel::engine
