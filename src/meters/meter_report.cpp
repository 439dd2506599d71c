#include "meters/meter_report.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <map>
#include <ostream>
#include <set>

#include "basic/date_time.hpp"
#include "basic/numbers.hpp"
#include "basic/text.hpp"
#include "definitions.hpp"
#include "meters/meter_defs.hpp"
#include "meters/meter_export.hpp"
#include "meters/meter_file.hpp"
#include "platform/clock.hpp"
#include "platform/file_system.hpp"
#include "platform/paths.hpp"
#include "recall/recall_report.hpp"
#include "records/error_log.hpp"
#include "records/text_records.hpp"

namespace quizhost {

// ---- Derived figures ----

namespace {

std::optional<double> ratio(std::optional<double> part, std::optional<double> whole, double scale = 1) {
    if (!part || !whole || *whole == 0) return std::nullopt;
    return *part / *whole * scale;
}

}  // namespace

std::optional<double> meter_report::average_prize() const { return ratio(total_paid, games_played); }

std::optional<double> meter_report::average_prize_when_paid() const {
    if (!games_played) return std::nullopt;
    return ratio(total_paid, *games_played - games_without_prize.value_or(0));
}

std::optional<double> meter_report::average_game_seconds() const { return ratio(game_seconds, games_played); }

std::optional<double> meter_report::mode_share(double games) const { return ratio(games, games_played, 100); }

std::optional<double> meter_report::correct_share(const difficulty_row& row) {
    return ratio(row.correct, row.asked, 100);
}

std::optional<double> meter_report::takings_at_todays_price() const {
    if (!games_played || !setup) return std::nullopt;
    return *games_played * setup->price_per_play;
}

double meter_report::shown_payout_percent() const {
    if (payout_as_set) return *payout_as_set;
    return setup ? static_cast<double>(setup->payout_percent) : 0;
}

std::optional<double> meter_report::paid_share() const { return ratio(total_paid, takings_at_todays_price(), 100); }

std::int16_t meter_report::selected_game_mode() const {
    // The host rounds the meter to a 32-bit number; a value beyond that range still selects an end mode.
    const double meter = std::clamp(reflex_meter.value_or(0), -2147483648.0, 2147483647.0);
    return game_mode_for(round_to_int32(meter));
}

// ---- Reading ----

namespace {

using single_member = std::optional<double> meter_report::*;
using indexed_member = std::vector<meter_report::row> meter_report::*;

// Where each meter's values go in the report: the meters held one to a line ("M1,value"), the indexed
// ones ("M2,index,value"); the two by difficulty share the report's difficulty rows.
const std::array<std::pair<const meter_def*, single_member>, 9> single_meters{{
    {&meter::games_played, &meter_report::games_played},
    {&meter::cashpot, &meter_report::cashpot},
    {&meter::games_without_prize, &meter_report::games_without_prize},
    {&meter::first_flag_games, &meter_report::first_flag_games},
    {&meter::prizes_paid, &meter_report::total_paid},
    {&meter::game_time, &meter_report::game_seconds},
    {&meter::second_flag_games, &meter_report::second_flag_games},
    {&meter::questions_answered, &meter_report::questions_answered},
    {&meter::reflex_meter, &meter_report::reflex_meter},
}};

const std::array<std::pair<const meter_def*, indexed_member>, 4> indexed_meters{{
    {&meter::games_by_mode, &meter_report::games_by_mode},
    {&meter::games_by_question, &meter_report::games_by_question},
    {&meter::games_by_band, &meter_report::prize_bands},
    {&meter::paid_by_mode, &meter_report::paid_by_mode},
}};

template <typename Member, std::size_t N>
Member member_of(const std::array<std::pair<const meter_def*, Member>, N>& meters, const meter_def* def) {
    for (const auto& [meter, member] : meters) {
        if (meter == def) return member;
    }
    return nullptr;
}

constexpr std::array<const char*, 4> header_keys{"GAMENAME", "VERSION", "CREATIONDATE", "MODIFIEDDATE"};
constexpr std::array<const char*, 4> header_names{"GameName", "Version", "CreationDate", "ModifiedDate"};

std::string* header_field(meter_report& report, std::string_view key) {
    if (key == header_keys[0]) return &report.game_name;
    if (key == header_keys[1]) return &report.version;
    if (key == header_keys[2]) return &report.created;
    if (key == header_keys[3]) return &report.modified;
    return nullptr;
}

meter_report::difficulty_row& difficulty(meter_report& report, double index) {
    for (auto& row : report.difficulties) {
        if (row.difficulty == index) return row;
    }
    report.difficulties.push_back({index, std::nullopt, std::nullopt, {}});
    return report.difficulties.back();
}

bool is_number(std::string_view text) {
    try {
        strict_number(text);
        return true;
    } catch (const run_time_error&) {
        return false;
    }
}

struct value_fault {
    std::string problem;  // "" when nothing is wrong
    bool unplayable = false;
};

// What is wrong with the value fields of a meter line. `value_field` holds a number; "M13" follows its
// count with the share correct as a whole number and "%", which the host writes anew at every answer.
value_fault value_problem(const meter_def& meter, const std::vector<std::string>& fields) {
    const auto value_field = static_cast<std::size_t>(meter.value_field());
    const bool has_share = &meter == &meter::questions_right;
    const std::size_t wanted = value_field + (has_share ? 2 : 1);
    if (fields.size() <= value_field) return {"no value", true};
    if (!is_number(fields[value_field])) return {"the value \"" + fields[value_field] + "\" is not a number", true};
    if (has_share) {
        if (fields.size() <= value_field + 1) return {"no share correct"};
        const std::string_view share = trim_spaces(fields[value_field + 1]);
        if (share.empty() || share.back() != '%' || !is_number(share.substr(0, share.size() - 1))) {
            return {"the share correct \"" + fields[value_field + 1] + "\" is not a number followed by %"};
        }
    }
    if (fields.size() > wanted) return {"more fields than the meter has"};
    return {};
}

class meter_reader {
public:
    explicit meter_reader(meter_report& report) : report_(report) {}

