// Lives drawn by weight for the game mode, and the instructions text.
#pragma once

#include <string>

namespace quizhost {

struct host;

void init_lives(host& h);
int get_lives(host& h);
// The instructions file's lines, each followed by CR; "Instructions File not Found" without the file.
std::string get_instructions(host& h);

}  // namespace quizhost
