// What a Flash movie is and what it asks of the host, read from its file without playing it: for
// `quizhost check`, `quizhost movie` and the shim the browser player makes for each game.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "swf/swf_file.hpp"

namespace quizhost::swf {

struct raised_command {
    std::string name;   // the text after "FSCommand:", as the movie spells it
    std::string where;  // "frame actions", "init actions", "button actions", "clip actions"
};

struct movie_facts {
    compression stored = compression::none;
    std::uint8_t version = 0;
    rect frame;
    double frame_rate = 0;
    std::uint16_t frame_count = 0;
    bool avm2 = false;  // ActionScript 3: the host cannot answer it
    bool has_background = false;
    std::uint32_t background = 0xFFFFFF;   // 0xRRGGBB
    std::vector<raised_command> commands;  // each name once, in the order first met
    std::vector<std::string> texts;        // every string its actions hold, each once
};

// Reads the whole movie; swf_error when it is damaged or truncated, or packed in a way this build cannot
// unpack.
movie_facts inspect_movie(std::string_view data);

// The width and height in pixels, rounded.
int width_of(const rect& r);
int height_of(const rect& r);

}  // namespace quizhost::swf
