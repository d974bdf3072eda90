#include "cli/terminal_display.h"

namespace zentrel::cli {

void Terminal_Display::Add_Error(const std::string& entry, const std::string& reason) {
    errors_.push_back({entry, reason});
}

void Terminal_Display::Clear_Errors() { errors_.clear(); }

}  // namespace zentrel::cli
