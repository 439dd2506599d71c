#include <gtest/gtest.h>

#include <map>
#include <string>

#include "content/lives.hpp"
#include "content/win_plans.hpp"
#include "content_test_support.hpp"
#include "host.hpp"

namespace quizhost::testing {
namespace {

class WinPlans : public ::testing::Test {
protected:
    std::string draw(long r) {
        queue_percent(t, r);
        return get_win_plan(t.host);
    }
    void use_plans(const std::string& file_text) {
        t.write("data/weighted_winplans.txt", file_text);
        init_winplans(t.host);
    }
    // How often each plan (numbered from 1) is drawn over r = 0 to 99 in the current mode.
    std::map<long, int> plan_counts() {
        std::map<long, int> counts;
        for (long r = 0; r < 100; ++r) ++counts[win_plan_for(t.host.content.win_plans, t.host.money.game_mode, r) + 1];
        return counts;
    }
    test_host t;
};

TEST_F(WinPlans, BuiltInPlansLoadInOrderWithASpareSlot) {
    init_winplans(t.host);
    const auto& plans = t.host.content.win_plans;
    ASSERT_EQ(plans.size(), 18u);
    EXPECT_EQ(plans[0], "-1,100,200,300,400,500,1000,2000*0,0,0,1,2,5");
    EXPECT_EQ(plans[9], "-1,100,300,500*0,0,20,13,10,0");
    EXPECT_EQ(plans[16], "-1,100*100,0,0,0,0,0");
    EXPECT_EQ(plans[17], "");
    // Each mode's weights add up to 100, except mode 4's 105.
    for (int mode = 0; mode < win_plan_modes; ++mode) {
        double sum = 0;
        for (std::size_t i = 0; i + 1 < plans.size(); ++i) sum += win_plan_weight(plans[i], mode);
        EXPECT_EQ(sum, mode == 4 ? 105 : 100) << mode;
    }
}

TEST_F(WinPlans, DrawOfZeroStopsAtTheFirstPlanWhateverItsWeight) {
    init_winplans(t.host);
    EXPECT_EQ(draw(0), "-1,100,200,300,400,500,1000,2000");
    EXPECT_EQ(draw(1), "-1,100");
    EXPECT_EQ(draw(99), "-1,100");
    t.host.money.game_mode = 1;
    EXPECT_EQ(draw(0), "-1,100,200,300,400,500,1000,2000");
    EXPECT_EQ(draw(1), "-1,100,200,300");
    EXPECT_EQ(draw(99), "-1,100,200,300");
    EXPECT_EQ((plan_counts()), (std::map<long, int>{{1, 1}, {14, 99}}));
}

TEST_F(WinPlans, ModeFourSumOf105ShortensPlan13AndNeverReachesPlan14) {
    init_winplans(t.host);
    t.host.money.game_mode = 4;
    EXPECT_EQ((plan_counts()),
              (std::map<long, int>{{1, 3}, {2, 3}, {3, 3}, {5, 15}, {6, 20}, {7, 3}, {9, 35}, {10, 10}, {13, 8}}));
    EXPECT_EQ(draw(99), "-1,100,200,300,400");
}

TEST_F(WinPlans, ShortPlanListFallsToTheLastPlanWhateverItsWeight) {
    use_plans("-1,100*10,0,0,0,0,0\r\n-1,500*0,0,0,0,0,0\r\n-1,200*20,0,0,0,0,0\r\n");
    EXPECT_EQ(draw(10), "-1,100");
    EXPECT_EQ(draw(11), "-1,200");
    EXPECT_EQ(draw(30), "-1,200");
    EXPECT_EQ(draw(31), "-1,200");  // past the sum of 30: the last plan
    t.host.money.game_mode = 5;     // no weight at all in this mode
    EXPECT_EQ(draw(0), "-1,100");
    EXPECT_EQ(draw(1), "-1,200");
}

TEST_F(WinPlans, FaultyPlansFailOnlyWhenTheWalkReachesThem) {
    use_plans("-1,100*50,0,0,0,0,0\r\n-1,200\r\n-1,300*0,0,0,0,0,0\r\n");
    EXPECT_EQ(draw(50), "-1,100");  // the plan without "*" after it is not looked at
    EXPECT_EQ(error_of([&] { draw(51); }), subscript_out_of_range);
    use_plans("-1,100*50,0,0\r\n");
    t.host.money.game_mode = 3;  // the weight list stops before mode 3
    EXPECT_EQ(error_of([&] { draw(0); }), subscript_out_of_range);
    t.host.money.game_mode = 0;
    use_plans("-1,100*ten,0,0,0,0,0\r\n");
    EXPECT_EQ(error_of([&] { draw(0); }), type_mismatch);
    use_plans("-1,100*1,0,0,0,0,0\r\n\r\n-1,200*99,0,0,0,0,0\r\n");  // an empty line is an empty plan
    EXPECT_EQ(error_of([&] { draw(2); }), subscript_out_of_range);
}

TEST_F(WinPlans, EmptyFileLoadsButEveryDrawFails) {
    use_plans("");
    EXPECT_EQ(t.host.content.win_plans.size(), 1u);
    EXPECT_EQ(error_of([&] { draw(0); }), subscript_out_of_range);
}

class Lives : public ::testing::Test {
protected:
    int draw(long r) {
        queue_percent(t, r);
        return get_lives(t.host);
    }
    void use_table(const std::string& file_text) {
        t.write("data/weighted_lives.txt", file_text);
        init_lives(t.host);
    }
    test_host t;
};

TEST_F(Lives, BuiltInRowsGiveTheirBoundariesPerMode) {
    init_lives(t.host);
    ASSERT_EQ(t.host.content.lives_table.size(), 6u);
    // The highest r giving 1 life and 2 lives in each mode (r runs 0 to 99; the last column is never
    // examined, so it takes what the others leave).
    struct bounds {
        int mode;
        long last_one;
        long last_two;
    };
    for (const bounds b : {bounds{0, 99, 99}, bounds{1, 80, 99}, bounds{2, 75, 99}, bounds{3, 70, 95},
                           bounds{4, 70, 95}, bounds{5, 70, 95}}) {
        t.host.money.game_mode = static_cast<std::int16_t>(b.mode);
        for (long r = 0; r < 100; ++r) {
            const int expected = r <= b.last_one ? 1 : r <= b.last_two ? 2 : 3;
            ASSERT_EQ(draw(r), expected) << "mode " << b.mode << " r " << r;
        }
    }
}

TEST_F(Lives, LastColumnTakesOnlyWhatTheOthersLeave) {
    use_table("50,49,1\r\n5\r\n\r\n30,30,abc\r\n");
    for (long r = 0; r < 100; ++r) EXPECT_NE(draw(r), 3) << r;  // 50 + 49 covers every r
    t.host.money.game_mode = 1;                                 // a single weight
    EXPECT_EQ(draw(99), 1);
    t.host.money.game_mode = 2;  // an empty row
    EXPECT_EQ(draw(0), 1);
    t.host.money.game_mode = 3;  // the last weight is never read, so it may be anything
    EXPECT_EQ(draw(60), 2);
    EXPECT_EQ(draw(61), 3);
}

TEST_F(Lives, MissingRowsAndBadWeightsFail) {
    use_table("100,0,0\r\n80,20,0\r\nx,20,0\r\n");
    t.host.money.game_mode = 3;  // fewer rows than the modes
    EXPECT_EQ(error_of([&] { draw(0); }), subscript_out_of_range);
    t.host.money.game_mode = 2;
    EXPECT_EQ(error_of([&] { draw(0); }), type_mismatch);
    t.write("data/weighted_lives.txt", "");
    EXPECT_EQ(error_of([&] { init_lives(t.host); }), subscript_out_of_range);
}

TEST(Instructions, LinesAreJoinedWithCarriageReturnsOnly) {
    test_host t;
    EXPECT_EQ(get_instructions(t.host), "Instructions File not Found");
    t.write("data/instructions.txt", "Answer four questions.\r\nWin a prize.\r\n");
    EXPECT_EQ(get_instructions(t.host), "Answer four questions.\rWin a prize.\r");
    t.write("data/instructions.txt", "LF only\n\nno end");  // read afresh; LF lines and a last line without end
    EXPECT_EQ(get_instructions(t.host), "LF only\r\rno end\r");
    t.write("data/instructions.txt", "");
    EXPECT_EQ(get_instructions(t.host), "");
}

}  // namespace
}  // namespace quizhost::testing
