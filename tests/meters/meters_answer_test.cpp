#include <gtest/gtest.h>

#include "meters/answer_settlement.hpp"
#include "platform/file_system.hpp"
#include "support/faulty_file_system.hpp"
#include "support/meters_support.hpp"

namespace quizhost::testing {
namespace {

struct answered : meter_host {
    std::vector<std::string> fresh = new_meter_file();
    // "answered right; asked; M13 count,percentage" for difficulty d.
    std::string stats(int d) {
        return meter("M15", 1) + "; " + meter("M16," + std::to_string(d), 2) + "; " +
               meter("M13," + std::to_string(d), 2) + "," + meter("M13," + std::to_string(d), 3);
    }
};

TEST(Answered, CorrectShareIsTakenAtEachCorrectAnswer) {
    answered t;
    do_when_answered(t.host, "2,1");
    EXPECT_EQ(t.stats(2), "1; 1; 1,100%");
    do_when_answered(t.host, "2,0");
    EXPECT_EQ(t.stats(2), "2; 2; 1,100%") << "a wrong answer leaves the correct count and its share alone";
    do_when_answered(t.host, "2,1");
    EXPECT_EQ(t.stats(2), "3; 3; 2,67%");
    EXPECT_EQ(t.stats(1), "3; 0; 0,0%");
}

TEST(Answered, EightAnswersWithTheFirstAndLastCorrectLeaveAQuarter) {
    answered t;
    do_when_answered(t.host, "1,1");
    for (int i = 0; i < 6; ++i) do_when_answered(t.host, "1,0");
    do_when_answered(t.host, "1,1");
    EXPECT_EQ(t.stats(1), "8; 8; 2,25%");
}

TEST(Answered, ShareRoundsHalvesToEven) {
    answered t;
    // One right of eight is 12.5%, three of eight 37.5%.
    t.write(meter_path, "M15,0\r\nM16,1,7\r\nM13,1,0,0%\r\nM16,2,7\r\nM13,2,2,29%\r\n");
    do_when_answered(t.host, "1,1");
    do_when_answered(t.host, "2,1");
    EXPECT_EQ(t.read(meter_path), "M15,2\r\nM16,1,8\r\nM13,1,1,12%\r\nM16,2,8\r\nM13,2,3,38%\r\n");
}

TEST(Answered, FieldsAreCutToTheirIntegerPart) {
    answered t;
    do_when_answered(t.host, "3.9,1");
    EXPECT_EQ(t.stats(3), "1; 1; 1,100%");
    do_when_answered(t.host, " 4 , 1.5 ");
    EXPECT_EQ(t.stats(4), "2; 1; 1,100%") << "1.5 counts as correct";
    do_when_answered(t.host, "4,2");
    EXPECT_EQ(t.stats(4), "3; 2; 1,100%") << "2 counts as wrong";
    do_when_answered(t.host, "4,-1");
    EXPECT_EQ(t.stats(4), "4; 3; 1,100%");
}

TEST(Answered, DifficultyWithoutARowRaisesOnlyTheTotal) {
    answered t;
    do_when_answered(t.host, "7,1");
    do_when_answered(t.host, "0,1");
    EXPECT_EQ(t.read(meter_path), with_changes(t.fresh, {{"M15", "M15,2"}}));
}

// Every kind of bad argument fails with "Type mismatch" before anything is written.
TEST(Answered, BadArgumentsFailBeforeAnythingIsWritten) {
    answered t;
    faulty_file_system faulty(make_native_file_system());
    t.host.io.files = &faulty;
    const std::string before = t.read(meter_path);
    for (const char* args : {"", ",", "2", "2,", ",1", "x,1", "2,yes", "2,1x", "2 1,1", "1e0,1"}) {
        SCOPED_TRACE(std::string("\"") + args + "\"");
        faulty.fail_at_step(0);
        EXPECT_EQ(error_of([&] { do_when_answered(t.host, args); }), type_mismatch);
        EXPECT_EQ(faulty.steps(), 0) << "no file step was taken";
        EXPECT_EQ(t.read(meter_path), before);
    }
}

TEST(Answered, MissingMeterFileFails) {
    meter_host t;
    t.make_logs_folder();  // as start-up leaves it: the folder is there, the file is not
    EXPECT_EQ(error_of([&] { do_when_answered(t.host, "2,1"); }), file_not_found);
    EXPECT_FALSE(t.exists(meter_path));
}

TEST(Answered, AFailureAtAnyStepLeavesTheFileBeforeOrAfter) {
    answered t;
    faulty_file_system faulty(make_native_file_system());
    t.host.io.files = &faulty;
    const std::string before = t.read(meter_path);
    do_when_answered(t.host, "2,1");
    const std::string after = t.read(meter_path);
    const int steps = faulty.steps();
    ASSERT_GE(steps, 1);
    for (int step = 1; step <= steps; ++step) {
        SCOPED_TRACE("failing step " + std::to_string(step));
        t.write(meter_path, before);
        faulty.fail_at_step(step);
        EXPECT_NE(error_of([&] { do_when_answered(t.host, "2,1"); }), 0);
        const std::string now = t.read(meter_path);
        EXPECT_TRUE(now == before || now == after) << now;
    }
}

}  // namespace
}  // namespace quizhost::testing
