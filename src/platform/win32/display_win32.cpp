// The display seam over the Windows display calls: the primary screen's size as the forms measure it, in
// twips, its mode list (EnumDisplaySettingsA), a mode change stored as the registered mode
// (ChangeDisplaySettingsA) and the restart that some drivers need for it (ExitWindowsEx). Here the seam's
// words become Windows' own: DEVMODE's field selection, CDS_ flags and DISP_CHANGE_ results.
#include <windows.h>

#include <cstring>

#include "platform/win32/win32_factories.hpp"

namespace quizhost {
namespace {

constexpr double twips_per_inch = 1440;

void reboot_windows() {
    // Restarting needs the shutdown privilege, which a process holds but has not enabled: without this
    // the operator's "Yes" would do nothing at all.
    HANDLE token = nullptr;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (::LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)) {
            ::AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        }
        ::CloseHandle(token);
    }
    // Windows closes the host in its own time; the result tells nothing the host could act on.
    ::ExitWindowsEx(EWX_REBOOT, 0);
}

// Whole twips per pixel, as the screen's own measure gives them: 15 at 96 dots per inch, 12 at 120.
double twips_per_pixel(int axis) {
    HDC screen = ::GetDC(nullptr);
    const int dots_per_inch = screen != nullptr ? ::GetDeviceCaps(screen, axis) : 0;
    if (screen != nullptr) ::ReleaseDC(nullptr, screen);
    if (dots_per_inch <= 0) return 15;
    const auto whole = static_cast<int>(twips_per_inch / dots_per_inch);
    return whole < 1 ? 1 : whole;
}

mode_change outcome_of(long result) {
    switch (result) {
        case DISP_CHANGE_SUCCESSFUL:
            return mode_change::changed;
        case DISP_CHANGE_RESTART:
            return mode_change::restart_needed;
        case DISP_CHANGE_BADMODE:
            return mode_change::mode_not_offered;
        case DISP_CHANGE_NOTUPDATED:
            return mode_change::not_kept;
        case DISP_CHANGE_BADFLAGS:
            return mode_change::bad_request;
        case DISP_CHANGE_BADPARAM:
            return mode_change::bad_parameter;
        case DISP_CHANGE_BADDUALVIEW:
            return mode_change::displays_conflict;
        default:
            return mode_change::failed;  // DISP_CHANGE_FAILED, and any code Windows may add
    }
}

class win32_display final : public display {
public:
    explicit win32_display(win32::display_calls calls) : calls_(std::move(calls)) {
        if (!calls_.enumerate) {
            calls_.enumerate = [](const char* device, std::uint32_t index, void* record) {
                return ::EnumDisplaySettingsA(device, index, static_cast<DEVMODEA*>(record)) != FALSE;
            };
        }
        if (!calls_.change) {
            calls_.change = [](void* record, std::uint32_t flags) {
                return static_cast<long>(::ChangeDisplaySettingsA(static_cast<DEVMODEA*>(record), flags));
            };
        }
        if (!calls_.reboot) calls_.reboot = reboot_windows;
        std::memset(&enumerated_, 0, sizeof enumerated_);
        enumerated_.dmSize = sizeof enumerated_;
    }

    std::int32_t screen_width() override {
        const win32::screen_twips screen = win32::measure_screen();
        return pixels_from_twips(screen.width, screen.per_pixel_x);
    }
    std::int32_t screen_height() override {
        const win32::screen_twips screen = win32::measure_screen();
        return pixels_from_twips(screen.height, screen.per_pixel_y);
    }

    std::optional<display_mode> enumerate_mode(std::uint32_t index) override {
        DEVMODEA record;
        std::memset(&record, 0, sizeof record);
        record.dmSize = sizeof record;
        // The primary display: no device name.
        if (!calls_.enumerate(nullptr, index, &record)) return std::nullopt;
        // The whole record is kept: a change applies the enumerated mode's other members (depth,
        // frequency) with only the fields the host selects replaced.
        enumerated_ = record;
        return display_mode{static_cast<std::int32_t>(record.dmPelsWidth),
                            static_cast<std::int32_t>(record.dmPelsHeight)};
    }

    // Only the sizes the mode gives are selected in the record; the rest is the enumerated mode's.
    mode_change change_mode(const display_mode& mode, mode_lifetime lifetime) override {
        DEVMODEA record = enumerated_;
        record.dmSize = sizeof record;
        record.dmFields = 0;
        if (mode.width) {
            record.dmFields |= DM_PELSWIDTH;
            record.dmPelsWidth = static_cast<DWORD>(*mode.width);
        }
        if (mode.height) {
            record.dmFields |= DM_PELSHEIGHT;
            record.dmPelsHeight = static_cast<DWORD>(*mode.height);
        }
        const std::uint32_t flags = lifetime == mode_lifetime::lasting ? CDS_UPDATEREGISTRY : 0;
        return outcome_of(calls_.change(&record, flags));
    }

    void request_reboot() override { calls_.reboot(); }

private:
    win32::display_calls calls_;
    DEVMODEA enumerated_;
};

}  // namespace

namespace win32 {

screen_twips measure_screen() {
    const double per_pixel_x = twips_per_pixel(LOGPIXELSX);
    const double per_pixel_y = twips_per_pixel(LOGPIXELSY);
    return {::GetSystemMetrics(SM_CXSCREEN) * per_pixel_x, ::GetSystemMetrics(SM_CYSCREEN) * per_pixel_y, per_pixel_x,
            per_pixel_y};
}

std::unique_ptr<display> make_display(display_calls calls) {
    // Without this, Windows scales a scaled screen's sizes for the host and the size it saved at start
    // would not be the one it restores at shutdown.
    ::SetProcessDPIAware();
    return std::make_unique<win32_display>(std::move(calls));
}

}  // namespace win32

}  // namespace quizhost
