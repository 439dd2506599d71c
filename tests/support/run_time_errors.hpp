// The one way the tests ask "which run-time error does this raise?".
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "definitions.hpp"

namespace quizhost::testing {

// The number of the run-time error `action` raises, 0 when it raises none. The error's text must name
// the number too: the log line and the diagnostics are built from it.
int error_of(auto&& action) {
    try {
        action();
    } catch (const run_time_error& e) {
        EXPECT_NE(std::string(e.what()).find(std::to_string(e.number())), std::string::npos) << e.what();
        return e.number();
    }
    return 0;
}

// The run-time error `action` raises (number 0 and no detail when none), for a test that reads its
// detail: which file, which line.
inline run_time_error failure_of(auto&& action) {
    try {
        action();
    } catch (const run_time_error& e) {
        return e;
    }
    return run_time_error(0, "", "");
}

}  // namespace quizhost::testing
