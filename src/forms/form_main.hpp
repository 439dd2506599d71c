// The main form: start-up of the game, the game movie's command handler and its command table, game
// reset, the one fatal error path and the orderly shutdown.
#pragma once

#include <span>
#include <string>

#include "definitions.hpp"

namespace quizhost {

struct host;

// The main form's load, run inside the intro movie's "INTRO_END": folder paths, credit platform, game
// movie, launch log line, weighted tables, folder check, caption, win plans, intro released. A run-time
// failure from the topmost step on goes to error_handler.
void form_main_load(host& h);

// One command from the game movie: the movie is stopped, the command's row (if any) runs and sets its
// answer variable, and the movie plays again. A run-time failure goes to error_handler instead.
void flash_game_FSCommand(host& h, const std::string& command, const std::string& args);

// Loads the game movie afresh and starts it from its first frame.
void reset_flash_game(host& h);

// The movie stands still while a command is handled, so its next frame sees the answer.
void set_processing_flag(host& h);
void clear_processing_flag(host& h);

// The program's end after the fatal error path: beside the status, the log line it wrote and the system's
// own detail of the failure (a path and the system's message, a socket address), for the operator.
struct fatal_exit : program_exit {
    std::string log_text;
    std::string detail;
};

// The fatal error path: stops and unloads the movie, logs "ERROR! N - DESC.  Game Terminated." and shuts
// down with exit status 1 (throws fatal_exit).
[[noreturn]] void error_handler(host& h, const run_time_error& error);

// The only way out: says goodbye to the credit system, unloads the movie, restores the display mode when
// start-up changed it, and ends the program with `status` (throws program_exit).
[[noreturn]] void unload_wrapper(host& h, int status);

// One row of the command table: the command's exact name, the operation that answers it, and the movie
// variable that receives the answer (nullptr: the command answers nothing).
struct command_row {
    const char* name;
    std::string (*handler)(host& h, const std::string& args);
    const char* answer;
};

// Every command the game movie may raise, in the order they are matched.
std::span<const command_row> command_table();

// The first row whose name equals `command` exactly (case and blanks count); nullptr when none does.
const command_row* find_command(const std::string& command);

}  // namespace quizhost
