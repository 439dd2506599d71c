// The keyed record operations on arbitrary file bytes, in a file system held in memory. The input's
// first three lines are the key (also the search text and the prefix), the field number and the new
// value; the rest is the file.
#include <algorithm>
#include <cstdint>
#include <string>

#include "basic/text.hpp"
#include "definitions.hpp"
#include "records/text_records.hpp"
#include "support/finding.hpp"
#include "support/fuzz_input.hpp"
#include "support/power_cut_file_system.hpp"

using namespace quizhost;
using fuzzing::expect;

namespace {

const std::string folder = "/cabinet";
const std::string path = folder + "/records.txt";

void check_reads(file_system& fs, const std::string& bytes, const std::string& key, long field) {
    const long lines = count_lines(fs, path);
    const std::string all = read_all_lines(fs, path);
    if (bytes.find('|') == std::string::npos) {
        // One empty line reads as "" like no line at all; otherwise every line but the first adds a "|".
        const long bars = static_cast<long>(std::count(all.begin(), all.end(), '|'));
        expect(lines == 0 ? all.empty() : bars == lines - 1, "read_all_lines and count_lines disagree", bytes);
    }

    const std::string line = read_record(fs, path, key);
    if (!line.empty()) expect(line_matches_key(line, key), "read_record gave a line of another key", line);
    const std::string value = read_record_field(fs, path, key, field);
    expect(value == (line.empty() ? std::string{} : get_field(line, field)),
           "read_record_field and read_record disagree", bytes);
    expect(record_lines::load(fs, path).read_field(key, field) == value, "record_lines and read_record_field disagree",
           bytes);

    (void)read_numbered_records(fs, path, key);
}

// Successive searches walk the matching lines in order and always end.
void check_walk(file_system& fs, const std::string& search, long lines) {
    text_file_reader reader(fs, path);
    long steps = 0;
    while (!reader.at_end()) {
        const std::string line = find_record_line(reader, search);
        expect(++steps <= lines + 1, "find_record_line does not move on");
        if (line.empty()) continue;
        expect(starts_with_ignoring_case(line, search), "find_record_line gave a line without the search text", line);
    }
}

// An update touches the matching lines only, never the number of lines, and nothing at all when no
// line matches.
void check_update(file_system& fs, const std::string& before, const std::string& key, long field,
                  const std::string& value) {
    const int result = update_record_field(fs, path, key, field, value);
    const std::string after = fs.read_file(path);
    expect(result == 1 || result == -1, "update_record_field answered neither 1 nor -1");
    if (result == -1) {
        expect(after == before, "an update that matched nothing changed the file", before);
        return;
    }
    const auto old_lines = split_lines(before);
    const auto new_lines = split_lines(after);
    expect(old_lines.size() == new_lines.size(), "an update changed the number of lines", before);
    for (std::size_t i = 0; i < old_lines.size(); ++i) {
        if (!line_matches_key(old_lines[i], key))
            expect(old_lines[i] == new_lines[i], "an update changed a line of another key", before);
    }
    // A field beyond the key's own fields keeps the line under its key; a value without commas reads back.
    const long key_fields = static_cast<long>(std::count(key.begin(), key.end(), ',')) + 1;
    if (field >= key_fields && value.find(',') == std::string::npos) {
        const std::string old_line = [&] {
            for (auto line : old_lines)
                if (line_matches_key(line, key)) return std::string(line);
            return std::string{};
        }();
        const bool has_field = static_cast<long>(split(old_line, ',').size()) > field;
        const std::string expected = has_field ? std::string(trim_spaces(value)) : get_field(old_line, field);
        expect(read_record_field(fs, path, key, field) == expected, "the updated field does not read back", before);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::input_fields in(data, size);
    const std::string key = in.line();
    const long field = in.number(100);
    // Callers never put a line end into a value (movie text goes through single_line first).
    const std::string value = single_line(in.line());
    const std::string bytes = in.rest();

    testing::power_cut_file_system fs;
    fs.create_folder(folder);
    fs.write_file(path, bytes);
    try {
        check_reads(fs, bytes, key, field);
        check_walk(fs, key, count_lines(fs, path));
        check_update(fs, bytes, key, field, value);
    } catch (const run_time_error& e) {
        fuzzing::report_finding("a record operation failed on a file that exists", e.what());
    }
    return 0;
}
