// Keyed record files: single-byte text files of CR LF lines, fields separated by "," with no quoting,
// field 0 the key. A line belongs to key K when it begins with K followed by ",", letter case ignored, so
// key M1 matches "M1,0" but never "M10,0". Every operation opens the file, works and lets it go; nothing is
// cached between calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quizhost {

class file_system;

// Every file the host reads whole is read within a bound, so a damaged or hostile file (a sparse tail of
// gigabytes) costs neither memory nor time: it is refused, named, before a byte of it is read.
// Record files (the meter file, setup.ini, the high-score table, the weighted tables, the autoplay file,
// the instructions) are a few kilobytes, with room for a line of a megabyte; question files hold up to
// some 100,000 enciphered lines.
inline constexpr std::int64_t record_file_size_limit = std::int64_t{4} << 20;
inline constexpr std::int64_t question_file_size_limit = std::int64_t{128} << 20;

// Error 75 "Path/File access error", naming the file, when it is larger than `limit` bytes.
void check_file_size(file_system& fs, const std::string& path, std::int64_t limit);
// The whole file's bytes, after check_file_size (and again after the read, for a file that grew meanwhile).
std::string read_bounded_file(file_system& fs, const std::string& path, std::int64_t limit = record_file_size_limit);

// The first `limit` characters of a text from the movie that the host stores, followed by a mark of the
// cut (" [cut: N more characters]" ) when it was longer; the text itself when it fits.
std::string cut_text(std::string_view text, std::size_t limit);

// Splits file bytes into lines; a line ends with CR LF or LF (stripped), the last one may have no end.
std::vector<std::string_view> split_lines(std::string_view bytes);
// Counts the lines split_lines would give, without building them.
std::size_t count_line_ends(std::string_view bytes);
// Each line followed by CR LF.
std::string lines_to_bytes(const std::vector<std::string>& lines);

// Whether the line belongs to `key` (the key followed by ",", case ignored).
bool line_matches_key(std::string_view line, std::string_view key);

bool file_exists(file_system& fs, const std::string& path);

// The whole first line matching the key, untrimmed; "" when none or when the file is missing.
std::string read_record(file_system& fs, const std::string& path, std::string_view key);

// Field `field` (trimmed) of the first line matching the key; "" when no line matches, the line is
// too short, or the file is missing.
std::string read_record_field(file_system& fs, const std::string& path, std::string_view key, long field);

// Field `field` of the line, trimmed of spaces; "" when the line has fewer fields.
std::string get_field(std::string_view line, long field);

// A file opened for reading line by line (the whole file is read when it is opened, within the record
// file bound).
class text_file_reader {
public:
    text_file_reader(file_system& fs, const std::string& path);
    bool at_end() const { return position_ >= bytes_.size(); }
    // The next line without its line end; error 62 "Input past end of file" when at the end.
    std::string read_line();
    void skip_line() { (void)read_line(); }

private:
    std::string bytes_;
    std::size_t position_ = 0;
};

// The first line from the reader's position on that begins with `search` (no comma added, case ignored);
// "" at the end of the file. Leaves the reader after the returned line, so successive calls walk the rows.
std::string find_record_line(text_file_reader& file, std::string_view search);

// Lines keyed prefix + "," + n for n = 1 to 64 that exist, in number order, joined by "|"; "" when the
// file is missing. Numbers above 64 are never read.
std::string read_numbered_records(file_system& fs, const std::string& path, std::string_view prefix);

// Every line joined by "|" (an empty line gives an empty piece); a missing file is an error.
std::string read_all_lines(file_system& fs, const std::string& path);

// The number of lines; a missing file is an error.
long count_lines(file_system& fs, const std::string& path);

// Appends `text` as one line to an existing file; a missing file is left missing and nothing is reported.
void append_line(file_system& fs, const std::string& path, std::string_view text);

// Every operation below that reads a file reads it within record_file_size_limit.

// The lines of a record file held in memory, so that several field updates land in the file together.
class record_lines {
public:
    record_lines() = default;
    explicit record_lines(std::vector<std::string> lines) : lines_(std::move(lines)) {}
    // The file's lines; a missing file is an error.
    static record_lines load(file_system& fs, const std::string& path);

    // As read_record_field, on the lines held.
    std::string read_field(std::string_view key, long field) const;
    // Replaces field `field` of every line matching the key by `value`; a field beyond the line's last
    // leaves it unchanged but still counts as rewritten. 1 when a line matched, -1 when none did.
    int update_field(std::string_view key, long field, std::string_view value);

    const std::vector<std::string>& lines() const { return lines_; }
    std::string bytes() const { return lines_to_bytes(lines_); }
    // Replaces the file atomically by these lines.
    void save(file_system& fs, const std::string& path) const;

private:
    std::vector<std::string> lines_;
};

// Rewrites field `field` of every line matching the key (see record_lines::update_field) and replaces the
// file atomically; 1 when a line matched, -1 when none did, and then the file is not touched at all. A
// missing file is an error.
int update_record_field(file_system& fs, const std::string& path, std::string_view key, long field,
                        std::string_view value);

}  // namespace quizhost
