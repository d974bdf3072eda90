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
    std::size_t start = 1;
    for (;;) {
        const std::size_t slash = path.find('/', start);
        const std::string_view part = path.substr(start, slash == std::string_view::npos ? slash : slash - start);
        if (part.empty() || part == "." || part == "..") return false;
        if (slash == std::string_view::npos) return true;
        start = slash + 1;
    }
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
