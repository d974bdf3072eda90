#include "window/folder_picker.h"

#include "window/display_text.h"
#include "window/main_window.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace zentrel::window {

std::string Show_Folder_Dialog(QWidget* owner, const std::string& title) {
    QString start = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (start.isEmpty() || !QFileInfo(start).isDir()) start = QDir::homePath();
    QString chosen = QFileDialog::getExistingDirectory(owner, to_display(title), start, QFileDialog::ShowDirsOnly);
    return chosen.isEmpty() ? std::string() : QFile::encodeName(chosen).toStdString();
}

std::string Main_Window::Get_Folder(const std::string& Title) {
    if (setup_.folder_dialog) return setup_.folder_dialog(Title);
    return Show_Folder_Dialog(isVisible() ? this : nullptr, Title);
}

void Main_Window::Get_Source_Click() {
    if (running_ > 0) return;  // the job works in the folder shown
    // A cancelled dialog must not throw away the path the user had typed.
    std::string folder = Get_Folder("Quellverzeichnis wählen...");
    if (!folder.empty()) Set_Text(Control::Sourcefolder, folder);
}

void Main_Window::Get_Target_Click() {
    if (running_ > 0) return;
    std::string folder = Get_Folder("Zielverzeichnis wählen...");
    if (!folder.empty()) Set_Text(Control::Targetfolder, folder);
}

}  // namespace zentrel::window
