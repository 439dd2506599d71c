// The window calls on real windows, and a message box answered as an operator would.
#include <gtest/gtest.h>

#ifdef _WIN32

#include <windows.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/win32/win32_factories.hpp"

namespace quizhost {
namespace {

class form_windows : public ::testing::Test {
protected:
    HWND intro = make_window("intro");
    HWND main_window = make_window("main");
    win32::win32_window_system windows;

    void SetUp() override {
        windows.set_form_window(form::intro, intro);
        windows.set_form_window(form::main, main_window);
    }
    void TearDown() override {
        ::DestroyWindow(intro);
        ::DestroyWindow(main_window);
    }

    static HWND make_window(const char* title) {
        return ::CreateWindowExA(0, "STATIC", title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr, nullptr,
                                 nullptr);
    }
    static bool topmost(HWND window) { return (::GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }
};

TEST_F(form_windows, TopmostShowHideAndCaptionReachTheFormsWindow) {
    ASSERT_NE(intro, nullptr);
    windows.set_topmost(form::intro, true);
    EXPECT_TRUE(topmost(intro));
    EXPECT_FALSE(topmost(main_window));
    windows.set_topmost(form::intro, false);
    EXPECT_FALSE(topmost(intro));

    windows.show(form::main);
    EXPECT_TRUE(::IsWindowVisible(main_window));
    windows.hide(form::main);
    EXPECT_FALSE(::IsWindowVisible(main_window));

    windows.set_caption(form::main, "Tollcastle Wrapper 7.12");
    char caption[64] = {};
    ::GetWindowTextA(main_window, caption, sizeof caption);
    EXPECT_STREQ(caption, "Tollcastle Wrapper 7.12");
}

TEST(Win32Windows, FormsWithoutAWindowAreLeftAlone) {
    win32::win32_window_system windows;
    windows.set_topmost(form::main, true);
    windows.show(form::intro);
    windows.set_caption(form::intro, "x");
    windows.show_cursor(false);
    windows.show_cursor(true);
}

// Finds the box by its title, checks its buttons, and presses `button`.
void answer_box(const char* title, int button, std::atomic<int>& buttons_seen) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        HWND box = ::FindWindowA("#32770", title);
        // Shown means set up: the buttons the style does not ask for are hidden by then.
        if (box != nullptr && ::IsWindowVisible(box)) {
            int seen = 0;
            for (const int id : {IDOK, IDYES, IDNO}) {
                const HWND item = ::GetDlgItem(box, id);
                if (item != nullptr && ::IsWindowVisible(item)) seen |= 1 << id;
            }
            buttons_seen = seen;
            ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

TEST(Win32Windows, MessageBoxShowsTheStylesButtonsAndGivesTheAnswer) {
    win32::win32_window_system windows;
    std::atomic<int> buttons{0};
    std::thread operator_yes(answer_box, "Screen Resolution Changed", IDYES, std::ref(buttons));
    EXPECT_EQ(windows.message_box("Screen Resolution Changed", "Restart now?", mb_yes_no | mb_icon_information),
              box_answer::yes);
    operator_yes.join();
    EXPECT_EQ(buttons.load(), (1 << IDYES) | (1 << IDNO));

    std::thread operator_no(answer_box, "Screen Resolution Changed", IDNO, std::ref(buttons));
    EXPECT_EQ(windows.message_box("Screen Resolution Changed", "Restart now?", 68), box_answer::no);
    operator_no.join();

    std::thread operator_ok(answer_box, "Tollcastle Wrapper", IDOK, std::ref(buttons));
    EXPECT_EQ(windows.message_box("Tollcastle Wrapper", "Hello", mb_ok), box_answer::ok);
    operator_ok.join();
    EXPECT_EQ(buttons.load(), 1 << IDOK);
}

}  // namespace
}  // namespace quizhost

#endif
