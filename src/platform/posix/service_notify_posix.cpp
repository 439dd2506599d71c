#include <cstdint>

#include "platform/service_notify.hpp"

#ifdef QUIZHOST_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace quizhost {

#ifdef QUIZHOST_HAVE_SYSTEMD

bool service_notify_built_in() { return true; }

void notify_service_ready() { sd_notify(0, "READY=1"); }

void notify_service_alive() { sd_notify(0, "WATCHDOG=1"); }

void notify_service_stopping() { sd_notify(0, "STOPPING=1"); }

std::optional<std::chrono::microseconds> service_watchdog_period() {
    std::uint64_t usec = 0;
    // Also checks WATCHDOG_PID, so a child started by the host does not take its parent's watchdog.
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0) return std::nullopt;
    return std::chrono::microseconds(usec / 2);
}

#else

bool service_notify_built_in() { return false; }
void notify_service_ready() {}
void notify_service_alive() {}
void notify_service_stopping() {}
std::optional<std::chrono::microseconds> service_watchdog_period() { return std::nullopt; }

#endif

}  // namespace quizhost
