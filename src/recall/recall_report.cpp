#include "recall/recall_report.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <ostream>

#include "basic/numbers.hpp"
#include "basic/text.hpp"
#include "content/encryption.hpp"
#include "definitions.hpp"
#include "platform/file_system.hpp"
#include "platform/paths.hpp"
#include "recall/game_recall.hpp"
#include "recall/recall_money.hpp"
#include "records/text_records.hpp"

namespace quizhost {

// ---- Reading ----

void read_recall_bytes(std::string_view bytes, const std::string& file, recall_contents& into) {
    long number = 0;
    std::size_t at = 0;
    while (at < bytes.size()) {
        ++number;
        std::size_t end = bytes.find('\n', at);
        const bool ended = end != std::string_view::npos;
        if (!ended) end = bytes.size();
        std::string_view line = bytes.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (trim_spaces(line).empty()) continue;
        std::string why;
        auto record = parse_recall_record(line, why);
        if (!record) {
            into.damage.push_back(
                {file, number, ended ? why : "cut short: the last write did not finish (a power cut), skipped"});
            continue;
        }
        into.records.push_back({std::move(*record), file, number});
    }
}

recall_contents read_recall_files(file_system& fs, const std::string& system_path) {
    recall_contents contents;
    const std::pair<std::string, const char*> files[] = {
        {previous_recall_file_path(system_path), previous_recall_file_name},
        {recall_file_path(system_path), recall_file_name},
    };
    for (const auto& [path, name] : files) {
        if (fs.file_exists(path)) read_recall_bytes(read_bounded_file(fs, path, recall_read_limit), name, contents);
    }
    return contents;
}

namespace {

// A record's time as the log and the meters show theirs, dd/mm/yyyy HH:MM:SS; any other text as it stands.
std::string shown_time(const std::string& t) {
    int y, mo, d, h, mi, s;
    if (t.size() != 19 || std::sscanf(t.c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s) != 6) return t;
    return short_date({y, mo, d, h, mi, s}) + " " + long_time({y, mo, d, h, mi, s});
}

}  // namespace

std::optional<recall_summary> recall_money_summary(file_system& fs, const std::string& system_path) {
    if (!fs.file_exists(recall_file_path(system_path)) && !fs.file_exists(previous_recall_file_path(system_path)))
        return std::nullopt;
    money_ledger ledger;
    for (const auto& r : read_recall_files(fs, system_path).records) ledger.take(r.record);
    const money_counts counts = ledger.counts(true);
    return recall_summary{counts.games_unsettled, counts.payments_in_doubt, counts.bank_additions_in_doubt};
}

std::vector<std::string> recall_money_warnings(file_system& fs, const std::string& system_path) {
    std::vector<std::string> warnings;
    if (!fs.file_exists(recall_file_path(system_path)) && !fs.file_exists(previous_recall_file_path(system_path)))
        return warnings;
    money_ledger ledger;
    for (const auto& r : read_recall_files(fs, system_path).records) ledger.take(r.record);
    if (const auto& pay = ledger.payment_in_doubt()) {
        warnings.push_back(std::string() + "a payment of " + pay->value("price").value_or("-") + " credits asked at " +
                           shown_time(pay->value("at").value_or("-")) +
                           " has no answer recorded (in doubt): the host ended; the next start closes it");
    }
    if (const auto& game = ledger.game_unsettled()) {
        warnings.push_back(std::string() + "game " + game->value("game").value_or("-") + " was paid at " +
                           shown_time(game->value("at").value_or("-")) +
                           " and not settled: the host ended; the next start closes it");
    }
    if (const auto& bank = ledger.bank_in_doubt()) {
        warnings.push_back(bank->value("amount").value_or("-") + " credits sent to the bank at " +
                           shown_time(bank->value("at").value_or("-")) +
                           " have no answer recorded (in doubt): the host ended; the next start closes it");
    }
    const money_counts& closed = ledger.closed_since_last_game();
    if (closed.games_unsettled + closed.payments_in_doubt + closed.bank_additions_in_doubt > 0) {
        warnings.push_back(std::string() + "the last start closed " + std::to_string(closed.games_unsettled) +
                           " game(s) paid and not settled, " + std::to_string(closed.payments_in_doubt) +
                           " payment(s) and " + std::to_string(closed.bank_additions_in_doubt) +
                           " bank addition(s) in doubt; see quizhost recall");
    }
    return warnings;
}

// ---- Games and their numbering ----

namespace {

std::optional<double> game_number(const recall_record& record) {
    if (record.kind != settled_game_kind) return std::nullopt;
    const auto no = record.value("no");
    if (!no || no->empty() || *no == "-") return std::nullopt;
    return leading_number(*no);
}

std::string games_range(double from, double to) {
    return from == to ? "game " + number_to_text(from) : "games " + number_to_text(from) + " to " + number_to_text(to);
}

}  // namespace

recall_view view_recall(const recall_contents& contents, std::optional<double> meter_games) {
    recall_view view;
    std::optional<double> newest;
    money_ledger ledger;
    for (const recalled_record& r : contents.records) {
        const recall_record& record = r.record;
        ledger.take(record);
        // Money's intents and outcomes are shown with the games they paid for; only a bank addition a
        // start-up closed in doubt is shown on its own.
        if (record.kind == payment_kind || record.kind == payment_outcome_kind || record.kind == bank_kind ||
            (record.kind == bank_outcome_kind && record.value("result") != result_in_doubt)) {
            continue;
        }
        if (record.kind == between_kind || record.kind == bank_outcome_kind) {
            // Money or a score after a settled game belongs with it when nothing came between.
            if (!view.items.empty() && view.items.back().game != nullptr) {
                const auto no = game_number(view.items.back().game->record);
                if (no && record.value("after") == number_to_text(*no)) {
                    view.items.back().after.push_back(&r);
                    continue;
                }
            }
            view.items.push_back({nullptr, {&r}, {}});
            continue;
        }
        recall_item item{&r, {}, {}};
        if (const auto no = game_number(record)) {
            if (newest && *no > *newest + 1) {
                item.notes.push_back(games_range(*newest + 1, *no - 1) + (*no - *newest - 1 == 1 ? " is" : " are") +
                                     " not in the recall: counted by the meters, but the record was lost (a power "
                                     "cut between the meter file and the recall, or a write that failed)");
            } else if (newest && *no <= *newest) {
                item.notes.push_back("the numbering starts again at game " + number_to_text(*no) +
                                     " (a new meter file was started after game " + number_to_text(*newest) + ")");
            }
            newest = no;
        }
        view.items.push_back(std::move(item));
    }
    if (const auto& pay = ledger.payment_in_doubt()) {
        view.notes.push_back("in flight at the end of the recall: a payment of " + pay->value("price").value_or("-") +
                             " credits asked at " + shown_time(pay->value("at").value_or("-")) +
                             " with no answer recorded (in doubt); the next start-up closes it");
    } else if (const auto& game = ledger.game_unsettled()) {
        view.notes.push_back("in flight at the end of the recall: game " + game->value("game").value_or("-") +
                             " paid at " + shown_time(game->value("at").value_or("-")) +
                             " and not settled; the next start-up closes it");
    }
    if (const auto& bank = ledger.bank_in_doubt()) {
        view.notes.push_back("in flight at the end of the recall: " + bank->value("amount").value_or("-") +
                             " credits sent to the bank at " + shown_time(bank->value("at").value_or("-")) +
                             " with no answer recorded (in doubt); the next start-up closes it");
    }
    for (const auto& item : view.items) {
        for (const auto& note : item.notes) view.notes.push_back(note);
    }
    if (meter_games) {
        const double recorded = newest.value_or(0);
        if (*meter_games > recorded) {
            view.notes.push_back("the meter file counts " + number_to_text(*meter_games) +
                                 " games: " + games_range(recorded + 1, *meter_games) +
                                 (*meter_games - recorded == 1 ? " is" : " are") + " not in the recall" +
                                 (newest ? "" : " (it holds no game counted by the meters)"));
        } else if (*meter_games < recorded) {
            view.notes.push_back("the meter file counts " + number_to_text(*meter_games) +
                                 " games, fewer than the recall's newest game " + number_to_text(recorded) +
                                 ": the meter file was replaced or restored since");
        }
    }
    return view;
}

// ---- Presentation ----

namespace {

// The record's times are "YYYY-MM-DD HH:MM:SS"; seconds between two of them, when both read.
std::optional<long long> seconds_between(const std::string& from, const std::string& to) {
    auto parse = [](const std::string& t) -> std::optional<long long> {
        int y, mo, d, h, mi, s;
        if (std::sscanf(t.c_str(), "%4d-%2d-%2d %2d:%2d:%2d", &y, &mo, &d, &h, &mi, &s) != 6) return std::nullopt;
        const std::chrono::year_month_day day{std::chrono::year{y}, std::chrono::month{static_cast<unsigned>(mo)},
                                              std::chrono::day{static_cast<unsigned>(d)}};
        if (!day.ok()) return std::nullopt;
        return std::chrono::sys_days{day}.time_since_epoch().count() * 86400LL + h * 3600LL + mi * 60LL + s;
    };
    const auto a = parse(from);
    const auto b = parse(to);
    if (!a || !b) return std::nullopt;
    return *b - *a;
}

// A question file's name as the recall writes it: the recall never names any other file.
bool is_question_file_name(std::string_view name) {
    if (name.size() < 10 || name.substr(0, 5) != "data_" || name.substr(name.size() - 4) != ".dat") return false;
    for (char c : name.substr(5, name.size() - 9)) {
        if (!((c >= '0' && c <= '9') || c == '_')) return false;
    }
    return true;
}

// The question files as they are now, each read once.
class question_files {
public:
    question_files(file_system& fs, std::string data_path) : fs_(fs), data_path_(std::move(data_path)) {}

