// Regional settings for dates and numbers.
#pragma once

#include <optional>
#include <string>

namespace zentrel::platform {

enum class Date_Order { Day_Month_Year, Month_Day_Year, Year_Month_Day };

struct Regional_Settings {
    char decimal_separator = '.';
    char thousands_separator = ',';
    Date_Order date_order = Date_Order::Month_Day_Year;
    char date_separator = '/';
    char time_separator = ':';
    bool leading_zero_day = true;  // short date form "01.02.2024" rather than "1.2.2024"
    bool leading_zero_month = true;
    bool four_digit_year = true;

    // From the user's LC_TIME and LC_NUMERIC.
    static Regional_Settings from_environment();
    // The German rules (decimal ",", "dd.MM.yyyy", time "HH:mm:ss"); tests use these.
    static Regional_Settings german();
};

// A date typed or stored as text, read by the regional rules: a date in the
// regional order with its separator, optionally followed by a time of day;
// or a time alone; or the international form "2026-12-08" with an optional
// time ("2026-12-08 14:30", "2026-12-08T14:30:05"). nullopt when the text is
// no date (also when empty).
std::optional<double> parse_date(const std::string& text, const Regional_Settings& rules);

// The regional short date form, followed by the time of day when the value
// has one.
std::string format_date(double date, const Regional_Settings& rules);

// A number in the pattern "0.000": at least one digit before the decimal
// separator, exactly three after it.
std::string format_three_decimals(double value, const Regional_Settings& rules);

// A decimal number as text by the regional rules (its decimal separator,
// optional thousands separators, sign, exponent); nullopt when it is none.
std::optional<double> parse_number(const std::string& text, const Regional_Settings& rules);

}  // namespace zentrel::platform
