// The auditor's report on a meter file: every meter with a plain label, and the figures an auditor derives
// from them (average prize, average game length, share of games per mode, share correct per difficulty).
// It only reads; the meter file is never written.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quizhost {

class file_system;

struct meter_report {
    struct row {
        double index = 0;
        double value = 0;
    };
    struct difficulty_row {
        double difficulty = 0;
        std::optional<double> asked;    // "M16"
        std::optional<double> correct;  // "M13" count
        std::string recorded_percent;   // "M13" share as of the last correct answer, as stored ("67%")
    };

    std::string game_name, version, created, modified;

    std::optional<double> games_played;         // M1
    std::vector<row> games_by_mode;             // M2
    std::vector<row> games_by_question;         // M4
    std::optional<double> cashpot;              // M6 (only some files carry it)
    std::vector<row> prize_bands;               // M7: band b holds prizes from 100*b to 100*b + 99
    std::optional<double> games_without_prize;  // M8
    std::optional<double> first_flag_games;     // M9
    std::optional<double> total_paid;           // M10
    std::vector<row> paid_by_mode;              // M11
    std::optional<double> game_seconds;         // M12
    std::optional<double> second_flag_games;    // M14
    std::optional<double> questions_answered;   // M15
    std::vector<difficulty_row> difficulties;   // M16 and M13
    std::optional<double> reflex_meter;         // M17

    // Lines the report does not know, or repeats of a meter whose first line counts: shown as they are,
    // so nothing in the file escapes the auditor.
    std::vector<std::string> other_lines;

    // Derived figures; none when the figure they divide by is zero or missing.
    std::optional<double> average_prize() const;            // total paid / games played
    std::optional<double> average_prize_when_paid() const;  // total paid / (games played - games without prize)
    std::optional<double> average_game_seconds() const;     // game time / games played
    std::optional<double> mode_share(double games) const;   // games / games played, as a percentage
    static std::optional<double> correct_share(const difficulty_row& row);  // percentage
    std::int16_t selected_game_mode() const;                                // the mode the reflex meter selects now
};

// Reads the report's values from the meter file's bytes, as the host reads them (first matching line,
// leading numbers, letter case of keys ignored).
meter_report read_meter_report(std::string_view bytes);

std::string meter_report_text(const meter_report& report, std::string_view source);
// One self-contained page: the same tables, and bar charts drawn as inline SVG (prize bands, games per
// mode, correct share per difficulty). No script, nothing fetched from the network.
std::string meter_report_html(const meter_report& report, std::string_view source);

// `quizhost meters`: reads "system/logs/meter.txt" below `root`, prints the report to `out` and, when
// `html_path` is not empty, writes the page there. The exit status: 0, or 1 with a message on `err`.
int run_meter_report(file_system& fs, const std::string& root, const std::string& html_path, std::ostream& out,
                     std::ostream& err);

}  // namespace quizhost
