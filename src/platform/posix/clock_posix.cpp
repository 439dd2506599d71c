#include <ctime>

#include "platform/clock.hpp"

namespace quizhost {
namespace {

class system_clock final : public clock {
public:
    date_time now() override {
        const std::time_t t = std::time(nullptr);
        std::tm local{};
        ::localtime_r(&t, &local);
        return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
    }
};

}  // namespace

std::unique_ptr<clock> make_system_clock() { return std::make_unique<system_clock>(); }

}  // namespace quizhost
