#include "meters/meter_report.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <ostream>
#include <set>

#include "basic/numbers.hpp"
#include "basic/text.hpp"
#include "definitions.hpp"
#include "meters/meter_file.hpp"
#include "platform/file_system.hpp"
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

std::int16_t meter_report::selected_game_mode() const {
    // The host rounds the meter to a 32-bit number; a value beyond that range still selects an end mode.
    const double meter = std::clamp(reflex_meter.value_or(0), -2147483648.0, 2147483647.0);
    return game_mode_for(round_to_int32(meter));
}

// ---- Reading ----

namespace {

using single_member = std::optional<double> meter_report::*;
using indexed_member = std::vector<meter_report::row> meter_report::*;

// The meters held one to a line ("M1,value") and the indexed ones ("M2,index,value").
single_member single_meter(std::string_view key) {
    static const std::map<std::string, single_member, std::less<>> meters{
        {"M1", &meter_report::games_played},        {"M6", &meter_report::cashpot},
        {"M8", &meter_report::games_without_prize}, {"M9", &meter_report::first_flag_games},
        {"M10", &meter_report::total_paid},         {"M12", &meter_report::game_seconds},
        {"M14", &meter_report::second_flag_games},  {"M15", &meter_report::questions_answered},
        {"M17", &meter_report::reflex_meter},
    };
    const auto found = meters.find(key);
    return found == meters.end() ? nullptr : found->second;
}

indexed_member indexed_meter(std::string_view key) {
    static const std::map<std::string, indexed_member, std::less<>> meters{
        {"M2", &meter_report::games_by_mode},
        {"M4", &meter_report::games_by_question},
        {"M7", &meter_report::prize_bands},
        {"M11", &meter_report::paid_by_mode},
    };
    const auto found = meters.find(key);
    return found == meters.end() ? nullptr : found->second;
}

std::string* header_field(meter_report& report, std::string_view key) {
    if (key == "GAMENAME") return &report.game_name;
    if (key == "VERSION") return &report.version;
    if (key == "CREATIONDATE") return &report.created;
    if (key == "MODIFIEDDATE") return &report.modified;
    return nullptr;
}

meter_report::difficulty_row& difficulty(meter_report& report, double index) {
    for (auto& row : report.difficulties) {
        if (row.difficulty == index) return row;
    }
    report.difficulties.push_back({index, std::nullopt, std::nullopt, {}});
    return report.difficulties.back();
}

// Reads one line into the report; false when the host would never read it (unknown key, an index the
// host cannot form, a repeat of a line already read).
bool read_line(meter_report& report, std::set<std::string>& seen, std::string_view line) {
    const auto fields = split(line, ',');
    if (fields.size() < 2) return false;
    const std::string key = to_upper_ascii(fields[0]);
    const auto value = [&fields](std::size_t field) { return leading_number(trim_spaces(fields[field])); };

    if (std::string* text = header_field(report, key)) {
        if (!seen.insert(key).second) return false;
        *text = std::string(trim_spaces(fields[1]));
        return true;
    }
    if (auto member = single_meter(key)) {
        if (!seen.insert(key).second) return false;
        report.*member = value(1);
        return true;
    }
    // An indexed row is found by its key, ",", and the index in the host's own number text.
    const bool indexed = indexed_meter(key) || key == "M13" || key == "M16";
    if (!indexed || fields.size() < 3) return false;
    const double index = leading_number(fields[1]);
    if (!std::isfinite(index) || number_to_text(index) != fields[1]) return false;
    if (!seen.insert(key + "," + fields[1]).second) return false;

    if (auto member = indexed_meter(key)) {
        (report.*member).push_back({index, value(2)});
    } else if (key == "M16") {
        difficulty(report, index).asked = value(2);
    } else {
        auto& row = difficulty(report, index);
        row.correct = value(2);
        row.recorded_percent = fields.size() > 3 ? std::string(trim_spaces(fields[3])) : "";
    }
    return true;
}

void sort_rows(std::vector<meter_report::row>& rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.index < b.index; });
}

}  // namespace

meter_report read_meter_report(std::string_view bytes) {
    meter_report report;
    std::set<std::string> seen;
    for (std::string_view line : split_lines(bytes)) {
        if (trim_spaces(line).empty()) continue;
        if (!read_line(report, seen, line)) report.other_lines.emplace_back(line);
    }
    for (auto rows : {&meter_report::games_by_mode, &meter_report::games_by_question, &meter_report::prize_bands,
                      &meter_report::paid_by_mode}) {
        sort_rows(report.*rows);
    }
    std::stable_sort(report.difficulties.begin(), report.difficulties.end(),
                     [](const auto& a, const auto& b) { return a.difficulty < b.difficulty; });
    return report;
}

// ---- Shared presentation: the report as sections of labelled values and tables ----

