// The maker's web link in the footer.
#pragma once

#include "support/support_routines.h"

#include <string>

namespace zentrel::window {

inline constexpr const char* Browser_Command_Key = "SOFTWARE\\Classes\\htmlfile\\shell\\open\\command";

// The browser command registered for web pages, for the user first, then for
// the machine; the empty text when neither has one.
std::string Find_Browser_Command(support::Support_Routines& support);

// Starts command_line (split by the shell's quoting rules); with an empty
// command line, or when it cannot be started, opens address in the
// desktop's default browser.
void Start_Browser(const std::string& command_line, const std::string& address);

}  // namespace zentrel::window
