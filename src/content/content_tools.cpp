#include "content/content_tools.hpp"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>

#include "basic/numbers.hpp"
#include "basic/text.hpp"
#include "content/encryption.hpp"
#include "content/lives.hpp"
#include "content/weighted_questions.hpp"
#include "content/weighted_table.hpp"
#include "content/win_plans.hpp"
#include "definitions.hpp"
#include "platform/file_system.hpp"
#include "platform/paths.hpp"
#include "records/text_records.hpp"

namespace quizhost {
namespace {

using level = content_finding::level;

constexpr int game_modes = 6;           // game_mode runs 0 to 5
constexpr long line_findings_cap = 20;  // per file; the rest are counted in one more finding

std::string why(const run_time_error& e) {
    std::string text = e.description();
    if (!e.detail().empty()) text += " (" + e.detail() + ")";
    return text;
}

// A short, printable rendering of a piece of a file for a message.
std::string shown(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size() && i < 40; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 32 && c < 127) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    if (text.size() > 40) out += "...";
    return out + "\"";
}

std::string join_path(const std::string& folder, std::string_view name) {
    std::string path = folder;
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    path += path_separator;
    path += name;
    return path;
}

// Collects findings about the lines of one file, at most line_findings_cap of them.
class line_findings {
public:
    line_findings(content_findings& findings, std::string file) : findings_(findings), file_(std::move(file)) {}
    ~line_findings() {
        if (dropped_ > 0) {
            findings_.add(worst_, file_, 0,
                          std::to_string(dropped_) + " more line" + (dropped_ == 1 ? "" : "s") +
                              " with findings like those above");
        }
    }
    line_findings(const line_findings&) = delete;
    line_findings& operator=(const line_findings&) = delete;

    void add(level kind, long line, std::string message) {
        if (kind > worst_) worst_ = kind;
        if (reported_ < line_findings_cap) {
            ++reported_;
            findings_.add(kind, file_, line, std::move(message));
        } else {
            ++dropped_;
        }
    }

private:
    content_findings& findings_;
    std::string file_;
    long reported_ = 0;
    long dropped_ = 0;
    level worst_ = level::note;
};

void report_progress(const progress_report& progress, const std::string& file, long done, long total) {
    if (progress && total > progress_threshold && (done % progress_threshold == 0 || done == total))
        progress(file, done, total);
}

}  // namespace

std::string format_finding(const content_finding& finding) {
    std::string text = finding.file;
    if (finding.line > 0) text += ":" + std::to_string(finding.line);
    text += finding.kind == level::error ? ": error: " : finding.kind == level::warning ? ": warning: " : ": note: ";
    return text + finding.message;
}

long content_findings::count(level kind) const {
    return static_cast<long>(
        std::count_if(list.begin(), list.end(), [&](const content_finding& f) { return f.kind == kind; }));
}

int content_findings::status() const {
    if (count(level::error) > 0) return 2;
    return count(level::warning) > 0 ? 1 : 0;
}

// ---- Enciphering and deciphering whole files ----

