// The main form: the command handler's framing and table, the fatal error path, and the load order.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "forms/form_main.hpp"
#include "host.hpp"
#include "support/e2e.hpp"
#include "support/test_host.hpp"

namespace quizhost {
namespace {

using testing::native_path;
using testing::test_host;
using testing::transcript_path;
using lines = std::vector<std::string>;

// A file system that reads `unreadable` as a failure and passes everything else to the real one.
class unreadable_file_system final : public file_system_wrapper {
public:
    unreadable_file_system(file_system& real, std::string unreadable)
        : file_system_wrapper(real), unreadable_(std::move(unreadable)) {}
    std::string read_file(const std::string& p) override {
        if (p == unreadable_) throw run_time_error(permission_denied);
        return file_system_wrapper::read_file(p);
    }

private:
    std::string unreadable_;
};

// Windows whose message box fails, as a box that cannot be created would.
class failing_box_windows final : public window_system {
public:
    explicit failing_box_windows(run_time_error failure) : failure_(std::move(failure)) {}
    void set_topmost(form, bool) override {}
    void show_cursor(bool) override {}
    void show(form) override {}
    void hide(form) override {}
    void set_caption(form, const std::string&) override {}
    box_answer message_box(const std::string&, const std::string&, int) override { throw failure_; }

private:
    run_time_error failure_;
};

// A game movie that records like the headless one but fails when the host reads a variable.
class unreadable_variable_movie final : public movie_control {
public:
    explicit unreadable_variable_movie(movie_control& inner) : inner_(inner) {}
    void set_movie(const std::string& path) override { inner_.set_movie(path); }
    std::string movie() const override { return inner_.movie(); }
    void rewind() override { inner_.rewind(); }
    void play() override { inner_.play(); }
    void stop() override { inner_.stop(); }
    void set_variable(const std::string& n, const std::string& v) override { inner_.set_variable(n, v); }
    std::string get_variable(const std::string&) override { throw run_time_error(type_mismatch); }

private:
    movie_control& inner_;
};

class main_form : public ::testing::Test {
protected:
    void SetUp() override {
        t.set_paths();
        t.write("system/logs/log.txt", "<ERROR LOG>\r\n");
        t.host.money.price_per_play = 50;
        t.host.start.wrapper_version = "7.12";
        t.game_movie.set_movie(game_movie_path());
        t.events.clear();
    }

    std::string game_movie_path() const { return native_path(t.host.program_folder, "/flash_game.swf"); }

    // The events of one command that returns normally.
    lines command(const std::string& name, const std::string& args = {}) {
        t.events.clear();
        flash_game_FSCommand(t.host, name, args);
        return t.events.lines;
    }

    // The exit status of a command that ends the program (-1 when it did not).
    int ending_command(const std::string& name, const std::string& args = {}) {
        t.events.clear();
        try {
            flash_game_FSCommand(t.host, name, args);
        } catch (const program_exit& exit) {
            return exit.status;
        }
        return -1;
    }

    // Log lines after the header, without their date and time.
    lines log_entries() const {
        lines entries;
        const std::string log = t.read("system/logs/log.txt");
        std::size_t start = log.find("\r\n") + 2;
        while (start < log.size()) {
            const std::size_t end = log.find("\r\n", start);
            entries.push_back(log.substr(start + 21, end - start - 21));  // "dd/mm/yyyy HH:MM:SS  "
            start = end + 2;
        }
        return entries;
    }