    void read(long number, std::string_view line) {
        const auto fields = split(line, ',');
        const std::string key = fields.empty() ? "" : to_upper_ascii(fields[0]);
        if (std::string* text = header_field(report_, key)) {
            if (!first(key, number, line)) return;
            *text = fields.size() > 1 ? std::string(trim_spaces(fields[1])) : "";
            return;
        }
        const meter_def* meter = fields.size() >= 2 ? find_meter(key) : nullptr;
        if (!meter) return other(number, line, "unknown key");

        std::optional<double> index;
        if (meter->shape != meter_shape::one) {
            // An indexed row is found by its key, ",", and the index in the host's own number text.
            index = leading_number(fields[1]);
            if (shown_number_text(*index) != fields[1]) {
                return other(number, line, "the index \"" + fields[1] + "\" is not one the host writes");
            }
        }
        const std::string row = index ? meter->row_key(*index) : std::string(meter->key);
        if (!first(row, number, line)) return;
        const value_fault fault = value_problem(*meter, fields);
        if (!fault.problem.empty()) {
            report_.damaged.push_back({number, std::string(line), fault.problem});
            if (fault.unplayable) report_.unplayable.push_back(report_.damaged.back());
        }
        if (index) rows_[meter].insert(*index);

        const auto value = [&fields](std::size_t field) {
            return field < fields.size() ? leading_number(trim_spaces(fields[field])) : 0.0;
        };
        if (auto member = member_of(single_meters, meter)) {
            report_.*member = value(1);
        } else if (auto rows = member_of(indexed_meters, meter)) {
            (report_.*rows).push_back({*index, value(2)});
        } else if (meter == &meter::questions_asked) {
            difficulty(report_, *index).asked = value(2);
        } else {
            auto& right = difficulty(report_, *index);
            right.correct = value(2);
            right.recorded_percent = fields.size() > 3 ? std::string(trim_spaces(fields[3])) : "";
        }
    }

