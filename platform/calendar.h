// Proleptic Gregorian calendar arithmetic on day numbers (days since
// 1970-01-01), valid far beyond the years 100 to 9999 that dates use.
#pragma once

#include <cstdint>

namespace zentrel::platform::calendar {

constexpr bool is_leap_year(std::int64_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

constexpr int days_in_month(std::int64_t year, int month) {
    constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && is_leap_year(year) ? 29 : days[month - 1];
}

// Howard Hinnant's days_from_civil: shifting the year to start in March puts
// the leap day last, so every month but February has a fixed offset.
constexpr std::int64_t days_from_civil(std::int64_t year, int month, int day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t year_of_era = year - era * 400;
    const std::int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

struct Civil_Date {
    std::int64_t year;
    int month;
    int day;
};

constexpr Civil_Date civil_from_days(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t day_of_era = days - era * 146097;
    const std::int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const std::int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
    const int day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
    const int month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
    return {year_of_era + era * 400 + (month <= 2), month, day};
}

// Day number of 30 December 1899, day 0 of date values.
inline constexpr std::int64_t Date_Value_Epoch = days_from_civil(1899, 12, 30);

static_assert(days_from_civil(1970, 1, 1) == 0);
static_assert(Date_Value_Epoch == -25569);

}  // namespace zentrel::platform::calendar
