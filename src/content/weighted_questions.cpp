#include "content/weighted_questions.hpp"

#include <cmath>

#include "basic/numbers.hpp"
#include "basic/text.hpp"
#include "content/encryption.hpp"
#include "content/weighted_table.hpp"
#include "definitions.hpp"
#include "host.hpp"
#include "platform/file_system.hpp"
#include "records/error_log.hpp"
#include "records/text_records.hpp"

namespace quizhost {

// Row k of each table is the k-th question of a game. The first three questions are easy in every mode;
// from the fourth on, the harder modes lean towards difficulty 4 sooner.
const std::string_view default_question_tables =
    // mode 0
    "100,0,0,0|90,9,0,1|85,10,0,5|0,100,0,0|5,20,75,0|5,10,85,0|"
    "0,0,100,0|0,0,100,0|0,0,100,0|0,0,100,0|0,0,100,0|0,0,100,0|*|"
    // mode 1
    "100,0,0,0|90,9,0,1|85,10,0,5|0,100,0,0|5,20,75,0|5,10,85,0|"
    "0,0,100,0|0,0,100,0|0,0,100,0|0,0,100,0|0,0,100,0|0,0,100,0|*|"
    // mode 2
    "100,0,0,0|90,9,0,1|85,10,0,5|0,100,0,0|5,20,75,0|5,10,85,0|"
    "0,0,100,0|0,0,100,0|0,0,100,0|0,0,100,0|0,0,100,0|0,0,100,0|*|"
    // mode 3
    "100,0,0,0|90,9,0,1|85,10,0,5|0,100,0,0|5,20,0,75|5,10,0,85|"
    "0,0,50,50|0,0,50,50|0,0,50,50|0,0,50,50|0,0,50,50|0,0,50,50|*|"
    // mode 4
    "100,0,0,0|90,9,0,1|85,10,0,5|0,100,0,0|5,20,0,75|5,10,0,85|"
    "0,0,0,100|0,0,0,100|0,0,0,100|0,0,0,100|0,0,50,50|0,0,50,50|*|"
    // mode 5
    "100,0,0,0|90,9,0,1|85,10,0,5|65,35,0,0|50,50,0,0|10,10,0,80|"
    "5,5,0,90|0,0,0,100|0,0,0,100|0,0,0,100|0,0,0,100|0,0,0,100|*";

question_table_set load_question_tables(std::string_view text) {
    const auto pieces = split_views(text, '*');
    const auto first_rows = split_views(piece_at(pieces, 0), '|');
    const auto first_row_fields = split_views(piece_at(first_rows, 0), ',');

    question_table_set set;
    const long t = static_cast<long>(pieces.size()) - 1;
    set.tables = round_to_int16(static_cast<double>(t));
    set.questions = round_to_int16(static_cast<double>(first_rows.size()) - 1);
    set.difficulties = round_to_int16(static_cast<double>(first_row_fields.size()));

    set.slots.assign(static_cast<std::size_t>(t + 2), std::string{});
    set.slots[0] = std::string(pieces[0]);
    for (long i = 1; i <= t; ++i) {
        // Each table after the first starts after the "|" that ends the "*" line before it.
        const std::string_view piece = pieces[static_cast<std::size_t>(i)];
        if (piece.size() > 1)
            set.slots[static_cast<std::size_t>(i)] = std::string(piece.substr(1, question_table_limit));
    }
    return set;
}

void init_questions(host& h) {
    const std::string path = content_file_path(h, question_table_file_name);
    const std::string text =
        file_exists(*h.io.files, path) ? read_all_lines(*h.io.files, path) : std::string(default_question_tables);
    question_table_set set = load_question_tables(text);
    h.content.question_tables = std::move(set.slots);
    h.content.no_of_question_tables = set.tables;
    h.content.no_of_questions = set.questions;
    h.content.no_of_difficulties = set.difficulties;

    // A question file too large to read would end a game after its price was taken: it ends the start-up
    // instead, named (the files themselves are read at each question, within the same bound).
    for (int difficulty = 1; difficulty <= 4; ++difficulty) {
        for (int file_set = 1; file_set <= 2; ++file_set) {
            const std::string file = question_file_path(h, difficulty, file_set);
            if (file_exists(*h.io.files, file)) check_file_size(*h.io.files, file, question_file_size_limit);
        }
    }
}

question_row parse_question_row(std::string_view row) {
    const auto fields = split_views(row, ',');
    (void)piece_at(fields, 3);  // a row holds four weights, even though the fourth is never consulted
    return question_row{weight_value(fields[0]), weight_value(fields[1]), weight_value(fields[2])};
}

int difficulty_for(const question_row& row, long r) {
    const double rd = static_cast<double>(r);
    if (rd <= row.w1) return 1;
    if (rd <= row.w1 + row.w2) return 2;
    if (rd <= row.w1 + row.w2 + row.w3) return 3;
    return 4;
}

std::string question_file_path(const host& h, int difficulty, int set) {
    return h.start.data_path + "data_" + std::to_string(difficulty) + "_" + std::to_string(set) + ".dat";
}

namespace {

// The row index of question n (from 1), rounded as every number used as an index is; a number far
// outside any table is an index past every row, not an overflow.
long row_index(double n) {
    const std::optional<std::int32_t> index = round_to_int32_if_in_range(n - 1);
    return index && *index >= 0 ? *index : -1;
}

// Line `number` (from 1) drawn after counting the file's lines: the count and the line come from one
// reading of the file, so a file replaced between the two cannot pair one version's count with the
// other's lines. Reading past the last line is error 62.
struct drawn_line {
    long number = 0;
    std::string text;
};

drawn_line draw_question_line(host& h, const std::string& path) {
    drawn_line drawn;
    check_file_size(*h.io.files, path, question_file_size_limit);
    drawn.text =
        h.io.files->read_counted_line(path, [&](long count) { return drawn.number = draw_line_number(h, count); });
    return drawn;
}

}  // namespace

std::string get_question(host& h, const std::string& args) {
    const double n = leading_number(get_field(args, 0));
    // Only an exact "T" asks for the first set; "t", an empty or a missing flag ask for the second.
    const int set = get_field(args, 1) == "T" ? 1 : 2;

    const auto rows = split_views(piece_at(h.content.question_tables, h.money.game_mode), '|');
    const question_row row = parse_question_row(piece_at(rows, row_index(n)));
    const int difficulty = difficulty_for(row, draw_percent(h) + 1);

    const std::string path = question_file_path(h, difficulty, set);
    const drawn_line line = draw_question_line(h, path);
    h.content.last_question = {difficulty, set, line.number, line.text};
    std::string key = question_key;
    std::string question = decrypt_string(line.text, key);
    if (question.empty())
        write_error(h, "*ERROR* Decrypting question. " + path + " No. " +
                           number_to_text(static_cast<std::int64_t>(line.number)));
    return question + "|" + std::to_string(difficulty);
}

}  // namespace quizhost