namespace {

std::string number(std::optional<double> value) { return value ? number_to_text(*value) : "no line"; }

std::string share(std::optional<double> percent) { return percent ? fmt::format("{:.1f}%", *percent) : "-"; }

// Display rounding: the report rounds halves away from zero (std::round, fmt's fixed point), deliberately
// not the host's half-to-even rule, which decides stored and answered values. A report only shapes what a
// person reads.
std::string amount(std::optional<double> value) {
    if (!value) return "-";
    return std::fabs(*value - std::round(*value)) < 0.005 ? number_to_text(std::round(*value))
                                                          : fmt::format("{:.2f}", *value);
}

std::string duration(std::optional<double> seconds) {
    if (!seconds) return "-";
    const double whole = std::round(*seconds);
    if (!(std::fabs(whole) < 1e15)) return number_to_text(*seconds) + " s";
    const long long total = static_cast<long long>(std::fabs(whole));
    return fmt::format("{}{}:{:02}:{:02}", whole < 0 ? "-" : "", total / 3600, total / 60 % 60, total % 60);
}

std::string band_label(double band) { return number_to_text(100 * band) + " to " + number_to_text(100 * band + 99); }

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

std::vector<section> summary_sections(const meter_report& r) {
    const std::int16_t mode = r.selected_game_mode();
    return {
        {"Meter file",
         {{"Game", r.game_name}, {"Version", r.version}, {"Created", r.created}, {"Last game counted", r.modified}}},
        {"Games",
         {{"Games played (M1)", number(r.games_played)},
          {"Games without a prize (M8)", number(r.games_without_prize)},
          {"Games with the movie's first flag (M9)", number(r.first_flag_games)},
          {"Games with the movie's second flag (M14)", number(r.second_flag_games)}}},
        {"Prizes",
         {{"Total of prizes paid, credits (M10)", number(r.total_paid)},
          {"Average prize per game played", amount(r.average_prize())},
          {"Average prize per game with a prize", amount(r.average_prize_when_paid())}}},
        {"Game time",
         {{"Total game time, seconds (M12)", number(r.game_seconds)},
          {"Total game time, h:mm:ss", duration(r.game_seconds)},
          {"Average game length, h:mm:ss", duration(r.average_game_seconds())}}},
        {"Questions", {{"Questions answered (M15)", number(r.questions_answered)}}},
        {"Reflex meter and cash pot",
         {{"Reflex meter, credits (M17)", number(r.reflex_meter)},
          {"Game mode it selects", std::to_string(mode)},
          {"Cash pot, credits (M6)", r.cashpot ? number_to_text(*r.cashpot) : "none (the file has no cash pot line)"}}},
    };
}

std::vector<table> tables(const meter_report& r) {
    table modes{"Games by game mode (M2)", {"Mode", "Games", "Share of games"}, {}};
    for (const auto& row : r.games_by_mode) {
        modes.rows.push_back({number_to_text(row.index), number_to_text(row.value), share(r.mode_share(row.value))});
    }
    table paid{"Prizes paid by game mode (M11)", {"Mode", "Credits paid"}, {}};
    for (const auto& row : r.paid_by_mode) paid.rows.push_back({number_to_text(row.index), number_to_text(row.value)});
    table questions{"Games by question reached (M4)", {"Question", "Games"}, {}};
    for (const auto& row : r.games_by_question) {
        questions.rows.push_back({number_to_text(row.index), number_to_text(row.value)});
    }
    table bands{"Games by prize band (M7)", {"Band", "Prize, credits", "Games"}, {}};
    for (const auto& row : r.prize_bands) {
        bands.rows.push_back({number_to_text(row.index), band_label(row.index), number_to_text(row.value)});
    }
    table answers{"Questions by difficulty (M16, M13)",
                  {"Difficulty", "Answered", "Correct", "Share correct", "Share at last correct answer"},
                  {}};
    for (const auto& row : r.difficulties) {
        answers.rows.push_back({number_to_text(row.difficulty), number(row.asked), number(row.correct),
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
        bands.push_back({number_to_text(100 * row.index), row.value, number_to_text(row.value)});
    for (const auto& row : r.games_by_mode)
        modes.push_back({number_to_text(row.index), row.value, number_to_text(row.value)});
    for (const auto& row : r.difficulties) {
        const auto percent = meter_report::correct_share(row);
        correct.push_back({number_to_text(row.difficulty), percent.value_or(0), share(percent)});
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

int run_meter_report(file_system& fs, const std::string& root, const std::string& html_path, std::ostream& out,
                     std::ostream& err) {
    const std::string path = root + system_folder_name + meter_file_name;
    if (!fs.file_exists(path)) {
        err << "quizhost meters: no meter file at " << path << "\n";
        return 1;
    }
    try {
        const meter_report report = read_meter_report(fs.read_file(path));
        out << meter_report_text(report, path);
        if (!html_path.empty()) replace_file(fs, html_path, meter_report_html(report, path));
    } catch (const run_time_error& e) {
        err << "quizhost meters: " << e.description();
        if (!e.detail().empty()) err << " (" << e.detail() << ")";
        err << "\n";
        return 1;
    }
    return 0;
}

}  // namespace quizhost
