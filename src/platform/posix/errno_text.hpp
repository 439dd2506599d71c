// The text of a system error number, for the messages of the POSIX seams.
#pragma once

#include <string>
#include <system_error>

namespace quizhost {

// strerror's text through the thread-safe strerror_r. The host runs one thread today; the seams are
// reused by tests and tools that may not, and strerror's one shared buffer is a trap for the first of them.
inline std::string errno_text(int error) { return std::generic_category().message(error); }

}  // namespace quizhost
