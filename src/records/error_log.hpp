// The error log: "logs/log.txt" in the system folder, one line per entry (date, time, message).
#pragma once

#include <string_view>

namespace quizhost {

struct host;

inline constexpr long long log_size_limit = 262144;  // bytes; a larger log is replaced at start-up

// Appends "dd/mm/yyyy HH:MM:SS  message" (the message untrimmed, its CR and LF turned into spaces so it
// stays one line); dropped silently when the log file does not exist.
void write_error(host& h, std::string_view mess);

// Starts the log once at start-up: a missing log, or one over the size limit, is created anew with its
// header (and the limit notice when it replaced an over-size log); otherwise the log is kept.
void start_log(host& h);

}  // namespace quizhost
