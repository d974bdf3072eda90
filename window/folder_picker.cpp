#include "window/folder_picker.h"

#include "window/display_text.h"
#include "window/main_window.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace zentrel::window {

std::string Picker_Start_Folder(const std::string& field_text) {
    if (!field_text.empty() && field_text.front() == '/') {
        QFileInfo folder(QFile::decodeName(QByteArray::fromStdString(field_text)));
        // A folder still to be created (a new target) opens where it would go.
        while (!folder.isDir() && !folder.isRoot()) folder = QFileInfo(folder.absolutePath());
        if (folder.isDir()) return QFile::encodeName(folder.absoluteFilePath()).toStdString();
    }
    QString start = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (start.isEmpty() || !QFileInfo(start).isDir()) start = QDir::homePath();
    return QFile::encodeName(start).toStdString();
}

void Set_Up_Folder_Dialog(QFileDialog& dialog, const std::string& title, const std::string& start) {
    dialog.setWindowTitle(to_display(title));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Hidden);
    dialog.setDirectory(QFile::decodeName(QByteArray::fromStdString(start)));
}

std::string Show_Folder_Dialog(QWidget* owner, const std::string& title, const std::string& start) {
    QFileDialog dialog(owner);
    Set_Up_Folder_Dialog(dialog, title, start);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return QFile::encodeName(dialog.selectedFiles().front()).toStdString();
}

std::string Main_Window::Get_Folder(const std::string& Title, const std::string& Field_Text) {
    const std::string start = Picker_Start_Folder(Field_Text);
    if (setup_.folder_dialog) return setup_.folder_dialog(Title, start);
    return Show_Folder_Dialog(isVisible() ? this : nullptr, Title, start);
}

void Main_Window::Get_Source_Click() {
    if (running_ > 0) return;  // the job works in the folder shown
    // A cancelled dialog must not throw away the path the user had typed.
    std::string folder = Get_Folder("Quellverzeichnis wählen...", Text(Control::Sourcefolder));
    if (!folder.empty()) Set_Text(Control::Sourcefolder, folder);
}

void Main_Window::Get_Target_Click() {
    if (running_ > 0) return;
    std::string folder = Get_Folder("Zielverzeichnis wählen...", Text(Control::Targetfolder));
    if (!folder.empty()) Set_Text(Control::Targetfolder, folder);
}

}  // namespace zentrel::window
