// What the host tells the service manager that started it (systemd's notify protocol): that it is ready,
// and, from its event loop, that it is alive. Nothing happens when no service manager asked for it (no
// NOTIFY_SOCKET), on Windows, or in a build without libsystemd.
#pragma once

#include <chrono>
#include <optional>

namespace quizhost {

// READY=1: the host has started and its stage is connected.
void notify_service_ready();
// WATCHDOG=1: the event loop still turns.
void notify_service_alive();
// STOPPING=1: the host is shutting down (so a slow shutdown is not taken for a hang).
void notify_service_stopping();
// Whether this build speaks the protocol at all (built with libsystemd).
bool service_notify_built_in();
// How often to send WATCHDOG=1 (half the service's watchdog time); nothing when no watchdog is asked for.
std::optional<std::chrono::microseconds> service_watchdog_period();

}  // namespace quizhost
