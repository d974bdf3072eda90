#include <string_view>

#include "platform/folder_listing.h"

namespace zentrel::platform {

namespace {

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Length of the character starting at text[at]: a whole UTF-8 sequence, so
// that "?" stands for "ü" as it does for "u"; one byte where the name is not
// valid UTF-8.
size_t character_length(std::string_view text, size_t at) {
    unsigned char lead = static_cast<unsigned char>(text[at]);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 1;
    if (at + length > text.size()) return 1;
    for (size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(text[at + k]) & 0xC0) != 0x80) return 1;
    return length;
}

// Glob matching with one point of return for the last "*": linear in
// practice, and never exponential however many stars there are.
bool glob(std::string_view pattern, std::string_view name) {
    size_t p = 0, n = 0;
    size_t star = std::string_view::npos, star_name = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            star_name = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n += character_length(name, n);
        } else if (p < pattern.size() && fold(pattern[p]) == fold(name[n])) {
            ++p;
            ++n;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            star_name += character_length(name, star_name);
            n = star_name;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

bool wildcard_match(const std::string& pattern, const std::string& name) {
    if (pattern.find('/') != std::string::npos) return false;
    if (pattern.empty() || pattern == "*.*") return true;
    if (glob(pattern, name)) return true;
    // "name.*" also finds "name" without an extension.
    if (pattern.size() >= 2 && pattern.ends_with(".*"))
        return glob(std::string_view(pattern).substr(0, pattern.size() - 2), name);
    return false;
}

}  // namespace zentrel::platform