    // The lines a sound file has that this one lacks.
    void find_missing() {
        for (std::size_t i = 0; i < header_keys.size(); ++i) {
            if (!seen_.count(header_keys[i])) missing(header_names[i], "no line");
        }
        for (const meter_def* meter : all_meters) {
            if (meter->new_line_tail.empty()) continue;  // the cash pot is optional
            if (meter->shape == meter_shape::one) {
                if (!seen_.count(std::string(meter->key))) missing(meter->key, "no line");
                continue;
            }
            // Rows run from the shape's first index to the last one the meter, or its twin, has.
            const auto& have = rows_[meter];
            double last = meter->shape == meter_shape::by_band ? prize_bands : first_row(meter->shape) - 1;
            for (const meter_def* twin : all_meters) {
                if (twin->shape == meter->shape && !rows_[twin].empty()) last = std::max(last, *rows_[twin].rbegin());
            }
            if (last < first_row(meter->shape)) {
                missing(meter->key, "no rows");
                continue;
            }
            // A run of missing rows is named once, so a stray huge index cannot flood the report.
            double from = first_row(meter->shape);
            for (double i : have) {
                if (i < from || i != std::floor(i)) continue;
                missing_rows(*meter, from, i - 1);
                from = i + 1;
            }
            missing_rows(*meter, from, last);
        }
    }

private:
    // Marks a line's key as read; false (and the line noted) when an earlier line already had it.
    bool first(const std::string& key, long number, std::string_view line) {
        if (seen_.insert(key).second) return true;
        other(number, line, "repeats " + key + ", whose first line counts");
        return false;
    }
    void other(long number, std::string_view line, std::string problem) {
        report_.other_lines.emplace_back(line);
        report_.damaged.push_back({number, std::string(line), std::move(problem)});
    }
    void missing_rows(const meter_def& meter, double from, double to) {
        if (from == to) missing(meter.row_key(from), "row missing");
        if (from < to) missing(meter.row_key(from) + " to " + meter.row_key(to), "rows missing");
    }
    void missing(std::string_view key, const char* problem) {
        report_.damaged.push_back({0, std::string(key), problem});
        report_.unplayable.push_back(report_.damaged.back());
    }

    meter_report& report_;
    std::set<std::string> seen_;
    std::map<const meter_def*, std::set<double>> rows_;
};

void sort_rows(std::vector<meter_report::row>& rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.index < b.index; });
}

}  // namespace

meter_report read_meter_report(std::string_view bytes) {
    meter_report report;
    meter_reader reader(report);
    long number = 0;
    for (std::string_view line : split_lines(bytes)) {
        ++number;
        if (trim_spaces(line).empty()) continue;
        reader.read(number, line);
    }
    reader.find_missing();
    for (auto rows : {&meter_report::games_by_mode, &meter_report::games_by_question, &meter_report::prize_bands,
                      &meter_report::paid_by_mode}) {
        sort_rows(report.*rows);
    }
    std::stable_sort(report.difficulties.begin(), report.difficulties.end(),
                     [](const auto& a, const auto& b) { return a.difficulty < b.difficulty; });
    return report;
}

std::string damaged_line_text(const meter_report::damaged_line& d) {
    if (d.number == 0) return single_line(d.text) + ": " + d.problem;
    std::string text = single_line(d.text);
    if (text.size() > 60) text = text.substr(0, 60) + "...";
    return "line " + std::to_string(d.number) + " \"" + text + "\": " + d.problem;
}

std::string unplayable_meter_file(std::string_view bytes, const meter_report& report) {
    if (report.unplayable.empty()) return {};
    bool any_line = false;
    for (std::string_view line : split_lines(bytes)) any_line = any_line || !trim_spaces(line).empty();
    if (!any_line) return "it holds no lines";
    if (bytes.find('\n') == std::string_view::npos && bytes.find('\r') != std::string_view::npos)
        return "its lines end with CR alone, so it reads as one line";
    std::string text = damaged_line_text(report.unplayable.front());
    if (report.unplayable.size() > 1) text += " (and " + std::to_string(report.unplayable.size() - 1) + " more)";
    return text;
}

