// The machine's local date and time, as the cabinet's clock shows it.
#include <windows.h>

#include <ctime>

#include "platform/clock.hpp"

namespace quizhost {
namespace {

class system_clock final : public clock {
public:
    date_time now() override {
        SYSTEMTIME local{};
        ::GetLocalTime(&local);
        return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
    }
};

}  // namespace

std::unique_ptr<clock> make_system_clock() { return std::make_unique<system_clock>(); }

}  // namespace quizhost