    struct shown {
        std::string text;
        std::string mark;  // empty when the line is the one drawn
    };

    shown line(const std::string& file, long number, const std::string& checksum) {
        if (!is_question_file_name(file)) return {"", "not a question file's name"};
        const auto& lines = lines_of(file);
        if (!lines) return {"", "the file is not there now"};
        if (number < 1 || number > static_cast<long>(lines->size())) {
            return {"", fmt::format("the file has no line {} now ({} lines)", number, lines->size())};
        }
        const std::string& enciphered = (*lines)[static_cast<std::size_t>(number - 1)];
        shown result;
        if (fmt::format("{:08x}", recall_checksum(enciphered)) != checksum) {
            result.mark = "the file has changed since the game: this line is not the one drawn";
        }
        try {
            std::string key = question_key;
            result.text = decrypt_string(enciphered, key);
            if (result.text.empty()) result.mark += std::string(result.mark.empty() ? "" : "; ") + "does not decipher";
        } catch (const run_time_error&) {
            result.mark += std::string(result.mark.empty() ? "" : "; ") + "does not decipher";
        }
        result.text = single_line(result.text);
        return result;
    }

private:
    const std::optional<std::vector<std::string>>& lines_of(const std::string& file) {
        auto found = cache_.find(file);
        if (found != cache_.end()) return found->second;
        std::optional<std::vector<std::string>> lines;
        const std::string path = data_path_ + file;
        try {
            if (fs_.file_exists(path)) {
                lines.emplace();
                // Held here: the lines are views into it (a temporary would end before the loop's first turn).
                const std::string bytes = read_bounded_file(fs_, path, question_file_size_limit);
                for (std::string_view line : split_lines(bytes)) lines->emplace_back(line);
            }
        } catch (const run_time_error&) {
            lines.reset();
        }
        return cache_.emplace(file, std::move(lines)).first->second;
    }

