// The display calls as they reach Windows: the record of mode 0 of the primary display, with only the
// pixel width and height selected and replaced, stored as the registered mode; the restart request.
#include <gtest/gtest.h>

#ifdef _WIN32

#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/headless/headless.hpp"
#include "platform/win32/win32_factories.hpp"

namespace quizhost {
namespace {

struct recorded_calls {
    std::vector<std::pair<bool, std::uint32_t>> enumerations;  // (device name given, mode number)
    std::vector<DEVMODEA> changes;
    std::vector<std::uint32_t> change_flags;
    int reboots = 0;
    bool enumeration_fails = false;
    long change_result = DISP_CHANGE_SUCCESSFUL;

    win32::display_calls calls() {
        return {[this](const char* device, std::uint32_t index, void* record) {
                    enumerations.emplace_back(device != nullptr, index);
                    if (enumeration_fails) return false;
                    auto& mode = *static_cast<DEVMODEA*>(record);
                    EXPECT_EQ(mode.dmSize, sizeof(DEVMODEA));
                    mode.dmPelsWidth = 640;
                    mode.dmPelsHeight = 480;
                    mode.dmBitsPerPel = 32;
                    mode.dmDisplayFrequency = 75;
                    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL | DM_DISPLAYFREQUENCY;
                    return true;
                },
                [this](void* record, std::uint32_t flags) {
                    changes.push_back(*static_cast<DEVMODEA*>(record));
                    change_flags.push_back(flags);
                    return change_result;
                },
                [this] { ++reboots; }};
    }
};

TEST(Win32Display, ModeChangeSendsTheFirstModeWithOnlyWidthAndHeightSelected) {
    recorded_calls windows;
    auto screen = win32::make_display(windows.calls());
    auto mode = screen->enumerate_mode(0);
    ASSERT_TRUE(mode.has_value());
    EXPECT_EQ(mode->width, 640);
    EXPECT_EQ(windows.enumerations, (std::vector<std::pair<bool, std::uint32_t>>{{false, 0}}));

    mode->width = 800;
    mode->height = 600;
    EXPECT_EQ(screen->change_mode(*mode, mode_lifetime::lasting), mode_change::changed);
    ASSERT_EQ(windows.changes.size(), 1U);
    const DEVMODEA& sent = windows.changes[0];
    EXPECT_EQ(sent.dmSize, sizeof(DEVMODEA));
    EXPECT_EQ(sent.dmFields, 0x180000U);
    EXPECT_EQ(sent.dmPelsWidth, 800U);
    EXPECT_EQ(sent.dmPelsHeight, 600U);
    // The rest of the record is mode 0's, as enumerated.
    EXPECT_EQ(sent.dmBitsPerPel, 32U);
    EXPECT_EQ(sent.dmDisplayFrequency, 75U);
    EXPECT_EQ(windows.change_flags, std::vector<std::uint32_t>{CDS_UPDATEREGISTRY});
}

TEST(Win32Display, ResultsAndFailuresPassThrough) {
    recorded_calls windows;
    auto screen = win32::make_display(windows.calls());
    windows.enumeration_fails = true;
    EXPECT_FALSE(screen->enumerate_mode(0).has_value());
    windows.change_result = DISP_CHANGE_RESTART;
    EXPECT_EQ(screen->change_mode({1024, 768}, mode_lifetime::lasting), mode_change::restart_needed);
    windows.change_result = DISP_CHANGE_BADMODE;
    EXPECT_EQ(screen->change_mode({1024, 768}, mode_lifetime::lasting), mode_change::mode_not_offered);
    // Never enumerated before the change: a clean record still carries its size and the selected fields.
    EXPECT_EQ(windows.changes.back().dmSize, sizeof(DEVMODEA));
    EXPECT_EQ(windows.changes.back().dmFields, 0x180000U);
    EXPECT_EQ(windows.changes.back().dmBitsPerPel, 0U);
    EXPECT_EQ(windows.reboots, 0);
    screen->request_reboot();
    EXPECT_EQ(windows.reboots, 1);
}

TEST(Win32Display, EveryResultShowsInTheTranscriptAsWindowsGaveIt) {
    recorded_calls windows;
    auto screen = win32::make_display(windows.calls());
    for (long result : {DISP_CHANGE_SUCCESSFUL, DISP_CHANGE_RESTART, DISP_CHANGE_FAILED, DISP_CHANGE_BADMODE,
                        DISP_CHANGE_NOTUPDATED, DISP_CHANGE_BADFLAGS, DISP_CHANGE_BADPARAM, DISP_CHANGE_BADDUALVIEW}) {
        windows.change_result = result;
        EXPECT_EQ(transcript_result(screen->change_mode({800, 600}, mode_lifetime::lasting)), result);
    }
    // A code Windows does not document is a failed change.
    windows.change_result = -99;
    EXPECT_EQ(screen->change_mode({800, 600}, mode_lifetime::lasting), mode_change::failed);
}

TEST(Win32Display, ScreenSizeIsWholePixelsInTwips) {
    // The machine's real screen (wine draws nowhere, but still has one).
    auto screen = win32::make_display({nullptr, nullptr, [] {}});
    HDC dc = ::GetDC(nullptr);
    const int dots_per_inch = ::GetDeviceCaps(dc, LOGPIXELSX);
    ::ReleaseDC(nullptr, dc);
    const win32::screen_twips measured = win32::measure_screen();
    EXPECT_EQ(measured.per_pixel_x, 1440 / dots_per_inch);
    if (dots_per_inch == 96) {
        EXPECT_EQ(measured.per_pixel_x, 15);
    }
    const double twips = measured.width;
    EXPECT_EQ(twips, ::GetSystemMetrics(SM_CXSCREEN) * measured.per_pixel_x);
    EXPECT_EQ(measured.height, ::GetSystemMetrics(SM_CYSCREEN) * measured.per_pixel_y);
    EXPECT_GT(twips, 0);
    EXPECT_EQ(screen->screen_width(), ::GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(screen->screen_height(), ::GetSystemMetrics(SM_CYSCREEN));
    // The real mode list has a first mode.
    const auto first = screen->enumerate_mode(0);
    ASSERT_TRUE(first.has_value());
    EXPECT_GT(first->width, 0);
}

}  // namespace
}  // namespace quizhost

#endif
