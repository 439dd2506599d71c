#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "definitions.hpp"
#include "platform/file_system.hpp"
#include "records/error_log.hpp"
#include "support/test_host.hpp"

namespace quizhost {
namespace {

using testing::test_host;

const std::string log_name = "system/logs/log.txt";
const std::string header = "<ERROR LOG>\r\nCreated on 07/12/2026 at 14:05:09\r\n\r\n";
const std::string previous_name = "system/logs/log_previous.txt";
const std::string limit_notice = "*** PREVIOUS LOG EXCEEDED LIMIT - NEW LOG CREATED ***\r\n\r\n";

class ErrorLog : public ::testing::Test {
protected:
    ErrorLog() {
        t.set_paths();
        t.write("system/logs/keep.txt", "");  // the logs folder exists, the log does not
    }
    test_host t;
};

TEST_F(ErrorLog, MissingLogIsStartedWithThreeHeaderLines) {
    start_log(t.host);
    EXPECT_EQ(t.read(log_name), header);
    write_error(t.host, "LAUNCHING GAME (V7)");
    EXPECT_EQ(t.read(log_name), header + "07/12/2026 14:05:09  LAUNCHING GAME (V7)\r\n");
}

TEST_F(ErrorLog, LogOfExactlyTheLimitIsKept) {
    const std::string old = std::string(262'142, 'x') + "\r\n";
    t.write(log_name, old);
    start_log(t.host);
    EXPECT_EQ(t.read(log_name), old);
    write_error(t.host, "next");
    EXPECT_EQ(t.read(log_name), old + "07/12/2026 14:05:09  next\r\n");
    EXPECT_FALSE(t.exists(previous_name));
}

// The log a start-up replaces is what the operator reads after a bad night: it is kept beside the new one,
// byte for byte, and the next replacement puts the newer one in its place (one previous log, never more).
TEST_F(ErrorLog, LogOverTheLimitIsReplacedWithTheNoticeAndKeptAsThePreviousLog) {
    const std::string first(262'145, 'x');
    t.write(log_name, first);
    start_log(t.host);
    EXPECT_EQ(t.read(log_name), header + limit_notice);
    EXPECT_EQ(t.read(previous_name), first);

    const std::string second = std::string(300'000, 'y') + "\r\n";
    t.write(log_name, second);
    start_log(t.host);
    EXPECT_EQ(t.read(previous_name), second);
    EXPECT_EQ(t.read(log_name), header + limit_notice);
    write_error(t.host, "after");
    EXPECT_EQ(t.read(log_name), header + limit_notice + "07/12/2026 14:05:09  after\r\n");
}

// A last line without its CR LF (an append cut short by a full disk or a power cut) is never glued to
// the next entry, whether the log was torn before the run or during it.
TEST_F(ErrorLog, AnEntryAfterATornLastLineStartsOnALineOfItsOwn) {
    t.write(log_name, "07/12/2026 14:00:00  cut sho");
    start_log(t.host);
    write_error(t.host, "next");
    write_error(t.host, "and on");
    EXPECT_EQ(t.read(log_name),
              "07/12/2026 14:00:00  cut sho\r\n07/12/2026 14:05:09  next\r\n07/12/2026 14:05:09  and on\r\n");

    test_host fresh;  // a new run, which has not looked at the log yet
    fresh.set_paths();
    fresh.write(log_name, "ends with CR alone\r");
    write_error(fresh.host, "x");
    EXPECT_EQ(fresh.read(log_name), "ends with CR alone\r\r\n07/12/2026 14:05:09  x\r\n");

    // An append that fails halfway leaves the log open: the next entry starts on a new line.
    struct failing_append : file_system_wrapper {
        using file_system_wrapper::file_system_wrapper;
        bool fail = true;
        void append_to_file(const std::string& path, std::string_view bytes) override {
            if (!fail) return file_system_wrapper::append_to_file(path, bytes);
            file_system_wrapper::append_to_file(path, bytes.substr(0, 7));
            throw run_time_error(path_file_access_error);
        }
    };
    test_host run;
    run.set_paths();
    run.write(log_name, "");
    failing_append files(*run.host.io.files);
    run.host.io.files = &files;
    EXPECT_THROW(write_error(run.host, "lost on a full disk"), run_time_error);
    files.fail = false;
    write_error(run.host, "disk freed");
    EXPECT_EQ(run.read(log_name), "07/12/2\r\n07/12/2026 14:05:09  disk freed\r\n");
}

TEST(MovieLogText, IsBoundedAndNeverPassesForTheHostsOwnEntries) {
    EXPECT_EQ(movie_log_text("GAME 12 STARTED"), "GAME 12 STARTED");
    const std::string long_text(1'000'000, 'm');
    EXPECT_EQ(movie_log_text(long_text), std::string(movie_log_text_limit, 'm') + " [cut: 999000 more characters]");
    EXPECT_EQ(movie_log_text(std::string(movie_log_text_limit, 'm')), std::string(movie_log_text_limit, 'm'));
    for (const char* forged :
         {"ERROR! 5 - Invalid procedure call or argument.  Game Terminated.",
          "  error! 6 - Overflow.  Game Terminated.",
          "KIOSK BROWSER DIED 5 TIMES WITHIN A MINUTE (last: x).  Game Terminated.", "LAUNCHING GAME (V7.99)"}) {
        EXPECT_EQ(movie_log_text(forged), std::string("(movie) ") + forged);
    }
    EXPECT_EQ(movie_log_text("Game Terminated."), "Game Terminated.");  // not one of the host's openings
}

TEST_F(ErrorLog, SmallLogIsKeptAsItIs) {
    t.write(log_name, "old entry\r\n");
    start_log(t.host);
    EXPECT_EQ(t.read(log_name), "old entry\r\n");
}

TEST_F(ErrorLog, StartingWithoutTheLogsFolderIsAnError) {
    test_host bare;
    bare.set_paths();
    try {
        start_log(bare.host);
        FAIL() << "no error";
    } catch (const run_time_error& e) {
        EXPECT_EQ(e.number(), path_not_found) << e.what();
    }
}

TEST_F(ErrorLog, EntryIsDateSpaceTimeTwoSpacesAndTheMessageUntrimmed) {
    start_log(t.host);
    write_error(t.host, "");
    write_error(t.host, "  spaced  ");
    t.clock.advance(3661);
    write_error(t.host, "later");
    EXPECT_EQ(t.read(log_name), header +
                                    "07/12/2026 14:05:09  \r\n"
                                    "07/12/2026 14:05:09    spaced  \r\n"
                                    "07/12/2026 15:06:10  later\r\n");
}

TEST_F(ErrorLog, MessageCannotStartAnotherLine) {
    start_log(t.host);
    write_error(t.host, "one\r\n07/12/2026 14:05:09  forged\nline");
    EXPECT_EQ(t.read(log_name), header + "07/12/2026 14:05:09  one  07/12/2026 14:05:09  forged line\r\n");
}

TEST_F(ErrorLog, MissingLogSwallowsEntriesSilently) {
    EXPECT_NO_THROW(write_error(t.host, "lost"));
    EXPECT_FALSE(t.exists(log_name));
    start_log(t.host);
    std::filesystem::remove(t.path(log_name));  // deleted during a run
    EXPECT_NO_THROW(write_error(t.host, "lost too"));
    EXPECT_FALSE(t.exists(log_name));
}

}  // namespace
}  // namespace quizhost
