// Question statistics kept for every answered question.
#pragma once

#include <string>

namespace quizhost {

struct host;

// "d,c": counts an answer at difficulty d, correct when the integer part of c is 1.
void do_when_answered(host& h, const std::string& args);

}  // namespace quizhost
