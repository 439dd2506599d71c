#include "records/text_records.hpp"

#include "basic/text.hpp"
#include "definitions.hpp"
#include "platform/file_system.hpp"

namespace quizhost {

namespace {

[[noreturn]] void too_large(const std::string& path, std::int64_t size, std::int64_t limit) {
    throw run_time_error(path_file_access_error, error_description(path_file_access_error),
                         path + " is " + std::to_string(size) + " bytes, more than the " + std::to_string(limit) +
                             " the host reads of such a file");
}

}  // namespace

void check_file_size(file_system& fs, const std::string& path, std::int64_t limit) {
    const std::int64_t size = fs.file_size(path);
    if (size > limit) too_large(path, size, limit);
}

std::string read_bounded_file(file_system& fs, const std::string& path, std::int64_t limit) {
    check_file_size(fs, path, limit);
    std::string bytes = fs.read_file(path);
    const auto size = static_cast<std::int64_t>(bytes.size());
    if (size > limit) too_large(path, size, limit);  // it grew between the two looks
    return bytes;
}

std::string cut_text(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return std::string(text);
    return std::string(text.substr(0, limit)) + " [cut: " + std::to_string(text.size() - limit) + " more characters]";
}

std::vector<std::string_view> split_lines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    for (std::size_t position = 0; position < bytes.size();) lines.push_back(next_line(bytes, position));
    return lines;
}

std::size_t count_line_ends(std::string_view bytes) {
    std::size_t count = 0;
    std::size_t at = 0;
    while ((at = bytes.find('\n', at)) != std::string_view::npos) {
        ++count;
        ++at;
    }
    if (!bytes.empty() && bytes.back() != '\n') ++count;  // a last line without its end
    return count;
}

std::string lines_to_bytes(const std::vector<std::string>& lines) {
    std::size_t size = 0;
    for (const auto& line : lines) size += line.size() + 2;
    std::string bytes;
    bytes.reserve(size);
    for (const auto& line : lines) add_line(bytes, line);
    return bytes;
}

bool line_matches_key(std::string_view line, std::string_view key) {
    return line.size() > key.size() && starts_with_ignoring_case(line, key) && line[key.size()] == ',';
}

bool file_exists(file_system& fs, const std::string& path) { return fs.file_exists(path); }

namespace {

std::string first_matching_line(std::string_view bytes, std::string_view key) {
    for (std::string_view line : split_lines(bytes)) {
        if (line_matches_key(line, key)) return std::string(line);
    }
    return {};
}

}  // namespace

std::string read_record(file_system& fs, const std::string& path, std::string_view key) {
    if (!fs.file_exists(path)) return {};
    return first_matching_line(read_bounded_file(fs, path), key);
}

std::string read_record_field(file_system& fs, const std::string& path, std::string_view key, long field) {
    const std::string line = read_record(fs, path, key);
    return line.empty() ? std::string{} : get_field(line, field);
}

std::string get_field(std::string_view line, long field) {
    const auto pieces = split_views(line, ',');
    if (field < 0 || static_cast<std::size_t>(field) >= pieces.size()) return {};
    return std::string(trim_spaces(pieces[static_cast<std::size_t>(field)]));
}

text_file_reader::text_file_reader(file_system& fs, const std::string& path) : bytes_(read_bounded_file(fs, path)) {}

std::string text_file_reader::read_line() {
    if (at_end()) throw run_time_error(input_past_end_of_file);
    return std::string(next_line(bytes_, position_));
}

std::string find_record_line(text_file_reader& file, std::string_view search) {
    while (!file.at_end()) {
        std::string line = file.read_line();
        if (starts_with_ignoring_case(line, search)) return line;
    }
    return {};
}

std::string read_numbered_records(file_system& fs, const std::string& path, std::string_view prefix) {
    if (!fs.file_exists(path)) return {};
    const std::string bytes = read_bounded_file(fs, path);
    std::string result;
    for (int n = 1; n <= 64; ++n) {
        const std::string line = first_matching_line(bytes, std::string(prefix) + "," + std::to_string(n));
        if (line.empty()) continue;
        if (!result.empty()) result += '|';
        result += line;
    }
    return result;
}

std::string read_all_lines(file_system& fs, const std::string& path) {
    const std::string bytes = read_bounded_file(fs, path);
    std::string result;
    result.reserve(bytes.size());
    bool first = true;
    for (std::string_view line : split_lines(bytes)) {
        if (!first) result += '|';
        first = false;
        result += line;
    }
    return result;
}

long count_lines(file_system& fs, const std::string& path) {
    return static_cast<long>(count_line_ends(read_bounded_file(fs, path)));
}

void append_line(file_system& fs, const std::string& path, std::string_view text) {
    if (!fs.file_exists(path)) return;
    std::string line;
    add_line(line, text);
    fs.append_to_file(path, line);
}

record_lines record_lines::load(file_system& fs, const std::string& path) {
    // The bytes must outlive the loop: the views point into them (a temporary in the range expression
    // would be gone before the first line is copied).
    const std::string bytes = read_bounded_file(fs, path);
    std::vector<std::string> lines;
    for (std::string_view line : split_lines(bytes)) lines.emplace_back(line);
    return record_lines(std::move(lines));
}

std::string record_lines::read_field(std::string_view key, long field) const {
    for (const auto& line : lines_) {
        if (line_matches_key(line, key)) return get_field(line, field);
    }
    return {};
}

int record_lines::update_field(std::string_view key, long field, std::string_view value) {
    int result = -1;
    for (auto& line : lines_) {
        if (!line_matches_key(line, key)) continue;
        auto pieces = split(line, ',');
        if (field >= 0 && static_cast<std::size_t>(field) < pieces.size()) {
            pieces[static_cast<std::size_t>(field)] = std::string(value);
            line = join(pieces, ",");
        }
        result = 1;
    }
    return result;
}

void record_lines::save(file_system& fs, const std::string& path) const {
    replace_file(fs, path, bytes(), "scrap.txt");
}

int update_record_field(file_system& fs, const std::string& path, std::string_view key, long field,
                        std::string_view value) {
    record_lines records = record_lines::load(fs, path);
    const int result = records.update_field(key, field, value);
    if (result == 1) records.save(fs, path);
    return result;
}

}  // namespace quizhost
