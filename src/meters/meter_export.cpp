#include "meters/meter_export.hpp"

#include <fmt/format.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "basic/numbers.hpp"
#include "basic/text.hpp"
#include "meters/meter_defs.hpp"
#include "meters/meter_report.hpp"
#include "records/text_records.hpp"

namespace quizhost {
namespace {

bool all_digits(std::string_view text) {
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return !text.empty();
}

int number_at(std::string_view text, std::size_t at, std::size_t length) {
    return std::stoi(std::string(text.substr(at, length)));
}

// The stamp that starts a log entry, "dd/mm/yyyy HH:MM:SS"; none when the line does not start with one.
std::optional<date_time> entry_stamp(std::string_view line) {
    if (line.size() < 19) return std::nullopt;
    const std::string_view stamp = line.substr(0, 19);
    for (std::size_t i : {0u, 3u, 6u, 11u, 14u, 17u}) {
        if (!all_digits(stamp.substr(i, i == 6 ? 4 : 2))) return std::nullopt;
    }
    if (stamp[2] != '/' || stamp[5] != '/' || stamp[10] != ' ' || stamp[13] != ':' || stamp[16] != ':') {
        return std::nullopt;
    }
    return date_time{number_at(stamp, 6, 4),  number_at(stamp, 3, 2),  number_at(stamp, 0, 2),
                     number_at(stamp, 11, 2), number_at(stamp, 14, 2), number_at(stamp, 17, 2)};
}

// Values as Prometheus reads them: whole numbers as digits, others in the shortest text that reads back
// as the same number.
std::string metric_value(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "+Inf" : "-Inf";
    if (value == std::floor(value) && std::fabs(value) < 1e15) return fmt::format("{}", static_cast<long long>(value));
    return fmt::format("{}", value);
}

// A label value in the exposition format: backslash, quote and line end escaped; bytes outside ASCII,
// which the meter file's single-byte text may hold and which are not UTF-8, become "?".
std::string label_value(std::string_view text, bool single_byte_text) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\n') {
            out += "\\n";
        } else if (byte < 0x20 || (single_byte_text && byte >= 0x80)) {
            out += byte >= 0x80 ? '?' : ' ';
        } else {
            out += c;
        }
    }
    return out;
}

metric_family gauge(std::string name, std::string unit, std::string help, double value) {
    return {std::move(name), false, std::move(unit), std::move(help), "", {{{}, value}}};
}

}  // namespace

log_summary summarize_log(std::string_view bytes) {
    log_summary summary;
    for (std::string_view line : split_lines(bytes)) {
        const auto stamp = entry_stamp(line);
        if (!stamp || line.size() < 21) continue;
        const std::string_view message = line.substr(21);
        // The host's own fatal ends: the fatal error path's line and the kiosk's end after its browser kept
        // dying. A movie's TO_LOG text that opens the same way is marked as the movie's when it is written,
        // so no game can raise the fleet's alert (or hide behind one).
        const bool fatal_line = message.starts_with("ERROR! ") || message.starts_with("KIOSK BROWSER DIED ");
        if (fatal_line && message.ends_with(".  Game Terminated.")) ++summary.fatal_errors;
        if (message.starts_with("LAUNCHING GAME (V")) summary.last_launch = stamp;
    }
    return summary;
}

std::vector<metric_family> meter_metrics(const meter_report& report, const export_context& context) {
    std::vector<metric_family> metrics;
    for (const meter_def* meter : all_meters) {
        metric_family family{std::string(meter->metric), meter->kind == metric_kind::counter,
                             std::string(meter->unit),   std::string(meter->help),
                             std::string(meter->key),    {}};
        for (const auto& sample : meter_samples(report, *meter)) {
            metric_sample out{{}, sample.value};
            if (sample.index) out.labels.emplace_back(meter->row_label(), shown_number_text(*sample.index));
            family.samples.push_back(std::move(out));
        }
        metrics.push_back(std::move(family));
    }
    if (report.reflex_meter) {
        metrics.push_back(gauge("quizhost_game_mode", "", "Game mode, 0 to 5, that the reflex meter selects.",
                                report.selected_game_mode()));
    }
    metrics.push_back({"quizhost_meter_file_info",
                       false,
                       "",
                       "The meter file's game name and version, as a label.",
                       "",
                       {{{{"game", report.game_name}, {"version", report.version}}, 1}}});
    metrics.push_back(gauge("quizhost_meter_file_damaged_lines", "",
                            "Lines of the meter file that are damaged or missing (quizhost meters names them).",
                            static_cast<double>(report.damaged.size())));
    if (report.setup) {
        metrics.push_back(gauge("quizhost_setup_price_per_play_credits", "credits",
                                "Price of one game in credits, as the host charges it (setup.ini S2, or autoplay.txt's "
                                "price_per_play while that file is there).",
                                report.setup->price_per_play));
        metrics.push_back(gauge("quizhost_setup_payout_percent", "",
                                "Share of each game's price set to be paid back in prizes, percent (setup.ini S1).",
                                report.shown_payout_percent()));
    }
    if (context.log) {
        metrics.push_back({"quizhost_log_fatal_errors_total",
                           true,
                           "",
                           "Fatal errors in the current error log (starts again at 0 when the log is renewed).",
                           "",
                           {{{}, static_cast<double>(context.log->fatal_errors)}}});
    }
    if (context.recall) {
        // Counted over the recall's two files: an alert fires on any increase.
        const std::pair<const char*, std::pair<long, const char*>> money[] = {
            {"quizhost_games_unsettled_total",
             {context.recall->games_unsettled, "Games paid and not settled because the host ended (game recall)."}},
            {"quizhost_payments_in_doubt_total",
             {context.recall->payments_in_doubt,
              "Payments asked of the credit system whose answer the host never recorded (game recall)."}},
            {"quizhost_bank_additions_in_doubt_total",
             {context.recall->bank_additions_in_doubt,
              "Bank additions sent to the credit system whose answer the host never recorded (game recall)."}},
        };
        for (const auto& [name, what] : money) {
            metrics.push_back({name, true, "", what.second, "", {{{}, static_cast<double>(what.first)}}});
        }
    }
    if (context.last_launch) {
        metrics.push_back(gauge("quizhost_last_launch_timestamp_seconds", "seconds",
                                "When the host last launched, from the error log, in Unix time.",
                                static_cast<double>(*context.last_launch)));
    }
    if (context.meter_file_modified) {
        metrics.push_back(gauge("quizhost_meter_file_modified_timestamp_seconds", "seconds",
                                "When the meter file last changed, in Unix time.",
                                static_cast<double>(*context.meter_file_modified)));
    }
    if (context.made) {
        metrics.push_back(gauge("quizhost_export_timestamp_seconds", "seconds",
                                "When this export was made, in Unix time.", static_cast<double>(*context.made)));
    }
    return metrics;
}

