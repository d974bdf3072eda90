#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_objects.h"

namespace zentrel::platform {

namespace {

// Absolute, with no empty, "." or ".." component: already as normalize_path
// would give it back. Most paths a run looks up are.
bool is_normal(std::string_view path) {
    if (path.empty() || path[0] != '/') return false;
    if (path.size() == 1) return true;
    // Every separator starts a component that must be neither empty, "."
    // nor "..".
    const std::size_t size = path.size();
    for (std::size_t at = 0; at < size; ++at) {
        if (path[at] != '/') continue;
        const std::size_t left = size - at - 1;
        const char* part = path.data() + at + 1;
        if (left == 0 || part[0] == '/') return false;
        if (part[0] != '.') continue;
        if (left == 1 || part[1] == '/') return false;
        if (part[1] == '.' && (left == 2 || part[2] == '/')) return false;
    }
    return true;
}

}  // namespace

std::string normalize_path(const std::string& path) {
    if (is_normal(path)) return path;
    std::string absolute = path;
    if (absolute.empty() || absolute[0] != '/') {
        // Relative paths count from the current directory, as the kernel
        // would resolve them.
        std::string cwd = "/";
        if (char* current = ::getcwd(nullptr, 0)) {
            cwd = current;
            std::free(current);
        }
        absolute = cwd + "/" + absolute;
    }

    std::vector<std::string_view> parts;
    std::string_view rest(absolute);
    while (!rest.empty()) {
        auto slash = rest.find('/');
        std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();  // ".." of "/" is "/"
            continue;
        }
        parts.push_back(part);
    }

    if (parts.empty()) return "/";
    std::string result;
    result.reserve(absolute.size());
    for (auto part : parts) {
        result += '/';
        result += part;
    }
    return result;
}

}  // namespace zentrel::platform
