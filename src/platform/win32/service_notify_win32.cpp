#include "platform/service_notify.hpp"

// Windows starts a cabinet at logon, with no service manager watching it.
namespace quizhost {

bool service_notify_built_in() { return false; }
void notify_service_ready() {}
void notify_service_alive() {}
void notify_service_stopping() {}
std::optional<std::chrono::microseconds> service_watchdog_period() { return std::nullopt; }

}  // namespace quizhost
