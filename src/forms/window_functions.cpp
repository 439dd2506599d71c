#include "forms/window_functions.hpp"

#include "host.hpp"
#include "platform/window_system.hpp"

namespace quizhost {

void set_topmost(host& h, form f, bool topmost) { h.io.windows->set_topmost(f, topmost); }

}  // namespace quizhost
