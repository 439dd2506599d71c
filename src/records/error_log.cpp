#include "records/error_log.hpp"

#include "basic/date_time.hpp"
#include "basic/text.hpp"
#include "host.hpp"
#include "platform/clock.hpp"
#include "platform/file_system.hpp"
#include "records/text_records.hpp"

namespace quizhost {

void write_error(host& h, std::string_view mess) {
    const date_time now = h.io.clock->now();
    std::string line = short_date(now);
    line += ' ';
    line += long_time(now);
    line += "  ";
    // The message may come from the movie; a CR or LF in it would forge further entries.
    line += single_line(mess);
    append_line(*h.io.files, h.log_file(), line);
}

void start_log(host& h) {
    file_system& fs = *h.io.files;
    const std::string path = h.log_file();
    const bool exists = fs.file_exists(path);
    const bool over_size = exists && fs.file_size(path) > log_size_limit;
    if (exists && !over_size) return;

    const date_time now = h.io.clock->now();
    std::vector<std::string> header{"<ERROR LOG>", "Created on " + short_date(now) + " at " + long_time(now), ""};
    if (over_size) {
        header.emplace_back("*** PREVIOUS LOG EXCEEDED LIMIT - NEW LOG CREATED ***");
        header.emplace_back("");
    }
    replace_file(fs, path, lines_to_bytes(header));
}

}  // namespace quizhost
