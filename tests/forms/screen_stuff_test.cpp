#include "forms/screen_stuff.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/run_time_errors.hpp"
#include "support/test_host.hpp"

namespace quizhost {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::test_host;

const std::string restart_prompt =
    "msgbox\tScreen Resolution Changed\tYou must restart your computer to apply these changes.\\r\\n\\r\\nRestart "
    "now?\t68\t";

// A display that measures in twips, as Windows does for the forms, with its size in twips and twips per
// pixel set freely, and that records what the host asks.
class measured_display final : public display {
public:
    double width_twips = 12000, height_twips = 9000, per_pixel_x = 15, per_pixel_y = 15;
    display_mode first_mode{1280, 1024};
    std::vector<std::uint32_t> enumerated;
    std::vector<std::pair<display_mode, mode_lifetime>> changes;

    std::int32_t screen_width() override { return pixels_from_twips(width_twips, per_pixel_x); }
    std::int32_t screen_height() override { return pixels_from_twips(height_twips, per_pixel_y); }
    std::optional<display_mode> enumerate_mode(std::uint32_t index) override {
        enumerated.push_back(index);
        return first_mode;
    }
    mode_change change_mode(const display_mode& mode, mode_lifetime lifetime) override {
        changes.emplace_back(mode, lifetime);
        return mode_change::changed;
    }
    void request_reboot() override {}
};

using testing::error_of;

// --- Start-up: which screens are switched and what is remembered ---

TEST(SetResolution, ScreenAlreadyAt800By600IsLeftAloneAndNothingIsRemembered) {
    test_host t;
    set_resolution(t.host);
    EXPECT_THAT(t.events.lines, IsEmpty());
    EXPECT_FALSE(t.host.screen.resolution_changed);
    EXPECT_EQ(t.host.screen.saved_screen_width, 0);
    EXPECT_EQ(t.host.screen.saved_screen_height, 0);
}

TEST(SetResolution, LargerScreenIsSavedAndSwitchedThenRestoredToTheSavedSize) {
    test_host t;
    t.screen.set_screen(1024, 768);
    set_resolution(t.host);
    EXPECT_TRUE(t.host.screen.resolution_changed);
    EXPECT_EQ(t.host.screen.saved_screen_width, 1024);
    EXPECT_EQ(t.host.screen.saved_screen_height, 768);
    EXPECT_TRUE(is_800_by_600(t.host));

    // What shutdown does with the saved size.
    EXPECT_TRUE(change_resolution(t.host, t.host.screen.saved_screen_width, t.host.screen.saved_screen_height));
    EXPECT_THAT(t.events.lines, ElementsAre("display\t800x600\t0", "display\t1024x768\t0"));
    EXPECT_EQ(get_screen_width(t.host), 1024);
    EXPECT_EQ(get_screen_height(t.host), 768);
}

TEST(SetResolution, AnySizeOtherThanExactly800By600IsSwitched) {
    for (const auto& [w, h] : std::vector<std::pair<int, int>>{{800, 601}, {801, 600}, {600, 800}, {640, 480}}) {
        test_host t;
        t.screen.set_screen(w, h);
        set_resolution(t.host);
        EXPECT_TRUE(t.host.screen.resolution_changed) << w << "x" << h;
        EXPECT_EQ(t.host.screen.saved_screen_width, w);
        EXPECT_EQ(t.host.screen.saved_screen_height, h);
        EXPECT_THAT(t.events.lines, ElementsAre("display\t800x600\t0")) << w << "x" << h;
    }
}

TEST(SetResolution, FailedChangeStillLeavesTheRestoreToShutdown) {
    test_host t;
    t.screen.set_screen(1024, 768);
    t.screen.queue_change_result(-1);
    set_resolution(t.host);
    EXPECT_TRUE(t.host.screen.resolution_changed);
    EXPECT_EQ(t.host.screen.saved_screen_width, 1024);
    EXPECT_EQ(get_screen_width(t.host), 1024);  // still at the old size
    EXPECT_THAT(t.events.lines, ElementsAre("display\t800x600\t-1"));
}

TEST(SetResolution, FailedEnumerationChangesNothingButTheRestoreIsStillAttempted) {
    test_host t;
    t.screen.set_screen(1024, 768);
    t.screen.fail_next_enumeration();
    set_resolution(t.host);
    EXPECT_THAT(t.events.lines, IsEmpty());
    EXPECT_TRUE(t.host.screen.resolution_changed);
    EXPECT_EQ(get_screen_width(t.host), 1024);
    EXPECT_TRUE(change_resolution(t.host, t.host.screen.saved_screen_width, t.host.screen.saved_screen_height));
    EXPECT_THAT(t.events.lines, ElementsAre("display\t1024x768\t0"));
}

TEST(SetResolution, HostWithoutADisplayLeavesItAlone) {
    test_host t;
    t.host.io.screen = nullptr;
    set_resolution(t.host);
    EXPECT_FALSE(t.host.screen.resolution_changed);
    EXPECT_FALSE(change_resolution(t.host, 800, 600));
    restart_windows(t.host);
    EXPECT_THAT(t.events.lines, IsEmpty());
}

// --- The three outcomes of a change ---

TEST(ChangeResolution, DriverNeedingARestartAsksTheOperatorAndNoKeepsTheOldMode) {
    test_host t;
    t.screen.set_screen(1024, 768);
    t.screen.queue_change_result(transcript_result(mode_change::restart_needed));
    EXPECT_FALSE(change_resolution(t.host, 800, 600));  // the default answer to a Yes/No box is No
    EXPECT_THAT(t.events.lines, ElementsAre("display\t800x600\t1", restart_prompt + "no"));
    EXPECT_EQ(get_screen_width(t.host), 1024);
}

TEST(ChangeResolution, DriverNeedingARestartAndOperatorSayingYesRequestsTheReboot) {
    test_host t;
    t.screen.queue_change_result(transcript_result(mode_change::restart_needed));
    t.windows.queue_answer(box_answer::yes);
    EXPECT_TRUE(change_resolution(t.host, 1024, 768));
    EXPECT_THAT(t.events.lines, ElementsAre("display\t1024x768\t1", restart_prompt + "yes", "reboot"));
}

TEST(ChangeResolution, AnyOtherResultIsARefusalWithNoPrompt) {
    for (long result : {2L, -1L, -2L, 99L}) {
        test_host t;
        t.screen.queue_change_result(result);
        EXPECT_FALSE(change_resolution(t.host, 1024, 768)) << result;
        EXPECT_THAT(t.events.lines, ElementsAre("display\t1024x768\t" + std::to_string(result)));
    }
}

TEST(ChangeResolution, TranscriptNumbersAndOutcomesAreOneTable) {
    for (long result = -6; result <= 1; ++result) {
        EXPECT_EQ(transcript_result(outcome_of_transcript_result(result)), result) << result;
    }
    EXPECT_EQ(outcome_of_transcript_result(0), mode_change::changed);
    EXPECT_EQ(outcome_of_transcript_result(1), mode_change::restart_needed);
    EXPECT_EQ(outcome_of_transcript_result(-2), mode_change::mode_not_offered);
    // Numbers no outcome has are refusals, shown as the script gave them (AnyOtherResultIsARefusalWithNoPrompt).
    EXPECT_EQ(outcome_of_transcript_result(2), mode_change::failed);
    EXPECT_EQ(outcome_of_transcript_result(99), mode_change::failed);
}

// What this asks of Windows (the record's field selection 0x180000, CDS_UPDATEREGISTRY) is checked where
// the seam's words become Windows' own, in the Windows display's tests.
TEST(ChangeResolution, StartsFromModeZeroAndAppliesOnlyWidthAndHeightToTheRegistry) {
    test_host t;
    measured_display screen;
    t.host.io.screen = &screen;
    EXPECT_TRUE(change_resolution(t.host, 800, 600));
    EXPECT_THAT(screen.enumerated, ElementsAre(0u));
    ASSERT_EQ(screen.changes.size(), 1u);
    EXPECT_EQ(screen.changes[0].first.width, 800);
    EXPECT_EQ(screen.changes[0].first.height, 600);
    EXPECT_EQ(screen.changes[0].second, mode_lifetime::lasting);
}

// --- Pixels from twips ---

TEST(ScreenSize, BothOperandsAreRoundedAndTheQuotientTruncated) {
    test_host t;
    measured_display screen;
    t.host.io.screen = &screen;
    screen.width_twips = 12014.9;  // 12015 / 15
    screen.height_twips = 9014;    // 9014 / 15 = 600.93
    EXPECT_EQ(get_screen_width(t.host), 801);
    EXPECT_EQ(get_screen_height(t.host), 600);
    EXPECT_FALSE(is_800_by_600(t.host));

    screen.width_twips = 11999.5;  // halves to even: 12000
    EXPECT_EQ(get_screen_width(t.host), 800);
    EXPECT_TRUE(is_800_by_600(t.host));

    screen.per_pixel_x = 14.5;  // halves to even: 14, so 12000 / 14
    screen.per_pixel_y = 15.5;  // 16: 9014 / 16
    EXPECT_EQ(get_screen_width(t.host), 857);
    EXPECT_EQ(get_screen_height(t.host), 563);
}

TEST(ScreenSize, TwipsPerPixelRoundingToZeroIsADivisionByZeroNotACrash) {
    test_host t;
    measured_display screen;
    t.host.io.screen = &screen;
    screen.per_pixel_x = 0.4;
    EXPECT_EQ(error_of([&] { get_screen_width(t.host); }), 11);
    EXPECT_EQ(error_of([&] { set_resolution(t.host); }), 11);
    EXPECT_FALSE(t.host.screen.resolution_changed);
}

TEST(ScreenSize, TwipsBeyondTheIntegerRangeOverflow) {
    test_host t;
    measured_display screen;
    t.host.io.screen = &screen;
    screen.height_twips = 3e10;
    EXPECT_EQ(error_of([&] { get_screen_height(t.host); }), overflow);
    screen.width_twips = -2147483648.0;
    screen.per_pixel_x = -1;
    EXPECT_EQ(error_of([&] { get_screen_width(t.host); }), overflow);
}

// --- The size the movies are shown at, for a kiosk window placed before and after start-up's switch ---

TEST(MovieScreenSize, IsTheMoviesOwnSizeUntilStartUpHasTriedToSwitch) {
    test_host t;
    t.screen.set_screen(1024, 768);
    const screen_extent before = movie_screen_size(t.host, t.screen);
    EXPECT_EQ(before.width, 800);
    EXPECT_EQ(before.height, 600);
    set_resolution(t.host);
    const screen_extent after = movie_screen_size(t.host, t.screen);
    EXPECT_EQ(after.width, 800);
    EXPECT_EQ(after.height, 600);
}

TEST(MovieScreenSize, IsWhatTheScreenKeptWhenTheSwitchWasRefused) {
    test_host t;
    t.screen.set_screen(1280, 1024);
    t.screen.queue_change_result(-1);
    set_resolution(t.host);
    const screen_extent kept = movie_screen_size(t.host, t.screen);
    EXPECT_EQ(kept.width, 1280);
    EXPECT_EQ(kept.height, 1024);
}

}  // namespace
}  // namespace quizhost
