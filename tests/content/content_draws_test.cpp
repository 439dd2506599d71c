// The draws behind questions, plans and lives, from the host's one generator with a fixed seed: each
// range is uniform, each walk gives its weights' chances, and the difficulty and line draws of one
// question are independent. Chi-square tests at the 0.1% level on 100,000 draws.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "content/lives.hpp"
#include "content/weighted_questions.hpp"
#include "content/weighted_table.hpp"
#include "content/win_plans.hpp"
#include "content_test_support.hpp"
#include "host.hpp"

namespace quizhost::testing {
namespace {

constexpr long draws_per_range = 100'000;

// The chi-square value exceeded with probability 0.001 for `df` degrees of freedom (Wilson-Hilferty).
double critical_value(int df) {
    const double z = 3.090232;  // the normal distribution's upper 0.1% point
    const double a = 2.0 / (9.0 * df);
    return df * std::pow(1 - a + z * std::sqrt(a), 3);
}

// Chi-square of observed counts against expected chances (which add up to 1); outcomes with no chance
// must never be seen.
double chi_square(const std::map<long, long>& observed, const std::map<long, double>& chances, long total) {
    double chi = 0;
    for (const auto& [outcome, chance] : chances) {
        const auto seen = observed.count(outcome) ? static_cast<double>(observed.at(outcome)) : 0.0;
        const double expected = chance * static_cast<double>(total);
        if (expected == 0) {
            EXPECT_EQ(seen, 0) << "outcome " << outcome << " has no chance";
            continue;
        }
        chi += (seen - expected) * (seen - expected) / expected;
    }
    for (const auto& [outcome, seen] : observed)
        EXPECT_TRUE(chances.count(outcome)) << "unexpected outcome " << outcome;
    return chi;
}

template <typename Draw>
std::map<long, long> tally(Draw&& draw) {
    std::map<long, long> counts;
    for (long i = 0; i < draws_per_range; ++i) ++counts[draw()];
    return counts;
}

std::map<long, double> uniform_chances(long first, long last) {
    std::map<long, double> chances;
    for (long v = first; v <= last; ++v) chances[v] = 1.0 / static_cast<double>(last - first + 1);
    return chances;
}

TEST(Draws, PercentagesAndLineNumbersAreUniformOverTheirRanges) {
    test_host t;
    const auto percents = tally([&] { return draw_percent(t.host); });
    EXPECT_LT(chi_square(percents, uniform_chances(0, 99), draws_per_range), critical_value(99));

    const auto lines = tally([&] { return draw_line_number(t.host, 1000); });
    EXPECT_LT(chi_square(lines, uniform_chances(1, 1000), draws_per_range), critical_value(999));
}

TEST(Draws, DifficultyDrawRunsFromOneToOneHundred) {
    // Only r = 1 gives difficulty 1, so a draw from 0 would double its share.
    test_host t;
    const question_row row = parse_question_row("1,49,0,50");
    const auto counts = tally([&] { return difficulty_for(row, draw_percent(t.host) + 1); });
    EXPECT_LT(chi_square(counts, {{1, 0.01}, {2, 0.49}, {3, 0.0}, {4, 0.50}}, draws_per_range), critical_value(2));
}

TEST(Draws, LivesFollowTheirRowFromZeroToNinetyNine) {
    test_host t;
    init_lives(t.host);
    t.host.money.game_mode = 3;  // "70,25,5": r 0-70, 71-95, 96-99
    const auto counts = tally([&] { return get_lives(t.host); });
    EXPECT_LT(chi_square(counts, {{1, 0.71}, {2, 0.25}, {3, 0.04}}, draws_per_range), critical_value(2));
}

TEST(Draws, WinPlansFollowTheirWeightsFromZeroToNinetyNine) {
    test_host t;
    init_winplans(t.host);
    t.host.money.game_mode = 4;
    std::map<std::string, long> plan_number;
    for (std::size_t i = 0; i + 1 < t.host.content.win_plans.size(); ++i) {
        plan_number.emplace(t.host.content.win_plans[i].substr(0, t.host.content.win_plans[i].find('*')),
                            static_cast<long>(i + 1));
    }
    // Plans 14 and 16 share a value list; in mode 4 only 14's weight counts and the walk never reaches it.
    const auto counts = tally([&] { return plan_number.at(get_win_plan(t.host)); });
    const std::map<long, double> chances{{1, .03}, {2, .03}, {3, .03},  {5, .15}, {6, .20},
                                         {7, .03}, {9, .35}, {10, .10}, {13, .08}};
    EXPECT_LT(chi_square(counts, chances, draws_per_range), critical_value(static_cast<int>(chances.size()) - 1));
}

TEST(Draws, DifficultyAndLineOfOneQuestionAreIndependent) {
    // Re-seeding from the clock before each draw gave both draws of one question the same value within a
    // clock tick, so the line followed the difficulty: here difficulty 1 would always come with line 1.
    test_host t;
    t.set_paths();
    t.write("data/weighted_questions.txt", "50,50,0,0\r\n*\r\n");
    init_questions(t.host);
    for (int d = 1; d <= 2; ++d) write_questions(t, d, 1, {"line 1", "line 2"});
    long seen[2][2] = {};
    const long questions = 20'000;
    for (long i = 0; i < questions; ++i) {
        const std::string answer = get_question(t.host, "1,T");  // "line L|d"
        ++seen[answer.back() - '1'][answer[5] - '1'];
    }
    double chi = 0;
    for (int d = 0; d < 2; ++d) {
        for (int l = 0; l < 2; ++l) {
            const double expected =
                static_cast<double>(seen[d][0] + seen[d][1]) * static_cast<double>(seen[0][l] + seen[1][l]) / questions;
            chi +=
                (static_cast<double>(seen[d][l]) - expected) * (static_cast<double>(seen[d][l]) - expected) / expected;
        }
    }
    EXPECT_LT(chi, critical_value(1));
}

}  // namespace
}  // namespace quizhost::testing
