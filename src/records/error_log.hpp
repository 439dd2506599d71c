// The error log: "logs/log.txt" in the system folder, one line per entry (date, time, message).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quizhost {

struct host;

inline constexpr long long log_size_limit = 262144;  // bytes; a larger log is replaced at start-up
// The most of a log a tool reads whole: a log grows during a run, but every entry is bounded in length.
inline constexpr long long log_read_limit = 64LL * 1024 * 1024;
// The log a start-up replaced, kept beside the new one until the next replacement.
inline constexpr const char* previous_log_file_name = "log_previous.txt";

// The longest text a movie's "TO_LOG" puts in one entry; a longer one keeps its first part and is marked.
inline constexpr std::size_t movie_log_text_limit = 1000;

// Appends "dd/mm/yyyy HH:MM:SS  message" (the message untrimmed, its CR and LF turned into spaces so it
// stays one line); dropped silently when the log file does not exist. An entry after a last line that
// lacks its CR LF (a torn append) starts on a line of its own.
void write_error(host& h, std::string_view mess);

// Starts the log once at start-up: a missing log, or one over the size limit, is created anew with its
// header (and the limit notice when it replaced an over-size log); otherwise the log is kept. An
// over-size log is not lost: it becomes "log_previous.txt" beside the new one, replacing the one before.
void start_log(host& h);

// What the movie's "TO_LOG" text becomes in the log: its first movie_log_text_limit characters (the cut
// marked), and, when it opens as one of the host's own entries does (a fatal error's "ERROR! ", the kiosk's
// end, a launch line), marked as the movie's, so that no movie can forge what the fleet counts.
std::string movie_log_text(std::string_view text);

}  // namespace quizhost
