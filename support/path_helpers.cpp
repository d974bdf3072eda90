#include "support/support_routines.h"

namespace zentrel::support {

// Positions are std::string's own size type, so no path is too long for
// this and nothing here can fail.
std::string Filepath(const std::string& Path, bool Add_Backslash) {
    const auto last = Path.rfind(Separator);
    if (last == std::string::npos) return {};
    std::string folder = Path.substr(0, last);
    if (Add_Backslash) folder += Separator;
    return folder;
}

std::string Trailing_Backslash(const std::string& Path, bool Remove) {
    const bool ends_in_separator = !Path.empty() && Path.back() == Separator;
    if (Remove) return ends_in_separator ? Path.substr(0, Path.size() - 1) : Path;
    return ends_in_separator ? Path : Path + Separator;
}

}  // namespace zentrel::support
