// Weighted question selection from the enciphered question files.
#pragma once

#include <string>

namespace quizhost {

struct host;

// Loads "data/weighted_questions.txt" (or the built-in default) into the question tables and counts.
void init_questions(host& h);

// "n,f": draws the difficulty from row n of the current mode's table and a line of "data_D_S.dat";
// returns the deciphered line, "|" and the difficulty digit.
std::string get_question(host& h, const std::string& args);

}  // namespace quizhost
