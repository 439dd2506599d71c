// The window system seam: the forms' windows, the pointer and modal message boxes.
#pragma once

#include <string>

#include "platform/movie_control.hpp"

namespace quizhost {

// Message box styles as the Windows constants: 0 OK only, 4 Yes/No, 64 the information icon (68 = 4 + 64).
inline constexpr int mb_ok = 0;
inline constexpr int mb_yes_no = 4;
inline constexpr int mb_icon_information = 64;

enum class box_answer { ok, yes, no };
const char* box_answer_name(box_answer a);  // "ok", "yes", "no"

class window_system {
public:
    virtual ~window_system() = default;
    virtual void set_topmost(form f, bool topmost) = 0;
    virtual void show_cursor(bool visible) = 0;
    virtual void show(form f) = 0;
    virtual void hide(form f) = 0;
    virtual void set_caption(form f, const std::string& text) = 0;
    // Shows a modal box and waits until it is dismissed.
    virtual box_answer message_box(const std::string& title, const std::string& text, int style) = 0;
};

}  // namespace quizhost
