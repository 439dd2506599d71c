// The stage page and the movie runtime, compiled into the program from the source tree's web/ folder, so a
// cabinet needs nothing beside the executable but its own movies, and no request can reach any other file
// through these names.
#pragma once

#include <optional>
#include <string_view>

namespace quizhost::web {

// The bytes of "index.html" (the stage), "runtime/NAME" or "dev/NAME" (the developer's panel, which only
// `quizhost dev` serves); nothing for any other name.
std::optional<std::string_view> embedded_asset(std::string_view name);

}  // namespace quizhost::web
