#include "platform/standard_streams.hpp"

#include <csignal>

namespace quizhost {

// POSIX streams carry bytes as they are.
void use_binary_standard_streams() {}

void ignore_broken_pipes() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace quizhost
