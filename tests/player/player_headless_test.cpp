// Playing movie scripts against the host: the scene, when the host starts, and how the program ends.
#include <gtest/gtest.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "host.hpp"
#include "player/cabinet.hpp"
#include "player/headless_player.hpp"
#include "support/test_host.hpp"

namespace quizhost {
namespace {

using lines = std::vector<std::string>;
using testing::native_path;
using testing::transcript_path;

// An intro control that cannot load its movie, as a missing player would.
class broken_intro final : public movie_control {
public:
    void set_movie(const std::string& path) override { throw run_time_error(file_not_found, "File not found", path); }
    std::string movie() const override { return {}; }
    void rewind() override {}
    void play() override {}
    void stop() override {}
    void set_variable(const std::string&, const std::string&) override {}
    std::string get_variable(const std::string&) override { return {}; }
};

// Standard error captured in a temporary file.
class captured_stream {
public:
    captured_stream() : file_(std::tmpfile()) {}
    ~captured_stream() { std::fclose(file_); }
    captured_stream(const captured_stream&) = delete;
    captured_stream& operator=(const captured_stream&) = delete;
    std::FILE* get() const { return file_; }
    std::string text() const {
        std::fflush(file_);
        std::rewind(file_);
        std::string out;
        for (int c; (c = std::fgetc(file_)) != EOF;) out += static_cast<char>(c);
        return out;
    }

private:
    std::FILE* file_;
};

class headless_player : public ::testing::Test {
protected:
    void SetUp() override {
        t.write("system/logs/log.txt", "<ERROR LOG>\r\n");
        t.host.io.clock = &clock;
    }

    int play(const std::string& text) { return play_movie_script(t.host, stage, parse_movie_script(text), err.get()); }

