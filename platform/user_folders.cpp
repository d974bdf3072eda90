#include "platform/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace zentrel::platform {

std::string xdg_folder(const char* variable, const char* below_home) {
    const char* set = std::getenv(variable);
    // The XDG rules ignore a relative path.
    if (set && set[0] == '/') return set;
    const char* home = std::getenv("HOME");
    std::string folder = home ? home : "";
    if (folder.empty()) {
        if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) folder = entry->pw_dir;
    }
    return folder + "/" + below_home;
}

}  // namespace zentrel::platform
