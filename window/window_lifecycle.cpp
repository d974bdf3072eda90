// Opening and closing the window, the cancel button and the busy pointer.
#include "settings/stored_settings.h"
#include "window/check_box_style.h"
#include "window/main_window.h"

#include <QCloseEvent>
#include <QEvent>
#include <QKeyEvent>
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
    if (running_ > 0 && !close_pending_) {
        // The job runs inside a handler further down this thread's stack and
        // works on this window, so the window stays until it returns; the
        // user says whether it ends after the file under way or runs on.
        const int answer = support_->Message_Box(
            "Die Ausführung läuft noch. Nach der aktuellen Datei abbrechen und das Fenster schließen?\r\n"
            "Nein: die Ausführung zu Ende laufen lassen und das Fenster dann schließen.",
            support::Buttons_Yes_No_Cancel | support::Icon_Question);
        if (answer != support::Answer_Yes && answer != support::Answer_No) {
            event->ignore();
            return;
        }
        if (answer == support::Answer_Yes) Cancel_Execution_Click();
        close_pending_ = true;
        setWindowTitle(QStringLiteral("Zentrel - wird nach Ende der Ausführung beendet"));
    }
    if (!unloaded_) {
        unloaded_ = true;
        Form_Unload();
    }
    if (running_ > 0) {
        event->ignore();
        return;
    }
    event->accept();
}

void Main_Window::changeEvent(QEvent* event) {
    // A theme changed while the window is open: the list follows it, readable.
    if (event->type() == QEvent::PaletteChange)
        control(Control::Error_List)->setPalette(Readable_List_Palette(palette()));
    QWidget::changeEvent(event);
}

void Main_Window::keyPressEvent(QKeyEvent* event) {
    // Escape stops a job, but only when the user confirms: a key pressed by
    // mistake must not end a backup of hours.
    if (event->key() == Qt::Key_Escape && running_ > 0 && Visible(Control::Cancel_Execution)) {
        if (support_->Message_Box("Ausführung abbrechen?", support::Buttons_Yes_No | support::Icon_Question) ==
            support::Answer_Yes)
            Cancel_Execution_Click();
        return;
    }
    QWidget::keyPressEvent(event);
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
