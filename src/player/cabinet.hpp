// What every movie player builds the same way around the host: the cabinet's folder and credit port, the
// seams taken from the machine, and how the end of the program becomes the process's exit status.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "definitions.hpp"
#include "platform/client_shell.hpp"
#include "platform/credit_library.hpp"
#include "platform/file_lock.hpp"
#include "platform/file_system.hpp"

namespace quizhost {

struct host;

struct cabinet_options {
    std::string program_folder;  // no trailing separator
    int credit_port = default_credit_port;
    std::string credit_service_user;  // --credit-service-user: a further user that may run the credit service
};

// The seams that come from the machine whatever plays the movies: its files, the credit library and the
// cabinet shell (both looked for in the program folder first).
struct machine_seams {
    explicit machine_seams(const cabinet_options& options);
    std::unique_ptr<file_system> files;
    std::unique_ptr<credit_library> library;
    std::unique_ptr<client_shell> shell;

    // Lends the seams to `h` and sets its program folder and credit port.
    void attach(host& h, const cabinet_options& options) const;
};

// Takes the cabinet folder's single-instance lock into `lock`, before anything in the folder is read.
// When the host must not start, says why on `err` and answers the status to end with: exit_cabinet_busy
// while another process holds the folder, exit_usage when the folder cannot be opened.
std::optional<int> lock_cabinet(const cabinet_options& options, std::unique_ptr<file_lock>& lock, std::FILE* err);

// Runs one step of the host (start-up, or a movie command). When the program ended in it, traces
// "exit STATUS" and answers the status: the one unload_wrapper gave, or exit_intro_failed for a failure
// the host did not handle (reported on `err` in one line, with no log line).
// After the fatal error path, one more line on `err` beside the log line: `what` (the command and its
// argument, or "start-up") and the system's own detail of the failure (see fatal_report_line); `fatal`, when
// given, gets the log line and the detail.
struct fatal_report {
    std::string log_text;
    std::string detail;
};
std::optional<int> run_host_step(host& h, const std::function<void()>& step, std::FILE* err,
                                 std::string_view what = "start-up", fatal_report* fatal = nullptr);

// "quizhost: fatal error in WHAT: LOG LINE -- DETAIL", one line (the detail says "no detail" when the
// failure carried none).
std::string fatal_report_line(std::string_view what, const std::string& log_text, const std::string& detail);

// How a movie command is named in that line: the command and its argument, escaped as in the transcript.
std::string command_step_name(const std::string& command, const std::string& args);

// The folder holding the running executable (`argv0` helps where the system cannot tell).
std::string executable_folder(const char* argv0);

// The folder without trailing separators, as the host forms paths by plain concatenation.
std::string without_trailing_separator(std::string folder);

}  // namespace quizhost
