// The local high-score table "highscores.txt" in the variable folder.
#pragma once

#include <string>

namespace quizhost {

struct host;

// "name,code,score,d1,d2,d3": ranks and stores the score; the rank 1 to 20, or -1.
int add_to_hiscores(host& h, const std::string& score_stuff);
// The rank `score` would take, or -1; the file is not changed.
int where_in_hiscores(host& h, double score);
std::string get_top_local_score(host& h);
std::string get_last_hiscore_update(host& h);
void create_dummy_hiscores(host& h);

}  // namespace quizhost
