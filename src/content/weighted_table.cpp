#include "content/weighted_table.hpp"

#include <algorithm>
#include <cmath>

#include "basic/numbers.hpp"
#include "definitions.hpp"
#include "host.hpp"
#include "platform/draws.hpp"
#include "platform/paths.hpp"

namespace quizhost {

std::string content_file_path(const host& h, std::string_view name) {
    std::string path = h.program_folder;
    path += data_folder_name;
    path += name;
    return path;
}

double weight_value(std::string_view field) { return std::trunc(strict_number(field)); }

namespace {

// A draw u in [0, 1) scaled to 0 .. n - 1. A queued draw from a movie script is held to the same range,
// so a value at the top of it cannot pick a row or line past the last.
long scaled_draw(host& h, long n) {
    const double u = h.io.draws->uniform();
    const double scaled = std::floor(u * static_cast<double>(n));
    if (!(scaled >= 0)) return 0;
    return std::min(static_cast<long>(std::min(scaled, static_cast<double>(n))), n - 1);
}

}  // namespace

long draw_percent(host& h) { return scaled_draw(h, 100); }

long draw_line_number(host& h, long count) {
    if (count <= 0) {
        (void)h.io.draws->uniform();  // an empty file still takes its draw, as a file with lines does
        return 1;
    }
    return scaled_draw(h, count) + 1;
}

}  // namespace quizhost
