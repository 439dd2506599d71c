// The local high-score table: 20 score rows (ranks 1 to 20, best first), then 20 identification rows of
// the same ranks. An addition rebuilds the whole table from the rows in file order, so a short or damaged
// file always comes back as exactly 20 plus 20 well-formed rows, and the new table replaces the old one in
// a single rename.
#include "scores/hiscores.hpp"

#include <cmath>
#include <limits>
#include <vector>

#include "basic/date_time.hpp"
#include "basic/numbers.hpp"
#include "basic/text.hpp"
#include "definitions.hpp"
#include "host.hpp"
#include "platform/clock.hpp"
#include "platform/file_system.hpp"
#include "records/error_log.hpp"
#include "records/text_records.hpp"

namespace quizhost {
namespace {

constexpr int table_rows = 20;
constexpr std::string_view score_prefix = "Score";
constexpr std::string_view player_prefix = "PlayerID";
constexpr std::string_view work_file_name = "newfile.txt";
constexpr std::string_view no_name = "AAA";

// What the movie sends with a finished game: "name,code,score,detail,detail,detail". Missing fields read
// as empty; CR and LF become spaces so that no field can start a new line of the table.
struct submission {
    std::string name;
    std::string code;
    double score = 0;
    std::string details[3];
};

submission read_submission(std::string_view score_stuff) {
    const std::string text = single_line(score_stuff);
    submission entry;
    entry.name = cut_text(get_field(text, 0), hiscore_name_limit);
    if (entry.name.empty()) entry.name = no_name;
    entry.code = cut_text(get_field(text, 1), hiscore_code_limit);
    const std::string score = get_field(text, 2);
    entry.score = leading_number(score);
    // Only a number too long for any double gets here; it could not be stored and read back.
    if (!std::isfinite(entry.score)) {
        throw run_time_error(overflow, error_description(overflow),
                             "score out of range: \"" + score.substr(0, 40) + "\"");
    }
    for (int i = 0; i < 3; ++i) entry.details[i] = cut_text(get_field(text, 3 + i), hiscore_detail_limit);
    return entry;
}

// The score of a score row; an empty or missing field (an exhausted file gives "") counts as 0.
double row_score(std::string_view line) { return leading_number(get_field(line, 7)); }

// The rank rule for the row at `rank`: a score equal to the top score is raised by one before it is
// compared, so it takes rank 1; a score equal to a lower row's score goes below that row.
bool takes_rank(int rank, double& score, double score_of_row) {
    if (rank == 1 && score == score_of_row) score += 1;
    return score > score_of_row;
}

std::string score_text(double score) {
    // Only a hand-made file can hold a score beyond the double range; keep the largest one instead.
    if (std::isinf(score)) score = std::copysign(std::numeric_limits<double>::max(), score);
    return number_to_text(score);
}

std::string score_row(int rank, std::string_view stamp, std::string_view name, std::string_view code, double score) {
    std::string row(score_prefix);
    row += ',' + std::to_string(rank) + ",,,";  // fields 2 and 3 are always empty
    row += stamp;
    row += ',';
    row += name;
    row += ',';
    row += code;
    row += ',';
    row += score_text(score);
    return row;
}

std::string player_row(int rank, std::string_view name, std::string_view code, std::string_view detail_1,
                       std::string_view detail_2, std::string_view detail_3) {
    std::string row(player_prefix);
    row += ',' + std::to_string(rank);
    for (std::string_view field : {name, code, detail_1, detail_2, detail_3}) {
        row += ',';
        row += field;
    }
    return row;
}

// The 20 score rows in file order, renumbered, with the new score inserted where it ranks; the old last
// row drops out when it does. The tie rule may raise `entry.score`. Returns the rank taken, or -1.
int write_score_rows(text_file_reader& file, submission& entry, const std::string& stamp,
                     std::vector<std::string>& table) {
    int position = -1;
    for (int rank = 1; rank <= table_rows; ++rank) {
        const std::string line = find_record_line(file, score_prefix);
        const double old_score = row_score(line);
        if (position == -1 && takes_rank(rank, entry.score, old_score)) {
            position = rank;
            table.push_back(score_row(rank, stamp, entry.name, entry.code, entry.score));
            if (++rank > table_rows) break;
        }
        table.push_back(score_row(rank, get_field(line, 4), get_field(line, 5), get_field(line, 6), old_score));
    }
    return position;
}

// The 20 identification rows in file order, renumbered; the new player's row goes before the row whose
// own rank is the position the score took. A file without identification rows gives 20 empty ones.
void write_player_rows(text_file_reader& file, const submission& entry, int position, std::vector<std::string>& table) {
    bool inserted = false;
    for (int rank = 1; rank <= table_rows; ++rank) {
        const std::string line = find_record_line(file, player_prefix);
        // Once only, and never for a score that did not enter: a damaged file may repeat a rank or hold -1.
        if (!inserted && position != -1 && leading_number(get_field(line, 1)) == position) {
            inserted = true;
            table.push_back(
                player_row(rank, entry.name, entry.code, entry.details[0], entry.details[1], entry.details[2]));
            if (++rank > table_rows) break;
        }
        table.push_back(player_row(rank, get_field(line, 2), get_field(line, 3), get_field(line, 4), get_field(line, 5),
                                   get_field(line, 6)));
    }
}

// Lines placed in the file by others (a "Tournament" line) stay, after the table.
void carry_other_lines(text_file_reader& file, std::vector<std::string>& table) {
    while (!file.at_end()) {
        std::string line = file.read_line();
        if (line.empty() || starts_with_ignoring_case(line, score_prefix) ||
            starts_with_ignoring_case(line, player_prefix))
            continue;
        table.push_back(std::move(line));
    }
}

// A table whose score rows cannot be read is never rebuilt: the rebuild would write its rows as empty ones
// of score 0, and the players' scores would be gone for good. A row that cannot be read has a score that
// is not a number or more fields than a score row (a file whose lines end with CR alone reads as one long
// row); a file that holds lines but not one score row is garbage. An empty file has nothing to lose.
void refuse_unreadable_table(file_system& fs, const std::string& path) {
    const std::string fault = unreadable_hiscore_table(fs, path);
    if (!fault.empty()) {
        throw run_time_error(path_file_access_error, error_description(path_file_access_error),
                             path + fault + "; the table is left as it is");
    }
}

}  // namespace

std::string unreadable_hiscore_table(file_system& fs, const std::string& path) {
    text_file_reader file(fs, path);
    long number = 0;
    bool any_line = false;
    bool any_row = false;
    while (!file.at_end()) {
        const std::string line = file.read_line();
        ++number;
        if (!trim_spaces(line).empty()) any_line = true;
        if (!starts_with_ignoring_case(line, score_prefix)) continue;
        any_row = true;
        const std::string score = get_field(line, 7);
        bool readable = split_views(line, ',').size() <= 8;
        if (readable && !score.empty()) {
            try {
                (void)strict_number(score);
            } catch (const run_time_error&) {
                readable = false;
            }
        }
        if (!readable) return " line " + std::to_string(number) + ": a score row that cannot be read";
    }
    if (any_line && !any_row) return ": no score row can be read";
    return {};
}

int add_to_hiscores(host& h, const std::string& score_stuff) {
    write_error(h, "Updating highscores.txt");
    file_system& fs = *h.io.files;
    const std::string path = h.hiscore_file();
    text_file_reader score_rows(fs, path);  // a missing table is error 53
    refuse_unreadable_table(fs, path);
    submission entry = read_submission(score_stuff);

    std::vector<std::string> table;
    table.reserve(2 * table_rows + 1);
    const int position = write_score_rows(score_rows, entry, hiscore_stamp(h.io.clock->now()), table);
    text_file_reader player_rows(fs, path);
    write_player_rows(player_rows, entry, position, table);
    text_file_reader all_rows(fs, path);
    carry_other_lines(all_rows, table);

    replace_file(fs, path, lines_to_bytes(table), work_file_name);
    return position;
}

int where_in_hiscores(host& h, double score) {
    text_file_reader file(*h.io.files, h.hiscore_file());  // a missing table is error 53
    for (int rank = 1; rank <= table_rows; ++rank) {
        if (takes_rank(rank, score, row_score(find_record_line(file, score_prefix)))) return rank;
    }
    return -1;
}

std::string get_top_local_score(host& h) { return read_record_field(*h.io.files, h.hiscore_file(), "Score,1", 7); }

std::string get_last_hiscore_update(host& h) {
    return read_record_field(*h.io.files, h.hiscore_file(), "Tournament", 2);
}

void create_dummy_hiscores(host& h) {
    const std::string stamp = hiscore_stamp(h.io.clock->now());
    std::vector<std::string> table;
    table.reserve(std::size_t{2} * table_rows);
    for (int rank = 1; rank <= table_rows; ++rank) table.push_back(score_row(rank, stamp, no_name, "1234", 0));
    for (int rank = 1; rank <= table_rows; ++rank) table.push_back(player_row(rank, no_name, "1234", " ", " ", " "));
    replace_file(*h.io.files, h.hiscore_file(), lines_to_bytes(table), work_file_name);
}

}  // namespace quizhost
