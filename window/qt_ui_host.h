// The UI host of the real window: Qt message boxes with German buttons, the
// application-wide override cursor as the busy pointer, and pending events
// handled at most once per screen refresh.
#pragma once

#include "support/ui_host.h"

#include <QPointer>
#include <QWidget>

#include <chrono>

namespace zentrel::window {

class Qt_Ui_Host : public support::Ui_Host {
public:
    // The interval below which Process_Events skips a call: about one
    // refresh of a 60 Hz screen.
    static constexpr std::chrono::milliseconds Event_Interval{15};

    explicit Qt_Ui_Host(QWidget* window = nullptr) : window_(window) {}
    void set_window(QWidget* window) { window_ = window; }

    void Set_Pointer(support::Pointer_Shape shape) override;
    void Process_Events() override;
    void Activate_Application() override;
    int Show_Message_Box(const std::string& prompt, int buttons, const std::string& title) override;

private:
    QPointer<QWidget> window_;
    std::chrono::steady_clock::time_point last_events_{};
};

}  // namespace zentrel::window