ciphered_lines encipher_lines(std::string_view plain, std::string key, const std::string& source) {
    ciphered_lines out;
    std::int64_t offset = 0;
    try {
        offset = cipher_key_offset(key);
    } catch (const run_time_error& e) {
        out.findings.add(level::error, source, 0, "the key cannot be used: " + why(e));
        return out;
    }
    if (plain.starts_with("\xEF\xBB\xBF")) {
        out.findings.add(level::error, source, 1, "the file starts with a UTF-8 byte-order mark; save it without one");
        return out;
    }
    const auto lines = split_lines(plain);
    out.lines = static_cast<long>(lines.size());
    if (lines.empty())
        out.findings.add(level::error, source, 0, "the file holds no lines; a question file needs at least one");
    line_findings findings(out.findings, source);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const long number = static_cast<long>(i + 1);
        if (line.empty()) {
            findings.add(
                level::error, number,
                "empty line: every line must hold a question (no enciphered text deciphers to the empty text)");
            continue;
        }
        std::optional<std::size_t> refused;
        std::optional<std::size_t> non_ascii;
        for (std::size_t j = 0; j < line.size(); ++j) {
            const auto code = static_cast<unsigned char>(line[j]);
            const std::int64_t n = code + offset;
            if (!refused && (n < 100 || n > 999)) refused = j;
            if (!non_ascii && code >= 128) non_ascii = j;
        }
        if (refused) {
            findings.add(level::error, number,
                         "character " + std::to_string(*refused + 1) + " (code " +
                             std::to_string(static_cast<unsigned char>(line[*refused])) +
                             ") cannot be enciphered with this key");
            continue;
        }
        if (non_ascii) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(line[*non_ascii]));
            findings.add(level::warning, number,
                         "character " + std::to_string(*non_ascii + 1) + " is not ASCII (byte " + hex +
                             "); the cabinet shows single-byte text, so UTF-8 letters appear garbled");
        }
        const std::string enciphered = encrypt_string(line, key);
        std::string back;
        try {
            std::string check_key = key;
            back = decrypt_string(enciphered, check_key);
        } catch (const run_time_error& e) {
            findings.add(level::error, number, "the enciphered line would not decipher: " + why(e));
            continue;
        }
        if (back != line) {
            findings.add(level::error, number,
                         "the enciphered line would decipher to " + shown(back) + ", not to itself");
            continue;
        }
        add_line(out.bytes, enciphered);
    }
    return out;
}

ciphered_lines decipher_lines(std::string_view enciphered, std::string key, const std::string& source,
                              const progress_report& progress) {
    ciphered_lines out;
    try {
        std::string probe = key;
        (void)cipher_key_offset(probe);
    } catch (const run_time_error& e) {
        out.findings.add(level::error, source, 0, "the key cannot be used: " + why(e));
        return out;
    }
    const auto lines = split_lines(enciphered);
    out.lines = static_cast<long>(lines.size());
    line_findings findings(out.findings, source);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const long number = static_cast<long>(i + 1);
        std::string plain;
        if (lines[i].empty()) {
            findings.add(level::error, number, "empty line: it cannot be deciphered");
        } else {
            try {
                plain = decrypt_string(std::string(lines[i]), key);
                if (plain.empty())
                    findings.add(level::error, number,
                                 "deciphers to the empty text: a character other than the last has a code below 100");
            } catch (const run_time_error& e) {
                findings.add(level::error, number, "cannot be deciphered: " + why(e));
            }
        }
        add_line(out.bytes, plain);
        report_progress(progress, source, number, out.lines);
    }
    return out;
}

// ---- The data folder check ----

