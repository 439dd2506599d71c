// What a Flash movie of the cabinet asks of the host, as `quizhost check` and `quizhost movie` report it:
// its version, packing, machine (AVM1, or AVM2, which the host cannot answer), stage and frame rate, the
// commands its actions can raise, each against the command table, and the answer variables it reads.
#pragma once

#include <string>
#include <string_view>

#include "content/content_tools.hpp"

namespace quizhost {

enum class movie_form { intro, main };

// Adds the findings for the SWF file `path` holding `bytes`: a note with what the movie is, an error for a
// damaged, truncated or AVM2 movie (named by `path`), a warning for each command no row answers, with the
// row it is likely meant to be.
void check_flash_movie(const std::string& path, std::string_view bytes, movie_form form, content_findings& out);

}  // namespace quizhost
