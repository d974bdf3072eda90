// Whether two files hold different bytes, read as they are now.
#pragma once

#include <string>

namespace zentrel::platform {

// True only when both files could be read to their ends and their bytes
// differ. A file that cannot be opened, or whose read fails midway (a share
// answering with an I/O error), tells nothing: false. Links are not
// followed.
bool contents_differ(const std::string& first, const std::string& second);

}  // namespace zentrel::platform