    test_host t;
};

// --- framing: stop, at most one set, play -------------------------------------------------------

TEST_F(main_form, AnswerIsSetOnceBetweenStopAndPlay) {
    EXPECT_EQ(command("GET_CREDIT_TO_PLAY"), (lines{"stop\tmain", "set\tvb_credit_to_play\t50", "play\tmain"}));
    t.host.money.price_per_play = -3;
    EXPECT_EQ(command("GET_CREDIT_TO_PLAY"), (lines{"stop\tmain", "set\tvb_credit_to_play\t-3", "play\tmain"}));
}

TEST_F(main_form, RowsThatNeedNothingElseAnswerTheirValue) {
    t.host.money.game_mode = 3;
    t.host.money.autoplay_info = "AUTO,5";
    const std::vector<std::pair<std::string, std::string>> cases{
        {"GET_GAME_MODE", "vb_game_mode\t3"},
        {"GET_WRAPPER_VERSION", "vb_wrapper_version\t7.12"},
        {"GET_AUTOPLAY_INFO", "vb_autoplay_info\tAUTO,5"},
        {"GET_SHOW_LOCAL_SCORES", "vb_show_local_scores\t1"},
        // Values the host keeps nowhere reach the movie as the empty string.
        {"GET_REFLEX_MODE", "vb_reflex_mode\t"},
        {"GET_MANAGER_PIN", "vb_manager_pin\t"},
        {"GET_GAME_NAME", "vb_game_name\t"},
        {"GET_HOUSE_NAME", "vb_house_name\t"},
        {"GET_TOWN_NAME", "vb_town_name\t"},
        {"GET_GAME_ACTIVE", "vb_game_active\t"},
    };
    for (const auto& [name, answer] : cases) {
        EXPECT_EQ(command(name, "ignored"), (lines{"stop\tmain", "set\t" + answer, "play\tmain"})) << name;
    }
}

TEST_F(main_form, UnmatchedCommandsAndShakeOnlyPauseAndResume) {
    // Matching is exact: case, surrounding blanks and partial names count.
    for (const std::string name : {"SHAKE", "get_credit_to_play", "GET_CREDIT_TO_PLAY ", " GET_CREDIT_TO_PLAY",
                                   "GET_CREDIT_TO", "", "NO_SUCH_COMMAND"}) {
        EXPECT_EQ(command(name, "1"), (lines{"stop\tmain", "play\tmain"})) << '"' << name << '"';
    }
}

TEST_F(main_form, ResetFlashGameReloadsThenPlaysTwice) {
    EXPECT_EQ(command("RESET_FLASH_GAME"), (lines{"stop\tmain", "movie\tmain\t" + escape_field(game_movie_path()),
                                                  "rewind\tmain", "play\tmain", "play\tmain"}));
    EXPECT_TRUE(t.game_movie.playing());
    // The host's own state is not touched.
    EXPECT_EQ(t.host.start.wrapper_version, "7.12");
    EXPECT_EQ(t.host.money.price_per_play, 50);
}

// --- the table ------------------------------------------------------------------------------------

TEST(command_table, HoldsEveryCommandInMatchingOrderWithItsVariable) {
    const std::vector<std::pair<std::string, std::string>> expected{
        {"GET_INSTRUCTIONS", "vb_instructions"},
        {"GET_GAME_MODE", "vb_game_mode"},
        {"SHAKE", ""},
        {"ANSWERED", ""},
        {"GET_LIVES", "vb_lives"},
        {"GET_AUTOPLAY_INFO", "vb_autoplay_info"},
        {"GET_WINPLAN", "vb_win_plan"},
        {"GET_REFLEX_MODE", "vb_reflex_mode"},
        {"RESET_CASHPOT", ""},
        {"GET_BANK", "vb_bank"},
        {"ADD_TO_BANK", ""},
        {"RESET_FLASH_GAME", ""},
        {"GET_SCORE_RECORD", "vb_score_record"},
        {"GET_MANAGER_PIN", "vb_manager_pin"},
        {"GET_WRAPPER_VERSION", "vb_wrapper_version"},
        {"GET_CREDIT", "vb_credit"},
        {"START_GAME", ""},
        {"FREE_GAME", ""},
        {"USE_CREDIT", ""},
        {"GET_CREDIT_TO_PLAY", "vb_credit_to_play"},
        {"GET_CASHPOT", "vb_cashpot"},
        {"GET_TOP_LOCAL_SCORE", "vb_top_local_score"},
        {"MSGBOX", ""},
        {"GET_HISCORE_POSITION", "vb_hiscore_position"},
        {"GET_TOTAL_GAMES", "vb_total_games_played"},
        {"CLOSE_ALL", ""},
        {"GET_QUESTION", "vb_question"},
        {"UPDATE_METERS", ""},
        {"GET_LAST_HISCORE_UPDATE", "vb_last_hiscore_update"},
        {"TO_LOG", ""},
        {"READ_HISCORES", "vb_hiscores"},
        {"ADD_TO_HISCORES", "vb_score_rank"},
        {"GET_GAME_NAME", "vb_game_name"},
        {"GET_HOUSE_NAME", "vb_house_name"},
        {"GET_TOWN_NAME", "vb_town_name"},
        {"GET_SHOW_LOCAL_SCORES", "vb_show_local_scores"},
        {"GET_GAME_ACTIVE", "vb_game_active"},
    };
    const auto table = command_table();
    ASSERT_EQ(table.size(), expected.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        EXPECT_EQ(table[i].name, expected[i].first) << "row " << i + 1;
        EXPECT_EQ(table[i].answer ? std::string(table[i].answer) : std::string(), expected[i].second) << table[i].name;
        EXPECT_NE(table[i].handler, nullptr) << table[i].name;
        EXPECT_EQ(find_command(expected[i].first), &table[i]) << table[i].name;
    }
    EXPECT_EQ(find_command("Get_Credit"), nullptr);
    EXPECT_EQ(find_command("GET_CREDIT\t"), nullptr);
}

// --- rows of this host ---------------------------------------------------------------------------

TEST_F(main_form, MsgboxShowsTheTextModallyWithAnOkButton) {
    EXPECT_EQ(command("MSGBOX", "Hello\r\nthere"),
              (lines{"stop\tmain", "msgbox\tTollcastle Wrapper\tHello\\r\\nthere\t0\tok", "play\tmain"}));
}

TEST_F(main_form, ToLogWritesOneEntryEvenWhenTheTextHoldsLineBreaks) {
    command("TO_LOG", "first\r\nforged entry\nthird\r");
    command("TO_LOG", "");
    EXPECT_EQ(log_entries(), (lines{"first  forged entry third ", ""}));
    EXPECT_EQ(t.read("system/logs/log.txt").substr(13, 21), "07/12/2026 14:05:09  ");
}

TEST_F(main_form, ToLogWithoutALogFileIsDroppedQuietly) {
    std::filesystem::remove(t.path("system/logs/log.txt"));
    EXPECT_EQ(command("TO_LOG", "lost"), (lines{"stop\tmain", "play\tmain"}));
    EXPECT_FALSE(t.exists("system/logs/log.txt"));
}

TEST_F(main_form, ScoreRecordsComeFromTheHighScoreFile) {
    EXPECT_EQ(command("GET_SCORE_RECORD", "1")[1], "set\tvb_score_record\t");  // no file yet
    EXPECT_EQ(command("READ_HISCORES")[1], "set\tvb_hiscores\t");

    t.write("variable/highscores.txt",
            "Score,10,TEN,1,100\r\nScore,2,TWO,1,900\r\nScore,1,ONE,1,1000\r\nScore,65,OUT,1,1\r\n");
    // The position is trimmed of blanks, and 1 never matches the record of position 10.
    EXPECT_EQ(command("GET_SCORE_RECORD", " 1 ")[1], "set\tvb_score_record\tScore,1,ONE,1,1000");
    EXPECT_EQ(command("GET_SCORE_RECORD", "10")[1], "set\tvb_score_record\tScore,10,TEN,1,100");
    EXPECT_EQ(command("GET_SCORE_RECORD", "3")[1], "set\tvb_score_record\t");
    // In position order, positions above 64 never read.
    EXPECT_EQ(command("READ_HISCORES")[1], "set\tvb_hiscores\tScore,1,ONE,1,1000|Score,2,TWO,1,900|Score,10,TEN,1,100");
}

// --- shutdown and the fatal error path -------------------------------------------------------------

TEST_F(main_form, CloseAllUnloadsTheMovieAndEndsWithoutPlaying) {
    EXPECT_EQ(ending_command("CLOSE_ALL"), exit_closed);
    EXPECT_EQ(t.events.lines, (lines{"stop\tmain", "movie\tmain\t"}));
    EXPECT_EQ(log_entries(), lines{});
}

// The error path unloads the movie, and the shutdown it ends in unloads it once more.
TEST_F(main_form, AFailingCommandSetsNothingUnloadsLogsOnceAndExits) {
    unreadable_file_system files(*t.files, t.host.hiscore_file());
    t.host.io.files = &files;
    t.write("variable/highscores.txt", "Score,1,ONE,1,1000\r\n");

    EXPECT_EQ(ending_command("GET_SCORE_RECORD", "1"), exit_fatal);
    EXPECT_EQ(t.events.lines, (lines{"stop\tmain", "stop\tmain", "movie\tmain\t", "movie\tmain\t"}));
    EXPECT_EQ(log_entries(), (lines{"ERROR! 70 - Permission denied.  Game Terminated."}));
}

// With the local credit service down, the goodbye fails; the display is still restored before that
// failure ends the program.
TEST_F(main_form, AFailedGoodbyeStillUnloadsAndRestoresTheDisplay) {
    t.host.credit.platform_code = 0;
    t.host.credit_port = 1;  // nothing listens there
    t.host.screen.resolution_changed = true;
    t.host.screen.saved_screen_width = 1024;
    t.host.screen.saved_screen_height = 768;
    EXPECT_THROW(flash_game_FSCommand(t.host, "CLOSE_ALL", ""), run_time_error);
    EXPECT_TRUE(testing::in_order(t.events.lines, {"movie\tmain\t", "display\t1024x768\t0"}));
}

TEST_F(main_form, ErrorTextKeepsItsEndingAfterADescriptionWithAFullStop) {
    failing_box_windows windows(run_time_error(13));
    t.host.io.windows = &windows;
    EXPECT_EQ(ending_command("MSGBOX", "hi"), exit_fatal);
    EXPECT_EQ(t.events.lines, (lines{"stop\tmain", "stop\tmain", "movie\tmain\t", "movie\tmain\t"}));

    failing_box_windows dotted(run_time_error(1004, "Object busy."));
    t.host.io.windows = &dotted;
    EXPECT_EQ(ending_command("MSGBOX", "hi"), exit_fatal);
    EXPECT_EQ(log_entries(),
              (lines{"ERROR! 13 - Type mismatch.  Game Terminated.", "ERROR! 1004 - Object busy..  Game Terminated."}));
}

// --- load -----------------------------------------------------------------------------------------

class main_form_load : public ::testing::Test {
protected:
    void SetUp() override {
        t.write("system/logs/log.txt", "<ERROR LOG>\r\n");
        t.intro_movie.set_movie(t.host.program_folder + "/intro.swf");
        t.game_movie.define_variable("content_version_no", "12");
        t.events.clear();
    }

