// The folder dialog behind the two "..." buttons.
#pragma once

#include <string>

class QWidget;

namespace zentrel::window {

// A modal folder dialog with title, opened at the desktop folder (the home
// folder where there is none); the chosen path, or the empty text on cancel.
std::string Show_Folder_Dialog(QWidget* owner, const std::string& title);

}  // namespace zentrel::window
