// Not built yet: placeholders so the host links while this subsystem is being written.
#include "content/win_plans.hpp"

#include "definitions.hpp"
#include "host/host.hpp"

namespace quizhost {
namespace {
[[noreturn, maybe_unused]] void not_built() { throw run_time_error(invalid_procedure_call, "Invalid procedure call or argument", "not built yet"); }
}  // namespace

void init_winplans(host&) {}
std::string get_win_plan(host&) { not_built(); }
}  // namespace quizhost
