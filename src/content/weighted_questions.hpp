// Weighted question selection from the enciphered question files.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quizhost {

struct host;

inline constexpr const char* question_table_file_name = "weighted_questions.txt";

// The built-in question tables, used when the data folder has no table file: six tables (game modes 0 to
// 5) of twelve rows, in the joined form a table file is read in.
extern const std::string_view default_question_tables;

// Loads "data/weighted_questions.txt" (or the built-in default) into the question tables and counts.
void init_questions(host& h);

// "n,f": draws the difficulty from row n of the current mode's table and a line of "data_D_S.dat";
// returns the deciphered line, "|" and the difficulty digit.
std::string get_question(host& h, const std::string& args);

// The tables and counts that a table text gives; init_questions keeps them in h.content.
struct question_table_set {
    // Slot 0 the text before the first "*"; slot i the text after the i-th "*" without its first
    // character (the line end that follows a "*" line), at most 9999 characters; the last slot empty.
    std::vector<std::string> slots;
    std::int16_t tables = 0;        // the number of "*"
    std::int16_t questions = 0;     // the rows of the first table
    std::int16_t difficulties = 0;  // the fields of the first row of the first table
};
// Error 9 for the empty text (a table file that exists but is empty).
question_table_set load_question_tables(std::string_view text);

inline constexpr std::size_t question_table_limit = 9999;  // characters kept of every table after the first

// The three consulted weights of a question row "w1,w2,w3,w4" (whole parts). Error 9 for a row of fewer
// than four fields, 13 for a non-numeric weight among the first three; the fourth is never consulted:
// difficulty 4 takes whatever the first three leave.
struct question_row {
    double w1 = 0, w2 = 0, w3 = 0;
};
question_row parse_question_row(std::string_view row);

// The difficulty that draw r (1 to 100) picks: the first whose running sum of weights is not below r.
int difficulty_for(const question_row& row, long r);

// data_path + "data_" + difficulty + "_" + set + ".dat".
std::string question_file_path(const host& h, int difficulty, int set);

}  // namespace quizhost
