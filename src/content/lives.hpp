// Lives drawn by weight for the game mode, and the instructions text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quizhost {

struct host;

inline constexpr const char* lives_table_file_name = "weighted_lives.txt";
inline constexpr const char* instructions_file_name = "instructions.txt";
inline constexpr const char* instructions_missing = "Instructions File not Found";

// The built-in lives table, used when the data folder has no table file: one row per game mode 0 to 5,
// the chances in percent of 1, 2 and 3 lives.
extern const std::string_view default_lives_table;

void init_lives(host& h);
int get_lives(host& h);
// The instructions file's lines, each followed by CR; "Instructions File not Found" without the file.
std::string get_instructions(host& h);

// One slot per row of a lives table text. Error 9 for the empty text: a table without rows.
std::vector<std::string> load_lives_table(std::string_view text);

// The lives that draw r (0 to 99) gives from a row of weights: the first column whose running sum is not
// below r, the last column never examined; without a stop, the number of columns (1 for an empty row).
// Error 13 for a weight that is not a number among those examined.
int lives_for(std::string_view row, long r);

}  // namespace quizhost