    int load() {
        try {
            form_main_load(t.host);
        } catch (const program_exit& exit) {
            return exit.status;
        }
        return -1;
    }

    test_host t;
};

TEST_F(main_form_load, RunsItsStepsInOrderAndLogsTheLaunch) {
    EXPECT_EQ(load(), -1);
    const std::string root = t.host.program_folder;
    EXPECT_EQ(t.events.lines, (lines{"topmost\tmain\t1", "movie\tmain\t" + transcript_path(root, "/flash_game.swf"),
                                     "rewind\tmain", "play\tmain", "get\tcontent_version_no\t12",
                                     "caption\tmain\tTollcastle Wrapper", "movie\tintro\t", "hide\tintro"}));
    EXPECT_EQ(t.host.start.wrapper_version, "7.12");
    EXPECT_EQ(t.host.start.system_path, native_path(root, "/system/"));
    EXPECT_EQ(t.host.start.variable_path, native_path(root, "/variable/"));
    EXPECT_EQ(t.host.start.data_path, native_path(root, "/data/"));
    EXPECT_EQ(t.host.start.setup_file_path, native_path(root, "/system/setup.ini"));
    EXPECT_NE(t.read("system/logs/log.txt").find("07/12/2026 14:05:09  LAUNCHING GAME (V7.12)\r\n"), std::string::npos);
}

TEST_F(main_form_load, DemoModeKeepsTheWindowInTheNormalBand) {
    t.host.start.demo_mode = true;
    EXPECT_EQ(load(), -1);
    for (const auto& line : t.events.lines) EXPECT_EQ(line.rfind("topmost", 0), std::string::npos) << line;
}

TEST_F(main_form_load, AContentVersionWithLineBreaksStaysOneLogEntry) {
    t.game_movie.define_variable("content_version_no", "3\r\nforged");
    EXPECT_EQ(load(), -1);
    EXPECT_EQ(t.host.start.wrapper_version, "7.3\r\nforged");  // answered to the movie as it gave it
    EXPECT_NE(t.read("system/logs/log.txt").find("LAUNCHING GAME (V7.3  forged)\r\n"), std::string::npos);
}

TEST_F(main_form_load, AFailureEndsTheLoadThroughTheErrorPath) {
    unreadable_variable_movie game(t.game_movie);
    t.host.io.game_movie = &game;
    EXPECT_EQ(load(), exit_fatal);
    const std::string root = t.host.program_folder;
    // Nothing after the failing step runs: no launch line, no caption, the intro is not released.
    EXPECT_EQ(t.events.lines, (lines{"topmost\tmain\t1", "movie\tmain\t" + transcript_path(root, "/flash_game.swf"),
                                     "rewind\tmain", "play\tmain", "stop\tmain", "movie\tmain\t", "movie\tmain\t"}));
    const std::string log = t.read("system/logs/log.txt");
    EXPECT_EQ(log.find("LAUNCHING"), std::string::npos);
    EXPECT_NE(log.find("ERROR! 13 - Type mismatch.  Game Terminated.\r\n"), std::string::npos);
    EXPECT_EQ(t.intro_movie.movie(), root + "/intro.swf");
}

}  // namespace
}  // namespace quizhost
