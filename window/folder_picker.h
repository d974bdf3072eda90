// The folder dialog behind the two "..." buttons.
#pragma once

#include <string>

class QFileDialog;
class QWidget;

namespace zentrel::window {

// Where the dialog opens for a field's text: the folder it names, or the
// nearest existing folder above it; the desktop folder (the home folder
// where there is none) for an empty or unusable text.
std::string Picker_Start_Folder(const std::string& field_text);

// Sets dialog up to choose one folder, hidden folders included (a source
// such as ~/.thunderbird), opened at start.
void Set_Up_Folder_Dialog(QFileDialog& dialog, const std::string& title, const std::string& start);

// A modal folder dialog; the chosen path, or the empty text on cancel.
std::string Show_Folder_Dialog(QWidget* owner, const std::string& title, const std::string& start);

}  // namespace zentrel::window
