#include "platform/locale_rules.h"

#include <cstring>
#include <string>

namespace zentrel::platform {

namespace {

// The composite conversions that appear in D_FMT and T_FMT.
std::string expand(const char* format) {
    std::string out;
    for (const char* p = format; p && *p; ++p) {
        if (p[0] == '%' && p[1] != '\0') {
            switch (p[1]) {
                case 'D':
                    out += "%m/%d/%y";
                    ++p;
                    continue;
                case 'F':
                    out += "%Y-%m-%d";
                    ++p;
                    continue;
                case 'T':
                    out += "%H:%M:%S";
                    ++p;
                    continue;
                case 'R':
                    out += "%H:%M";
                    ++p;
                    continue;
                case 'r':
                    out += "%I:%M:%S %p";
                    ++p;
                    continue;
                default:
                    break;
            }
        }
        out += *p;
    }
    return out;
}

struct Conversion {
    char letter = 0;
    bool padded = true;  // no '-' or '_' flag
};

// Walks a strftime format, calling on_conversion for every conversion and
// on_literal for every byte between them.
template <typename Conv, typename Lit>
void walk(const std::string& format, Conv on_conversion, Lit on_literal) {
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%') {
            on_literal(format[i]);
            continue;
        }
        Conversion c;
        ++i;
        while (i < format.size() && std::strchr("-_0^#", format[i])) {
            if (format[i] == '-' || format[i] == '_') c.padded = false;
            ++i;
        }
        while (i < format.size() && (format[i] >= '0' && format[i] <= '9')) ++i;
        if (i < format.size() && (format[i] == 'E' || format[i] == 'O')) ++i;
        if (i >= format.size()) return;
        c.letter = format[i];
        on_conversion(c);
    }
}

bool is_separator_byte(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u > ' ' && u < 0x80 && !(c >= '0' && c <= '9') && !(c >= 'A' && c <= 'Z') && !(c >= 'a' && c <= 'z');
}

void apply_date_format(const char* d_fmt, Regional_Settings& rules) {
    enum Field { Day, Month, Year };
    Field order[3];
    int fields = 0;
    char separator = 0;
    bool day_zero = true, month_zero = true, four_digit = true;
    bool other_field = false;
    walk(
        expand(d_fmt),
        [&](Conversion c) {
            switch (c.letter) {
                case 'd':
                case 'e':
                    if (fields < 3) order[fields++] = Day;
                    day_zero = c.letter == 'd' && c.padded;
                    break;
                case 'm':
                    if (fields < 3) order[fields++] = Month;
                    month_zero = c.padded;
                    break;
                case 'y':
                case 'Y':
                    if (fields < 3) order[fields++] = Year;
                    four_digit = c.letter == 'Y';
                    break;
                default:
                    other_field = true;
                    break;
            }
        },
        [&](char c) {
            if (fields >= 1 && fields < 3 && separator == 0 && is_separator_byte(c)) separator = c;
        });
    if (fields != 3 || other_field || separator == 0) return;
    if (order[0] == Day && order[1] == Month && order[2] == Year)
        rules.date_order = Date_Order::Day_Month_Year;
    else if (order[0] == Month && order[1] == Day && order[2] == Year)
        rules.date_order = Date_Order::Month_Day_Year;
    else if (order[0] == Year && order[1] == Month && order[2] == Day)
        rules.date_order = Date_Order::Year_Month_Day;
    else
        return;
    rules.date_separator = separator;
    rules.leading_zero_day = day_zero;
    rules.leading_zero_month = month_zero;
    rules.four_digit_year = four_digit;
}

void apply_time_format(const char* t_fmt, Regional_Settings& rules) {
    int conversions = 0;
    char separator = 0;
    walk(
        expand(t_fmt), [&](Conversion) { ++conversions; },
        [&](char c) {
            if (conversions == 1 && separator == 0 && is_separator_byte(c)) separator = c;
        });
    if (separator != 0) rules.time_separator = separator;
}

// A single byte, or 0 for a text that is empty or longer (a multibyte
// separator such as the narrow no-break space cannot be typed as one byte).
char single_byte(const char* text) { return text && text[0] != '\0' && text[1] == '\0' ? text[0] : '\0'; }

}  // namespace

Regional_Settings rules_from_langinfo(const char* d_fmt, const char* t_fmt, const char* radix, const char* thousands) {
    Regional_Settings rules;
    apply_date_format(d_fmt, rules);
    apply_time_format(t_fmt, rules);
    if (char r = single_byte(radix); r != '\0') rules.decimal_separator = r;
    rules.thousands_separator = single_byte(thousands);
    if (rules.thousands_separator == rules.decimal_separator) rules.thousands_separator = '\0';
    return rules;
}

}  // namespace zentrel::platform
