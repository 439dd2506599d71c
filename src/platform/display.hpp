// The display seam: the screen's size and its display mode.
#pragma once

#include <cstdint>
#include <optional>

namespace quizhost {

// A display-mode record: only width and height (and which of them to apply) matter to the host.
struct display_mode {
    std::int32_t width = 0;    // pixels
    std::int32_t height = 0;   // pixels
    std::uint32_t fields = 0;  // which members to apply: 0x80000 width, 0x100000 height
};

inline constexpr std::uint32_t dm_pels_width = 0x80000;
inline constexpr std::uint32_t dm_pels_height = 0x100000;
inline constexpr std::uint32_t cds_update_registry = 1;

// Results of a mode change, as the Windows constants.
inline constexpr long disp_change_successful = 0;
inline constexpr long disp_change_restart = 1;

class display {
public:
    virtual ~display() = default;
    // The screen's size in twips and the twips per pixel in each direction (15 on a standard screen).
    virtual double screen_width_twips() = 0;
    virtual double screen_height_twips() = 0;
    virtual double twips_per_pixel_x() = 0;
    virtual double twips_per_pixel_y() = 0;
    // Mode number `index` of the primary display's list; nothing when the enumeration fails.
    virtual std::optional<display_mode> enumerate_mode(std::uint32_t index) = 0;
    // Applies the mode; the result as disp_change_* (any other value is a refusal).
    virtual long change_mode(const display_mode& mode, std::uint32_t flags) = 0;
    // Asks the system to restart (the operator agreed).
    virtual void request_reboot() = 0;
};

}  // namespace quizhost
