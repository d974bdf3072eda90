#include "window/qt_ui_host.h"

#include "window/display_text.h"
#include "window/main_window.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

#include <utility>
#include <vector>

namespace zentrel::window {

void Qt_Ui_Host::Set_Pointer(support::Pointer_Shape shape) {
    // One override at most: changed in place, never stacked, so a single
    // restore always brings back the widgets' own pointers.
    if (shape == support::Pointer_Shape::Hourglass) {
        if (QGuiApplication::overrideCursor())
            QGuiApplication::changeOverrideCursor(QCursor(Qt::WaitCursor));
        else
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    } else {
        while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
    }
}

void Qt_Ui_Host::Process_Events() {
    auto now = std::chrono::steady_clock::now();
    if (now - last_events_ < Event_Interval) return;
    last_events_ = now;
    // The texts the run set go to the labels before this turn paints.
    if (auto* form = qobject_cast<Main_Window*>(window_.data())) form->Show_Pending_Texts();
    QCoreApplication::processEvents();
    // Time spent in handlers run from here does not count towards the next turn.
    last_events_ = std::chrono::steady_clock::now();
}

void Qt_Ui_Host::Activate_Application() {
    if (!window_ || !window_->isVisible()) return;
    if (window_->isMinimized()) window_->showNormal();
    window_->raise();
    window_->activateWindow();
}

int Qt_Ui_Host::Show_Message_Box(const std::string& prompt, int buttons, const std::string& title) {
    QWidget* owner = window_ && window_->isVisible() ? window_.data() : nullptr;
    QMessageBox box(owner);
    box.setWindowTitle(to_display(title));
    box.setTextFormat(Qt::PlainText);  // paths may hold '<' or '&'
    box.setText(to_display(prompt));
    box.setIcon((buttons & 0x70) == support::Icon_Stop ? QMessageBox::Critical : QMessageBox::NoIcon);

    using Choice = std::pair<const char*, int>;
    std::vector<Choice> choices;
    int on_close = support::Answer_OK;  // the answer when the box is closed without a button
    switch (buttons & 0x0F) {
        case 1:
            choices = {{"OK", support::Answer_OK}, {"Abbrechen", support::Answer_Cancel}};
            on_close = support::Answer_Cancel;
            break;
        case support::Buttons_Abort_Retry_Ignore:
            choices = {{"Abbrechen", support::Answer_Abort},
                       {"Wiederholen", support::Answer_Retry},
                       {"Ignorieren", support::Answer_Ignore}};
            on_close = support::Answer_Abort;
            break;
        case support::Buttons_Yes_No_Cancel:
            choices = {
                {"Ja", support::Answer_Yes}, {"Nein", support::Answer_No}, {"Abbrechen", support::Answer_Cancel}};
            on_close = support::Answer_Cancel;
            break;
        case support::Buttons_Yes_No:
            choices = {{"Ja", support::Answer_Yes}, {"Nein", support::Answer_No}};
            on_close = support::Answer_No;
            break;
        case support::Buttons_Retry_Cancel:
            choices = {{"Wiederholen", support::Answer_Retry}, {"Abbrechen", support::Answer_Cancel}};
            on_close = support::Answer_Cancel;
            break;
        default:
            choices = {{"OK", support::Answer_OK}};
            break;
    }

    // The platform's Abort / Retry / Ignore box has no Escape answer and no
    // close button: one stray key must not end a whole run.
    const bool escapable = (buttons & 0x0F) != support::Buttons_Abort_Retry_Ignore;
    std::vector<std::pair<QAbstractButton*, int>> answers;
    for (const auto& [text, code] : choices) {
        QPushButton* button = box.addButton(QString::fromUtf8(text), QMessageBox::ActionRole);
        answers.emplace_back(button, code);
        if (escapable && code == on_close) box.setEscapeButton(button);
    }
    box.setDefaultButton(static_cast<QPushButton*>(answers.front().first));

    box.show();
    box.raise();
    box.activateWindow();
    box.exec();

    for (const auto& [button, code] : answers)
        if (box.clickedButton() == button) return code;
    return on_close;
}

}  // namespace zentrel::window
