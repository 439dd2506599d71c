// The display mode: the movies are laid out for 800 by 600 pixels.
// A host whose display seam is missing (quizhost --display none) leaves the display alone: set_resolution
// does nothing and change_resolution answers false.
#pragma once

#include <cstdint>

namespace quizhost {

struct host;

// The screen's size in pixels, as the display measures it.
std::int32_t get_screen_width(host& h);
std::int32_t get_screen_height(host& h);
bool is_800_by_600(host& h);
// True when the new mode is in force or a restart was agreed.
bool change_resolution(host& h, std::int32_t width, std::int32_t height);
void restart_windows(host& h);

// The intro form's step: switch to 800 by 600 when the screen has another size, remembering the old one.
void set_resolution(host& h);

}  // namespace quizhost
