#include "common/scripted_ui_host.h"

#include <gtest/gtest.h>

namespace zentrel::testing {

void Scripted_Ui_Host::Set_Pointer(support::Pointer_Shape shape) {
    pointer = shape;
    pointer_changes.push_back(shape);
}

void Scripted_Ui_Host::Process_Events() {
    ++events_processed;
    if (on_events) on_events();
}

int Scripted_Ui_Host::Show_Message_Box(const std::string& prompt, int buttons, const std::string& title) {
    boxes.push_back({prompt, buttons, title});
    if (!answers.empty()) {
        int code = answers.front();
        answers.pop_front();
        return code;
    }
    ADD_FAILURE() << "unexpected message box: " << prompt;
    switch (buttons & 7) {
        case support::Buttons_Abort_Retry_Ignore:
            return support::Answer_Abort;
        case support::Buttons_Yes_No:
            return support::Answer_No;
        case support::Buttons_Retry_Cancel:
            return support::Answer_Cancel;
        default:
            return support::Answer_OK;
    }
}

}  // namespace zentrel::testing
