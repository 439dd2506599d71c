// Start-up as a cabinet lives it, through whole quizhost runs: what the log keeps of the start and in
// which order, an autoplay file taking over the run's money settings, and the meter file a bare folder
// starts with.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/e2e.hpp"

namespace quizhost::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using lines = std::vector<std::string>;

const std::string at = "07/12/2026 14:05:09  ";
const std::string start = "clock\t2026-12-07 14:05:09\nvar\tcontent_version_no\t12\nfs\tINTRO_END\n";

// The log's entries after its header, without their time stamps' line ends.
lines log_entries(const std::string& log) {
    lines entries;
    const std::size_t body = log.find("\r\n\r\n");
    std::size_t from = body == std::string::npos ? 0 : body + 4;
    while (from < log.size()) {
        const std::size_t end = log.find("\r\n", from);
        entries.push_back(log.substr(from, end - from));
        if (end == std::string::npos) break;
        from = end + 2;
    }
    return entries;
}

TEST(StartUp, ThePlatformLineComesBeforeTheLaunchLineAndBothBeforeTheRepairs) {
    cabinet cab;
    cab.make_standard();  // a log, but no setup file, high scores or meter file yet
    cab.write("flg_meridian.dat", "");
    const run_result r = cab.run(start + "fs\tTO_LOG\tserving\n", {"--credit-port", "1"});
    EXPECT_EQ(r.status, exit_closed) << r.err;
    EXPECT_EQ(log_entries(cab.read("system/logs/log.txt")),
              (lines{at + "Meridian Platform", at + "LAUNCHING GAME (V7.12)", at + "Creating Dummy High scores",
                     at + "Creating Meter File", at + "serving"}));
}

// A meter file the host cannot read as its records is never played on: the start-up ends through the
// fatal path before the movie's first command is taken, the log and standard error name the file and the
// line, and no credit is taken.
TEST(StartUp, ADamagedMeterFileEndsTheStartUpBeforeAnyMoneyMoves) {
    cabinet cab;
    cab.make_priced();
    ASSERT_EQ(cab.run(start).status, exit_closed);  // the first run makes the meter file
    const std::string made = cab.read("system/logs/meter.txt");
    for (const auto& [what, bytes] : std::vector<std::pair<std::string, std::string>>{
             {"empty", ""},
             {"no M1 line", std::string(made).erase(made.find("M1,0\r\n"), 6)},
             {"M1 not a number", std::string(made).replace(made.find("M1,0\r\n"), 4, "M1,zero")},
         }) {
        SCOPED_TRACE(what);
        cab.write("system/logs/meter.txt", bytes);
        const run_result r = cab.run(start + "fs\tUSE_CREDIT\nfs\tSTART_GAME\nfs\tUPDATE_METERS\t1,-1,0,0\n");
        EXPECT_EQ(r.status, exit_fatal) << r.err;
        EXPECT_THAT(r.out, Not(HasSubstr("cuse"))) << "no game was paid";
        EXPECT_THAT(r.out, Not(HasSubstr("fs\tmain\tUSE_CREDIT")));
        EXPECT_THAT(r.err, HasSubstr("meter.txt: "));
        const std::string log = cab.read("system/logs/log.txt");
        EXPECT_THAT(log, HasSubstr("  METER FILE DAMAGED - "));
        EXPECT_THAT(log, HasSubstr("  ERROR! 75 - Path/File access error.  Game Terminated.\r\n"));
        EXPECT_EQ(cab.read("system/logs/meter.txt"), bytes) << "kept for the operator to restore";
    }
    EXPECT_THAT(cab.read("system/logs/log.txt"), HasSubstr("line 5 \"M1,zero\": the value \"zero\" is not a number"));
}