namespace {

// A weighted table's text as the host reads it, with the file line of any place in it: the lines are
// joined by "|", so a place's line is one more than the "|" before it.
struct table_text {
    std::string file;  // the path, or the path and a note that the built-in default stands in
    std::string text;
    bool from_file = false;
    long line_at(std::size_t offset) const {
        return 1 + static_cast<long>(std::count(
                       text.begin(), text.begin() + static_cast<std::ptrdiff_t>(std::min(offset, text.size())), '|'));
    }
    long last_line() const { return line_at(text.size()); }
};

constexpr std::string_view built_in_mark = " (built-in default)";
// Begins every note about a built-in table, so an author sees at once that no file of theirs is meant.
constexpr std::string_view built_in_prefix = "built-in table: ";

// Reads a table file as the host does; a missing one is replaced by the built-in default (a note).
std::optional<table_text> read_table(file_system& fs, const std::string& folder, const char* name,
                                     std::string_view built_in, content_findings& findings) {
    table_text table;
    table.file = join_path(folder, name);
    if (!fs.file_exists(table.file)) {
        findings.add(level::note, table.file, 0,
                     std::string(built_in_prefix) + "not found, the host uses its built-in default");
        table.file += built_in_mark;
        table.text = std::string(built_in);
        return table;
    }
    std::string bytes;
    try {
        bytes = read_bounded_file(fs, table.file);
    } catch (const run_time_error& e) {
        findings.add(level::error, table.file, 0, "cannot be read, the host stops at start-up: " + why(e));
        return std::nullopt;
    }
    if (bytes.find('\n') == std::string::npos && bytes.find('\r') != std::string::npos) {
        // The host splits lines at LF: the whole file is one row to it, which no draw can read.
        findings.add(level::error, table.file, 1,
                     "its lines end with CR alone, so the host reads the whole file as one line: every game stops "
                     "at this table after its price was taken; save it with CR LF or LF line ends");
        return std::nullopt;
    }
    bool first = true;  // joined by "|", as read_all_lines gives them to the host
    for (std::string_view line : split_lines(bytes)) {
        if (!first) table.text += '|';
        first = false;
        table.text += line;
    }
    table.from_file = true;
    return table;
}

std::string field_problem(const run_time_error& e, std::string_view row) {
    if (e.number() == type_mismatch) return "a weight is not a number in " + shown(row);
    return why(e);
}

// Which difficulties the question tables can draw, and where each is first drawn.
struct drawable_difficulties {
    bool known = false;                      // false when the tables could not be read: every file is then needed
    std::map<int, std::string> first_place;  // difficulty -> "game mode M, question K"
    bool can_draw(int d) const { return !known || first_place.count(d) > 0; }
};

void check_question_row(const table_text& table, std::size_t offset, std::string_view row, int mode, long question,
                        bool asked, content_findings& findings, drawable_difficulties& drawable) {
    const long line = table.line_at(offset);
    const std::string where = "game mode " + std::to_string(mode) + ", question " + std::to_string(question);
    const level kind = asked ? level::error : level::warning;
    const auto fields = split_views(row, ',');
    question_row weights;
    try {
        weights = parse_question_row(row);
    } catch (const run_time_error& e) {
        const std::string problem = fields.size() < 4
                                        ? "the row has " + std::to_string(fields.size()) + " field" +
                                              (fields.size() == 1 ? "" : "s") + "; a question row needs four weights"
                                        : field_problem(e, row);
        findings.add(kind, table.file, line, where + ": " + problem + (asked ? "" : " (the game does not ask it)"));
        return;
    }
    double sum = weights.w1 + weights.w2 + weights.w3;
    try {
        sum += weight_value(fields[3]);
    } catch (const run_time_error&) {
        findings.add(level::warning, table.file, line,
                     where + ": the fourth weight " + shown(fields[3]) + " is not a number (it is never read)");
    }
    if (sum > 100)
        findings.add(level::warning, table.file, line,
                     where + ": the weights add up to " + shown_number_text(sum) + ", more than 100");
    if (!asked) return;
    for (long r = 1; r <= 100; ++r) drawable.first_place.emplace(difficulty_for(weights, r), where);
}

drawable_difficulties check_question_tables(file_system& fs, const std::string& folder, content_findings& findings) {
    drawable_difficulties drawable;
    const auto table = read_table(fs, folder, question_table_file_name, default_question_tables, findings);
    if (!table) return drawable;  // every question file is then needed
    if (table->text.empty()) {
        findings.add(level::error, table->file, 1, "the file is empty: the host stops at start-up");
        return drawable;
    }
    question_table_set set;
    try {
        set = load_question_tables(table->text);
    } catch (const run_time_error& e) {
        findings.add(level::error, table->file, 1,
                     "the tables cannot be loaded, the host stops at start-up: " + why(e));
        return drawable;
    }
    const long questions = set.questions;
    if (questions < 1) {
        // The movie still asks its questions, and each one stops the game after its price was taken.
        findings.add(level::error, table->file, 1,
                     "the first table has no rows: every question the game asks stops it");
        return drawable;
    }
    drawable.known = true;
    if (set.difficulties > 4) {
        findings.add(level::warning, table->file, 1,
                     "the first row has " + std::to_string(set.difficulties) +
                         " fields; the meter file keeps statistics for that many difficulties");
    }

    // Where each table starts in the text: after the "*" before it and the line end that follows it.
    const auto pieces = split_views(table->text, '*');
    std::vector<std::size_t> piece_start(pieces.size());
    for (std::size_t i = 1; i < pieces.size(); ++i) piece_start[i] = piece_start[i - 1] + pieces[i - 1].size() + 1;

    for (int mode = 0; mode < game_modes; ++mode) {
        const auto slot = static_cast<std::size_t>(mode);
        if (slot >= set.slots.size() || set.slots[slot].empty()) {
            findings.add(level::error, table->file, table->last_line(),
                         "no table for game mode " + std::to_string(mode) + " (the file has " +
                             std::to_string(set.tables) + " \"*\" line" + (set.tables == 1 ? "" : "s") +
                             "): every question in that mode stops the game");
            continue;
        }
        std::size_t offset = piece_start[slot] + (mode > 0 ? 1 : 0);
        if (mode > 0 && !pieces[slot].starts_with("|")) {
            findings.add(level::warning, table->file, table->line_at(piece_start[slot]),
                         "text follows \"*\" on its line: the host drops the first character after a \"*\"");
        }
        if (mode > 0 && pieces[slot].size() > question_table_limit + 1) {
            findings.add(level::warning, table->file, table->line_at(piece_start[slot]),
                         "the table for game mode " + std::to_string(mode) + " is longer than " +
                             std::to_string(question_table_limit) + " characters: the host keeps only that many");
        }
        const auto rows = split_views(set.slots[slot], '|');
        for (std::size_t k = 0; k < rows.size(); ++k) {
            const long question = static_cast<long>(k + 1);
            const bool asked = question <= questions;
            if (rows[k].empty() && (!asked || k + 1 == rows.size())) {
                offset += 1;
                continue;  // the empty text after a table's last "|"
            }
            check_question_row(*table, offset, rows[k], mode, question, asked, findings, drawable);
            offset += rows[k].size() + 1;
        }
        if (static_cast<long>(rows.size()) < questions ||
            (static_cast<long>(rows.size()) == questions && rows.back().empty())) {
            const long first_missing =
                static_cast<long>(rows.size()) - (rows.empty() || rows.back().empty() ? 1 : 0) + 1;
            findings.add(level::error, table->file, table->line_at(offset),
                         "game mode " + std::to_string(mode) + ": the table has no row for question " +
                             std::to_string(first_missing) + ", but the game asks " + std::to_string(questions) +
                             " questions");
        }
    }
    return drawable;
}

void check_question_lines(const std::string& path, std::string_view bytes, bool drawn, content_findings& findings,
                          const progress_report& progress) {
    const level kind = drawn ? level::error : level::warning;
    const auto lines = split_lines(bytes);
    line_findings file_findings(findings, path);
    const std::string suffix = drawn ? "" : " (the tables never draw this file)";
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const long number = static_cast<long>(i + 1);
        report_progress(progress, path, number, static_cast<long>(lines.size()));
        if (lines[i].empty()) {
            file_findings.add(kind, number, "empty line: drawing it stops the game" + suffix);
            continue;
        }
        try {
            std::string key = question_key;
            if (decrypt_string(std::string(lines[i]), key).empty()) {
                file_findings.add(
                    kind, number,
                    "deciphers to the empty text: the host logs an error and the movie gets no question" + suffix);
            }
        } catch (const run_time_error& e) {
            file_findings.add(kind, number, "cannot be deciphered, drawing it stops the game: " + why(e) + suffix);
        }
    }
}