    file_system& fs_;
    std::string data_path_;
    std::map<std::string, std::optional<std::vector<std::string>>> cache_;
};

struct shown_row {
    std::string what;
    std::string detail;
    std::string mark;  // a warning shown beside the detail
};

struct shown_game {
    std::string title;
    std::string where;
    std::vector<shown_row> rows;
    std::vector<std::string> notes;
};

std::string value_or_dash(const recall_record& record, std::string_view key) {
    const auto value = record.value(key);
    return value && !value->empty() ? *value : "-";
}

std::string where_of(const recalled_record& r) {
    return "record " + value_or_dash(r.record, "seq") + ", " + r.file + " line " + std::to_string(r.line);
}

std::string paid_text(const recall_record& record) {
    const auto pay = record.value("pay");
    if (!pay) return "no payment (no USE_CREDIT or FREE_GAME in the game)";
    std::string how;
    const std::string answer = value_or_dash(record, "answer");
    if (*pay == "refused")
        how = "USE_CREDIT refused, nothing taken (" + answer + ")";
    else if (*pay == "failed")
        how = "USE_CREDIT failed in the credit system (" + answer + ")";
    else if (*pay == std::string(result_in_doubt))
        how = "USE_CREDIT in doubt: " + value_or_dash(record, "price") + " credits asked" +
              (record.value("answer")
                   ? ", the call " + answer
                   : " (" + value_or_dash(record, "call") + "), no answer recorded before the host ended");
    else if (*pay == "credit")
        how = "USE_CREDIT, from the credit";
    else if (*pay == "bank")
        how = "USE_CREDIT, from the bank (the credit was short)";
    else if (*pay == "none")
        how = "USE_CREDIT, nothing taken (the credit was short)";
    else if (*pay == "free")
        how = "FREE_GAME";
    else
        how = *pay;
    if (const auto price = record.value("price"); price && *pay != std::string(result_in_doubt))
        how += ", price " + *price;
    return how + "; credit " + value_or_dash(record, "credit") + ", bank " + value_or_dash(record, "bank") +
           " as the movie was last told";
}

std::string prize_text(const std::string& prize) {
    if (prize == "-1") return "none (-1)";
    return prize + " credits";
}

// One event of a record as a row; questions take the answer that follows them.
void event_rows(const recall_record& record, question_files& questions, std::vector<shown_row>& rows) {
    const auto& fields = record.fields;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const auto& [key, value] = fields[i];
        if (key == "plan") {
            rows.push_back({"Win plan", value, {}});
        } else if (key == "lives") {
            rows.push_back({"Lives", value, {}});
        } else if (key == "q") {
            const auto part = split(value, ',');
            if (part.size() < 6) {
                rows.push_back({"Question", value, "not readable"});
                continue;
            }
            std::string detail = "difficulty " + part[1] + ", set " + part[2] + ", " + part[3] + " line " + part[4];
            const auto shown = questions.line(part[3], static_cast<long>(leading_number(part[4])), part[5]);
            if (!shown.text.empty()) detail += ": " + shown.text;
            if (i + 1 < fields.size() && fields[i + 1].first == "a") {
                const auto answer = split(fields[++i].second, ',');
                detail += answer.size() >= 2 && answer[1] == "1" ? " -- answered right" : " -- answered wrong";
                if (!answer.empty() && answer[0] != part[1]) detail += " (settled at difficulty " + answer[0] + ")";
            } else {
                detail += " -- no answer";
            }
            rows.push_back({"Question " + part[0], detail, shown.mark});
        } else if (key == "a") {
            const auto answer = split(value, ',');
            rows.push_back({"Answer",
                            "difficulty " + (answer.empty() ? std::string("-") : answer[0]) + ", " +
                                (answer.size() >= 2 && answer[1] == "1" ? "right" : "wrong"),
                            "no question drawn before it in this record"});
        } else if (key == "bank+") {
            // "100" added, or "100,refused" / "100,failed" when the channel did not add it.
            const auto part = split(value, ',');
            if (part.size() >= 2) {
                const std::string what = part[1] == std::string(result_in_doubt)
                                             ? "in doubt: the call failed, the bank may hold it"
                                             : part[1] + " by the credit system";
                rows.push_back({"ADD_TO_BANK", part[0] + " credits, " + what, part[1]});
            } else {
                rows.push_back({"ADD_TO_BANK", value + " credits", {}});
            }
        } else if (key == "hiscore") {
            const auto part = split(value, ',');
            if (part.size() < 3) {
                rows.push_back({"High score", value, {}});
                continue;
            }
            std::string name = part[2];
            for (std::size_t p = 3; p < part.size(); ++p) name += "," + part[p];
            rows.push_back({"High score",
                            (part[0] == "-1" ? "not in the table" : "rank " + part[0]) + " (score " + part[1] +
                                ", name " + name + ")",
                            {}});
        } else if (key == "dropped") {
            rows.push_back({"Not kept", value + " further events (the record was full)", "record limit reached"});
        }
    }
}

// What the game's records show added to the bank: its own ADD_TO_BANK and those right after it.
double added_to_bank(const recall_record& record) {
    double sum = 0;
    for (const auto& [key, value] : record.fields) {
        if (key != "bank+") continue;
        const auto part = split(value, ',');
        if (part.size() == 1) sum += leading_number(part[0]);
    }
    return sum;
}

// A prize settled by the meters that the bank did not receive as such, or money added that the meters
// did not settle as a prize.
std::optional<std::string> prize_mismatch(const recall_record& game, const std::vector<const recalled_record*>& after) {
    const double prize = std::max(0.0, leading_number(value_or_dash(game, "prize")));
    double added = added_to_bank(game);
    for (const recalled_record* r : after) added += added_to_bank(r->record);
    if (prize == added) return std::nullopt;
    return "the prize settled (" + number_to_text(prize) + " credits) differs from what was added to the bank (" +
           number_to_text(added) + " credits)";
}

shown_game show_game(const recall_item& item, question_files& questions) {
    shown_game shown;
    shown.notes = item.notes;
    if (item.game == nullptr) {
        shown.title = "Between games";
        for (const recalled_record* r : item.after) {
            shown.where = shown.where.empty() ? where_of(*r) : shown.where;
            const std::string after = value_or_dash(r->record, "after");
            shown.rows.push_back(
                {"At", shown_time(value_or_dash(r->record, "at")) + (after == "-" ? "" : ", after game " + after), {}});
            if (r->record.kind == bank_outcome_kind) {
                shown.rows.push_back({"ADD_TO_BANK in doubt",
                                      value_or_dash(r->record, "amount") + " credits sent (" +
                                          value_or_dash(r->record, "call") +
                                          "); the host ended before its answer was recorded",
                                      "in doubt: check the bank"});
            }
            event_rows(r->record, questions, shown.rows);
        }
        return shown;
    }
    const recall_record& record = item.game->record;
    shown.where = where_of(*item.game);
    const bool settled = record.kind == settled_game_kind;
    shown.title = settled ? "Game " + value_or_dash(record, "no") : "Unfinished game";
    const std::string start = value_or_dash(record, "start");
    const std::string end = value_or_dash(record, "end");
    std::string played = shown_time(start) + " to " + shown_time(end);
    if (const auto seconds = seconds_between(start, end)) played += " (" + std::to_string(*seconds) + " s)";
    shown.rows.push_back({"Played", played, {}});
    shown.rows.push_back({"Paid", paid_text(record), {}});
    if (const auto mode = record.value("start_mode")) shown.rows.push_back({"Game mode at START_GAME", *mode, {}});
    event_rows(record, questions, shown.rows);
    const std::string closed = value_or_dash(record, "closed");
    if (settled && closed == std::string(closed_counted)) {
        shown.rows.push_back({"Settled",
                              "counted by the meters as game " + value_or_dash(record, "no") +
                                  "; the host ended before the game's record was written (its prize is in the "
                                  "meter file, not in the recall)",
                              "record closed at the next start-up"});
    } else if (settled) {
        shown.rows.push_back({"UPDATE_METERS",
                              "prize " + prize_text(value_or_dash(record, "prize")) + ", question reached " +
                                  value_or_dash(record, "reached") + ", flags " + value_or_dash(record, "flags") +
                                  ", counted in game mode " + value_or_dash(record, "mode"),
                              {}});
    } else if (closed != "-") {
        shown.rows.push_back({"Ended",
                              value_or_dash(record, "ended") +
                                  " (closed at the next start-up, at the time of its last record): the meters "
                                  "did not count it",
                              closed});
    } else {
        shown.rows.push_back({"Ended",
                              "by " + value_or_dash(record, "ended") +
                                  ", before UPDATE_METERS: the meters "
                                  "did not count it",
                              {}});
    }
    for (const recalled_record* r : item.after) {
        shown.rows.push_back(
            {"After the game", shown_time(value_or_dash(r->record, "at")) + " (" + where_of(*r) + ")", {}});
        event_rows(r->record, questions, shown.rows);
    }
    if (settled && closed == "-") {
        if (const auto note = prize_mismatch(record, item.after)) shown.notes.push_back(*note);
    }
    return shown;
}

// "Made 07/12/2026 14:05:09 for cabinet tollcastle", "" when the options carry neither.
std::string page_stamp(const recall_options& options) {
    std::string stamp;
    if (options.made) stamp = "Made " + short_date(*options.made) + " " + long_time(*options.made);
    if (!options.cabinet.empty())
        stamp += (stamp.empty() ? "For" : " for") + std::string(" cabinet ") + options.cabinet;
    return stamp;
}

std::string text_page(const std::vector<shown_game>& games, const std::vector<std::string>& summary,
                      const std::vector<recall_damage>& damage, std::string_view source, const std::string& stamp) {
    std::string out = "Game recall: " + single_line(source) + "\n";
    if (!stamp.empty()) out += single_line(stamp) + " (dates dd/mm/yyyy)\n";
    for (const auto& note : summary) out += "Note: " + single_line(note) + "\n";
    for (const auto& d : damage) out += "Skipped: " + d.file + " line " + std::to_string(d.line) + ": " + d.what + "\n";
    for (const auto& game : games) {
        out += "\n" + game.title + "  (" + game.where + ")\n";
        for (const auto& note : game.notes) out += "  Note: " + single_line(note) + "\n";
        std::size_t width = 0;
        for (const auto& row : game.rows) width = std::max(width, row.what.size());
        for (const auto& row : game.rows) {
            out += fmt::format("  {:<{}}  {}", row.what, width, single_line(row.detail));
            if (!row.mark.empty()) out += "  [" + single_line(row.mark) + "]";
            out += "\n";
        }
    }
    if (games.empty()) out += "\nNo games to show.\n";
    return out;
}

std::string html_page(const std::vector<shown_game>& games, const std::vector<std::string>& summary,
                      const std::vector<recall_damage>& damage, std::string_view source, const std::string& stamp) {
    std::string out =
        "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n"
        "<meta charset=\"utf-8\"/>\n<title>Game recall</title>\n<style>\n"
        "body { font-family: sans-serif; margin: 2em; color: #222; }\n"
        "table { border-collapse: collapse; margin-bottom: 1.5em; }\n"
        "th, td { border: 1px solid #bbb; padding: 0.2em 0.6em; text-align: left; vertical-align: top; }\n"
        "th { white-space: nowrap; }\n"
        ".mark { color: #a40000; font-weight: bold; }\n"
        ".note { background: #fff4d6; padding: 0.3em 0.6em; }\n"
        "</style>\n</head>\n<body>\n<h1>Game recall</h1>\n<p>" +
        html_escape(source) + "</p>\n";
    if (!stamp.empty()) out += "<p>" + html_escape(stamp) + " (dates dd/mm/yyyy)</p>\n";
    for (const auto& note : summary) out += "<p class=\"note\">" + html_escape(note) + "</p>\n";
    for (const auto& d : damage) {
        out += "<p class=\"note\">Skipped: " + html_escape(d.file) + " line " + std::to_string(d.line) + ": " +
               html_escape(d.what) + "</p>\n";
    }
    if (games.empty()) out += "<p>No games to show.</p>\n";
    for (const auto& game : games) {
        out += "<h2>" + html_escape(game.title) + " <small>(" + html_escape(game.where) + ")</small></h2>\n";
        for (const auto& note : game.notes) out += "<p class=\"note\">" + html_escape(note) + "</p>\n";
        out += "<table>\n<tbody>\n";
        for (const auto& row : game.rows) {
            out += "<tr><th>" + html_escape(row.what) + "</th><td>" + html_escape(row.detail);
            if (!row.mark.empty()) out += " <span class=\"mark\">[" + html_escape(row.mark) + "]</span>";
            out += "</td></tr>\n";
        }
        out += "</tbody>\n</table>\n";
    }
    return out + "</body>\n</html>\n";
}

}  // namespace

