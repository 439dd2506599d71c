// The local high-score table "highscores.txt" in the variable folder.
#pragma once

#include <cstddef>
#include <string>

namespace quizhost {

struct host;
class file_system;

// The longest name, code and detail a submission stores; a longer one keeps its first part, marked as cut.
inline constexpr std::size_t hiscore_name_limit = 32;
inline constexpr std::size_t hiscore_code_limit = 32;
inline constexpr std::size_t hiscore_detail_limit = 64;

// "name,code,score,d1,d2,d3": ranks and stores the score; the rank 1 to 20, or -1. The table is rewritten
// (renumbered, trimmed) and the rewrite logged even when the score does not enter. A missing table is
// error 53; a score beyond the number range is error 6 and leaves the table as it was.
int add_to_hiscores(host& h, const std::string& score_stuff);
// The rank `score` would take, or -1; the file is not changed. A missing table is error 53.
int where_in_hiscores(host& h, double score);
// The score of rank 1; "" when there is none or no table.
std::string get_top_local_score(host& h);
// Field 2 of the "Tournament" line that another party may keep in the table; "" when there is none.
std::string get_last_hiscore_update(host& h);
// What keeps the table from being rebuilt, "" when nothing: " line N: a score row that cannot be read" (a
// score that is not a number, more fields than a score row, lines ended by CR alone) or ": no score row can
// be read" (garbage). Read within the record file bound (error 75 beyond it). A missing table is error 53.
std::string unreadable_hiscore_table(file_system& fs, const std::string& path);

// Replaces the table by 20 rows of AAA, code 1234, score 0, stamped now.
void create_dummy_hiscores(host& h);

}  // namespace quizhost
