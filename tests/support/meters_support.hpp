// Shared set-up of the meter tests: a cabinet with the default question tables and a meter file.
#pragma once

#include <filesystem>

#include <map>
#include <string>
#include <vector>

#include "definitions.hpp"
#include "host.hpp"
#include "meters/meter_file.hpp"
#include "records/text_records.hpp"
#include "support/run_time_errors.hpp"
#include "support/test_host.hpp"

namespace quizhost::testing {

inline constexpr const char* meter_path = "system/logs/meter.txt";

// A host whose question tables are the default ones (6 tables, 12 questions, 4 difficulties).
struct meter_host : test_host {
    meter_host() {
        set_paths();
        host.start.wrapper_version = "7.12";
        host.content.no_of_question_tables = 6;
        host.content.no_of_questions = 12;
        host.content.no_of_difficulties = 4;
    }

    void make_logs_folder() { std::filesystem::create_directories(path("system/logs")); }

    // Writes a new meter file and returns its lines.
    std::vector<std::string> new_meter_file() {
        auto lines = new_meter_file_lines(host);
        write(meter_path, lines_to_bytes(lines));
        return lines;
    }

    std::string meter(const std::string& key, long field = -1) {
        const std::string line = read_record(*host.io.files, path(meter_path), key);
        return field < 0 ? line : get_field(line, field);
    }
};

// `lines` with each line whose key (up to the value field) is a key of `changes` replaced by the change.
inline std::string with_changes(std::vector<std::string> lines, const std::map<std::string, std::string>& changes) {
    for (auto& line : lines) {
        for (const auto& [key, replacement] : changes) {
            if (line_matches_key(line, key)) line = replacement;
        }
    }
    return lines_to_bytes(lines);
}

}  // namespace quizhost::testing
