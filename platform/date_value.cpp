#include "platform/date_value.h"

#include "platform/calendar.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <limits>

namespace zentrel::platform {

namespace {

constexpr std::int64_t Seconds_Per_Day = 86400;
constexpr std::int64_t Nanoseconds_Per_Second = 1'000'000'000;
constexpr std::int64_t Nanoseconds_Per_Day = Seconds_Per_Day * Nanoseconds_Per_Second;

// A date value's sign belongs to its day only: -1.25 is 29 December 1899,
// 06:00, not 18:00. So the fraction is added away from zero.
double join(std::int64_t day, double fraction_of_day) {
    return day >= 0 ? static_cast<double>(day) + fraction_of_day : static_cast<double>(day) - fraction_of_day;
}

struct Day_And_Time {
    std::int64_t day;          // days since 1899-12-30
    std::int64_t nanoseconds;  // of that day, 0 .. one day - 1
};

// The finest step a double of this size still tells apart, as a power of ten
// in nanoseconds. Rounding to it makes a time that was a whole second come
// back as that whole second, whatever the rounding of the double did.
std::int64_t rounding_step(double date) {
    const double magnitude = std::fabs(date);
    const double spacing_ns =
        (std::nextafter(magnitude, std::numeric_limits<double>::infinity()) - magnitude) * Nanoseconds_Per_Day;
    std::int64_t step = 1;
    while (step < Nanoseconds_Per_Second && static_cast<double>(step) < 2 * spacing_ns) step *= 10;
    return step;
}

Day_And_Time split(double date) {
    if (!std::isfinite(date)) return {0, 0};
    const double whole = std::trunc(date);
    const double fraction = std::fabs(date - whole);
    const std::int64_t step = rounding_step(date);
    std::int64_t nanoseconds = std::llround(fraction * Nanoseconds_Per_Day / static_cast<double>(step)) * step;
    auto day = static_cast<std::int64_t>(whole);
    // 24:00 of one day is 00:00 of the next, for negative days too.
    if (nanoseconds >= Nanoseconds_Per_Day) {
        nanoseconds -= Nanoseconds_Per_Day;
        day += 1;
    }
    return {day, nanoseconds};
}

}  // namespace

double make_date_value(int year, int month, int day, int hour, int minute, int second) {
    std::int64_t days = calendar::days_from_civil(year, month, day) - calendar::Date_Value_Epoch;
    std::int64_t seconds = std::int64_t{hour} * 3600 + std::int64_t{minute} * 60 + second;
    // Times past midnight carry into the day, so the fraction stays a time of day.
    const std::int64_t carry =
        seconds >= 0 ? seconds / Seconds_Per_Day : -((-seconds + Seconds_Per_Day - 1) / Seconds_Per_Day);
    days += carry;
    seconds -= carry * Seconds_Per_Day;
    return join(days, static_cast<double>(seconds) / Seconds_Per_Day);
}

Date_Parts split_date_value(double date) {
    Day_And_Time parts = split(date);
    // Whole seconds: half a second or more counts as the next one.
    std::int64_t seconds = (parts.nanoseconds + Nanoseconds_Per_Second / 2) / Nanoseconds_Per_Second;
    if (seconds >= Seconds_Per_Day) {
        seconds -= Seconds_Per_Day;
        parts.day += 1;
    }
    const calendar::Civil_Date civil = calendar::civil_from_days(parts.day + calendar::Date_Value_Epoch);
    return {static_cast<int>(civil.year),
            civil.month,
            civil.day,
            static_cast<int>(seconds / 3600),
            static_cast<int>(seconds / 60 % 60),
            static_cast<int>(seconds % 60)};
}

double date_value_from_file_time(File_Time time) {
    const std::time_t seconds = static_cast<std::time_t>(time.seconds);
    std::tm local{};
    if (!localtime_r(&seconds, &local)) {
        // Beyond what the time zone rules cover: take the time as it stands.
        const std::int64_t day = time.seconds >= 0 ? time.seconds / Seconds_Per_Day
                                                   : -((-time.seconds + Seconds_Per_Day - 1) / Seconds_Per_Day);
        const std::int64_t of_day = time.seconds - day * Seconds_Per_Day;
        return join(day - calendar::Date_Value_Epoch,
                    (static_cast<double>(of_day) + static_cast<double>(time.nanoseconds) / Nanoseconds_Per_Second) /
                        Seconds_Per_Day);
    }
    const std::int64_t day =
        calendar::days_from_civil(std::int64_t{local.tm_year} + 1900, local.tm_mon + 1, local.tm_mday) -
        calendar::Date_Value_Epoch;
    const std::int64_t of_day = std::int64_t{local.tm_hour} * 3600 + local.tm_min * 60 + local.tm_sec;
    // A leap second (tm_sec 60) would reach the next day; keep it in this one.
    const double fraction =
        std::min((static_cast<double>(of_day) + static_cast<double>(time.nanoseconds) / Nanoseconds_Per_Second) /
                     Seconds_Per_Day,
                 std::nextafter(1.0, 0.0));
    return join(day, fraction);
}

File_Time file_time_from_date_value(double date) {
    const Day_And_Time parts = split(date);
    const calendar::Civil_Date civil = calendar::civil_from_days(parts.day + calendar::Date_Value_Epoch);
    const std::int64_t seconds_of_day = parts.nanoseconds / Nanoseconds_Per_Second;
    std::tm local{};
    local.tm_year = static_cast<int>(civil.year - 1900);
    local.tm_mon = civil.month - 1;
    local.tm_mday = civil.day;
    local.tm_hour = static_cast<int>(seconds_of_day / 3600);
    local.tm_min = static_cast<int>(seconds_of_day / 60 % 60);
    local.tm_sec = static_cast<int>(seconds_of_day % 60);
    // Let the time zone rules decide whether daylight saving time applies; a
    // time that a clock change skipped comes out as the time after the change.
    local.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&local);
    return {static_cast<std::int64_t>(seconds), parts.nanoseconds % Nanoseconds_Per_Second};
}

}  // namespace zentrel::platform
