// Window helpers the two forms share.
#pragma once

#include "platform/movie_control.hpp"

namespace quizhost {

struct host;

// Puts the form's window above every window that is not topmost (true), or back into the normal band
// (false), without moving or resizing it.
void set_topmost(host& h, form f, bool topmost);

}  // namespace quizhost
