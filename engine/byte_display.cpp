#include "engine/byte_display.h"

#include <cmath>
#include <cstdio>

namespace zentrel::engine {

namespace {

// A whole number prints without decimals and without grouping; a fraction
// (never a byte total, but the rule allows it) uses the regional separator.
std::string plain_number(double value, char decimal_separator) {
    char buffer[64];
    if (value == std::floor(value) && std::fabs(value) < 1e18) {
        std::snprintf(buffer, sizeof buffer, "%.0f", value);
        return buffer;
    }
    std::snprintf(buffer, sizeof buffer, "%.15g", value);
    std::string text = buffer;
    for (char& c : text)
        if (c == '.') c = decimal_separator;
    return text;
}

}  // namespace

Byte_Display_Text Byte_Display(double total, Byte_Count_Kind kind, const platform::Regional_Settings& regional) {
    const char* suffix = kind == Byte_Count_Kind::To_Copy ? " zu kopieren" : " kopiert";
    if (total > 1'000'000'000.0)
        return {platform::format_three_decimals(total / 1'000'000'000.0, regional), std::string("GBytes") + suffix};
    if (total > 1'000'000.0)
        return {platform::format_three_decimals(total / 1'000'000.0, regional), std::string("MBytes") + suffix};
    return {plain_number(total, regional.decimal_separator), std::string("Bytes") + suffix};
}

}  // namespace zentrel::engine
