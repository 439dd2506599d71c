// The content author's tools: question files enciphered from plain lines and back, and the preflight
// check of a data folder before it goes to a cabinet. Each finding names its file and line.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace quizhost {

class file_system;

struct content_finding {
    enum class level { note, warning, error };
    level kind = level::error;
    std::string file;
    long line = 0;  // from 1; 0 when the finding is about the whole file
    std::string message;
};

// "FILE:LINE: error: message" (without ":LINE" when the line is 0).
std::string format_finding(const content_finding& finding);

struct content_findings {
    std::vector<content_finding> list;
    void add(content_finding::level kind, std::string file, long line, std::string message) {
        list.push_back({kind, std::move(file), line, std::move(message)});
    }
    long count(content_finding::level kind) const;
    // 0 clean (notes allowed), 1 warnings only, 2 errors.
    int status() const;
};

// Told now and then how far the deciphering of a large file has come.
using progress_report = std::function<void(const std::string& file, long done, long total)>;
inline constexpr long progress_threshold = 10'000;  // lines; smaller files are deciphered silently

// Enciphers each plain line (a file's bytes, LF or CR LF lines) with `key`. A line that is empty, holds a
// character the key cannot carry, or would not decipher back to itself is an error naming its line and
// the character; non-ASCII characters are warnings (the cabinet reads single-byte text). `bytes` gets the
// enciphered lines, each ended by CR LF; it is only meant to be written when there is no error.
struct ciphered_lines {
    std::string bytes;
    long lines = 0;
    content_findings findings;
};
ciphered_lines encipher_lines(std::string_view plain, std::string key, const std::string& source);

// Deciphers each line with `key`. A line that fails, or deciphers to the empty text, is an error naming
// its line and gives an empty line in `bytes`, so the line numbers of both files stay aligned.
ciphered_lines decipher_lines(std::string_view enciphered, std::string key, const std::string& source,
                              const progress_report& progress = {});

// Checks a data folder as the host will load and use it: the three weighted tables, every question file
// the tables can draw, every question line, and the instructions text.
content_findings check_data_folder(file_system& fs, const std::string& folder, const progress_report& progress = {});

}  // namespace quizhost
