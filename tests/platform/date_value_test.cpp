#include "platform/date_value.h"

#include "platform/calendar.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace zentrel::platform {
namespace {

// Runs a test body under a time zone given as a POSIX rule, which needs no
// zone database, and restores the previous zone afterwards.
class Time_Zone {
public:
    explicit Time_Zone(const char* rule) {
        if (const char* old = std::getenv("TZ")) saved_ = old, had_ = true;
        setenv("TZ", rule, 1);
        tzset();
    }
    ~Time_Zone() {
        if (had_)
            setenv("TZ", saved_.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string saved_;
    bool had_ = false;
};

constexpr const char* Central_European = "CET-1CEST,M3.5.0,M10.5.0/3";

std::int64_t utc_seconds(int year, int month, int day, int hour, int minute = 0, int second = 0) {
    return calendar::days_from_civil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

TEST(Date_Value, CalendarDaysCountFromTheThirtiethOfDecember1899) {
    EXPECT_EQ(make_date_value(1899, 12, 30), 0.0);
    EXPECT_EQ(make_date_value(1900, 1, 1), 2.0);
    EXPECT_EQ(make_date_value(2024, 1, 1), 45292.0);
    EXPECT_EQ(make_date_value(2024, 2, 29, 12), 45351.5);
    EXPECT_EQ(make_date_value(9999, 12, 31), 2958465.0);
    EXPECT_EQ(make_date_value(100, 1, 1), -657434.0);
}

TEST(Date_Value, BeforeDayZeroTheFractionIsStillTheTimeOfDay) {
    EXPECT_EQ(make_date_value(1899, 12, 29, 6), -1.25);
    EXPECT_EQ(make_date_value(1899, 12, 29), -1.0);
    EXPECT_EQ(make_date_value(1800, 1, 1, 18), -36522.75);

    Date_Parts parts = split_date_value(-1.25);
    EXPECT_EQ(parts.year, 1899);
    EXPECT_EQ(parts.month, 12);
    EXPECT_EQ(parts.day, 29);
    EXPECT_EQ(parts.hour, 6);

    // -0.5 and 0.5 are both noon of day 0.
    parts = split_date_value(-0.5);
    EXPECT_EQ(parts.day, 30);
    EXPECT_EQ(parts.hour, 12);
}

TEST(Date_Value, TimesPastMidnightCarryIntoTheNextDay) {
    EXPECT_EQ(make_date_value(2024, 1, 1, 24, 0, 0), make_date_value(2024, 1, 2));
    EXPECT_EQ(make_date_value(2024, 12, 31, 23, 59, 60), make_date_value(2025, 1, 1));
    // Just below a whole day rounds up to the next midnight, before and after day 0.
    Date_Parts parts = split_date_value(45292.0 + 0.9999999999);
    EXPECT_EQ(parts.day, 2);
    EXPECT_EQ(parts.hour, 0);
    parts = split_date_value(-2.9999999999);
    EXPECT_EQ(parts.year, 1899);
    EXPECT_EQ(parts.day, 29);
    EXPECT_EQ(parts.hour, 0);
}

TEST(Date_Value, PartsComeBackExactlyAtWholeSecondsOverAllYears) {
    for (int year : {100, 1066, 1899, 1900, 1970, 2024, 2038, 5000, 9999})
        for (int second_of_day : {0, 1, 3599, 43200, 86399}) {
            const int h = second_of_day / 3600, m = second_of_day / 60 % 60, s = second_of_day % 60;
            const Date_Parts parts = split_date_value(make_date_value(year, 7, 31, h, m, s));
            EXPECT_EQ(parts.year, year);
            EXPECT_EQ(parts.month, 7);
            EXPECT_EQ(parts.day, 31);
            EXPECT_EQ(parts.hour * 3600 + parts.minute * 60 + parts.second, second_of_day) << year;
        }
}

TEST(Date_Value, FileTimesRoundTripAtWholeSeconds) {
    Time_Zone utc("UTC0");
    // Every 7919 seconds from 1901 to 2100 plus a few far ones.
    for (std::int64_t t = utc_seconds(1901, 1, 1, 0); t < utc_seconds(2100, 1, 1, 0); t += 7919 * 97) {
        const File_Time time{t, 0};
        ASSERT_EQ(file_time_from_date_value(date_value_from_file_time(time)), time) << t;
    }
    for (std::int64_t t :
         {utc_seconds(100, 1, 1, 0), utc_seconds(1850, 6, 1, 8, 30), utc_seconds(9999, 12, 31, 23, 59, 59)}) {
        const File_Time time{t, 0};
        EXPECT_EQ(file_time_from_date_value(date_value_from_file_time(time)), time) << t;
    }
    EXPECT_EQ(date_value_from_file_time({utc_seconds(1850, 6, 1, 6), 0}), make_date_value(1850, 6, 1, 6));
}

TEST(Date_Value, LocalTimeFollowsDaylightSavingTime) {
    Time_Zone cet(Central_European);
    // Winter: UTC+1; summer: UTC+2.
    EXPECT_EQ(date_value_from_file_time({utc_seconds(2024, 1, 15, 11), 0}), make_date_value(2024, 1, 15, 12));
    EXPECT_EQ(date_value_from_file_time({utc_seconds(2024, 7, 15, 10), 0}), make_date_value(2024, 7, 15, 12));
    EXPECT_EQ(file_time_from_date_value(make_date_value(2024, 1, 15, 12)),
              (File_Time{utc_seconds(2024, 1, 15, 11), 0}));
    EXPECT_EQ(file_time_from_date_value(make_date_value(2024, 7, 15, 12)),
              (File_Time{utc_seconds(2024, 7, 15, 10), 0}));

    // The hour repeated when the clocks go back shows the same local time twice.
    const double twice = make_date_value(2024, 10, 27, 2, 30);
    EXPECT_EQ(date_value_from_file_time({utc_seconds(2024, 10, 27, 0, 30), 0}), twice);
    EXPECT_EQ(date_value_from_file_time({utc_seconds(2024, 10, 27, 1, 30), 0}), twice);
    const File_Time back = file_time_from_date_value(twice);
    EXPECT_TRUE(back.seconds == utc_seconds(2024, 10, 27, 0, 30) || back.seconds == utc_seconds(2024, 10, 27, 1, 30));

    // A time the clocks skipped still names an instant next to the gap.
    const File_Time skipped = file_time_from_date_value(make_date_value(2024, 3, 31, 2, 30));
    EXPECT_GE(skipped.seconds, utc_seconds(2024, 3, 31, 0, 30));
    EXPECT_LE(skipped.seconds, utc_seconds(2024, 3, 31, 1, 30));
}

TEST(Date_Value, FractionsOfASecondSurviveToTheMicrosecond) {
    Time_Zone utc("UTC0");
    const File_Time time{utc_seconds(2024, 5, 5, 5, 5, 5), 500'000'000};
    const double date = date_value_from_file_time(time);
    EXPECT_GT(date, make_date_value(2024, 5, 5, 5, 5, 5));
    EXPECT_LT(date, make_date_value(2024, 5, 5, 5, 5, 6));
    const File_Time back = file_time_from_date_value(date);
    EXPECT_EQ(back.seconds, time.seconds);
    EXPECT_NEAR(static_cast<double>(back.nanoseconds), 500'000'000.0, 10'000.0);
}

}  // namespace
}  // namespace zentrel::platform
