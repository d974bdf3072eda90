// Opening and closing the window, the cancel button and the busy pointer.
#include "settings/stored_settings.h"
#include "window/main_window.h"

#include <QCloseEvent>
#include <QEvent>
#include <QListWidget>
#include <QMouseEvent>

namespace zentrel::window {

void Main_Window::Form_Load() {
    try {
        settings::Load_Report report;
        Show_Settings(settings::Load_Settings(*support_, report));
        // A damaged, misplaced or unreadable settings file is said once, here.
        if (const std::string notice = settings::Load_Report_Text(report, true); !notice.empty())
            support_->Message_Box(notice, support::Buttons_OK | support::Icon_Exclamation, support::Application_Title);
    } catch (...) {
        // A damaged store never keeps the window from opening.
    }
    Set_Visible(Control::Cancel_Execution, false);
    Arrange_Error_List();
}

void Main_Window::Form_Unload() {
    try {
        // Settings that cannot be saved are said before they are lost.
        const settings::Save_Report report = settings::Save_Settings(Settings(), *support_);
        if (const std::string notice = settings::Save_Report_Text(report); !notice.empty())
            support_->Message_Box(notice, support::Buttons_OK | support::Icon_Exclamation, support::Application_Title);
    } catch (...) {
        // Saving never keeps the window open.
    }
}

void Main_Window::closeEvent(QCloseEvent* event) {
    if (!unloaded_) {
        unloaded_ = true;
        Form_Unload();
    }
    if (running_ > 0) {
        // The job runs inside a handler further down this thread's stack and
        // works on this window, so the window stays until it returns. It is
        // neither cancelled nor waited for here: the user keeps seeing its
        // progress and questions, may still cancel it, and the program ends
        // as soon as it is done.
        close_pending_ = true;
        setWindowTitle(QStringLiteral("Zentrel - wird nach Ende der Ausführung beendet"));
        event->ignore();
        return;
    }
    event->accept();
}

void Main_Window::Finish_Pending_Close() {
    if (close_pending_ && running_ == 0) {
        close_pending_ = false;
        close();
    }
}

void Main_Window::Cancel_Execution_Click() { state_.Cancel_Requested = true; }

void Main_Window::Cancel_Execution_MouseMove() {
    Set_Focus(Control::Cancel_Execution);
    support_->Show_Busy(false);
}

void Main_Window::Form_MouseMove() { support_->Show_Busy(!Enabled(Control::Start)); }

void Main_Window::mouseMoveEvent(QMouseEvent* event) {
    Form_MouseMove();
    QWidget::mouseMoveEvent(event);
}

bool Main_Window::eventFilter(QObject* watched, QEvent* event) {
    if (watched == control(Control::Cancel_Execution) && event->type() == QEvent::MouseMove) {
        Cancel_Execution_MouseMove();
        return true;  // the window behind the button must not turn the hourglass back on
    } else if (watched == control(Control::Tivoran) && event->type() == QEvent::MouseButtonRelease) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton &&
            control(Control::Tivoran)->rect().contains(mouse->position().toPoint()))
            Tivoran_Click();
    } else if (event->type() == QEvent::MouseButtonRelease &&
               watched == static_cast<QListWidget*>(control(Control::Error_List))->viewport()) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        Error_List_MouseUp(mouse->button(), mouse->globalPosition().toPoint());
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace zentrel::window
