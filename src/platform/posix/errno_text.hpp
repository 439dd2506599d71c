// The text of a system error number, for the messages of the POSIX seams.
#pragma once

#include <string>
#include <system_error>

namespace quizhost {

// strerror's text through the thread-safe strerror_r: the browser bridge's thread and the supervisor's
// report errors while the host's thread may be doing the same.
inline std::string errno_text(int error) { return std::generic_category().message(error); }

}  // namespace quizhost
