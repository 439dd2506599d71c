// Many whole games played by the real executable from one script, as the memory figure plays them: the
// host must come through every game with its meters and high scores consistent, or the figure measures a
// program that died early.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../../bench/game_script.hpp"
#include "content/encryption.hpp"
#include "support/e2e.hpp"

namespace quizhost::testing {
namespace {

class played_games : public ::testing::Test {
protected:
    void SetUp() override {
        cab.make_standard();
        std::string questions;
        for (int i = 1; i <= 30; ++i) {
            questions +=
                encrypt_string("Question " + std::to_string(i) + "?~Yes~No~Maybe~Never~1", question_key) + "\r\n";
        }
        for (int d = 1; d <= 4; ++d) cab.write("data/data_" + std::to_string(d) + "_1.dat", questions);
    }
    cabinet cab;
};

TEST_F(played_games, EveryGameIsCountedAndTheProgramClosesNormally) {
    const run_result r = cab.run(bench::game_script(25));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto totals = lines_starting(r.transcript, "set\tvb_total_games_played\t");
    ASSERT_EQ(totals.size(), 25u);
    EXPECT_EQ(totals.front(), "set\tvb_total_games_played\t1");
    EXPECT_EQ(totals.back(), "set\tvb_total_games_played\t25");
    EXPECT_EQ(r.transcript.back(), "exit\t0");
    // Every question came from a file: none failed to decipher.
    EXPECT_EQ(cab.read("system/logs/log.txt").find("*ERROR*"), std::string::npos);
}

TEST_F(played_games, TheScoreTableStaysBoundedAndRanked) {
    const run_result r = cab.run(bench::game_script(30));
    ASSERT_EQ(r.status, 0) << r.err;
    const auto ranks = lines_starting(r.transcript, "set\tvb_score_rank\t");
    ASSERT_EQ(ranks.size(), 30u);
    for (const auto& rank : ranks) {
        const int value = std::stoi(rank.substr(rank.rfind('\t') + 1));
        EXPECT_TRUE(value == -1 || (value >= 1 && value <= 20)) << rank;
    }
    const auto tables = lines_starting(r.transcript, "set\tvb_hiscores\t");
    ASSERT_FALSE(tables.empty());
    EXPECT_FALSE(tables.back().empty());
}

}  // namespace
}  // namespace quizhost::testing