void check_question_files(file_system& fs, const std::string& folder, const drawable_difficulties& drawable,
                          content_findings& findings, const progress_report& progress) {
    for (int d = 1; d <= 4; ++d) {
        const bool drawn = drawable.can_draw(d);
        const std::string reason =
            drawable.known && drawn ? " (first drawn at " + drawable.first_place.at(d) + ")" : "";
        for (int set = 1; set <= 2; ++set) {
            const std::string path =
                join_path(folder, "data_" + std::to_string(d) + "_" + std::to_string(set) + ".dat");
            if (!fs.file_exists(path)) {
                if (drawn)
                    findings.add(level::error, path, 0,
                                 "missing: the tables can draw difficulty " + std::to_string(d) + reason);
                continue;
            }
            std::string bytes;
            try {
                bytes = read_bounded_file(fs, path, question_file_size_limit);
            } catch (const run_time_error& e) {
                findings.add(level::error, path, 0, "cannot be read: " + why(e));
                continue;
            }
            if (bytes.empty()) {
                findings.add(drawn ? level::error : level::warning, path, 0,
                             "empty: drawing a question from it stops the game" +
                                 (drawn ? reason : std::string(" (the tables never draw it)")));
                continue;
            }
            const long questions = static_cast<long>(split_lines(bytes).size());
            findings.add(level::note, path, 0,
                         std::to_string(questions) + " question line" + (questions == 1 ? "" : "s") +
                             (drawn ? " (difficulty " + std::to_string(d) + ", set " + std::to_string(set) + ")"
                                    : " (the tables never draw this file)"));
            check_question_lines(path, bytes, drawn, findings, progress);
        }
    }
}

