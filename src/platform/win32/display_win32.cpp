// The display seam over the Windows display calls: the primary screen's size in twips, its mode list
// (EnumDisplaySettingsA), a mode change stored as the registered mode (ChangeDisplaySettingsA) and the
// restart that some drivers need for it (ExitWindowsEx).
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

    double screen_width_twips() override { return ::GetSystemMetrics(SM_CXSCREEN) * twips_per_pixel_x(); }
    double screen_height_twips() override { return ::GetSystemMetrics(SM_CYSCREEN) * twips_per_pixel_y(); }
    double twips_per_pixel_x() override { return twips_per_pixel(LOGPIXELSX); }
    double twips_per_pixel_y() override { return twips_per_pixel(LOGPIXELSY); }

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
                            static_cast<std::int32_t>(record.dmPelsHeight),
                            static_cast<std::uint32_t>(record.dmFields)};
    }

    long change_mode(const display_mode& mode, std::uint32_t flags) override {
        DEVMODEA record = enumerated_;
        record.dmSize = sizeof record;
        record.dmFields = mode.fields;
        record.dmPelsWidth = static_cast<DWORD>(mode.width);
        record.dmPelsHeight = static_cast<DWORD>(mode.height);
        return calls_.change(&record, flags);
    }

    void request_reboot() override { calls_.reboot(); }

private:
    // Whole twips per pixel, as the screen's own measure gives them: 15 at 96 dots per inch, 12 at 120.
    static double twips_per_pixel(int axis) {
        HDC screen = ::GetDC(nullptr);
        const int dots_per_inch = screen != nullptr ? ::GetDeviceCaps(screen, axis) : 0;
        if (screen != nullptr) ::ReleaseDC(nullptr, screen);
        if (dots_per_inch <= 0) return 15;
        const auto whole = static_cast<int>(twips_per_inch / dots_per_inch);
        return whole < 1 ? 1 : whole;
    }

    win32::display_calls calls_;
    DEVMODEA enumerated_;
};

}  // namespace

namespace win32 {

std::unique_ptr<display> make_display(display_calls calls) {
    // Without this, Windows scales a scaled screen's sizes for the host and the size it saved at start
    // would not be the one it restores at shutdown.
    ::SetProcessDPIAware();
    return std::make_unique<win32_display>(std::move(calls));
}

}  // namespace win32

}  // namespace quizhost
