#include "content/lives.hpp"

#include "basic/text.hpp"
#include "content/weighted_table.hpp"
#include "definitions.hpp"
#include "host.hpp"
#include "platform/file_system.hpp"
#include "records/text_records.hpp"

namespace quizhost {

const std::string_view default_lives_table = "100,0,0|80,20,0|75,24,1|70,25,5|70,25,5|70,25,5";

std::vector<std::string> load_lives_table(std::string_view text) {
    std::vector<std::string> rows = split(text, '|');
    if (rows.empty())
        throw run_time_error(subscript_out_of_range, error_description(subscript_out_of_range),
                             "the lives table has no rows");
    return rows;
}

void init_lives(host& h) {
    const std::string path = content_file_path(h, lives_table_file_name);
    const std::string text =
        file_exists(*h.io.files, path) ? read_all_lines(*h.io.files, path) : std::string(default_lives_table);
    h.content.lives_table = load_lives_table(text);
}

int lives_for(std::string_view row, long r) {
    const auto weights = split_views(row, ',');
    if (weights.empty()) return 1;
    double sum = 0;
    // The last column is never examined: it takes every r that the others leave.
    for (std::size_t i = 0; i + 1 < weights.size(); ++i) {
        sum += weight_value(weights[i]);
        if (static_cast<double>(r) <= sum) return static_cast<int>(i + 1);
    }
    return static_cast<int>(weights.size());
}

int get_lives(host& h) {
    const std::string& row = piece_at(h.content.lives_table, h.money.game_mode);
    return lives_for(row, draw_percent(h));
}

std::string get_instructions(host& h) {
    const std::string path = content_file_path(h, instructions_file_name);
    if (!file_exists(*h.io.files, path)) return instructions_missing;
    // The movie's text fields break lines at CR alone, so every line ends with one CR and no LF.
    const std::string bytes = read_bounded_file(*h.io.files, path);
    std::string text;
    text.reserve(bytes.size());
    for (std::string_view line : split_lines(bytes)) {
        text += line;
        text += '\r';
    }
    return text;
}

}  // namespace quizhost
