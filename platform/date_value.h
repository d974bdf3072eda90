// Date values: days since 30 December 1899 as a double, the fraction being
// the time of day, in local time.
#pragma once

#include "platform/file_system.h"

namespace zentrel::platform {

double date_value_from_file_time(File_Time time);
File_Time file_time_from_date_value(double date);

// Calendar parts to a date value and back; nullopt-free: callers check ranges.
double make_date_value(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);
struct Date_Parts {
    int year, month, day, hour, minute, second;
};
Date_Parts split_date_value(double date);

}  // namespace zentrel::platform
