// The two ways a movie player drives the host: starting the program, and delivering a command that a
// movie raised. Every player (headless script, browser) calls exactly these.
#pragma once

#include <string>

namespace quizhost {

struct host;

// Starts the program: the intro form loads and is shown. A run-time failure here is not handled by the
// host: it leaves as run_time_error, and the program ends without a log line.
void start_program(host& h);

// A command raised by a movie. It is traced as "fs FORM COMMAND ARGS" and goes to the main form while the
// main form's control holds a movie, else to the intro form. program_exit leaves when the command ended
// the program; a run-time failure in the intro form leaves as run_time_error.
void raise_fscommand(host& h, const std::string& command, const std::string& args);

}  // namespace quizhost
