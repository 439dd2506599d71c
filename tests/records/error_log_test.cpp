#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "definitions.hpp"
#include "records/error_log.hpp"
#include "support/test_host.hpp"

namespace quizhost {
namespace {

using testing::test_host;

const std::string log_name = "system/logs/log.txt";
const std::string header = "<ERROR LOG>\r\nCreated on 07/12/2026 at 14:05:09\r\n\r\n";
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
    const std::string old(262'144, 'x');
    t.write(log_name, old);
    start_log(t.host);
    EXPECT_EQ(t.read(log_name), old);
    write_error(t.host, "next");
    EXPECT_EQ(t.read(log_name), old + "07/12/2026 14:05:09  next\r\n");
}

TEST_F(ErrorLog, LogOneByteOverTheLimitIsReplacedWithTheNotice) {
    t.write(log_name, std::string(262'145, 'x'));
    start_log(t.host);
    EXPECT_EQ(t.read(log_name), header + limit_notice);
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
