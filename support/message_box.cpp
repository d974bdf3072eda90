#include "support/support_routines.h"

namespace zentrel::support {

// A question raised deep inside a long job must be seen and answerable: the
// window comes to the front and the hourglass goes before the box opens.
int Support_Routines::Message_Box(const std::string& Prompt, int Buttons, const std::string& Title) {
    host_->Activate_Application();
    Show_Busy(false);
    return host_->Show_Message_Box(Prompt, Buttons, Title.empty() ? std::string(Application_Title) : Title);
}

void Support_Routines::Show_Message(const std::string& Text) {
    if (Text.empty()) return;
    Message_Box(Text, Buttons_OK);
}

}  // namespace zentrel::support
