// Not built yet: the content author's tools.
#include "tools.hpp"

namespace quizhost {
void add_content_commands(CLI::App&, int&) {}
}  // namespace quizhost
