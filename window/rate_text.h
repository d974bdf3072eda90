// The copy's rate and the time it still needs, as the window shows them.
#pragma once

#include <string>

namespace zentrel::window {

// "12,3 MB/s, noch 1:20" for a copy that has done copied of total bytes in
// seconds; empty until a second has passed and a byte has been copied.
std::string Rate_Text(double copied, double total, double seconds, char decimal_separator);

}  // namespace zentrel::window
