// The display seam: the primary screen's size and its display mode, in pixels.
#pragma once

#include <cstdint>
#include <optional>

namespace quizhost {

// A display mode as the host sees it: its size. A size left empty keeps what the display has.
struct display_mode {
    std::optional<std::int32_t> width;   // pixels
    std::optional<std::int32_t> height;  // pixels
};

// How long a changed mode lasts: this session only, or also as the display's registered mode for the
// sessions after it (where the system keeps one).
enum class mode_lifetime { session, lasting };

// How a mode change ended. Only `changed` and `restart_needed` put the mode in force; every other outcome
// leaves the display as it was.
enum class mode_change {
    changed,            // in force now
    restart_needed,     // in force once the system restarts
    failed,             // the display could not switch
    mode_not_offered,   // the display has no such mode
    not_kept,           // switched, but the setting could not be kept for later sessions
    bad_request,        // the system refused how the change was asked for
    bad_parameter,      // the system refused a member of the mode
    displays_conflict,  // the change would split displays that work as one
};

class display {
public:
    virtual ~display() = default;
    // The screen's size in pixels.
    virtual std::int32_t screen_width() = 0;
    virtual std::int32_t screen_height() = 0;
    // Mode number `index` of the primary display's list, with both sizes; nothing when the enumeration fails.
    virtual std::optional<display_mode> enumerate_mode(std::uint32_t index) = 0;
    // Applies the mode, which starts from the last enumerated one: what the host does not set there (depth,
    // frequency) stays as that mode has it.
    virtual mode_change change_mode(const display_mode& mode, mode_lifetime lifetime) = 0;
    // Asks the system to restart (the operator agreed).
    virtual void request_reboot() = 0;
};

// For a display that measures in twips, as Windows does for the forms: the pixels of `twips` at
// `twips_per_pixel`. Both are rounded to whole numbers first (halves to even) and the quotient is
// truncated, so 12014.9 twips at 15 per pixel is 12015 / 15 = 801 pixels, and 11999 twips is 799.
// run_time_error 11 when the twips per pixel round to zero, 6 when a quotient does not fit.
std::int32_t pixels_from_twips(double twips, double twips_per_pixel);

}  // namespace quizhost
