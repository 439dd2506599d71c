// Win plans: prize ladders drawn by weight for the game mode.
#pragma once

#include <string>

namespace quizhost {

struct host;

void init_winplans(host& h);
// The drawn plan's value list, e.g. "-1,100,200,300".
std::string get_win_plan(host& h);

}  // namespace quizhost
