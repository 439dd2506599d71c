// A fuzzer's own checks: a broken promise of the code under test is a finding, reported like a sanitizer
// report (a message on standard error, then abort), so libFuzzer keeps the input that caused it.
#pragma once

#include <string_view>

namespace quizhost::fuzzing {

[[noreturn]] void report_finding(std::string_view what, std::string_view detail = {});

inline void expect(bool holds, std::string_view what, std::string_view detail = {}) {
    if (!holds) report_finding(what, detail);
}

}  // namespace quizhost::fuzzing
