// The window system seam over the Windows user interface: the forms' windows (the movie player's own),
// the pointer, and modal message boxes.
#include <windows.h>

#include "platform/win32/win32_factories.hpp"

namespace quizhost::win32 {

void win32_window_system::set_form_window(form f, void* hwnd) {
    (f == form::intro ? intro_window_ : main_window_) = hwnd;
}

void win32_window_system::set_topmost(form f, bool topmost) {
    const HWND window = static_cast<HWND>(window_of(f));
    if (window == nullptr) return;
    ::SetWindowPos(window, topmost ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void win32_window_system::show_cursor(bool visible) {
    // ShowCursor keeps a count: bring it to exactly shown (0) or hidden (-1) whatever it was before.
    if (visible) {
        while (::ShowCursor(TRUE) < 0) {
        }
    } else {
        while (::ShowCursor(FALSE) >= 0) {
        }
    }
}

void win32_window_system::show(form f) {
    if (const HWND window = static_cast<HWND>(window_of(f))) ::ShowWindow(window, SW_SHOW);
}

void win32_window_system::hide(form f) {
    if (const HWND window = static_cast<HWND>(window_of(f))) ::ShowWindow(window, SW_HIDE);
}

void win32_window_system::set_caption(form f, const std::string& text) {
    if (const HWND window = static_cast<HWND>(window_of(f))) ::SetWindowTextA(window, text.c_str());
}

box_answer win32_window_system::message_box(const std::string& title, const std::string& text, int style) {
    // Owned by the main form when it has a window, so the box stays above a topmost form.
    HWND owner = static_cast<HWND>(main_window_ != nullptr ? main_window_ : intro_window_);
    switch (::MessageBoxA(owner, text.c_str(), title.c_str(), static_cast<UINT>(style))) {
        case IDYES:
            return box_answer::yes;
        case IDNO:
            return box_answer::no;
        default:
            return box_answer::ok;
    }
}

}  // namespace quizhost::win32