std::vector<meter_sample> meter_samples(const meter_report& report, const meter_def& meter) {
    std::vector<meter_sample> samples;
    if (auto member = member_of(single_meters, &meter)) {
        if (report.*member) samples.push_back({std::nullopt, *(report.*member)});
    } else if (auto rows = member_of(indexed_meters, &meter)) {
        for (const auto& row : report.*rows) samples.push_back({row.index, row.value});
    } else {
        const bool asked = &meter == &meter::questions_asked;
        for (const auto& row : report.difficulties) {
            const auto value = asked ? row.asked : row.correct;
            if (value) samples.push_back({row.difficulty, *value});
        }
    }
    return samples;
}

// ---- Shared presentation: the report as sections of labelled values and tables ----

namespace {

std::string number(std::optional<double> value) { return value ? shown_number_text(*value) : "no line"; }

std::string share(std::optional<double> percent) { return percent ? fmt::format("{:.1f}%", *percent) : "-"; }

// Display rounding: the report rounds halves away from zero (std::round, fmt's fixed point), deliberately
// not the host's half-to-even rule, which decides stored and answered values. A report only shapes what a
// person reads.
std::string amount(std::optional<double> value) {
    if (!value) return "-";
    return std::fabs(*value - std::round(*value)) < 0.005 ? shown_number_text(std::round(*value))
                                                          : fmt::format("{:.2f}", *value);
}

std::string duration(std::optional<double> seconds) {
    if (!seconds) return "-";
    const double whole = std::round(*seconds);
    if (!(std::fabs(whole) < 1e15)) return shown_number_text(*seconds) + " s";
    const long long total = static_cast<long long>(std::fabs(whole));
    return fmt::format("{}{}:{:02}:{:02}", whole < 0 ? "-" : "", total / 3600, total / 60 % 60, total % 60);
}

std::string band_label(double band) {
    return shown_number_text(100 * band) + " to " + shown_number_text(100 * band + 99);
}

struct table {
    std::string title;
    std::vector<std::string> heads;
    std::vector<std::vector<std::string>> rows;
};

struct labelled {
    std::string label;
    std::string value;
};

struct section {
    std::string title;
    std::vector<labelled> values;
};

// The meter's label as the report shows it: its meaning and its key ("Games played (M1)").
std::string label(const meter_def& meter) { return fmt::format("{} ({})", meter.meaning, meter.key); }

// Stamps are time, then date as day/month/year; the labels say so, since the order of a date is not
// obvious to a reader abroad.
constexpr const char* stamp_order = "time, dd/mm/yyyy";

std::vector<section> summary_sections(const meter_report& r) {
    const std::int16_t mode = r.selected_game_mode();
    section file{"Meter file", {}};
    if (r.made) file.values.push_back({fmt::format("Report made ({})", stamp_order), meter_stamp(*r.made)});
    file.values.insert(file.values.end(), {{"Game", r.game_name},
                                           {"Version", r.version},
                                           {fmt::format("Created ({})", stamp_order), r.created},
                                           {fmt::format("Last game counted ({})", stamp_order), r.modified}});
    std::vector<section> sections{
        file,
        {"Games",
         {{label(meter::games_played), number(r.games_played)},
          {label(meter::games_without_prize), number(r.games_without_prize)},
          {label(meter::first_flag_games), number(r.first_flag_games)},
          {label(meter::second_flag_games), number(r.second_flag_games)}}},
        {"Prizes",
         {{label(meter::prizes_paid), number(r.total_paid)},
          {"Average prize per game played", amount(r.average_prize())},
          {"Average prize per game with a prize", amount(r.average_prize_when_paid())}}},
    };
    if (r.setup) {
        const bool autoplay = r.settings_from_autoplay;
        const char* price_source = autoplay ? "autoplay.txt price_per_play, charged instead of S2" : "setup.ini S2";
        const char* price_key = autoplay ? "price" : "S2";
        const char* payout_source = autoplay ? "autoplay.txt payout_%, used instead of S1" : "setup.ini S1";
        sections.push_back(
            {"Share paid out (an estimate at today's price)",
             {{fmt::format("Price per play today, credits ({})", price_source),
               shown_number_text(r.setup->price_per_play)},
              {fmt::format("Takings at today's price ({} x {})", meter::games_played.key, price_key),
               amount(r.takings_at_todays_price())},
              {fmt::format("Share paid out, estimate ({} / takings)", meter::prizes_paid.key), share(r.paid_share())},
              {fmt::format("Payout percentage set ({})", payout_source),
               shown_number_text(r.shown_payout_percent()) + "%"}}});
    }
    sections.push_back({"Game time",
                        {{label(meter::game_time), number(r.game_seconds)},
                         {"Total game time, h:mm:ss", duration(r.game_seconds)},
                         {"Average game length, h:mm:ss", duration(r.average_game_seconds())}}});
    sections.push_back({"Questions", {{label(meter::questions_answered), number(r.questions_answered)}}});
    sections.push_back({"Reflex meter and cash pot",
                        {{label(meter::reflex_meter), number(r.reflex_meter)},
                         {"Game mode it selects", std::to_string(mode)},
                         {label(meter::cashpot),
                          r.cashpot ? shown_number_text(*r.cashpot) : "none (the file has no cash pot line)"}}});
    return sections;
}

// The damaged lines, first in the report, so an auditor sees before any figure what it rests on.
table damage_table(const meter_report& r) {
    table damaged{"Damaged lines (the figures below read the file as the host does)", {"Line", "Text", "Problem"}, {}};
    for (const auto& d : r.damaged) {
        damaged.rows.push_back({d.number ? std::to_string(d.number) : "missing", single_line(d.text), d.problem});
    }
    return damaged;
}

std::vector<table> tables(const meter_report& r) {
    table modes{label(meter::games_by_mode), {"Mode", "Games", "Share of games"}, {}};
    for (const auto& row : r.games_by_mode) {
        modes.rows.push_back(
            {shown_number_text(row.index), shown_number_text(row.value), share(r.mode_share(row.value))});
    }
    table paid{label(meter::paid_by_mode), {"Mode", "Credits paid"}, {}};
    for (const auto& row : r.paid_by_mode)
        paid.rows.push_back({shown_number_text(row.index), shown_number_text(row.value)});
    table questions{label(meter::games_by_question), {"Question", "Games"}, {}};
    for (const auto& row : r.games_by_question) {
        questions.rows.push_back({shown_number_text(row.index), shown_number_text(row.value)});
    }
    table bands{label(meter::games_by_band), {"Band", "Prize, credits", "Games"}, {}};
    for (const auto& row : r.prize_bands) {
        bands.rows.push_back({shown_number_text(row.index), band_label(row.index), shown_number_text(row.value)});
    }
    table answers{
        fmt::format("Questions by difficulty ({}, {})", meter::questions_asked.key, meter::questions_right.key),
        {"Difficulty", "Answered", "Correct", "Share correct", "Share at last correct answer"},
        {}};
    for (const auto& row : r.difficulties) {
        answers.rows.push_back({shown_number_text(row.difficulty), number(row.asked), number(row.correct),
                                share(meter_report::correct_share(row)),
                                row.recorded_percent.empty() ? "-" : row.recorded_percent});
    }
    std::vector<table> all{modes, paid, questions, bands, answers};
    if (!r.other_lines.empty()) {
        table other{"Lines not counted above (unknown keys or repeated meters)", {"Line"}, {}};
        for (const auto& line : r.other_lines) other.rows.push_back({single_line(line)});
        all.push_back(other);
    }
    return all;
}

// ---- Text ----

void text_table(std::string& out, const table& t) {
    std::vector<std::size_t> widths(t.heads.size());
    for (std::size_t c = 0; c < t.heads.size(); ++c) widths[c] = t.heads[c].size();
    for (const auto& row : t.rows) {
        for (std::size_t c = 0; c < row.size() && c < widths.size(); ++c)
            widths[c] = std::max(widths[c], row[c].size());
    }
    auto line = [&](const std::vector<std::string>& cells) {
        std::string text = " ";
        for (std::size_t c = 0; c < cells.size() && c < widths.size(); ++c) {
            text += ' ';
            // The first column names the row; the figures line up on the right.
            text += c == 0 ? fmt::format("{:<{}}", cells[c], widths[c]) : fmt::format("  {:>{}}", cells[c], widths[c]);
        }
        while (!text.empty() && text.back() == ' ') text.pop_back();
        out += text + "\n";
    };
    out += t.title + "\n";
    line(t.heads);
    if (t.rows.empty()) out += "  (no lines)\n";
    for (const auto& row : t.rows) line(row);
    out += "\n";
}

}  // namespace

