// The error list's popup menu and its single-file copy.
#include "window/error_list_rules.h"
#include "window/main_window.h"

#include <QMenu>

namespace zentrel::window {

void Main_Window::Error_List_MouseUp(Qt::MouseButton button, const QPoint& global_position) {
    if (button == Qt::RightButton && List_Index(Control::Error_List) != -1) {
        // Greyed while a job runs, when the command would do nothing.
        copy_single_file_->setEnabled(running_ == 0);
        error_menu_->popup(global_position);
    }
}

void Main_Window::Copy_Single_File_Click() {
    // Nested in a run's or an evaluation's event processing the copy would
    // share its direction and could touch the very file the run is copying
    // (and the parked old version of it); it waits until the job is done.
    if (running_ > 0) return;
    Run_Exclusive("Copy_Single_File_Click", [this] { window::Copy_Single_File_Click(*this, *support_, *job_); });
}

}  // namespace zentrel::window
