// The meters of the meter file, named once: each meter's key, what it counts, the rows it has, and the
// stable name and unit it carries out of the cabinet as a metric. The writer, the answer settlement, the
// auditor's report and the metrics export all take their keys from here.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace quizhost {

// The rows of a meter: one line, or one line per game mode, question reached, prize band or difficulty.
enum class meter_shape { one, by_game_mode, by_question, by_band, by_difficulty };

// A count that only grows (counter) or a level that moves both ways (gauge).
enum class metric_kind { counter, gauge };

inline constexpr int prize_bands = 20;  // "M7" rows 1 to 20: prizes from 100 to 2099 in steps of 100

struct meter_def {
    std::string_view key;      // "M1"
    std::string_view meaning;  // the auditor's label ("Games played")
    meter_shape shape;
    std::string_view metric;  // the metric's stable name ("quizhost_games_played_total")
    std::string_view unit;    // "credits", "seconds", or "" for a count of games or questions
    metric_kind kind;
    std::string_view help;  // one line describing the metric
    // What follows the key (and index) on the meter's lines in a new file; empty when a new file has no
    // line for it (the cash pot).
    std::string_view new_line_tail = ",0";

    // The field holding the value: 1 on a one-line meter, 2 on a row (the index is field 1).
    long value_field() const { return shape == meter_shape::one ? 1 : 2; }
    // The key of one row: the meter key, ",", and the index as the host writes numbers ("M2,3").
    std::string row_key(double index) const;
    // The name of a row's index in the export ("mode", "question", "band", "difficulty"); "" for one line.
    std::string_view row_label() const;
};

