#include "cli/terminal_display.h"

namespace zentrel::cli {

void Terminal_Display::Add_Error(const std::string& entry) {
    errors_.push_back({entry, pending_reason_});
    pending_reason_.clear();
}

void Terminal_Display::Clear_Errors() {
    errors_.clear();
    pending_reason_.clear();
}

}  // namespace zentrel::cli
