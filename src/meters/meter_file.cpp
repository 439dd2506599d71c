// The meter file "logs/meter.txt" in the system folder, the cabinet's audit record.
//
// A command's meter changes are applied to the file's lines in memory, in the order the counters have
// always been added, and the file is replaced once. Rewriting the file once per counter left a power
// cut halfway through a game's update with some meters counting the game and others not; with one
// replace the file holds the game entirely or not at all, and its bytes are the same as those the
// counter-by-counter rewrites would have left.
#include "meters/meter_file.hpp"

#include <algorithm>
#include <cmath>

#include "basic/date_time.hpp"
#include "basic/numbers.hpp"
#include "basic/text.hpp"
#include "definitions.hpp"
#include "host.hpp"
#include "meters/meter_defs.hpp"
#include "platform/clock.hpp"
#include "platform/file_system.hpp"
#include "records/text_records.hpp"

namespace quizhost {
namespace {

constexpr long seconds_per_day = 86400;

std::string time_stamp(host& h) { return std::string(trim_spaces(meter_stamp(h.io.clock->now()))); }

// The meter changes of one command, collected on the file's lines and saved together.
class meter_changes {
public:
    explicit meter_changes(host& h) : h_(h), lines_(record_lines::load(*h.io.files, h.meter_file())) {}

    double value(std::string_view key, long field) const { return leading_number(lines_.read_field(key, field)); }

    void set(std::string_view key, long field, std::string_view text) {
        if (lines_.update_field(key, field, text) == 1) changed_ = true;
    }

    // Adds to the value field; a key without a line changes nothing.
    double add(std::string_view key, long field, double amount) {
        const double sum = value(key, field) + amount;
        set(key, field, number_to_text(sum));
        return sum;
    }
    void add(const meter_def& meter, double amount) { add(meter.key, meter.value_field(), amount); }
    void add_to_row(const meter_def& meter, double index, double amount) {
        add(meter.row_key(index), meter.value_field(), amount);
    }

    // One atomic replace, and none at all when no line matched (the file is then left untouched).
    void save() const {
        if (changed_) lines_.save(*h_.io.files, h_.meter_file());
    }

private:
    host& h_;
    record_lines lines_;
    bool changed_ = false;
};

// The game's length from "START_GAME" to now. A game that runs across midnight counts the seconds it
// really lasted (the difference of the two times of day taken modulo one day); an update with no
// "START_GAME" since the program started has no start to count from and adds nothing.
long game_seconds(const host& h) {
    if (!h.money.game_start_time) return 0;
    const long difference = h.io.clock->now().seconds_of_day() - h.money.game_start_time->seconds_of_day();
    return ((difference % seconds_per_day) + seconds_per_day) % seconds_per_day;
}

double meter_value(host& h, const meter_def& meter) {
    return leading_number(read_record_field(*h.io.files, h.meter_file(), meter.key, meter.value_field()));
}

}  // namespace

std::vector<std::string> new_meter_file_lines(host& h) {
    const meter_dimensions rows{std::max<int>(h.content.no_of_question_tables, 0),
                                std::max<int>(h.content.no_of_questions, 0),
                                std::max<int>(h.content.no_of_difficulties, 0)};
    const std::string stamp = time_stamp(h);

    std::vector<std::string> lines{
        std::string("GameName,") + application_title,
        // The version carries the movie's content version: a line end in it must not start a meter line.
        "Version," + single_line(h.start.wrapper_version),
        "CreationDate," + stamp,
        "ModifiedDate," + stamp,
    };
    for (const meter_def* meter : all_meters) {
        if (meter->new_line_tail.empty()) continue;
        if (meter->shape == meter_shape::one) {
            lines.push_back(std::string(meter->key) + std::string(meter->new_line_tail));
            continue;
        }
        for (int i = first_row(meter->shape); i <= last_row(meter->shape, rows); ++i) {
            lines.push_back(meter->row_key(i) + std::string(meter->new_line_tail));
        }
    }
    return lines;
}

void update_meters_v2(host& h, const std::string& args) {
    const double question = leading_number(get_field(args, 0));
    double prize = leading_number(get_field(args, 1));
    const bool first_flag = leading_number(get_field(args, 2)) == 1;
    const bool second_flag = leading_number(get_field(args, 3)) == 1;
    const double mode = h.money.game_mode;

    meter_changes meters(h);
    meters.add(meter::games_played, 1);
    meters.set("ModifiedDate", 1, time_stamp(h));
    meters.add_to_row(meter::games_by_mode, mode, 1);
    meters.add_to_row(meter::games_by_question, question, 1);
    if (first_flag) meters.add(meter::first_flag_games, 1);
    if (prize == -1) {
        meters.add(meter::games_without_prize, 1);
    } else {
        meters.add_to_row(meter::games_by_band, std::floor(prize / 100), 1);
    }
    if (prize > 0) meters.add_to_row(meter::paid_by_mode, mode, prize);
    if (prize == -1) prize = 0;
    meters.add(meter::prizes_paid, prize);
    meters.add(meter::game_time, static_cast<double>(game_seconds(h)));
    if (second_flag) meters.add(meter::second_flag_games, 1);
    meters.save();
}

double get_games_played(host& h) { return meter_value(h, meter::games_played); }

double get_cashpot(host& h) { return meter_value(h, meter::cashpot); }

void reset_cashpot(host& h) {
    update_record_field(*h.io.files, h.meter_file(), meter::cashpot.key, meter::cashpot.value_field(), "1000");
}

double get_reflex_meter(host& h) { return meter_value(h, meter::reflex_meter); }

void set_reflex_meter(host& h, double amount) {
    std::int32_t meter = round_to_int32(get_reflex_meter(h));
    meter = round_to_int32(amount + meter);
    h.money.reflex_meter = meter;
    update_record_field(*h.io.files, h.meter_file(), meter::reflex_meter.key, meter::reflex_meter.value_field(),
                        number_to_text(meter));
    h.money.game_mode = game_mode_for(meter);
}

std::int16_t game_mode_for(std::int32_t reflex_meter) {
    if (reflex_meter >= 2000) return 0;
    if (reflex_meter >= 1500) return 1;
    if (reflex_meter >= 500) return 2;
    if (reflex_meter >= -500) return 3;
    if (reflex_meter >= -1500) return 4;
    return 5;
}

void start_game(host& h) {
    const double stake_share =
        static_cast<double>(h.money.price_per_play) / 100.0 * static_cast<double>(h.money.payout_percent);
    set_reflex_meter(h, -stake_share);
    h.money.game_start_time = h.io.clock->now();
}

std::int32_t load_cashpot(host& h) {
    h.money.cashpot = round_to_int32(get_cashpot(h));
    return h.money.cashpot;
}

}  // namespace quizhost
