#include "support/support_routines.h"

namespace zentrel::support {

// Every long-running routine calls this; the event turn is what keeps the
// window painting and the cancel button clickable while work runs on the
// window's own thread.
void Support_Routines::Show_Busy(bool Busy) {
    host_->Set_Pointer(Busy ? Pointer_Shape::Hourglass : Pointer_Shape::Default);
    host_->Process_Events();
}

}  // namespace zentrel::support