TEST(StartUp, AFirstRunWithoutALogLosesThePlatformAndLaunchLines) {
    cabinet cab;
    cab.write("intro.swf", "");
    cab.write("flash_game.swf", "");
    const run_result r = cab.run(start);
    EXPECT_EQ(r.status, exit_closed) << r.err;
    // The folder check starts the log after both lines were written to a log that was not there.
    const std::string log = cab.read("system/logs/log.txt");
    EXPECT_THAT(log, Not(HasSubstr("No platform file")));
    EXPECT_THAT(log, Not(HasSubstr("LAUNCHING GAME")));
    EXPECT_EQ(log_entries(log),
              (lines{at + "Creating variable folder", at + "Creating Dummy High scores", at + "Creating Meter File"}));
    // The next start has a log, and keeps both.
    const run_result again = cab.run(start);
    EXPECT_EQ(again.status, exit_closed) << again.err;
    const lines entries = log_entries(cab.read("system/logs/log.txt"));
    EXPECT_EQ(lines(entries.end() - 2, entries.end()),
              (lines{at + "No platform file - assuming DLL interface", at + "LAUNCHING GAME (V7.12)"}));
}

TEST(StartUp, AnAutoplayFileSetsTheRunsPriceAndPayoutAndDescribesIt) {
    cabinet cab;
    cab.make_standard();
    cab.write("system/setup.ini", "S1,40\r\nS2,50\r\n");
    cab.write("autoplay.txt",
              "no_of_games,10\r\nprice_per_play,20\r\npayout_%,25\r\ncollect_first_prize,1\r\nmanual_play,0\r\n");
    const run_result r =
        cab.run(start + "fs\tGET_AUTOPLAY_INFO\nfs\tGET_CREDIT_TO_PLAY\nfs\tSTART_GAME\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, exit_closed) << r.err;
    EXPECT_TRUE(in_order(r.transcript, {"set\tvb_autoplay_info\t10,20,25,1,0", "set\tvb_credit_to_play\t20"}));
    // One game at 20 credits with 25 per cent paid back: the reflex meter takes 5, not the setup's 20.
    EXPECT_THAT(cab.read("system/logs/meter.txt"), HasSubstr("\r\nM17,-5\r\n"));
    const lines entries = log_entries(cab.read("system/logs/log.txt"));
    EXPECT_TRUE(in_order(entries, {at + "LAUNCHING GAME (V7.12)", at + "AUTOPLAY - price per play 20, payout 25%"}));
    // The setup file itself is not changed.
    EXPECT_EQ(cab.read("system/setup.ini"), "S1,40\r\nS2,50\r\n");

    // Without the file the movie gets the empty description and the setup's price.
    std::filesystem::remove(cab.path("autoplay.txt"));
    const run_result plain = cab.run(start + "fs\tGET_AUTOPLAY_INFO\nfs\tGET_CREDIT_TO_PLAY\n");
    EXPECT_TRUE(in_order(plain.transcript, {"set\tvb_autoplay_info\t", "set\tvb_credit_to_play\t50"}));
}

TEST(StartUp, AnEmptyFolderStartsWithTheMeterFileOfTheDefaultTables) {
    cabinet cab;
    cab.write("intro.swf", "");
    cab.write("flash_game.swf", "");
    const run_result r = cab.run(start + "fs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, exit_closed) << r.err;

    // The built-in tables: six question tables (rows 0 to 6), twelve questions, four difficulties.
    lines expected{"GameName,Tollcastle Wrapper", "Version,7.12", "CreationDate,14:05:09 07/12/2026",
                   "ModifiedDate,14:05:09 07/12/2026", "M1,0"};
    const auto rows = [&expected](const std::string& meter, int first, int last, const std::string& value) {
        for (int i = first; i <= last; ++i) expected.push_back(meter + "," + std::to_string(i) + value);
    };
    rows("M2", 0, 6, ",0");
    rows("M4", 1, 12, ",0");
    rows("M7", 1, 20, ",0");
    for (const char* line : {"M8,0", "M9,0", "M10,0", "M17,0", "M12,0", "M15,0"}) expected.emplace_back(line);
    rows("M11", 0, 6, ",0");
    rows("M16", 1, 4, ",0");
    rows("M13", 1, 4, ",0,0%");
    expected.emplace_back("M14,0");
    ASSERT_EQ(expected.size(), 66u);

    std::string bytes;
    for (const std::string& line : expected) bytes += line + "\r\n";
    EXPECT_EQ(cab.read("system/logs/meter.txt"), bytes);
}

}  // namespace
}  // namespace quizhost::testing
