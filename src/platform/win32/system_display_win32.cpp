#include "platform/system_display.hpp"
#include "platform/win32/win32_factories.hpp"

namespace quizhost {

const char* system_display_name() { return "windows"; }

std::unique_ptr<display> make_system_display() { return win32::make_display(); }

}  // namespace quizhost
