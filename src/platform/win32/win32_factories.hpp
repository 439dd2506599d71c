// The Windows seams that need more than the portable factories can say: which DLL or automation object
// to bind, and the display and window calls of the forms. Nothing here includes <windows.h>, so the
// command line and the tests may use it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/client_shell.hpp"
#include "platform/credit_library.hpp"
#include "platform/display.hpp"
#include "platform/window_system.hpp"

namespace quizhost::win32 {

// The cabinet's credit library file and its shell's automation object.
inline constexpr const char* credit_library_file = "tccomm.dll";
inline constexpr const char* client_shell_prog_id = "ClientShell.ClientShellInterface3";

// The credit library `file_name`, looked for in `program_folder` first, then on the DLL search path.
std::unique_ptr<credit_library> make_credit_library(const std::string& program_folder, const std::string& file_name);

// The running instance of the automation object registered under `prog_id`; never starts a new one.
std::unique_ptr<client_shell> make_automation_client_shell(const std::string& prog_id);

// The display calls, replaceable so that tests can see exactly what reaches Windows without changing the
// machine's display or restarting it. Empty members use the real calls (EnumDisplaySettingsA,
// ChangeDisplaySettingsA, ExitWindowsEx). `mode_record` is a DEVMODEA.
struct display_calls {
    std::function<bool(const char* device, std::uint32_t index, void* mode_record)> enumerate;
    std::function<long(void* mode_record, std::uint32_t flags)> change;
    std::function<void()> reboot;
};

std::unique_ptr<display> make_display(display_calls calls = {});

// The primary screen as Windows measures it for the forms: its size in twips and the whole twips per pixel
// in each direction. The display's pixel sizes are these divided (pixels_from_twips).
struct screen_twips {
    double width = 0;
    double height = 0;
    double per_pixel_x = 0;
    double per_pixel_y = 0;
};
screen_twips measure_screen();

// The forms' windows are the movie player's: it tells which window (an HWND) shows each form; a form
// without one is left alone. Message boxes and the pointer need no window of ours.
class win32_window_system : public window_system {
public:
    void set_form_window(form f, void* hwnd);
    void set_topmost(form f, bool topmost) override;
    void show_cursor(bool visible) override;
    void show(form f) override;
    void hide(form f) override;
    void set_caption(form f, const std::string& text) override;
    box_answer message_box(const std::string& title, const std::string& text, int style) override;

private:
    void* window_of(form f) const { return f == form::intro ? intro_window_ : main_window_; }
    void* intro_window_ = nullptr;
    void* main_window_ = nullptr;
};

}  // namespace quizhost::win32
