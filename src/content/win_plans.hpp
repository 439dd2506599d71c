// Win plans: prize ladders drawn by weight for the game mode.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quizhost {

struct host;

inline constexpr const char* win_plan_file_name = "weighted_winplans.txt";
inline constexpr int win_plan_modes = 6;  // game modes 0 to 5, one weight each

// The built-in plans, used when the data folder has no plan file: 17 plans "values*weights" joined by "|".
extern const std::string_view default_win_plans;

void init_winplans(host& h);
// The drawn plan's value list, e.g. "-1,100,200,300".
std::string get_win_plan(host& h);

// The plans of a plan text, one slot each, and one empty slot after them.
std::vector<std::string> load_win_plans(std::string_view text);

// The whole-part weight of `plan` ("values*weights") in game mode `mode`. Error 9 for a plan without "*"
// or with fewer weights than the mode needs, 13 for a weight that is not a number.
double win_plan_weight(std::string_view plan, int mode);

// The plan (index into `plans`, whose last slot is the empty spare) that draw r (0 to 99) picks in game
// mode `mode`: the first whose running sum of weights is not below r, else the last plan. Plans after the
// chosen one are not looked at. Error 9 when there is no plan at all.
long win_plan_for(const std::vector<std::string>& plans, int mode, long r);

}  // namespace quizhost
