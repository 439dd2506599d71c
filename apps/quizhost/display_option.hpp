// `quizhost --display x11|none|auto`: which display the host sets to 800x600 at start and back at the end.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdio>
#include <memory>
#include <string>

#include "platform/display.hpp"
#include "player/cabinet.hpp"
#include "player/movie_script.hpp"

namespace quizhost {

// Adds --display to `app`; the choice lands in `choice` ("auto" unless given).
void add_display_option(CLI::App& app, std::string& choice);

// What a choice means for this run: "headless" (the movie script's own display, driven by its `screen`
// and `display` directives), "x11" or "none". auto is headless with a script, else x11 when DISPLAY is
// set and this build has X11, else none.
std::string resolve_display_choice(const std::string& choice, bool scripted);

// The real display of a resolved choice: the X server's for "x11", nothing for "none" and "headless".
// Throws std::exception with the reason when it cannot be used (no X server, no RandR, no X11 in this build).
std::unique_ptr<display> open_chosen_display(const std::string& chosen);

// Plays `script` with the headless movie player on the chosen display and answers the exit status;
// exit_usage, with one line on `err`, when the X display cannot be used.
int run_headless_on_display(const cabinet_options& options, const movie_script& script, const std::string& choice,
                            std::FILE* out, std::FILE* err);

}  // namespace quizhost
