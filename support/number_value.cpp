#include "support/support_routines.h"

#include <algorithm>
#include <cmath>

namespace zentrel::support {

// Stored numbers use "." as their decimal point whatever the user's rules
// are, so the point is turned into the regional decimal separator before the
// regional parser reads the text. Turning it into a fixed "," would make
// "1.5" read as fifteen wherever "," groups thousands.
double Num_Value(const std::string& Value, const platform::Regional_Settings& regional) {
    std::string text = Value;
    std::replace(text.begin(), text.end(), '.', regional.decimal_separator);
    if (text.empty() || text == "0") return 0;
    try {
        const auto number = platform::parse_number(text, regional);
        // An infinite or NaN result is no number a caller can round to a
        // check state or a count.
        if (!number || !std::isfinite(*number)) return 0;
        return *number;
    } catch (...) {
        return 0;
    }
}

}  // namespace zentrel::support