std::string meter_report_text(const meter_report& report, std::string_view source) {
    std::string out = "Meter report: " + single_line(source) + "\n\n";
    if (!report.damaged.empty()) {
        out += "Damaged lines (the figures below read the file as the host does)\n";
        for (const auto& d : report.damaged) {
            out += d.number ? fmt::format("  line {}: {}: {}\n", d.number, single_line(d.text), d.problem)
                            : fmt::format("  missing: {}: {}\n", single_line(d.text), d.problem);
        }
        out += "\n";
    }
    for (const auto& s : summary_sections(report)) {
        out += s.title + "\n";
        std::size_t width = 0;
        for (const auto& v : s.values) width = std::max(width, v.label.size());
        for (const auto& v : s.values) out += fmt::format("  {:<{}}  {}\n", v.label, width, single_line(v.value));
        out += "\n";
    }
    for (const auto& t : tables(report)) text_table(out, t);
    return out;
}

// ---- HTML ----

namespace {

std::string escape(std::string_view text) { return html_escape(text); }

struct bar {
    std::string label;
    double value;
    std::string shown;  // the value as written above the bar
};

// A bar chart as inline SVG. `top` is the value of a full-height bar (the largest value when 0).
std::string svg_bar_chart(const std::string& title, const std::string& axis, const std::vector<bar>& bars, double top) {
    constexpr int plot_height = 160, bar_width = 28, gap = 10, left = 40, bottom = 40, above = 36;
    for (const auto& b : bars) top = std::max(top, b.value);
    const int width = left + static_cast<int>(bars.size()) * (bar_width + gap) + gap;
    const int height = above + plot_height + bottom;
    std::string svg = fmt::format(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{0}\" height=\"{1}\" viewBox=\"0 0 {0} {1}\" "
        "role=\"img\" aria-label=\"{2}\">\n<title>{2}</title>\n",
        width, height, escape(title));
    svg += fmt::format("<line x1=\"{0}\" y1=\"{1}\" x2=\"{2}\" y2=\"{1}\" stroke=\"#333\"/>\n", left,
                       above + plot_height, width);
    svg += fmt::format("<text x=\"4\" y=\"12\" font-size=\"11\">{}</text>\n", escape(axis));
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const auto& b = bars[i];
        const double fraction = top > 0 ? std::clamp(b.value / top, 0.0, 1.0) : 0.0;
        const int bar_height = static_cast<int>(std::lround(fraction * plot_height));
        const int x = left + gap + static_cast<int>(i) * (bar_width + gap);
        const int y = above + plot_height - bar_height;
        svg += fmt::format(
            "<rect x=\"{}\" y=\"{}\" width=\"{}\" height=\"{}\" fill=\"#3b6ea5\"><title>{}: {}</title></rect>\n", x, y,
            bar_width, bar_height, escape(b.label), escape(b.shown));
        svg += fmt::format("<text x=\"{}\" y=\"{}\" font-size=\"10\" text-anchor=\"middle\">{}</text>\n",
                           x + bar_width / 2, y - 3, escape(b.shown));
        svg += fmt::format("<text x=\"{}\" y=\"{}\" font-size=\"10\" text-anchor=\"middle\">{}</text>\n",
                           x + bar_width / 2, above + plot_height + 14, escape(b.label));
    }
    svg += "</svg>\n";
    return svg;
}

