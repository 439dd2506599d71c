// The movie script of the headless player: one directive per line, fields separated by one TAB, with the
// transcript's escapes inside fields. A script is read whole before anything runs, so a malformed line
// stops it before the host has done anything.
//
//   fs       COMMAND [ARGS]          the movie raises a command (ARGS missing: "")
//   var      NAME VALUE              what the game movie answers for GetVariable(NAME)
//   draw     U                       the next uniform draw (0 <= U < 1)
//   clock    YYYY-MM-DD HH:MM:SS     fix the clock at that moment;  clock +N  advance it by N seconds
//   msgbox   ok|yes|no               the answer to the next message box
//   screen   WxH                     the display's size before start-up
//   display  RESULT|enum-fail        the result of the next display-mode change, or a failing enumeration
//
// Lines starting with '#' and blank lines are ignored. Escapes: \\ \t \r \n and \xHH.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "basic/date_time.hpp"
#include "platform/window_system.hpp"

namespace quizhost {

struct script_directive {
    enum class kind { fs, var, draw, clock_at, clock_advance, msgbox, screen, display_result, display_enum_fail };

    kind what = kind::fs;
    int line = 0;                        // 1-based line of the script
    std::string name;                    // fs: the command; var: the variable
    std::string value;                   // fs: the arguments; var: the value
    double draw = 0;                     // draw
    date_time at;                        // clock_at
    long long seconds = 0;               // clock_advance
    box_answer answer = box_answer::ok;  // msgbox
    int width = 0, height = 0;           // screen
    long result = 0;                     // display_result
};

using movie_script = std::vector<script_directive>;

// A malformed script line; what() reads "line N: what is wrong".
class script_error : public std::runtime_error {
public:
    script_error(int line, const std::string& message);
    int line() const noexcept { return line_; }

private:
    int line_;
};

// Reads a whole script; the first malformed line raises script_error.
movie_script parse_movie_script(std::string_view text);

// One field with its escapes replaced; raises std::invalid_argument naming the bad escape.
std::string unescape_field(std::string_view field);

}  // namespace quizhost