namespace {

std::string sample_line(std::string_view name, const std::string& cabinet, const metric_sample& sample) {
    std::string labels = cabinet;
    for (const auto& [label, value] : sample.labels)
        labels += fmt::format(",{}=\"{}\"", label, label_value(value, true));
    return fmt::format("{}{{{}}} {}\n", name, labels, metric_value(sample.value));
}

std::string cabinet_label(const export_context& context) {
    return "cabinet=\"" + label_value(context.cabinet, false) + "\"";
}

// HELP text in either format: a backslash and a line end escaped.
std::string help_text(std::string_view help) {
    std::string out;
    for (const char c : help) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::string metrics_text(const std::vector<metric_family>& metrics, const export_context& context) {
    std::string out;
    const std::string cabinet = cabinet_label(context);
    for (const auto& family : metrics) {
        if (family.samples.empty()) continue;
        out += fmt::format("# HELP {} {}\n# TYPE {} {}\n", family.name, help_text(family.help), family.name,
                           family.counter ? "counter" : "gauge");
        for (const auto& sample : family.samples) out += sample_line(family.name, cabinet, sample);
    }
    return out;
}

std::string metrics_openmetrics(const std::vector<metric_family>& metrics, const export_context& context) {
    constexpr std::string_view total = "_total";
    constexpr std::string_view info = "_info";
    std::string out;
    const std::string cabinet = cabinet_label(context);
    for (const auto& family : metrics) {
        if (family.samples.empty()) continue;
        // A counter's family is its name without "_total"; the gauge that carries the meter file's
        // labels is an info metric, whose family drops "_info".
        const bool is_info = !family.counter && family.name.ends_with(info) && family.unit.empty();
        std::string name = family.name;
        if (family.counter && name.ends_with(total)) name.resize(name.size() - total.size());
        if (is_info) name.resize(name.size() - info.size());
        const char* type = family.counter ? "counter" : is_info ? "info" : "gauge";
        out += fmt::format("# TYPE {} {}\n", name, type);
        // A unit is given only where the name carries it, as OpenMetrics requires.
        if (!family.unit.empty() && name.ends_with("_" + family.unit))
            out += fmt::format("# UNIT {} {}\n", name, family.unit);
        out += fmt::format("# HELP {} {}\n", name, help_text(family.help));
        const std::string sample_name = family.counter ? name + std::string(total)
                                        : is_info      ? name + std::string(info)
                                                       : name;
        for (const auto& sample : family.samples) out += sample_line(sample_name, cabinet, sample);
    }
    out += "# EOF\n";
    return out;
}

std::string metrics_json(const std::vector<metric_family>& metrics, const meter_report& report,
                         const export_context& context) {
    using nlohmann::json;
    json families = json::array();
    for (const auto& family : metrics) {
        json samples = json::array();
        for (const auto& sample : family.samples) {
            json labels = json::object();
            for (const auto& [name, value] : sample.labels) labels[name] = value;
            samples.push_back({{"labels", labels}, {"value", sample.value}});
        }
        json entry{{"name", family.name},
                   {"type", family.counter ? "counter" : "gauge"},
                   {"unit", family.unit},
                   {"help", family.help},
                   {"samples", samples}};
        if (!family.key.empty()) entry["key"] = family.key;
        families.push_back(std::move(entry));
    }
    json damaged = json::array();
    for (const auto& d : report.damaged) {
        damaged.push_back({{"line", d.number}, {"text", d.text}, {"problem", d.problem}});
    }
    json out{{"cabinet", context.cabinet},
             {"meter_file", context.meter_file},
             {"metrics", families},
             {"damaged_lines", damaged}};
    if (context.made) out["made_unix_seconds"] = *context.made;
    // The meter file's text is single-byte, not UTF-8: a byte JSON cannot carry becomes U+FFFD.
    return out.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace quizhost