std::string html_table(const table& t) {
    std::string out = "<h2>" + escape(t.title) + "</h2>\n<table>\n<thead><tr>";
    for (const auto& head : t.heads) out += "<th>" + escape(head) + "</th>";
    out += "</tr></thead>\n<tbody>\n";
    if (t.rows.empty()) out += fmt::format("<tr><td colspan=\"{}\">no lines</td></tr>\n", t.heads.size());
    for (const auto& row : t.rows) {
        out += "<tr>";
        for (std::size_t c = 0; c < row.size(); ++c)
            out += (c == 0 ? "<td>" : "<td class=\"n\">") + escape(row[c]) + "</td>";
        out += "</tr>\n";
    }
    return out + "</tbody>\n</table>\n";
}

std::string charts(const meter_report& r) {
    std::vector<bar> bands, modes, correct;
    for (const auto& row : r.prize_bands)
        bands.push_back({shown_number_text(100 * row.index), row.value, shown_number_text(row.value)});
    for (const auto& row : r.games_by_mode)
        modes.push_back({shown_number_text(row.index), row.value, shown_number_text(row.value)});
    for (const auto& row : r.difficulties) {
        const auto percent = meter_report::correct_share(row);
        correct.push_back({shown_number_text(row.difficulty), percent.value_or(0), share(percent)});
    }
    std::string out = "<h2>Charts</h2>\n";
    out += "<figure>\n" + svg_bar_chart("Games by prize band", "games; band from credits", bands, 0) +
           "<figcaption>Games by prize band (lowest prize of the band)</figcaption>\n</figure>\n";
    out += "<figure>\n" + svg_bar_chart("Games by game mode", "games; by mode", modes, 0) +
           "<figcaption>Games by game mode</figcaption>\n</figure>\n";
    out += "<figure>\n" + svg_bar_chart("Share correct by difficulty", "% correct; by difficulty", correct, 100) +
           "<figcaption>Share of answers correct, by difficulty</figcaption>\n</figure>\n";
    return out;
}

}  // namespace

