#include "support/support_routines.h"

#include <utility>

namespace zentrel::support {

Support_Routines::Support_Routines(Ui_Host& host, platform::File_System& fs, platform::Regional_Settings regional)
    : host_(&host), fs_(&fs), objects_(fs), regional_(std::move(regional)) {}

}  // namespace zentrel::support