void check_win_plans(file_system& fs, const std::string& folder, content_findings& findings) {
    const auto table = read_table(fs, folder, win_plan_file_name, default_win_plans, findings);
    if (!table) return;
    if (table->text.empty()) {
        findings.add(level::error, table->file, 1, "the file is empty: it loads, but every GET_WINPLAN stops the game");
        return;
    }
    const std::vector<std::string> plans = load_win_plans(table->text);
    const std::size_t count = plans.size() - 1;          // without the spare slot
    std::map<std::size_t, std::set<int>> unreadable_in;  // plan -> modes in which it cannot be read
    std::map<std::size_t, std::string> unreadable_why;
    std::set<std::size_t> reached_unreadable;

    for (int mode = 0; mode < game_modes; ++mode) {
        double sum = 0;
        bool reachable = true;  // some draw (0 to 99) walks on to this plan
        std::optional<std::size_t> cut_at;
        bool complete = true;
        for (std::size_t i = 0; i < count; ++i) {
            double weight = 0;
            try {
                weight = win_plan_weight(plans[i], mode);
            } catch (const run_time_error& e) {
                unreadable_in[i].insert(mode);
                if (plans[i].empty()) {
                    unreadable_why[i] = "empty line (an empty plan)";
                } else if (plans[i].find('*') == std::string::npos) {
                    unreadable_why[i] = "the plan has no \"*\" between its values and its weights";
                } else if (e.number() == type_mismatch) {
                    unreadable_why[i] = "a weight is not a number in " + shown(plans[i].substr(plans[i].find('*') + 1));
                } else {
                    unreadable_why[i] = "the plan has fewer than " + std::to_string(mode + 1) +
                                        " weights (one per game mode 0 to 5 is needed)";
                }
                if (reachable) reached_unreadable.insert(i);
                complete = false;
                continue;
            }
            sum += weight;
            if (reachable && sum >= 99) {
                reachable = false;
                cut_at = i;
            }
        }
        if (!complete) continue;  // the faults above are reported; a sum would mislead
        if (sum != 100) {
            const std::string head = "game mode " + std::to_string(mode) + ": the plan weights add up to " +
                                     shown_number_text(sum) + ", not 100";
            if (sum > 100) {
                findings.add(level::warning, table->file, static_cast<long>(*cut_at + 1),
                             head + "; the draw never passes this plan, so the plans after it get less or nothing");
            } else {
                findings.add(
                    level::warning, table->file, static_cast<long>(count),
                    head + "; draws above " + shown_number_text(sum) + " fall to the last plan, whatever its weight");
            }
        }
    }
    for (const auto& [plan, modes] : unreadable_in) {
        std::string mode_list;
        for (int mode : modes) mode_list += (mode_list.empty() ? "" : ",") + std::to_string(mode);
        const bool reached = reached_unreadable.count(plan) > 0;
        findings.add(
            reached ? level::error : level::warning, table->file, static_cast<long>(plan + 1),
            unreadable_why[plan] + (reached ? ": drawing a plan in game mode " + mode_list + " stops the game here"
                                            : ": never reached, so harmless for now (game mode " + mode_list + ")"));
    }
}

