// The browser movie player: serves the stage page, waits for it to connect, starts the program (the intro
// form's load) and then feeds it the movies' commands one at a time, in the order they were raised, until
// the program ends.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "host.hpp"
#include "platform/event_sink.hpp"
#include "player/cabinet.hpp"
#include "player/kiosk.hpp"

namespace quizhost::web {

class bridge;
struct developer_mode;

struct browser_options {
    int http_port = default_http_port;      // 0: any free port
    bool trace = false;                     // the transcript events on standard error, as they happen
    bool kiosk = false;                     // the host starts and keeps the browser on its stage
    std::string browser;                    // the kiosk browser's program ("": the machine's own)
    std::vector<std::string> browser_args;  // added to the kiosk browser's command line
    // Only `quizhost dev` sets it: the developer's movie folders, the panel, the reloads (web_developer.hpp).
    const developer_mode* developer = nullptr;
    // Called once the stage is served and its address printed, with the address and its secret.
    std::function<void(const std::string& stage_url)> stage_ready;
};

// How often the player looks after its kiosk browser: a dead one is restarted well within 2 s.
inline constexpr std::chrono::milliseconds kiosk_look_period{200};

// How the player reaches the program: its start (the intro form's load), the delivery of one movie
// command to the form that should take it, and its orderly shutdown with a status (when Ctrl-C or SIGTERM
// stops a started program). Each ends the program by throwing program_exit; a run_time_error escaping
// them is a failure the host did not handle.
struct program_entry {
    std::function<void()> start;
    std::function<void(const std::string& command, const std::string& args)> raise;
    std::function<void(int status)> shutdown;
    // When set, runs between two commands and at least every kiosk_look_period while none comes.
    std::function<void()> between{};
};

// Status the program ends with when Ctrl-C or SIGTERM stops the player (128 + SIGINT, as shells report it).
inline constexpr int exit_interrupted = 130;

// Runs the program over an open bridge, with `h`'s movie and window seams pointing at the player's while
// it runs: waits for the stage, starts the program, feeds it the commands, and answers the status the
// program ended with (exit_interrupted when the bridge was interrupted). Failures go to `err`.
// With `kiosk`, the player keeps that browser: restarts it when it dies (the game movie then starts
// afresh), and ends the program through its fatal path when the browser dies too often.
int run_player(host& h, bridge& link, const program_entry& program, std::FILE* err, kiosk_supervisor* kiosk = nullptr);

// The address the kiosk browser opens, asked for each start of the browser.
std::string kiosk_stage_url(bridge& link);

// The --trace line of a game movie's command that matches no row of the command table:
// "unknown	main	COMMAND	ARGS	no such command: nothing happens (did you mean GET_CREDIT?)".
void trace_unknown_command(event_sink& trace, const std::string& command, const std::string& args);

// The --trace line of a game movie loaded without its content_version_no (nothing when it had one):
// "warning	main	content_version_no	the game movie had not set ...".
void trace_content_version(event_sink& trace, const std::string& wrapper_version);

// The quizhost program without --script: builds the host over the machine's seams and the player's,
// prints the address to open on `out`, and runs the program. `screen` is the display set to 800x600 at
// start and restored at the end (null leaves the display alone). exit_usage when the port cannot be opened.
// With options.kiosk, starts the browser itself and keeps it; exit_fatal when it cannot be started.
int run_browser(const cabinet_options& cabinet, const browser_options& options, display* screen, std::FILE* out,
                std::FILE* err);

}  // namespace quizhost::web
