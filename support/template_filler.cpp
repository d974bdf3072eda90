#include "support/support_routines.h"

#include <exception>
#include <string_view>

namespace zentrel::support {

namespace {

// Replaces every occurrence from left to right. Scanning resumes behind the
// inserted value, so a value that contains its own placeholder is taken as
// text and cannot make the loop run forever.
std::string replace_every(const std::string& text, std::string_view placeholder, std::string_view value) {
    std::string result;
    result.reserve(text.size());
    std::string::size_type from = 0;
    for (auto at = text.find(placeholder); at != std::string::npos; at = text.find(placeholder, from)) {
        result.append(text, from, at - from);
        result.append(value);
        from = at + placeholder.size();
    }
    result.append(text, from, std::string::npos);
    return result;
}

}  // namespace

// Each step works on the result of the one before: a "$cr" inside the first
// value still becomes a line break, while "$n1" inside the third stays text.
std::string Support_Routines::LT3(const std::string& Template, const std::string& Value1, const std::string& Value2,
                                  const std::string& Value3) {
    try {
        std::string text = replace_every(Template, "$n1", Value1);
        text = replace_every(text, "$n2", Value2);
        text = replace_every(text, "$n3", Value3);
        return replace_every(text, "$cr", "\r\n");
    } catch (const std::exception& failure) {
        Message_Box(std::string("Err in ") + "LT3" + ": " + failure.what(), Buttons_OK);
        return Template;
    }
}

}  // namespace zentrel::support
