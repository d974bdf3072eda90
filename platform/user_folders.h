// The user's folders by the XDG rules, for what the program keeps of its own
// outside the user's files.
#pragma once

#include <string>

namespace zentrel::platform {

// The folder the variable names (XDG_CACHE_HOME, XDG_STATE_HOME ...), or,
// where it is unset or relative, below_home inside the user's home.
std::string xdg_folder(const char* variable, const char* below_home);

}  // namespace zentrel::platform
