// Dates as the user types them and as the window shows them.
#include "platform/calendar.h"
#include "platform/date_value.h"
#include "platform/regional.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

namespace zentrel::platform {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && is_blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back())) text.remove_suffix(1);
    return text;
}

// A run of 1 to max_digits digits.
struct Number {
    int value;
    int digits;
};

// Splits text at separator into numbers; nullopt when a part is empty, too
// long or not all digits.
std::optional<std::vector<Number>> numbers(std::string_view text, char separator, int max_digits) {
    std::vector<Number> parts;
    std::size_t start = 0;
    while (true) {
        std::size_t end = text.find(separator, start);
        std::string_view part =
            text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (part.empty() || part.size() > static_cast<std::size_t>(max_digits)) return std::nullopt;
        int value = 0;
        for (char c : part) {
            if (!is_digit(c)) return std::nullopt;
            value = value * 10 + (c - '0');
        }
        parts.push_back({value, static_cast<int>(part.size())});
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

// "H:MM" or "H:MM:SS", as seconds of the day.
std::optional<int> parse_time(std::string_view text, const Regional_Settings& rules) {
    auto parts = numbers(text, rules.time_separator, 2);
    if (!parts || parts->size() < 2 || parts->size() > 3) return std::nullopt;
    const int hour = (*parts)[0].value, minute = (*parts)[1].value;
    const int second = parts->size() == 3 ? (*parts)[2].value : 0;
    if (hour > 23 || minute > 59 || second > 59) return std::nullopt;
    return hour * 3600 + minute * 60 + second;
}

struct Day {
    int year, month, day;
};

std::optional<Day> parse_day(std::string_view text, const Regional_Settings& rules) {
    auto parts = numbers(text, rules.date_separator, 4);
    if (!parts || parts->size() != 3) return std::nullopt;
    Number year{}, month{}, day{};
    switch (rules.date_order) {
        case Date_Order::Day_Month_Year:
            day = (*parts)[0], month = (*parts)[1], year = (*parts)[2];
            break;
        case Date_Order::Month_Day_Year:
            month = (*parts)[0], day = (*parts)[1], year = (*parts)[2];
            break;
        case Date_Order::Year_Month_Day:
            year = (*parts)[0], month = (*parts)[1], day = (*parts)[2];
            break;
    }
    if (day.digits > 2 || month.digits > 2) return std::nullopt;
    // Short years in the window Windows uses: 00-29 are 2000-2029, 30-99 are 1930-1999.
    if (year.digits <= 2) year.value += year.value < 30 ? 2000 : 1900;
    if (year.value < 100 || year.value > 9999 || month.value < 1 || month.value > 12 || day.value < 1 ||
        day.value > calendar::days_in_month(year.value, month.value))
        return std::nullopt;
    return Day{year.value, month.value, day.value};
}

// The international form, understood whatever the regional one:
// "2026-12-08", with a time after a blank or a "T" ("2026-12-08T14:30:05").
std::optional<double> parse_iso_date(std::string_view text, const Regional_Settings& rules) {
    if (text.size() < 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    Regional_Settings iso = rules;
    iso.date_order = Date_Order::Year_Month_Day;
    iso.date_separator = '-';
    iso.time_separator = ':';
    auto day = parse_day(text.substr(0, 10), iso);
    if (!day) return std::nullopt;
    if (text.size() == 10) return make_date_value(day->year, day->month, day->day);
    if (text[10] != 'T' && !is_blank(text[10])) return std::nullopt;
    auto time = parse_time(trimmed(text.substr(11)), iso);
    if (!time) return std::nullopt;
    return make_date_value(day->year, day->month, day->day, 0, 0, *time);
}

}  // namespace

std::optional<double> parse_date(const std::string& text, const Regional_Settings& rules) {
    const std::string_view all = trimmed(text);
    if (all.empty()) return std::nullopt;

    std::size_t blank = 0;
    while (blank < all.size() && !is_blank(all[blank])) ++blank;
    if (blank < all.size()) {
        auto day = parse_day(all.substr(0, blank), rules);
        auto time = parse_time(trimmed(all.substr(blank)), rules);
        if (!day || !time) return parse_iso_date(all, rules);
        return make_date_value(day->year, day->month, day->day, 0, 0, *time);
    }
    if (auto day = parse_day(all, rules)) return make_date_value(day->year, day->month, day->day);
    // A time alone is that time on day 0, as Windows reads it.
    if (auto time = parse_time(all, rules)) return make_date_value(1899, 12, 30, 0, 0, *time);
    return parse_iso_date(all, rules);
}

std::string format_date(double date, const Regional_Settings& rules) {
    if (!std::isfinite(date)) return {};
    const Date_Parts parts = split_date_value(date);
    char day[8], month[8], year[16];
    std::snprintf(day, sizeof day, rules.leading_zero_day ? "%02d" : "%d", parts.day);
    std::snprintf(month, sizeof month, rules.leading_zero_month ? "%02d" : "%d", parts.month);
    if (rules.four_digit_year)
        std::snprintf(year, sizeof year, "%04d", parts.year);
    else
        std::snprintf(year, sizeof year, "%02d", ((parts.year % 100) + 100) % 100);

    const char s = rules.date_separator;
    std::string text;
    switch (rules.date_order) {
        case Date_Order::Day_Month_Year:
            text = std::string(day) + s + month + s + year;
            break;
        case Date_Order::Month_Day_Year:
            text = std::string(month) + s + day + s + year;
            break;
        case Date_Order::Year_Month_Day:
            text = std::string(year) + s + month + s + day;
            break;
    }
    if (parts.hour != 0 || parts.minute != 0 || parts.second != 0) {
        char time[32];
        const char t = rules.time_separator;
        std::snprintf(time, sizeof time, " %02d%c%02d%c%02d", parts.hour, t, parts.minute, t, parts.second);
        text += time;
    }
    return text;
}

}  // namespace zentrel::platform
