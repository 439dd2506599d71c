// Question statistics in the meter file, kept for every answered question: questions answered ("M15"),
// answered per difficulty ("M16"), and correct per difficulty with the share correct ("M13").
#include "meters/answer_settlement.hpp"

#include <cmath>

#include "basic/numbers.hpp"
#include "host.hpp"
#include "records/text_records.hpp"

namespace quizhost {
namespace {

std::string row_key(std::string_view meter, double index) { return std::string(meter) + "," + number_to_text(index); }

}  // namespace

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

    set("M15", 1, number_to_text(value("M15", 1) + 1));

    const std::string asked_row = row_key("M16", difficulty);
    double asked = value(asked_row, 2);
    set(asked_row, 2, number_to_text(asked + 1));

    // A wrong answer leaves the correct count and its share as they stood at the last correct answer.
    if (correct) {
        const std::string right_row = row_key("M13", difficulty);
        double right = value(right_row, 2);
        asked += 1;
        right += 1;
        const double percent = 100 * right / asked;
        set(right_row, 2, number_to_text(right));
        set(right_row, 3, number_to_text(round_to_int32(percent)) + "%");
    }
    if (changed) meters.save(*h.io.files, h.meter_file());
}

}  // namespace quizhost
