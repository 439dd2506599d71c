#include "content/win_plans.hpp"

#include "basic/text.hpp"
#include "content/weighted_table.hpp"
#include "definitions.hpp"
#include "host.hpp"
#include "records/text_records.hpp"

namespace quizhost {

// Value list "*" weights in modes 0 to 5. Every ladder starts at -1; the weights of each mode add up to
// 100, except mode 4, whose 105 leaves plan 14 unreachable there (the walk passes 99 inside plan 13).
const std::string_view default_win_plans =
    "-1,100,200,300,400,500,1000,2000*0,0,0,1,2,5|"
    "-1,100,200,300,400,500,2000*0,0,0,1,3,5|"
    "-1,100,200,300,500,2000*0,0,0,1,3,5|"
    "-1,100,200*0,0,0,0,0,0|"
    "-1,100,200,300,400,500,1000*0,0,0,2,15,25|"
    "-1,100,200,300,500,1000*0,0,0,4,20,25|"
    "-1,100,200,300,1000*0,0,0,2,3,5|"
    "-1,100,1000*0,0,0,0,0,0|"
    "-1,100,200,300,400,500*0,0,5,25,35,20|"
    "-1,100,300,500*0,0,20,13,10,0|"
    "-1,100,500*0,0,0,0,0,0|"
    "-1,500*0,0,0,0,0,0|"
    "-1,100,200,300,400*0,0,25,26,10,5|"
    "-1,100,200,300*0,100,50,25,4,5|"
    "-1,300*0,0,0,0,0,0|"
    "-1,100,200,300*0,0,0,0,0,0|"
    "-1,100*100,0,0,0,0,0";

std::vector<std::string> load_win_plans(std::string_view text) {
    std::vector<std::string> plans = split(text, '|');
    plans.emplace_back();  // the spare slot after the last plan, never walked
    return plans;
}

void init_winplans(host& h) {
    const std::string path = content_file_path(h, win_plan_file_name);
    const std::string text =
        file_exists(*h.io.files, path) ? read_all_lines(*h.io.files, path) : std::string(default_win_plans);
    h.content.win_plans = load_win_plans(text);
}

double win_plan_weight(std::string_view plan, int mode) {
    const auto lists = split_views(plan, '*');
    return weight_value(piece_at(split_views(piece_at(lists, 1), ','), mode));
}

long win_plan_for(const std::vector<std::string>& plans, int mode, long r) {
    const long last = static_cast<long>(plans.size()) - 2;  // the spare slot is not a plan
    double sum = 0;
    for (long i = 0; i <= last; ++i) {
        sum += win_plan_weight(plans[static_cast<std::size_t>(i)], mode);
        // r can be 0, so a first plan with no weight in this mode still takes r = 0.
        if (static_cast<double>(r) <= sum) return i;
    }
    // The weights of this mode add up to less than r: the draw falls to the last plan, whatever its weight.
    (void)piece_at(plans, last < 0 ? -1 : last);
    return last;
}

std::string get_win_plan(host& h) {
    const long r = draw_percent(h);
    const long chosen = win_plan_for(h.content.win_plans, h.money.game_mode, r);
    return std::string(piece_at(split_views(h.content.win_plans[static_cast<std::size_t>(chosen)], '*'), 0));
}

}  // namespace quizhost