std::string meter_report_html(const meter_report& report, std::string_view source) {
    std::string out =
        "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n"
        "<meta charset=\"utf-8\"/>\n<title>Meter report</title>\n<style>\n"
        "body { font-family: sans-serif; margin: 2em; color: #222; }\n"
        "table { border-collapse: collapse; margin-bottom: 1em; }\n"
        "th, td { border: 1px solid #bbb; padding: 0.2em 0.6em; text-align: left; }\n"
        "td.n { text-align: right; font-variant-numeric: tabular-nums; }\n"
        "figure { display: inline-block; margin: 0 2em 1em 0; }\n"
        "</style>\n</head>\n<body>\n";
    out += "<h1>Meter report</h1>\n<p>" + escape(source) + "</p>\n";
    if (!report.damaged.empty()) out += html_table(damage_table(report));
    for (const auto& s : summary_sections(report)) {
        out += "<h2>" + escape(s.title) + "</h2>\n<table>\n<tbody>\n";
        for (const auto& v : s.values)
            out += "<tr><th>" + escape(v.label) + "</th><td class=\"n\">" + escape(v.value) + "</td></tr>\n";
        out += "</tbody>\n</table>\n";
    }
    out += charts(report);
    for (const auto& t : tables(report)) out += html_table(t);
    return out + "</body>\n</html>\n";
}

// ---- The tool ----

