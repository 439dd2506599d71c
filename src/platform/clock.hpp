// The clock seam: the current date and time of day.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "basic/date_time.hpp"

namespace quizhost {

class clock {
public:
    virtual ~clock() = default;
    virtual date_time now() = 0;
};

// Local date and time of the machine.
std::unique_ptr<clock> make_system_clock();

// Seconds since 1970-01-01 00:00 UTC of a date and time on this machine's local clock (what the log and
// the meter file write); none when the local time zone cannot place it.
std::optional<std::int64_t> unix_seconds_of_local(const date_time& local);

// A clock fixed at one moment that tests and movie scripts set and advance.
class fixed_clock final : public clock {
public:
    explicit fixed_clock(date_time at) : at_(at) {}
    date_time now() override { return at_; }
    void set(date_time at) { at_ = at; }
    void advance(long long seconds) { at_ = add_seconds(at_, seconds); }

private:
    date_time at_;
};

}  // namespace quizhost
