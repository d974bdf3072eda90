#include "cli/terminal_display.h"

namespace zentrel::cli {

void Terminal_Display::Clear_Errors() { errors_.clear(); }

}  // namespace zentrel::cli
