// The display seam for Linux cabinets under X11: the screen is the primary output of the X server's
// RandR configuration, and a display-mode change switches that output to another of its listed modes.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

#include "platform/display.hpp"

namespace quizhost {

// The server cannot be reached or cannot change modes (no RandR 1.3, no output).
class x11_unavailable : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct x11_options {
    // The X display to open ("" for the DISPLAY environment variable).
    std::string display_name;
    // What a reboot request does once the operator agreed. Empty: request_system_reboot.
    std::function<void()> reboot;
};

// Opens the X display; throws x11_unavailable with the reason when it cannot be used.
std::unique_ptr<display> make_x11_display(const x11_options& options = {});

// Asks systemd to restart the machine, but only when the environment variable QUIZHOST_ALLOW_REBOOT is
// "1": a cabinet sets it in its service file, while a developer's desktop or a test run never restarts by
// accident. Without it the request is reported on standard error and the host carries on. Never throws.
void request_system_reboot();

}  // namespace quizhost
