#include "platform/content_compare.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

namespace zentrel::platform {

bool contents_differ(const std::string& first, const std::string& second) {
    struct Descriptor {
        int fd;
        ~Descriptor() {
            if (fd >= 0) ::close(fd);
        }
    };
    const Descriptor a{::open(first.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)};
    const Descriptor b{::open(second.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)};
    if (a.fd < 0 || b.fd < 0) return false;
    // Reads a whole block, or up to the end: a short read is not the end.
    const auto fill = [](int fd, char* buffer, std::size_t size) -> ssize_t {
        std::size_t got = 0;
        while (got < size) {
            const ssize_t n = ::read(fd, buffer + got, size - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return -1;
            if (n == 0) break;
            got += static_cast<std::size_t>(n);
        }
        return static_cast<ssize_t>(got);
    };
    std::vector<char> x(65536), y(65536);
    for (;;) {
        const ssize_t in_a = fill(a.fd, x.data(), x.size());
        const ssize_t in_b = fill(b.fd, y.data(), y.size());
        if (in_a < 0 || in_b < 0) return false;
        if (in_a != in_b || !std::equal(x.begin(), x.begin() + in_a, y.begin())) return true;
        if (in_a == 0) return false;
    }
}

}  // namespace zentrel::platform
