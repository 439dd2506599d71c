// Numbers no file can hold, through whole quizhost runs: every command that changes a stored file gets a
// value beyond any double (or one the leading-number rule could take for one) in each numeric field.
// Either the command succeeds and every stored value still reads back as a finite number, or it fails
// through the fatal path and leaves the files as they were. A value written as "Infinity" would read back
// as 0 and wipe out the total it stood for.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "../../fuzz/support/kept_file_forms.hpp"
#include "basic/text.hpp"
#include "support/e2e.hpp"

namespace quizhost::testing {
namespace {

using ::testing::HasSubstr;
using lines = std::vector<std::string>;

const std::string nines(400, '9');

// The files a command may change, as they stand.
struct stored {
    std::string meters, hiscores, credit;
    bool operator==(const stored&) const = default;
};

class stored_numbers : public ::testing::Test {
protected:
    // A cabinet that has played one game with a prize, a score and an answer, on the credit library.
    void SetUp() override {
        cab.make_priced();
        cab.install(credit_library_file);
        cab.write("credit_state.txt", "credit,500\r\nbank,100\r\n");
        const run_result first = play(
            "fs\tUSE_CREDIT\nfs\tSTART_GAME\nfs\tANSWERED\t2,1\nfs\tUPDATE_METERS\t3,500,1,1\nfs\tADD_TO_BANK\t500\n"
            "fs\tADD_TO_HISCORES\tAnn,A1,700\n");
        ASSERT_EQ(first.status, 0) << first.err;
        played = files();
        ASSERT_THAT(played.meters, HasSubstr("M10,500\r\n"));
    }
    run_result play(const std::string& commands) const { return cab.play(commands + "fs\tCLOSE_ALL\n"); }
    stored files() const {
        return {cab.read("system/logs/meter.txt"), cab.read("variable/highscores.txt"), cab.read("credit_state.txt")};
    }
    // Every value of the credit state is a number that reads back as itself.
    static std::string credit_fault(const std::string& state) {
        for (const std::string& line : split(state, '\n')) {
            const std::string value(trim_spaces(get_field(single_line(line), 1)));
            if (!line.empty() && !fuzzing::is_finite_decimal(value))
                return "credit state line \"" + line.substr(0, 60) + "\"";
        }
        return {};
    }

    cabinet cab;
    stored played;
};

// The run of the report: the second prize cannot be added to the 500 already paid.
TEST_F(stored_numbers, APrizeTooLargeForANumberIsAnOverflowAndThePaidTotalsStay) {
    const run_result r = play("fs\tSTART_GAME\nfs\tUPDATE_METERS\t3," + nines + ",0,0\n");
    EXPECT_EQ(r.status, exit_fatal) << r.err;
    EXPECT_THAT(cab.read("system/logs/log.txt"), HasSubstr("ERROR! 6 - Overflow.  Game Terminated.\r\n"));
    const std::string meters = cab.read("system/logs/meter.txt");
    EXPECT_THAT(meters, HasSubstr("M10,500\r\n"));
    EXPECT_THAT(meters, HasSubstr("M11,3,500\r\n"));
    EXPECT_EQ(meters.find("Infinity"), std::string::npos);
}

TEST_F(stored_numbers, EveryNumericFieldOfEveryChangingCommandKeepsTheFilesFinite) {
    const lines values{nines, "-" + nines, "1e400", "-1e400", "NaN", "1" + std::string(309, '0') + ".5"};
    // Each command with "@" where the value goes, one row per numeric field.
    const lines commands{
        "UPDATE_METERS\t@,500,1,1",
        "UPDATE_METERS\t3,@,1,1",
        "UPDATE_METERS\t3,500,@,1",
        "UPDATE_METERS\t3,500,1,@",
        "ANSWERED\t@,1",
        "ANSWERED\t2,@",
        "ADD_TO_BANK\t@",
        "ADD_TO_HISCORES\tBo,B2,@",
    };
    ASSERT_EQ(play("fs\tSTART_GAME\n").status, exit_closed);
    const stored started = files();
    for (const std::string& command : commands) {
        for (const std::string& value : values) {
            std::string raised = command;
            raised.replace(raised.find('@'), 1, value);
            SCOPED_TRACE(raised.substr(0, 80));
            // Each case starts from the same played cabinet.
            cab.write("system/logs/meter.txt", played.meters);
            cab.write("variable/highscores.txt", played.hiscores);
            cab.write("credit_state.txt", played.credit);

            const run_result r = play("fs\tSTART_GAME\nfs\t" + raised + "\n");
            const stored now = files();
            if (r.status == exit_fatal) {
                // Failed: the files hold what START_GAME left, nothing of the command.
                EXPECT_EQ(now, started);
            } else {
                EXPECT_EQ(r.status, exit_closed) << r.err;
                EXPECT_EQ(fuzzing::meter_file_fault(now.meters, played.meters), "");
                EXPECT_EQ(fuzzing::hiscore_table_fault(now.hiscores), "");
                EXPECT_EQ(credit_fault(now.credit), "");
            }
            EXPECT_EQ(now.meters.find("Infinity"), std::string::npos);
            EXPECT_EQ(now.meters.find("NaN"), std::string::npos);
        }
    }
}

}  // namespace
}  // namespace quizhost::testing
