// The browser movie player: serves the stage page, waits for it to connect, starts the program (the intro
// form's load) and then feeds it the movies' commands one at a time, in the order they were raised, until
// the program ends.
#pragma once

#include <functional>
#include <string>

#include "host/host.hpp"
#include "platform/event_sink.hpp"

namespace quizhost::web {

struct player_options {
    int http_port = default_http_port;  // 0: any free port
    event_sink* trace = nullptr;         // the transcript events (--trace); none when null
};

// How the player reaches the program: its start (the intro form's load) and the delivery of one movie
// command to the form that should take it. Both end the program by throwing program_exit; a
// run_time_error escaping them is a failure of the intro form.
struct program_entry {
    std::function<void()> start;
    std::function<void(const std::string& command, const std::string& args)> raise;
};

// Status the program ends with when Ctrl-C or SIGTERM stops the player (128 + SIGINT, as shells report it).
inline constexpr int exit_interrupted = 130;

class bridge;

// Runs the program over an open bridge: waits for the stage, starts the program, feeds it the commands,
// and returns the status the program ended with (exit_interrupted when the bridge was interrupted).
int run_player(host& h, bridge& link, event_sink& events, const program_entry& program);

// Runs the program on the browser player and returns its exit status: the program_exit status, exit_usage
// when the port cannot be opened, exit_intro_failed after a failure in the intro form, exit_interrupted
// after Ctrl-C. The movie and window seams of `h` point at the player's while it runs.
int run_browser_player(host& h, const player_options& options, const program_entry& program);

}  // namespace quizhost::web