namespace {

// The cabinet's name when none is given: the last part of its folder's path.
std::string folder_name(std::string root) {
    while (root.size() > 1 && (root.back() == '/' || root.back() == '\\')) root.pop_back();
    const auto at = root.find_last_of("/\\");
    return at == std::string::npos ? root : root.substr(at + 1);
}

// The settings the host charges and pays with: the autoplay file's when there is one (taken as they stand,
// as the host takes them), else the setup file's, bounded as at start-up, or the defaults of a new one when
// there is none. The payout is kept as the file holds it too, for showing.
void cabinet_setup(file_system& fs, const std::string& root, meter_report& report) {
    const std::string autoplay = root + autoplay_file_name;
    if (fs.file_exists(autoplay)) {
        const record_lines settings = record_lines::load(fs, autoplay);
        const double price = leading_number(settings.read_field("price_per_play", 1));
        const double payout = leading_number(settings.read_field("payout_%", 1));
        setup_values values;
        values.price_per_play = round_to_int32_if_in_range(price).value_or(0);
        values.payout_percent = static_cast<float>(payout);
        report.setup = values;
        report.settings_from_autoplay = true;
        report.payout_as_set = payout;
        return;
    }
    const std::string path = root + system_folder_name + setup_file_name;
    if (!fs.file_exists(path)) {
        report.setup = default_setup_values;
        return;
    }
    const record_lines setup = record_lines::load(fs, path);
    const double payout = leading_number(setup.read_field("S1", 1));
    report.setup = bounded_setup_values(payout, leading_number(setup.read_field("S2", 1)));
    if (!report.setup->payout_replaced) report.payout_as_set = payout;
}

void report_failure(std::ostream& err, const run_time_error& e) {
    err << "quizhost meters: " << e.description();
    if (!e.detail().empty()) err << " (" << e.detail() << ")";
    err << "\n";
}

}  // namespace

int run_meter_report(file_system& fs, clock& now, const meter_tool_options& options, std::ostream& out,
                     std::ostream& err) {
    const std::string format = options.format.empty() ? "text" : options.format;
    if (format != "text" && format != "prometheus" && format != "openmetrics" && format != "json") {
        err << "quizhost meters: unknown format \"" << format << "\" (text, prometheus, openmetrics or json)\n";
        return 2;
    }
    const std::string system_path = options.root + system_folder_name;
    const std::string path = system_path + meter_file_name;
    if (!fs.file_exists(path)) {
        err << "quizhost meters: no meter file at " << path << "\n";
        return 1;
    }
    try {
        meter_report report = read_meter_report(read_bounded_file(fs, path));
        report.made = now.now();
        cabinet_setup(fs, options.root, report);

        std::string text;
        if (format == "text") {
            text = meter_report_text(report, path);
        } else {
            export_context context;
            context.cabinet = options.cabinet.empty() ? folder_name(options.root) : options.cabinet;
            context.meter_file = path;
            context.made = unix_seconds_of_local(*report.made);
            context.meter_file_modified = fs.modified_time(path);
            const std::string log = system_path + log_file_name;
            if (fs.file_exists(log)) {
                context.log = summarize_log(read_bounded_file(fs, log, log_read_limit));
                if (context.log->last_launch) context.last_launch = unix_seconds_of_local(*context.log->last_launch);
            }
            context.recall = recall_money_summary(fs, system_path);
            const auto metrics = meter_metrics(report, context);
            if (format == "json") {
                text = metrics_json(metrics, report, context);
            } else if (format == "openmetrics") {
                text = metrics_openmetrics(metrics, context);
            } else {
                text = metrics_text(metrics, context);
            }
        }
        if (options.output.empty()) {
            out << text;
        } else {
            replace_file(fs, options.output, text);
        }
        if (!options.html.empty()) replace_file(fs, options.html, meter_report_html(report, path));

        if (!report.damaged.empty()) {
            err << "quizhost meters: " << path << " is damaged: ";
            for (std::size_t i = 0; i < report.damaged.size(); ++i) {
                const auto& d = report.damaged[i];
                if (i > 0) err << "; ";
                if (d.number) {
                    err << "line " << d.number << " \"" << single_line(d.text) << "\": " << d.problem;
                } else {
                    err << single_line(d.text) << ": " << d.problem;
                }
            }
            err << "\n";
            return 1;
        }
    } catch (const run_time_error& e) {
        report_failure(err, e);
        return 1;
    }
    return 0;
}

int run_meter_report(file_system& fs, const std::string& root, const std::string& html_path, std::ostream& out,
                     std::ostream& err) {
    const auto system_clock = make_system_clock();
    return run_meter_report(fs, *system_clock, {root, html_path, "text", "", ""}, out, err);
}

}  // namespace quizhost
