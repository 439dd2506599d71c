// The preflight's look at the cabinet's credit library: loaded as the host would load it, with its four
// entry points looked up, and none called, so nothing of the cabinet's money is touched.
#pragma once

#include <string>

namespace quizhost {

// Loads the credit library from `program_folder` first, then from the system's search path, as
// make_native_credit_library does, and looks up cget, bget, cuse and badd. Answers the file it was loaded
// from ("" when the system cannot tell); raises the run_time_error the host's first call would (53, 48 or
// 453, with the path and the system's message as detail). The library is released again.
std::string probe_credit_library(const std::string& program_folder);

}  // namespace quizhost
