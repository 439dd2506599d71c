#include "platform/system_display.hpp"

namespace quizhost {

const char* system_display_name() { return ""; }

std::unique_ptr<display> make_system_display() { return nullptr; }

}  // namespace quizhost
