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

#include "basic/date_time.hpp"
#include "meters/setup_file_defs.hpp"

namespace quizhost {

class file_system;
class clock;
struct meter_def;

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

    // What a sound meter file would not have: a value that is not a number, an unknown or repeated key,
    // a row missing between others or beside its twin meter ("M2" and "M11", "M16" and "M13"), a meter
    // or header line missing. The figures still read such a file as the host would.
    struct damaged_line {
        long number = 0;      // the line's number in the file, counted from 1; 0 for a line that is missing
        std::string text;     // the line as it stands; for a missing line, the key it should have
        std::string problem;  // what is wrong with it
        friend bool operator==(const damaged_line&, const damaged_line&) = default;
    };
    std::vector<damaged_line> damaged;
    // Those of the damaged lines the host must not play on: a header or meter line or row missing (the
    // file is empty, garbage, or its lines do not end as record lines), or a meter's value that is not a
    // number. Playing on would count games nowhere, or wipe out a count; start-up refuses such a file and
    // the preflight calls it an error. Unknown or repeated lines, a stray field, are only shown.
    std::vector<damaged_line> unplayable;

    // Set by the tool, not read from the meter file: when the report was made (the cabinet's local
    // clock), and the money settings the host would run with (from setup.ini, bounded as at start-up).
    std::optional<date_time> made;
    std::optional<setup_values> setup;
    // Where the money settings came from: setup.ini, or the autoplay file, whose price and payout the host
    // charges instead of setup.ini's (without bounds) while it is there.
    bool settings_from_autoplay = false;
    // The payout percentage as the file holds it, when the host uses it: 33.3 is shown as 33.3, not as the
    // single-precision number the host computes with (33.2999992370605).
    std::optional<double> payout_as_set;
    double shown_payout_percent() const;

    // Derived figures; none when the figure they divide by is zero or missing.
    std::optional<double> average_prize() const;            // total paid / games played
    std::optional<double> average_prize_when_paid() const;  // total paid / (games played - games without prize)
    std::optional<double> average_game_seconds() const;     // game time / games played
    std::optional<double> mode_share(double games) const;   // games / games played, as a percentage
    static std::optional<double> correct_share(const difficulty_row& row);  // percentage
    std::int16_t selected_game_mode() const;                                // the mode the reflex meter selects now
    // Games played times today's price: what the games took had the price always been today's.
    std::optional<double> takings_at_todays_price() const;
    // Prizes paid against those takings, as a percentage: an estimate, since the price may have changed.
    std::optional<double> paid_share() const;
};

// "line 3 \"M1,x\": the value \"x\" is not a number", or "M8: no line" for a line that is missing.
std::string damaged_line_text(const meter_report::damaged_line& d);
// Why the host must not play on this meter file, "" when it may: the first unplayable line (and how many
// more), or that the file holds no lines or ends its lines with CR alone.
std::string unplayable_meter_file(std::string_view bytes, const meter_report& report);

// One value the report read for a meter: a one-line meter has one (with no index) when its line is
// there, an indexed meter one per row.
struct meter_sample {
    std::optional<double> index;
    double value = 0;
};
std::vector<meter_sample> meter_samples(const meter_report& report, const meter_def& meter);

// Reads the report's values from the meter file's bytes, as the host reads them (first matching line,
// leading numbers, letter case of keys ignored).
meter_report read_meter_report(std::string_view bytes);

std::string meter_report_text(const meter_report& report, std::string_view source);
// One self-contained page: the same tables, and bar charts drawn as inline SVG (prize bands, games per
// mode, correct share per difficulty). No script, nothing fetched from the network.
std::string meter_report_html(const meter_report& report, std::string_view source);

// What `quizhost meters` is asked for.
struct meter_tool_options {
    std::string root;     // the cabinet folder
    std::string html;     // also write the HTML page here ("" for none)
    std::string format;   // "text" (default), "prometheus", "openmetrics" or "json"
    std::string output;   // write the report here, atomically ("" for standard output)
    std::string cabinet;  // the export's cabinet label ("" for the folder's name)
};

// `quizhost meters`: reads "system/logs/meter.txt" below the root (and setup.ini and the log beside it),
// writes the report in the asked format. The exit status: 0; 1 when the meter file is damaged (the report
// is still written, with every damaged line named) or cannot be read, or an output cannot be written,
// with a message on `err`.
int run_meter_report(file_system& fs, clock& now, const meter_tool_options& options, std::ostream& out,
                     std::ostream& err);
// The text report on standard output, and the page when `html_path` is not empty.
int run_meter_report(file_system& fs, const std::string& root, const std::string& html_path, std::ostream& out,
                     std::ostream& err);

}  // namespace quizhost
