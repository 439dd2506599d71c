// Helpers shared by the content tests: question files written enciphered, draws queued as percentages,
// and the error number of a failing call.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "content/encryption.hpp"
#include "definitions.hpp"
#include "support/run_time_errors.hpp"
#include "support/test_host.hpp"

namespace quizhost::testing {

// Writes "data/data_D_S.dat" holding `plain` lines enciphered with the question key, CR LF after each.
inline void write_questions(test_host& t, int difficulty, int set, const std::vector<std::string>& plain) {
    std::string bytes;
    for (const auto& line : plain) bytes += encrypt_string(line, question_key) + "\r\n";
    t.write("data/data_" + std::to_string(difficulty) + "_" + std::to_string(set) + ".dat", bytes);
}

// Queues the draw whose whole part of u × 100 is `r` (0 to 99).
inline void queue_percent(test_host& t, long r) { t.draws.queue((static_cast<double>(r) + 0.5) / 100.0); }

}  // namespace quizhost::testing