namespace meter {

inline constexpr meter_def games_played{
    .key = "M1",
    .meaning = "Games played",
    .shape = meter_shape::one,
    .metric = "quizhost_games_played_total",
    .unit = "",
    .kind = metric_kind::counter,
    .help = "Games played (meter M1).",
};
inline constexpr meter_def games_by_mode{
    .key = "M2",
    .meaning = "Games by game mode",
    .shape = meter_shape::by_game_mode,
    .metric = "quizhost_games_by_mode_total",
    .unit = "",
    .kind = metric_kind::counter,
    .help = "Games played, by the game mode they were played in (meter M2).",
};
inline constexpr meter_def games_by_question{
    .key = "M4",
    .meaning = "Games by question reached",
    .shape = meter_shape::by_question,
    .metric = "quizhost_games_by_question_reached_total",
    .unit = "",
    .kind = metric_kind::counter,
    .help = "Games played, by the question number the game reached (meter M4).",
};
inline constexpr meter_def cashpot{
    .key = "M6",
    .meaning = "Cash pot, credits",
    .shape = meter_shape::one,
    .metric = "quizhost_cashpot_credits",
    .unit = "credits",
    .kind = metric_kind::gauge,
    .help = "Cash pot in credits (meter M6; only files that carry its line).",
    .new_line_tail = "",
};
inline constexpr meter_def games_by_band{
    .key = "M7",
    .meaning = "Games by prize band",
    .shape = meter_shape::by_band,
    .metric = "quizhost_games_by_prize_band_total",
    .unit = "",
    .kind = metric_kind::counter,
    .help = "Games whose prize fell in band b, from 100*b to 100*b+99 credits (meter M7).",
};
inline constexpr meter_def games_without_prize{
    .key = "M8",
    .meaning = "Games without a prize",
    .shape = meter_shape::one,
    .metric = "quizhost_games_without_prize_total",
    .unit = "",
    .kind = metric_kind::counter,
    .help = "Games that paid no prize (meter M8).",
};
inline constexpr meter_def first_flag_games{
    .key = "M9",
    .meaning = "Games with the movie's first flag",
    .shape = meter_shape::one,
    .metric = "quizhost_games_first_flag_total",
    .unit = "",
    .kind = metric_kind::counter,
    .help = "Games the movie reported with its first flag set (meter M9).",
};
inline constexpr meter_def prizes_paid{
    .key = "M10",
    .meaning = "Total of prizes paid, credits",
    .shape = meter_shape::one,
    .metric = "quizhost_prizes_paid_credits_total",
    .unit = "credits",
    .kind = metric_kind::counter,
    .help = "Prizes paid, in credits (meter M10).",
};
inline constexpr meter_def paid_by_mode{
    .key = "M11",
    .meaning = "Prizes paid by game mode",
    .shape = meter_shape::by_game_mode,
    .metric = "quizhost_prizes_paid_by_mode_credits_total",
    .unit = "credits",
    .kind = metric_kind::counter,
    .help = "Prizes paid in credits, by the game mode of the game (meter M11).",
};
inline constexpr meter_def game_time{
    .key = "M12",
    .meaning = "Total game time, seconds",
    .shape = meter_shape::one,
    .metric = "quizhost_game_time_seconds_total",
    .unit = "seconds",
    .kind = metric_kind::counter,
    .help = "Time spent in games, in seconds (meter M12).",
};
inline constexpr meter_def questions_right{
    .key = "M13",
    .meaning = "Questions answered correctly by difficulty",
    .shape = meter_shape::by_difficulty,
    .metric = "quizhost_questions_right_total",
    .unit = "",
    .kind = metric_kind::counter,
    .help = "Questions answered correctly, by difficulty (meter M13).",
    .new_line_tail = ",0,0%",  // the count, then the share correct at the last correct answer
};
inline constexpr meter_def second_flag_games{
    .key = "M14",
    .meaning = "Games with the movie's second flag",
    .shape = meter_shape::one,
    .metric = "quizhost_games_second_flag_total",
    .unit = "",
    .kind = metric_kind::counter,
    .help = "Games the movie reported with its second flag set (meter M14).",
};
inline constexpr meter_def questions_answered{
    .key = "M15",
    .meaning = "Questions answered",
    .shape = meter_shape::one,
    .metric = "quizhost_questions_answered_total",
    .unit = "",
    .kind = metric_kind::counter,
    .help = "Questions answered (meter M15).",
};
inline constexpr meter_def questions_asked{
    .key = "M16",
    .meaning = "Questions answered by difficulty",
    .shape = meter_shape::by_difficulty,
    .metric = "quizhost_questions_asked_total",
    .unit = "",
    .kind = metric_kind::counter,
    .help = "Questions answered, by difficulty (meter M16).",
};
inline constexpr meter_def reflex_meter{
    .key = "M17",
    .meaning = "Reflex meter, credits",
    .shape = meter_shape::one,
    .metric = "quizhost_reflex_meter_credits",
    .unit = "credits",
    .kind = metric_kind::gauge,
    .help = "Reflex meter in credits: prizes paid minus the payout share of every game's price (meter M17).",
};

}  // namespace meter

// Every meter, in the order of a new file's lines; the cash pot, which a new file lacks, comes last.
inline constexpr std::array<const meter_def*, 15> all_meters{
    &meter::games_played,        &meter::games_by_mode,      &meter::games_by_question, &meter::games_by_band,
    &meter::games_without_prize, &meter::first_flag_games,   &meter::prizes_paid,       &meter::reflex_meter,
    &meter::game_time,           &meter::questions_answered, &meter::paid_by_mode,      &meter::questions_asked,
    &meter::questions_right,     &meter::second_flag_games,  &meter::cashpot,
};

// The meter with this key, letter case ignored as the host matches keys; nullptr for none.
const meter_def* find_meter(std::string_view key);

// How many rows the indexed meters have: set by the loaded question tables.
struct meter_dimensions {
    int question_tables = 0;  // "M2" and "M11" have rows 0 to this (one more than the game modes used)
    int questions = 0;        // "M4" rows 1 to this
    int difficulties = 0;     // "M13" and "M16" rows 1 to this
};

// The first and last row index of a meter of this shape (first > last: no rows). A one-line meter has
// the single "row" 0.
int first_row(meter_shape shape);
int last_row(meter_shape shape, const meter_dimensions& dimensions);

}  // namespace quizhost
