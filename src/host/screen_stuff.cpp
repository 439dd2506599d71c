// Not built yet: placeholders so the host links while this subsystem is being written.
#include "host/screen_stuff.hpp"

#include "definitions.hpp"
#include "host/host.hpp"

namespace quizhost {
namespace {
[[noreturn, maybe_unused]] void not_built() { throw run_time_error(invalid_procedure_call, "Invalid procedure call or argument", "not built yet"); }
}  // namespace

std::int32_t get_screen_width(host&) { not_built(); }
std::int32_t get_screen_height(host&) { not_built(); }
bool is_800_by_600(host&) { return true; }
bool change_resolution(host&, std::int32_t, std::int32_t) { not_built(); }
void restart_windows(host&) { not_built(); }
void set_resolution(host&) {}
}  // namespace quizhost
