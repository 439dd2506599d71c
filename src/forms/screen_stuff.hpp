// The display mode: the movies are laid out for 800 by 600 pixels.
// A host whose display seam is missing (quizhost --display none) leaves the display alone: set_resolution
// does nothing and change_resolution answers false.
#pragma once

#include <cstdint>

namespace quizhost {

class display;
struct host;

// The screen the movies are drawn for.
inline constexpr std::int32_t movie_screen_width = 800;
inline constexpr std::int32_t movie_screen_height = 600;

// The screen's size in pixels, as the display measures it.
std::int32_t get_screen_width(host& h);
std::int32_t get_screen_height(host& h);
bool is_800_by_600(host& h);
// True when the new mode is in force or a restart was agreed.
bool change_resolution(host& h, std::int32_t width, std::int32_t height);
void restart_windows(host& h);

// The size the movies are shown at on a host with a display: 800 by 600 until start-up has tried to switch
// (it is about to, or the screen has that size already), after it the screen's own size (800 by 600, or
// what the screen kept when the switch was refused). Asked of `screen`, which need not be the host's own
// seam (a kiosk measures outside the host's steps, untraced).
struct screen_extent {
    std::int32_t width;
    std::int32_t height;
};
screen_extent movie_screen_size(const host& h, display& screen);

// The intro form's step: switch to 800 by 600 when the screen has another size, remembering the old one.
void set_resolution(host& h);

}  // namespace quizhost
