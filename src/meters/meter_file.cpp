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
#include "platform/clock.hpp"
#include "platform/file_system.hpp"
#include "records/text_records.hpp"

namespace quizhost {
namespace {

constexpr int prize_bands = 20;  // "M7" rows: prizes from 100 to 2099 in steps of 100
constexpr long seconds_per_day = 86400;

std::string row_key(std::string_view meter, double index) { return std::string(meter) + "," + number_to_text(index); }

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

double meter_value(host& h, std::string_view key) {
    return leading_number(read_record_field(*h.io.files, h.meter_file(), key, 1));
}

}  // namespace

std::vector<std::string> new_meter_file_lines(host& h) {
    const int tables = std::max<int>(h.content.no_of_question_tables, 0);
    const int questions = std::max<int>(h.content.no_of_questions, 0);
    const int difficulties = std::max<int>(h.content.no_of_difficulties, 0);
    const std::string stamp = time_stamp(h);

    std::vector<std::string> lines{
        std::string("GameName,") + application_title,
        // The version carries the movie's content version: a line end in it must not start a meter line.
        "Version," + single_line(h.start.wrapper_version),
        "CreationDate," + stamp,
        "ModifiedDate," + stamp,
        "M1,0",
    };
    auto rows = [&lines](const char* meter, int first, int last, const char* value) {
        for (int i = first; i <= last; ++i) lines.push_back(std::string(meter) + "," + std::to_string(i) + value);
    };
    rows("M2", 0, tables, ",0");
    rows("M4", 1, questions, ",0");
    rows("M7", 1, prize_bands, ",0");
    for (const char* line : {"M8,0", "M9,0", "M10,0", "M17,0", "M12,0", "M15,0"}) lines.emplace_back(line);
    rows("M11", 0, tables, ",0");
    rows("M16", 1, difficulties, ",0");
    rows("M13", 1, difficulties, ",0,0%");
    lines.emplace_back("M14,0");
    return lines;
}

void update_meters_v2(host& h, const std::string& args) {
    const double question = leading_number(get_field(args, 0));
    double prize = leading_number(get_field(args, 1));
    const bool count_m9 = leading_number(get_field(args, 2)) == 1;
    const bool count_m14 = leading_number(get_field(args, 3)) == 1;
    const double mode = h.money.game_mode;

    meter_changes meters(h);
    meters.add("M1", 1, 1);
    meters.set("ModifiedDate", 1, time_stamp(h));
    meters.add(row_key("M2", mode), 2, 1);
    meters.add(row_key("M4", question), 2, 1);
    if (count_m9) meters.add("M9", 1, 1);
    if (prize == -1) {
        meters.add("M8", 1, 1);
    } else {
        meters.add(row_key("M7", std::floor(prize / 100)), 2, 1);
    }
    if (prize > 0) meters.add(row_key("M11", mode), 2, prize);
    if (prize == -1) prize = 0;
    meters.add("M10", 1, prize);
    meters.add("M12", 1, static_cast<double>(game_seconds(h)));
    if (count_m14) meters.add("M14", 1, 1);
    meters.save();
}

double get_games_played(host& h) { return meter_value(h, "M1"); }

double get_cashpot(host& h) { return meter_value(h, "M6"); }

void reset_cashpot(host& h) { update_record_field(*h.io.files, h.meter_file(), "M6", 1, "1000"); }

double get_reflex_meter(host& h) { return meter_value(h, "M17"); }

void set_reflex_meter(host& h, double amount) {
    std::int32_t meter = round_to_int32(get_reflex_meter(h));
    meter = round_to_int32(amount + meter);
    h.money.reflex_meter = meter;
    update_record_field(*h.io.files, h.meter_file(), "M17", 1, number_to_text(meter));
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
