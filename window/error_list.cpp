// The error list's popup menu and its single-file copy.
#include "window/error_list_rules.h"
#include "window/main_window.h"

#include <QMenu>

namespace zentrel::window {

void Main_Window::Error_List_MouseUp(Qt::MouseButton button, const QPoint& global_position) {
    if (button == Qt::RightButton && List_Index(support::Control::Error_List) != -1)
        error_menu_->popup(global_position);
}

void Main_Window::Copy_Single_File_Click() {
    // The copy may be chosen while a run is going on, nested in its event
    // processing; the run's copy direction is then put back afterwards, or
    // its remaining files would go into the wrong tree.
    bool inside_run = running_ > 0;
    bool run_direction = state_.Reverse_Direction;
    ++running_;
    try {
        window::Copy_Single_File_Click(*this, *support_, *job_);
    } catch (const std::exception& failure) {
        Report_Unexpected_Failure("Copy_Single_File_Click", failure.what());
    } catch (...) {
        Report_Unexpected_Failure("Copy_Single_File_Click", "");
    }
    --running_;
    if (inside_run) state_.Reverse_Direction = run_direction;
    Finish_Pending_Close();
}

}  // namespace zentrel::window
