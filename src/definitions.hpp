// Program-wide constants and the run-time error that every failure travels as.
#pragma once

#include <stdexcept>
#include <string>

namespace quizhost {

// The error numbers the host raises; the log line shows the number and its standard description.
enum error_number : int {
    invalid_procedure_call = 5,
    overflow = 6,
    subscript_out_of_range = 9,
    type_mismatch = 13,
    error_loading_dll = 48,
    file_not_found = 53,
    input_past_end_of_file = 62,
    permission_denied = 70,
    path_file_access_error = 75,
    path_not_found = 76,
    cannot_create_object = 429,
    dll_function_not_found = 453,
};

// The standard description of an error number ("Type mismatch" for 13); "Application-defined or
// object-defined error" for numbers the host does not raise itself.
std::string error_description(int number);

// A failure that ends the command or start-up step it happens in. Procedures never catch it; only the
// main form's load and its command handler do, and send it to error_handler.
class run_time_error : public std::runtime_error {
public:
    explicit run_time_error(int number);
    run_time_error(int number, std::string description);
    // `detail` says where it happened (a path, a value); it goes to diagnostics, not to the log line,
    // which carries the number and standard description only.
    run_time_error(int number, std::string description, std::string detail);

    int number() const noexcept { return number_; }
    const std::string& description() const noexcept { return description_; }
    const std::string& detail() const noexcept { return detail_; }

private:
    int number_;
    std::string description_;
    std::string detail_;
};

// A failure inside error_handler or unload_wrapper themselves. It is a run_time_error to whatever ends the
// program, but no handler of the host takes it: the shutdown it broke must not run a second time.
class unhandled_error : public run_time_error {
public:
    explicit unhandled_error(const run_time_error& failure) : run_time_error(failure) {}
};

// Thrown by unload_wrapper: the program ends here with this status. Not a failure; nothing of the host
// runs after it, and the movie player that drives the host turns it into the process's exit.
struct program_exit {
    int status;
};

// Exit statuses of the quizhost process.
inline constexpr int exit_closed = 0;        // "CLOSE_ALL", or the movie script ran out
inline constexpr int exit_fatal = 1;         // after error_handler
inline constexpr int exit_usage = 2;         // bad command line or unreadable movie script
inline constexpr int exit_intro_failed = 3;  // a failure in the intro form
inline constexpr int exit_cabinet_busy = 4;  // another host holds the cabinet folder; nothing in it was touched

// Fixed texts of the program.
inline constexpr const char* wrapper_major_version = "7";
inline constexpr const char* design_caption = "Kestrel SWP Wrapper";
inline constexpr const char* main_caption = "Tollcastle Wrapper";
inline constexpr const char* application_title = "Tollcastle Wrapper";

// Names below the program folder that hold no separator; those that do are in platform/paths.hpp.
inline constexpr const char* setup_file_name = "setup.ini";
inline constexpr const char* master_meter_file_name = "meter.txt";
inline constexpr const char* hiscore_file_name = "highscores.txt";

inline constexpr int default_credit_port = 7475;
inline constexpr int default_http_port = 7480;

}  // namespace quizhost
