#include <locale>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "platform/folder_listing.h"

namespace zentrel::platform {

namespace {

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

// The code point of the character at text[at] that is length bytes long;
// -1 for a byte that does not begin a valid UTF-8 sequence.
long code_point(std::string_view text, size_t at, size_t length) {
    unsigned char lead = static_cast<unsigned char>(text[at]);
    if (length == 1) return lead < 0x80 ? lead : -1;
    long value = lead & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) value = (value << 6) | (static_cast<unsigned char>(text[at + k]) & 0x3F);
    return value;
}

// Case rules for all of Unicode that do not depend on the user's locale:
// the C library's built-in UTF-8 locale, whose case mappings are
// Unicode's simple ones. nullptr where the C library has none.
const std::ctype<wchar_t>* unicode_case() {
    static const std::optional<std::locale> locale = []() -> std::optional<std::locale> {
        for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
            try {
                return std::locale(name);
            } catch (const std::runtime_error&) {
            }
        }
        return std::nullopt;
    }();
    return locale ? &std::use_facet<std::ctype<wchar_t>>(*locale) : nullptr;
}

// Simple case folding: upper then lower case maps every case variant of a
// letter ("Σ", "σ", "ς"; "K" and the Kelvin sign) onto one.
long fold(long c) {
    if (c < 0x80) return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
    const std::ctype<wchar_t>* rules = unicode_case();
    if (!rules) return c;
    return static_cast<long>(rules->tolower(rules->toupper(static_cast<wchar_t>(c))));
}

// Whether the characters at pattern[p] and name[n] are one letter, in any
// case; sets their lengths. A byte that is not valid UTF-8 matches only the
// same byte.
bool same_character(std::string_view pattern, size_t p, std::string_view name, size_t n, size_t& pattern_length,
                    size_t& name_length) {
    pattern_length = character_length(pattern, p);
    name_length = character_length(name, n);
    long a = code_point(pattern, p, pattern_length);
    long b = code_point(name, n, name_length);
    if (a < 0 || b < 0) return pattern[p] == name[n] && pattern_length == 1 && name_length == 1;
    return a == b || fold(a) == fold(b);
}

// Glob matching with one point of return for the last "*": linear in
// practice, and never exponential however many stars there are.
bool glob(std::string_view pattern, std::string_view name) {
    size_t p = 0, n = 0;
    size_t star = std::string_view::npos, star_name = 0;
    size_t pattern_length = 0, name_length = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            star_name = n;
        } else if (p < pattern.size() && pattern[p] == '?') {
            ++p;
            n += character_length(name, n);
        } else if (p < pattern.size() && same_character(pattern, p, name, n, pattern_length, name_length)) {
            p += pattern_length;
            n += name_length;
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