void check_lives(file_system& fs, const std::string& folder, content_findings& findings) {
    const auto table = read_table(fs, folder, lives_table_file_name, default_lives_table, findings);
    if (!table) return;
    if (table->text.empty()) {
        findings.add(level::error, table->file, 1, "the file is empty: the host stops at start-up");
        return;
    }
    const std::vector<std::string> rows = load_lives_table(table->text);
    for (int mode = 0; mode < game_modes; ++mode) {
        const auto m = static_cast<std::size_t>(mode);
        if (m >= rows.size()) {
            findings.add(level::error, table->file, table->last_line(),
                         "no row for game mode " + std::to_string(mode) +
                             " (one line per mode, from mode 0): GET_LIVES stops the game in that mode");
            continue;
        }
        const long line = static_cast<long>(m + 1);
        const auto weights = split_views(rows[m], ',');
        double sum = 0;
        double before_last = 0;
        bool readable = true;
        for (std::size_t i = 0; i < weights.size(); ++i) {
            const bool examined = i + 1 < weights.size();
            try {
                const double w = weight_value(weights[i]);
                sum += w;
                if (examined) before_last += w;
            } catch (const run_time_error&) {
                readable = readable && !examined;
                findings.add(examined ? level::error : level::warning, table->file, line,
                             "game mode " + std::to_string(mode) + ": the weight of " + std::to_string(i + 1) + " li" +
                                 (i == 0 ? "fe " : "ves ") + shown(weights[i]) + " is not a number" +
                                 (examined ? ": GET_LIVES stops the game" : " (it is never read)"));
            }
        }
        if (!readable) continue;
        if (sum > 100) {
            findings.add(level::warning, table->file, line,
                         "game mode " + std::to_string(mode) + ": the weights add up to " + shown_number_text(sum) +
                             ", more than 100");
        }
        if (weights.size() > 1 && before_last >= 99) {
            try {
                if (weight_value(weights.back()) > 0) {
                    findings.add(level::warning, table->file, line,
                                 "game mode " + std::to_string(mode) + ": " + std::to_string(weights.size()) +
                                     " lives are never given: the weights before the last add up to 99 or more");
                }
            } catch (const run_time_error&) {
            }
        }
    }
}

void check_instructions(file_system& fs, const std::string& folder, content_findings& findings) {
    const std::string path = join_path(folder, instructions_file_name);
    if (!fs.file_exists(path)) {
        findings.add(level::warning, path, 0,
                     std::string("missing: the movie is told \"") + instructions_missing + "\"");
    }
}

}  // namespace

content_findings check_data_folder(file_system& fs, const std::string& folder, const progress_report& progress) {
    content_findings findings;
    if (!fs.folder_exists(folder)) {
        findings.add(level::error, folder, 0, "no such folder");
        return findings;
    }
    // What the built-in tables hold is the host's own design and cannot be mended in the folder (only
    // replaced by a file): their oddities (the plan weights of one mode adding up to 105) are not the
    // operator's faults, so they are not shown; the note that the built-in table stands in is.
    const auto drop_built_in_oddities = [&findings] {
        std::erase_if(findings.list, [](const content_finding& finding) {
            return finding.file.ends_with(built_in_mark) && finding.kind != level::error;
        });
        for (auto& finding : findings.list) {
            if (finding.file.ends_with(built_in_mark) && !finding.message.starts_with(built_in_prefix))
                finding.message.insert(0, built_in_prefix);
        }
    };
    // Each part is checked whatever became of the others, and a failure of the check itself is an error
    // naming the file it was looking at, never the end of the check.
    const auto guarded = [&findings, &folder](std::string_view name, const auto& check) {
        try {
            check();
        } catch (const run_time_error& e) {
            findings.add(level::error, join_path(folder, name), 0, "the check could not finish: " + why(e));
        } catch (const std::exception& e) {
            findings.add(level::error, join_path(folder, name), 0,
                         std::string("the check could not finish: ") + e.what());
        }
    };
    drawable_difficulties drawable;
    guarded(question_table_file_name, [&] { drawable = check_question_tables(fs, folder, findings); });
    guarded("data_D_S.dat", [&] { check_question_files(fs, folder, drawable, findings, progress); });
    guarded(win_plan_file_name, [&] { check_win_plans(fs, folder, findings); });
    guarded(lives_table_file_name, [&] { check_lives(fs, folder, findings); });
    drop_built_in_oddities();
    guarded(instructions_file_name, [&] { check_instructions(fs, folder, findings); });
    return findings;
}

}  // namespace quizhost
