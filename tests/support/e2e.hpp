// End-to-end runs of the real quizhost executable: a temporary cabinet folder, a movie script given as
// text, and what the program printed (the transcript, line by line), its standard error and exit status.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "support/test_host.hpp"

namespace quizhost::testing {

struct run_result {
    int status = -1;                      // the exit status; 128 + N when killed by signal N
    std::vector<std::string> transcript;  // standard output, one line per entry, line ends removed
    std::string out;                      // standard output as printed
    std::string err;                      // standard error as printed
};

// build/bin/<name> of the build the tests belong to.
std::string bin_path(const std::string& name);

// Runs `program` with `args`; `input` becomes its standard input. Waits for it to end.
run_result run_program(const std::string& program, const std::vector<std::string>& args, const std::string& input = {});

// A program started in the background, with its output gathered in files. Killed and waited for at the
// latest when the object goes.
class background_program {
public:
    background_program(const std::string& program, const std::vector<std::string>& args);
    ~background_program();
    background_program(const background_program&) = delete;
    background_program& operator=(const background_program&) = delete;

    // Ends it at once, as SIGKILL does (TerminateProcess on Windows): nothing of it runs any more.
    void kill();
    // Waits for it to end; what it printed, and its status.
    run_result wait();

private:
    struct child;
    std::unique_ptr<child> child_;
    bool waited_ = false;
};

#ifdef _WIN32
// CreateProcessA with handles inherited and no other flags. Wine now and then fails a start with
// ERROR_INTERNAL_ERROR while its server is busy, and the same start a moment later succeeds; that one
// failure is tried again, twice. Answers whether the process started; `why` is the last error when not.
bool start_windows_process(const char* program, char* command_line, void* startup_info, void* process_info,
                           unsigned long& why);
#endif

// The stand-in credit library's file name on this system.
#ifdef _WIN32
inline constexpr const char* credit_library_file = "tccomm.dll";
#else
inline constexpr const char* credit_library_file = "libtccomm.so";
#endif

// A cabinet folder that lives as long as the object.
class cabinet {
public:
    cabinet() = default;

    const std::string& root() const { return folder_.path(); }
    // A path inside the cabinet ("system/setup.ini").
    std::string path(const std::string& relative) const;
    // Writes a file, creating its folders.
    void write(const std::string& relative, const std::string& bytes) const;
    std::string read(const std::string& relative) const;
    bool exists(const std::string& relative) const;

    // The usual files of a cabinet that starts: the two movies, the system, variable and data folders
    // with the log started, so the launch line is kept.
    void make_standard() const;
    // make_standard() with the prices of setup.ini at 40 and 50 credits: a game costs 50 unless a test
    // writes other prices.
    void make_priced() const;
    // Copies `name`, a stand-in built beside quizhost (the credit library or shell), into the cabinet.
    void install(const std::string& name) const;

    // Runs `quizhost --root ROOT --script FILE` with `script` (written to a file outside the cabinet),
    // plus `extra_args` at the end.
    run_result run(const std::string& script, const std::vector<std::string>& extra_args = {}) const;
    // The same with the script on standard input (`--script -`).
    run_result run_from_stdin(const std::string& script, const std::vector<std::string>& extra_args = {}) const;
    // run() with `commands` after start-up: the clock fixed at 2026-12-07 14:05:09, then "INTRO_END".
    run_result play(const std::string& commands, const std::vector<std::string>& extra_args = {}) const;

private:
    temp_folder folder_;
    temp_folder scratch_;  // scripts live here, outside the cabinet
};

// Success when `expected` appear in `lines` in this order (other lines may come between them).
::testing::AssertionResult in_order(const std::vector<std::string>& lines, const std::vector<std::string>& expected);

// The lines of `lines` that begin with `prefix`.
std::vector<std::string> lines_starting(const std::vector<std::string>& lines, const std::string& prefix);

}  // namespace quizhost::testing
