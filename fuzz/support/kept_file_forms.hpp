// The forms of the files a cabinet keeps, as the fuzzers check them after every command: each check
// answers what is wrong with a file, or "" when it is sound. A torn or half-written file, a line that a
// movie's text split in two, or a number written in a form it does not read back as is a fault.
// Header-only, so the tests can check the checks.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "basic/text.hpp"
#include "records/text_records.hpp"

namespace quizhost::fuzzing {

// An optional "-", digits, and optionally "." and more digits: how the host writes every number.
inline bool is_plain_decimal(std::string_view text) {
    if (!text.empty() && text[0] == '-') text.remove_prefix(1);
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view fraction = point == std::string_view::npos ? std::string_view{"0"} : text.substr(point + 1);
    const auto digits = [](std::string_view part) {
        return !part.empty() && std::all_of(part.begin(), part.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    return digits(whole) && digits(fraction);
}

// A plain decimal number that also reads back as a finite number: 400 digits are plain, and beyond any
// double (they read back as infinity, and the next addition to them loses the total).
inline bool is_finite_decimal(std::string_view text) {
    return is_plain_decimal(text) && std::isfinite(std::strtod(std::string(text).c_str(), nullptr));
}

// Whether `text` has the shape, where '9' in the shape stands for any digit.
inline bool has_shape(std::string_view text, std::string_view shape) {
    if (text.size() != shape.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (shape[i] == '9' ? !(text[i] >= '0' && text[i] <= '9') : text[i] != shape[i]) return false;
    }
    return true;
}

// Every line ends with CR LF, no line holds a CR of its own, and nothing follows the last line end.
inline bool whole_lines(std::string_view bytes) {
    std::vector<std::string> lines;
    for (std::string_view line : split_lines(bytes)) {
        if (line.find('\r') != std::string_view::npos) return false;
        lines.emplace_back(line);
    }
    return lines_to_bytes(lines) == bytes;
}

inline bool is_indexed_meter(std::string_view key) {
    return key == "M2" || key == "M4" || key == "M7" || key == "M11" || key == "M13" || key == "M16";
}

inline bool is_meter_key(std::string_view key) {
    return key.size() >= 2 && key[0] == 'M' &&
           std::all_of(key.begin() + 1, key.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The meter file keeps the lines it was created with, in their order and with their keys; only values
// change (and the header's "ModifiedDate"), and every value is a plain decimal number ("M13" rows end
// with a percentage).
inline std::string meter_file_fault(std::string_view now, std::string_view created) {
    if (!whole_lines(now)) return "the meter file has a torn line";
    const auto now_lines = split_lines(now);
    const auto created_lines = split_lines(created);
    if (now_lines.size() != created_lines.size()) return "the meter file gained or lost lines";
    for (std::size_t i = 0; i < now_lines.size(); ++i) {
        const auto fields = split_views(now_lines[i], ',');
        const auto was = split_views(created_lines[i], ',');
        if (fields.size() != was.size() || fields[0] != was[0]) return "a meter line changed its key or its fields";
        const std::string_view key = fields[0];
        if (!is_meter_key(key)) {
            if (key != "ModifiedDate" && now_lines[i] != created_lines[i]) return "a meter file header changed";
            continue;
        }
        std::size_t first_value = 1;
        if (is_indexed_meter(key)) {
            if (fields.size() < 2 || fields[1] != was[1]) return "a meter row changed its index";
            first_value = 2;
        }
        for (std::size_t f = first_value; f < fields.size(); ++f) {
            std::string_view value = fields[f];
            if (key == "M13" && f + 1 == fields.size()) {
                if (value.empty() || value.back() != '%') return "a percentage lost its sign";
                value.remove_suffix(1);
            }
            if (!is_plain_decimal(value)) return "a meter value is not a plain decimal number";
            if (!is_finite_decimal(value)) return "a meter value is beyond any finite number";
        }
    }
    return {};
}

// Twenty score rows by rank with the scores falling, then twenty identification rows that match them.
inline std::string hiscore_table_fault(std::string_view bytes) {
    if (!whole_lines(bytes)) return "the high-score table has a torn line";
    const auto lines = split_lines(bytes);
    if (lines.size() != 40) return "the high-score table does not hold 40 rows";
    double previous = 0;
    for (std::size_t i = 0; i < 20; ++i) {
        const auto score = split_views(lines[i], ',');
        const auto id = split_views(lines[i + 20], ',');
        const std::string rank = std::to_string(i + 1);
        if (score.size() != 8 || score[0] != "Score" || score[1] != rank || !score[2].empty() || !score[3].empty()) {
            return "a score row is out of form";
        }
        if (!has_shape(score[4], "99:99 99/99/9999")) return "a score row has no time stamp";
        if (!is_plain_decimal(score[7])) return "a score is not a plain decimal number";
        if (!is_finite_decimal(score[7])) return "a score is beyond any finite number";
        const double value = std::strtod(std::string(score[7]).c_str(), nullptr);
        if (i > 0 && value > previous) return "the scores are out of rank order";
        previous = value;
        if (id.size() != 7 || id[0] != "PlayerID" || id[1] != rank || id[2] != score[5] || id[3] != score[6]) {
            return "an identification row does not match its score row";
        }
    }
    return {};
}

// The log only grows, by whole entries: date, time, two blanks and a message on one line, at most
// `most_entries` of them.
inline std::string log_growth_fault(std::string_view now, std::string_view before, std::size_t most_entries) {
    if (now.substr(0, before.size()) != before) return "the log lost what it held";
    const std::string_view added = now.substr(before.size());
    if (!whole_lines(added)) return "a log entry is torn";
    const auto entries = split_lines(added);
    if (entries.size() > most_entries) return "one command wrote more log entries than it can";
    for (std::string_view entry : entries) {
        if (entry.size() < 21 || !has_shape(entry.substr(0, 21), "99/99/9999 99:99:99  "))
            return "a log line is no entry";
    }
    return {};
}

}  // namespace quizhost::fuzzing
