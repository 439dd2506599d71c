// What every system's clock shares: standard C's mktime places a local date and time on the zone's rules.
#include "platform/clock.hpp"

#include <ctime>

namespace quizhost {

std::optional<std::int64_t> unix_seconds_of_local(const date_time& local) {
    std::tm parts{};
    parts.tm_year = local.year - 1900;
    parts.tm_mon = local.month - 1;
    parts.tm_mday = local.day;
    parts.tm_hour = local.hour;
    parts.tm_min = local.minute;
    parts.tm_sec = local.second;
    parts.tm_isdst = -1;  // the zone's rules decide whether summer time applies
    const std::time_t seconds = std::mktime(&parts);
    if (seconds == static_cast<std::time_t>(-1)) return std::nullopt;
    return static_cast<std::int64_t>(seconds);
}

}  // namespace quizhost
