// The display that the operating system itself offers every program, where it has one of its own: on
// Windows the primary screen of its display calls. Elsewhere there is none; X11 is an optional part of the
// build (platform/x11), chosen by the command line, not the system's own.
#pragma once

#include <memory>

#include "platform/display.hpp"

namespace quizhost {

// The system display's name on the command line ("windows"); empty where the system has none.
const char* system_display_name();

// Opens the system display; nullptr where the system has none.
std::unique_ptr<display> make_system_display();

}  // namespace quizhost
