#include "basic/date_time.hpp"

#include <fmt/format.h>
#include <chrono>

namespace quizhost {

std::string short_date(const date_time& t) { return fmt::format("{:02}/{:02}/{:04}", t.day, t.month, t.year); }
std::string long_time(const date_time& t) { return fmt::format("{:02}:{:02}:{:02}", t.hour, t.minute, t.second); }
std::string hiscore_stamp(const date_time& t) { return fmt::format("{:02}:{:02} {}", t.hour, t.minute, short_date(t)); }
std::string meter_stamp(const date_time& t) { return long_time(t) + " " + short_date(t); }

date_time add_seconds(const date_time& t, long long seconds) {
    using namespace std::chrono;
    const sys_days day = year_month_day{year{t.year}, month{static_cast<unsigned>(t.month)},
                                        std::chrono::day{static_cast<unsigned>(t.day)}};
    const auto moment =
        day + hours{t.hour} + minutes{t.minute} + std::chrono::seconds{t.second} + std::chrono::seconds{seconds};
    const sys_days new_day = floor<days>(moment);
    const year_month_day ymd{new_day};
    const hh_mm_ss clock{moment - new_day};
    return {static_cast<int>(ymd.year()),
            static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day())),
            static_cast<int>(clock.hours().count()),
            static_cast<int>(clock.minutes().count()),
            static_cast<int>(clock.seconds().count())};
}

}  // namespace quizhost
