// A fatal error tells the operator what failed: the log line stays as it always was, and standard error
// gets one line beside it with the command, its argument and the system's own detail (the file and the
// system's message, the credit service's address). The transcript is unchanged.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "platform/loopback_socket.hpp"
#include "player/cabinet.hpp"
#include "support/e2e.hpp"
#include "support/faulty_credit_service.hpp"

namespace quizhost::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class fatal_detail : public ::testing::Test {
protected:
    void SetUp() override {
        cab.make_standard();
        cab.write("system/setup.ini", "S1,40\r\nS2,50\r\n");
    }
    run_result play(const std::string& commands, const std::vector<std::string>& extra = {}) const {
        return cab.run("clock\t2026-12-07 14:05:09\nfs\tINTRO_END\n" + commands, extra);
    }
    std::string log() const { return cab.read("system/logs/log.txt"); }
    std::string path(const std::string& relative) const { return native_path(cab.root(), relative); }

    cabinet cab;
};

// A path as the stderr line shows it: escaped as the transcript's fields are, so a Windows path's
// backslashes come doubled.
std::string shown(const std::string& path) {
    std::string out;
    for (const char c : path) out += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return out;
}

TEST_F(fatal_detail, AMissingQuestionFileIsNamedWithTheCommandAndItsArgument) {
    const run_result r = play("draw\t0\nfs\tGET_QUESTION\t1,T\n");
    EXPECT_EQ(r.status, 1);
    // The log line is exactly what it always was: number and description, no path.
    EXPECT_THAT(log(), HasSubstr("  ERROR! 53 - File not found.  Game Terminated.\r\n"));
    EXPECT_THAT(log(), Not(HasSubstr("data_1_1.dat")));
    EXPECT_THAT(r.err, HasSubstr("quizhost: fatal error in GET_QUESTION \"1,T\": ERROR! 53 - File not found.  Game "
                                 "Terminated. -- " +
                                 shown(path("/data/data_1_1.dat"))));
    // One line, and nothing new in the transcript.
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.transcript.back(), "exit\t1");
    EXPECT_THAT(lines_starting(r.transcript, "quizhost"), ::testing::IsEmpty());
}

TEST_F(fatal_detail, AnEmptyQuestionFileNamesTheFile) {
    cab.write("data/data_1_1.dat", "");
    const run_result r = play("draw\t0\nfs\tGET_QUESTION\t1,T\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("ERROR! 62 - Input past end of file.  Game Terminated. -- " +
                                 shown(path("/data/data_1_1.dat"))));
}

TEST_F(fatal_detail, AMissingCreditLibrarySaysWhereItWasLookedFor) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows looks for DLLs in quizhost.exe's own folder, which holds the build's stand-in";
#endif
    const run_result r = play("fs\tGET_CREDIT\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("quizhost: fatal error in GET_CREDIT: ERROR! 53 - File not found.  Game Terminated. "
                                 "-- not in " +
                                 cab.root() + " nor on the library search path: libtccomm.so"));
}

TEST_F(fatal_detail, ACreditServiceThatHangsUpIsNamedByItsAddress) {
    cab.write("flg_meridian.dat", "");
    faulty_credit_service service;
    service.on("GET_BANK", faulty_credit_service::answer(""));  // closes without a reply
    const std::string port = std::to_string(service.port());
    const run_result r = play("fs\tGET_BANK\n", {"--credit-port", port});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_THAT(log(), HasSubstr("  ERROR! 9 - Subscript out of range.  Game Terminated.\r\n"));
    EXPECT_THAT(r.err, HasSubstr("quizhost: fatal error in GET_BANK: ERROR! 9 - Subscript out of range.  Game "
                                 "Terminated. -- credit service at 127.0.0.1:" +
                                 port + ", GET_BANK: connection closed before the reply's line end"));
}

TEST_F(fatal_detail, AFailureAtStartUpIsNamedByTheCommandThatStartedIt) {
    cab.write("data/weighted_questions.txt", "");
    const run_result r = play("");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("quizhost: fatal error in INTRO_END: ERROR! "));
}

TEST_F(fatal_detail, ABadArgumentWithoutAFileSaysSoAndKeepsItsBytesOnOneLine) {
    const run_result r = play("fs\tANSWERED\tx\\ny,1\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("quizhost: fatal error in ANSWERED \"x\\ny,1\": ERROR! 13 - Type mismatch.  Game "
                                 "Terminated. -- not a number: \"x\\ny\""));
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
}

TEST(fatal_report_line, SaysWhenTheFailureCarriedNoDetail) {
    EXPECT_EQ(fatal_report_line("SHAKE", "ERROR! 6 - Overflow.  Game Terminated.", ""),
              "quizhost: fatal error in SHAKE: ERROR! 6 - Overflow.  Game Terminated. -- no detail");
    EXPECT_EQ(command_step_name("TO_LOG", "a\tb"), "TO_LOG \"a\\tb\"");
    EXPECT_EQ(command_step_name("CLOSE_ALL", ""), "CLOSE_ALL");
}

}  // namespace
}  // namespace quizhost::testing
