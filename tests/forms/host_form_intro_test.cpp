// The intro form and how movie commands reach the two forms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "forms/form_intro.hpp"
#include "forms/runtime.hpp"
#include "host.hpp"
#include "support/test_host.hpp"

namespace quizhost {
namespace {

using testing::native_path;
using testing::test_host;
using testing::transcript_path;
using lines = std::vector<std::string>;

class intro_form : public ::testing::Test {
protected:
    void SetUp() override {
        t.write("system/logs/log.txt", "<ERROR LOG>\r\n");
        t.game_movie.define_variable("content_version_no", "4");
    }
    std::string root() const { return t.host.program_folder; }
    test_host t;
};

TEST_F(intro_form, PlaysTheIntroHidesThePointerAndStaysOnTop) {
    start_program(t.host);
    EXPECT_FALSE(t.host.start.demo_mode);
    EXPECT_EQ(t.events.lines, (lines{"movie\tintro\t" + transcript_path(root(), "/intro.swf"), "rewind\tintro",
                                     "play\tintro", "cursor\t0", "topmost\tintro\t1", "show\tintro"}));
}

TEST_F(intro_form, DemoMarkerKeepsThePointerAndTheNormalBand) {
    t.write("demo_mode.txt", "");  // presence alone counts
    start_program(t.host);
    EXPECT_TRUE(t.host.start.demo_mode);
    EXPECT_EQ(t.events.lines, (lines{"movie\tintro\t" + transcript_path(root(), "/intro.swf"), "rewind\tintro",
                                     "play\tintro", "show\tintro"}));
}

TEST_F(intro_form, OnlyIntroEndIsUnderstoodAndTheIntroIsNeverPaused) {
    form_intro_load(t.host);
    t.events.clear();
    for (const std::string name : {"intro_end", "INTRO_END ", "GET_CREDIT", "CLOSE_ALL", ""}) {
        form_intro_fscommand(t.host, name, "x");
    }
    EXPECT_EQ(t.events.lines, lines{});
    EXPECT_EQ(t.game_movie.movie(), "");
}

TEST_F(intro_form, IntroEndLoadsTheMainFormThenSwapsTheWindows) {
    form_intro_load(t.host);
    t.events.clear();
    form_intro_fscommand(t.host, "INTRO_END", "");
    ASSERT_GE(t.events.lines.size(), 4u);
    EXPECT_EQ(t.events.lines.front(), "topmost\tmain\t1");
    const lines tail(t.events.lines.end() - 4, t.events.lines.end());
    // The load releases and hides the intro; showing the loaded main form hides it once more.
    EXPECT_EQ(tail, (lines{"movie\tintro\t", "hide\tintro", "show\tmain", "hide\tintro"}));
    EXPECT_EQ(t.host.start.wrapper_version, "7.4");
}

TEST_F(intro_form, CommandsGoToTheFormWhoseMovieIsLoaded) {
    start_program(t.host);
    t.events.clear();
    raise_fscommand(t.host, "GET_SHOW_LOCAL_SCORES", "");  // the game movie is not loaded yet
    EXPECT_EQ(t.events.lines, (lines{"fs\tintro\tGET_SHOW_LOCAL_SCORES\t"}));

    raise_fscommand(t.host, "INTRO_END", "a\tb");
    EXPECT_EQ(t.events.lines.at(1), "fs\tintro\tINTRO_END\ta\\tb");
    t.events.clear();

    raise_fscommand(t.host, "GET_SHOW_LOCAL_SCORES", "");
    EXPECT_EQ(t.events.lines,
              (lines{"fs\tmain\tGET_SHOW_LOCAL_SCORES\t", "stop\tmain", "set\tvb_show_local_scores\t1", "play\tmain"}));

    // A second "INTRO_END" reaches the game movie's handler, which does not know it: no second load.
    t.events.clear();
    raise_fscommand(t.host, "INTRO_END", "");
    EXPECT_EQ(t.events.lines, (lines{"fs\tmain\tINTRO_END\t", "stop\tmain", "play\tmain"}));
}

TEST_F(intro_form, AfterCloseAllNoMovieIsLeftToCommand) {
    start_program(t.host);
    raise_fscommand(t.host, "INTRO_END", "");
    EXPECT_THROW(raise_fscommand(t.host, "CLOSE_ALL", ""), program_exit);
    EXPECT_EQ(t.game_movie.movie(), "");
    EXPECT_EQ(t.intro_movie.movie(), "");
}

}  // namespace
}  // namespace quizhost