// ---- The tool ----

int run_recall_report(file_system& fs, const recall_options& options, std::ostream& out, std::ostream& err) {
    const std::string system_path = options.root + system_folder_name;
    const std::string current = recall_file_path(system_path);
    const std::string previous = previous_recall_file_path(system_path);
    if (!fs.file_exists(current) && !fs.file_exists(previous)) {
        err << "quizhost recall: no game recall at " << current << " (no game has been settled on this cabinet yet)\n";
        return 1;
    }
    try {
        const recall_contents contents = read_recall_files(fs, system_path);
        std::optional<double> meter_games;
        const std::string meter_path = system_path + meter_file_name;
        if (fs.file_exists(meter_path)) {
            const std::string m1 = read_record_field(fs, meter_path, "M1", 1);
            if (!m1.empty()) meter_games = leading_number(m1);
        }
        const recall_view view = view_recall(contents, meter_games);

        std::vector<const recall_item*> chosen;
        if (options.game) {
            for (const auto& item : view.items) {
                if (item.game != nullptr && game_number(item.game->record) == *options.game) chosen.push_back(&item);
            }
            if (chosen.empty()) {
                std::optional<double> low, high;
                for (const auto& item : view.items) {
                    if (item.game == nullptr) continue;
                    if (const auto no = game_number(item.game->record)) {
                        low = low ? std::min(*low, *no) : *no;
                        high = high ? std::max(*high, *no) : *no;
                    }
                }
                err << "quizhost recall: game " << number_to_text(*options.game) << " is not in the recall";
                if (low) err << " (it holds games " << number_to_text(*low) << " to " << number_to_text(*high) << ")";
                err << "\n";
                return 1;
            }
        } else {
            const std::size_t count = std::min<std::size_t>(view.items.size(), static_cast<std::size_t>(options.last));
            for (std::size_t i = view.items.size() - count; i < view.items.size(); ++i)
                chosen.push_back(&view.items[i]);
        }
        std::reverse(chosen.begin(), chosen.end());  // newest first

        question_files questions(fs, options.root + data_folder_name);
        std::vector<shown_game> games;
        games.reserve(chosen.size());
        for (const recall_item* item : chosen) games.push_back(show_game(*item, questions));

        const std::string& source = current;
        const std::string stamp = page_stamp(options);
        out << text_page(games, view.notes, contents.damage, source, stamp);
        if (!options.html_path.empty()) {
            replace_file(fs, options.html_path, html_page(games, view.notes, contents.damage, source, stamp));
        }
        for (const auto& d : contents.damage) {
            err << "quizhost recall: " << d.file << " line " << d.line << ": " << d.what << "\n";
        }
        return contents.damage.empty() ? 0 : 3;
    } catch (const run_time_error& e) {
        err << "quizhost recall: " << e.description();
        if (!e.detail().empty()) err << " (" << e.detail() << ")";
        err << "\n";
        return 1;
    }
}

}  // namespace quizhost
