#include "records/error_log.hpp"

#include "basic/date_time.hpp"
#include "basic/text.hpp"
#include "host.hpp"
#include "platform/clock.hpp"
#include "platform/file_system.hpp"
#include "platform/paths.hpp"
#include "records/text_records.hpp"

namespace quizhost {
namespace {

// Whether the log's last line lacks its CR LF. Asked once a run, before the first entry; the log is read
// within the tools' bound (a larger one is taken as whole: the start-up replaces it anyway).
bool last_line_open(file_system& fs, const std::string& path) {
    const std::int64_t size = fs.file_size(path);
    if (size == 0 || size > log_read_limit) return false;
    const std::string bytes = fs.read_file(path);
    return !bytes.empty() && !bytes.ends_with("\r\n");
}

}  // namespace

void write_error(host& h, std::string_view mess) {
    file_system& fs = *h.io.files;
    const std::string path = h.log_file();
    if (!fs.file_exists(path)) return;
    if (!h.log_line_open) h.log_line_open = last_line_open(fs, path);

    const date_time now = h.io.clock->now();
    std::string line = short_date(now);
    line += ' ';
    line += long_time(now);
    line += "  ";
    // The message may come from the movie; a CR or LF in it would forge further entries.
    line += single_line(mess);
    std::string bytes = *h.log_line_open ? "\r\n" : "";
    add_line(bytes, line);
    // Until the append has landed whole, the log may end in the middle of this entry.
    h.log_line_open = true;
    fs.append_to_file(path, bytes);
    h.log_line_open = false;
}

void start_log(host& h) {
    file_system& fs = *h.io.files;
    const std::string path = h.log_file();
    const bool exists = fs.file_exists(path);
    const bool over_size = exists && fs.file_size(path) > log_size_limit;
    if (exists && !over_size) return;

    if (over_size) {
        // The old log is what an operator reads after a bad night: it is kept, not discarded.
        fs.rename_file(path, folder_of(path) + path_separator + previous_log_file_name);
    }
    const date_time now = h.io.clock->now();
    std::vector<std::string> header{"<ERROR LOG>", "Created on " + short_date(now) + " at " + long_time(now), ""};
    if (over_size) {
        header.emplace_back("*** PREVIOUS LOG EXCEEDED LIMIT - NEW LOG CREATED ***");
        header.emplace_back("");
    }
    replace_file(fs, path, lines_to_bytes(header));
    h.log_line_open = false;
}

std::string movie_log_text(std::string_view text) {
    std::string kept = cut_text(text, movie_log_text_limit);
    for (std::string_view own : {"ERROR!", "KIOSK BROWSER DIED", "LAUNCHING GAME"}) {
        if (starts_with_ignoring_case(trim_spaces(kept), own)) return "(movie) " + kept;
    }
    return kept;
}

}  // namespace quizhost
