// Date and time of day as the cabinet writes them: short date dd/mm/yyyy, long time HH:MM:SS (24 h).
#pragma once

#include <string>

namespace quizhost {

struct date_time {
    int year = 1970;
    int month = 1;  // 1 to 12
    int day = 1;    // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;

    int seconds_of_day() const { return hour * 3600 + minute * 60 + second; }
    friend bool operator==(const date_time&, const date_time&) = default;
};

std::string short_date(const date_time& t);     // 07/12/2026
std::string long_time(const date_time& t);      // 14:05:09
std::string hiscore_stamp(const date_time& t);  // 17:45 07/12/2026
std::string meter_stamp(const date_time& t);    // 14:33:11 07/12/2026

// Adds whole seconds, carrying into the date (for the fixed clock of tests).
date_time add_seconds(const date_time& t, long long seconds);

}  // namespace quizhost
