// Question statistics in the meter file, kept for every answered question: questions answered ("M15"),
// answered per difficulty ("M16"), and correct per difficulty with the share correct ("M13").
#include "meters/answer_settlement.hpp"

#include <cmath>

#include "basic/numbers.hpp"
#include "host.hpp"
#include "meters/meter_defs.hpp"
#include "records/text_records.hpp"

namespace quizhost {

void do_when_answered(host& h, const std::string& args) {
    // Both fields must be numbers: a garbled argument fails here, before the file is touched.
    const double difficulty = std::floor(strict_number(get_field(args, 0)));
    const bool correct = std::floor(strict_number(get_field(args, 1))) == 1;

    // All of the answer's changes are made on the lines in memory and land in one atomic replace.
    record_lines meters = record_lines::load(*h.io.files, h.meter_file());
    bool changed = false;
    auto set = [&](const std::string& key, long field, const std::string& text) {
        if (meters.update_field(key, field, text) == 1) changed = true;
    };
    auto value = [&](const std::string& key, long field) { return leading_number(meters.read_field(key, field)); };

    const meter_def& answered = meter::questions_answered;
    set(std::string(answered.key), answered.value_field(),
        number_to_text(value(std::string(answered.key), answered.value_field()) + 1));

    const std::string asked_row = meter::questions_asked.row_key(difficulty);
    const long asked_field = meter::questions_asked.value_field();
    double asked = value(asked_row, asked_field);
    set(asked_row, asked_field, number_to_text(asked + 1));

    // A wrong answer leaves the correct count and its share as they stood at the last correct answer.
    if (correct) {
        const std::string right_row = meter::questions_right.row_key(difficulty);
        const long right_field = meter::questions_right.value_field();
        double right = value(right_row, right_field);
        asked += 1;
        right += 1;
        const double percent = 100 * right / asked;
        set(right_row, right_field, number_to_text(right));
        // The share correct follows the count on the same line.
        set(right_row, right_field + 1, number_to_text(round_to_int32(percent)) + "%");
    }
    if (changed) meters.save(*h.io.files, h.meter_file());
}

}  // namespace quizhost
