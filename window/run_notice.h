#pragma once

#include <string>

namespace zentrel::window {

// Asks the desktop's notification service (over D-Bus) to show summary and
// body; does nothing where there is none.
void Send_Desktop_Notice(const std::string& summary, const std::string& body);

}  // namespace zentrel::window
