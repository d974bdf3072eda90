#include "window/rate_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zentrel::window {

std::string Rate_Text(double copied, double total, double seconds, char decimal_separator) {
    if (seconds < 1 || copied <= 0) return {};
    double rate = copied / seconds;
    static const char* const units[] = {"B", "kB", "MB", "GB", "TB"};
    int unit = 0;
    for (double shown = rate; shown >= 1000 && unit < 4; shown /= 1000) ++unit;
    const double scaled = rate / std::pow(1000.0, unit);
    char text[96];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s/s" : "%.1f %s/s", scaled, units[unit]);
    std::string result = text;
    std::replace(result.begin(), result.end(), '.', decimal_separator);

    const long long left = std::llround(std::max(0.0, total - copied) / rate);
    if (left >= 3600)
        std::snprintf(text, sizeof text, ", noch %lld:%02lld:%02lld", left / 3600, left / 60 % 60, left % 60);
    else
        std::snprintf(text, sizeof text, ", noch %lld:%02lld", left / 60, left % 60);
    return result + text;
}

}  // namespace zentrel::window