    testing::test_host t;
    script_clock clock;
    headless_stage stage{t.game_movie, t.windows, t.screen, t.draws, clock};
    captured_stream err;
};

TEST_F(headless_player, DirectivesBeforeTheFirstCommandOnlySetTheScene) {
    EXPECT_EQ(play("var\tcontent_version_no\t9\n"
                   "draw\t0.5\ndraw\t0.125\n"
                   "screen\t1024x768\n"
                   "display\t1\ndisplay\tenum-fail\n"),
              exit_closed);
    // The host never started: the only event is the end of the script.
    EXPECT_EQ(t.events.lines, (lines{"end"}));
    EXPECT_EQ(t.game_movie.get_variable("content_version_no"), "9");
    EXPECT_EQ(t.draws.uniform(), 0.5);
    EXPECT_EQ(t.draws.uniform(), 0.125);
    EXPECT_EQ(t.screen.screen_width(), 1024);
    EXPECT_EQ(t.screen.screen_height(), 768);
    EXPECT_FALSE(t.screen.enumerate_mode(0).has_value());
    EXPECT_EQ(t.screen.change_mode(display_mode{800, 600}, mode_lifetime::session), mode_change::restart_needed);
}

TEST_F(headless_player, TheHostStartsAtTheFirstCommand) {
    EXPECT_EQ(play("var\tcontent_version_no\t5\nfs\tINTRO_END\nvar\tcontent_version_no\t6\nfs\tGET_WRAPPER_VERSION\n"),
              exit_closed);
    const std::string root = t.host.program_folder;
    ASSERT_GE(t.events.lines.size(), 7u);
    EXPECT_EQ(t.events.lines[0], "movie\tintro\t" + transcript_path(root, "/intro.swf"));
    EXPECT_EQ(t.events.lines[6], "fs\tintro\tINTRO_END\t");
    const lines tail(t.events.lines.end() - 5, t.events.lines.end());
    // The version was read at load; a later `var` changes only what the movie would answer from then on.
    EXPECT_EQ(tail, (lines{"fs\tmain\tGET_WRAPPER_VERSION\t", "stop\tmain", "set\tvb_wrapper_version\t7.5",
                           "play\tmain", "end"}));
}

TEST_F(headless_player, ClockDirectivesFixAndAdvanceTheTime) {
    EXPECT_EQ(play("clock\t2026-12-31 23:59:30\nfs\tINTRO_END\nfs\tTO_LOG\ta\nclock\t+45\nfs\tTO_LOG\tb\n"),
              exit_closed);
    const std::string log = t.read("system/logs/log.txt");
    EXPECT_NE(log.find("31/12/2026 23:59:30  a\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("01/01/2027 00:00:15  b\r\n"), std::string::npos) << log;
}

TEST_F(headless_player, QueuedBoxAnswersAreUsedInOrder) {
    EXPECT_EQ(play("msgbox\tyes\nfs\tINTRO_END\nfs\tMSGBOX\tone\nfs\tMSGBOX\ttwo\n"), exit_closed);
    lines boxes;
    for (const auto& line : t.events.lines) {
        if (line.rfind("msgbox", 0) == 0) boxes.push_back(line);
    }
    EXPECT_EQ(boxes, (lines{"msgbox\tTollcastle Wrapper\tone\t0\tyes", "msgbox\tTollcastle Wrapper\ttwo\t0\tok"}));
}

TEST_F(headless_player, CloseAllEndsThePlayAndTheRestIsNotRun) {
    EXPECT_EQ(play("fs\tINTRO_END\nfs\tCLOSE_ALL\nfs\tSHAKE\n"), exit_closed);
    EXPECT_EQ(t.events.lines.back(), "exit\t0");
    for (const auto& line : t.events.lines) EXPECT_NE(line, "fs\tmain\tSHAKE\t");
    EXPECT_EQ(err.text(), "");
}

TEST_F(headless_player, AFailureInTheIntroEndsWithStatusThreeAndNoLogLine) {
    broken_intro intro;
    t.host.io.intro_movie = &intro;
    EXPECT_EQ(play("fs\tINTRO_END\nfs\tCLOSE_ALL\n"), exit_intro_failed);
    EXPECT_EQ(t.events.lines, (lines{"exit\t3"}));
    EXPECT_EQ(err.text(), "quizhost: unhandled run-time error 53 - File not found (" +
                              native_path(t.host.program_folder, "/intro.swf") + ")\n");
    EXPECT_EQ(t.read("system/logs/log.txt"), "<ERROR LOG>\r\n");
}

TEST(run_host_step, TurnsTheEndOfTheProgramIntoItsStatus) {
    testing::test_host t;
    captured_stream err;
    EXPECT_EQ(run_host_step(
                  t.host, [] {}, err.get()),
              std::nullopt);
    EXPECT_EQ(run_host_step(
                  t.host, [] { throw program_exit{exit_fatal}; }, err.get()),
              exit_fatal);
    EXPECT_EQ(run_host_step(
                  t.host, [] { throw std::bad_alloc(); }, err.get()),
              exit_intro_failed);
    EXPECT_EQ(t.events.lines, (lines{"exit\t1", "exit\t3"}));
    EXPECT_EQ(err.text().rfind("quizhost: unhandled failure: ", 0), 0u) << err.text();
}

TEST(script_clock, FollowsTheMachineUntilFixed) {
    script_clock clock;
    const date_time before = clock.now();
    EXPECT_GE(before.year, 2024);
    clock.set(date_time{2026, 1, 1, 0, 0, 0});
    clock.advance(3600);
    EXPECT_EQ(clock.now(), (date_time{2026, 1, 1, 1, 0, 0}));
}

TEST(cabinet, FolderWithoutTrailingSeparators) {
    EXPECT_EQ(without_trailing_separator("/srv/cabinet/"), "/srv/cabinet");
    EXPECT_EQ(without_trailing_separator("/srv/cabinet//"), "/srv/cabinet");
    EXPECT_EQ(without_trailing_separator("cab"), "cab");
    EXPECT_EQ(without_trailing_separator("/"), "/");
}

}  // namespace
}  // namespace quizhost
