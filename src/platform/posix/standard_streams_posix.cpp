#include "platform/standard_streams.hpp"

namespace quizhost {

// POSIX streams carry bytes as they are.
void use_binary_standard_streams() {}

}  // namespace quizhost
