// The display mode. The movies are drawn for a screen of 800 by 600 pixels: start-up switches to that
// size when the screen has another one and remembers the old size, and shutdown switches back.
#include "forms/screen_stuff.hpp"

#include <string>

#include "host.hpp"
#include "platform/display.hpp"
#include "platform/window_system.hpp"

namespace quizhost {
namespace {

constexpr std::int32_t target_width = movie_screen_width;
constexpr std::int32_t target_height = movie_screen_height;

constexpr const char* restart_title = "Screen Resolution Changed";
constexpr const char* restart_text = "You must restart your computer to apply these changes.\r\n\r\nRestart now?";
constexpr int restart_style = mb_yes_no | mb_icon_information;  // 68

display& screen_of(host& h) {
    if (h.io.screen == nullptr) {
        throw run_time_error(invalid_procedure_call, error_description(invalid_procedure_call),
                             "the host has no display to measure");
    }
    return *h.io.screen;
}

bool agreed_to_restart(host& h) {
    if (h.io.windows == nullptr) return false;  // nobody to ask: the answer is No
    return h.io.windows->message_box(restart_title, restart_text, restart_style) == box_answer::yes;
}

}  // namespace

std::int32_t get_screen_width(host& h) { return screen_of(h).screen_width(); }

std::int32_t get_screen_height(host& h) { return screen_of(h).screen_height(); }

bool is_800_by_600(host& h) { return get_screen_width(h) == target_width && get_screen_height(h) == target_height; }

bool change_resolution(host& h, std::int32_t width, std::int32_t height) {
    if (h.io.screen == nullptr) return false;  // the display is not ours to change
    display& screen = *h.io.screen;
    // Mode 0 is the first mode of the driver's list, not the current mode: only its width and height are
    // replaced, so the remaining members (depth, frequency) are whatever that first mode has.
    std::optional<display_mode> mode = screen.enumerate_mode(0);
    if (!mode) return false;
    mode->width = width;
    mode->height = height;
    // Also kept as the display's registered mode, so it outlasts this session.
    switch (screen.change_mode(*mode, mode_lifetime::lasting)) {
        case mode_change::changed:
            return true;
        case mode_change::restart_needed:
            if (!agreed_to_restart(h)) return false;
            restart_windows(h);
            return true;
        default:
            return false;  // refused: the host runs at the size it has
    }
}

screen_extent movie_screen_size(const host& h, display& screen) {
    if (!h.screen.resolution_changed) return {target_width, target_height};
    return {screen.screen_width(), screen.screen_height()};
}

// The system closes the host in its own time; nothing waits for it here.
void restart_windows(host& h) {
    if (h.io.screen != nullptr) h.io.screen->request_reboot();
}

void set_resolution(host& h) {
    if (h.io.screen == nullptr) return;  // run with the display left alone
    // The intro window is shown maximised and measures in pixels. Both are properties of how the window
    // system presents the forms (each form fills the screen), so there is no call to make for them here.
    if (is_800_by_600(h)) return;
    // Set before the attempt and never cleared: shutdown restores the saved size even when this change
    // failed, since a half-applied change cannot be told from a refused one.
    h.screen.resolution_changed = true;
    h.screen.saved_screen_width = get_screen_width(h);
    h.screen.saved_screen_height = get_screen_height(h);
    change_resolution(h, target_width, target_height);  // the intro goes on whatever the outcome
}

}  // namespace quizhost
