// What the three weighted tables (questions, win plans, lives) share: lines of whole-number percentage
// weights, the table file's place, and the draws that are compared with the running sum of a row.
#pragma once

#include <string>
#include <string_view>

namespace quizhost {

struct host;

// The path of a weighted table or other content file: the program folder, "/data/" and `name`.
std::string content_file_path(const host& h, std::string_view name);

// The whole part of a weight (3.9 gives 3, -2.5 gives -2). The field must be a number: error 13.
double weight_value(std::string_view field);

// The next draw as a percentage, the whole part of u × 100: 0 to 99. The question difficulty adds one.
long draw_percent(host& h);

// The next draw as a line number of a file of `count` lines, the whole part of u × count, plus one: 1 to
// count (1 when the file has no lines, which reading then finds missing).
long draw_line_number(host& h, long count);

}  // namespace quizhost
