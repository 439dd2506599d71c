// Not built yet: placeholders so the host links while this subsystem is being written.
#include "meters/meter_file.hpp"

#include "definitions.hpp"
#include "host/host.hpp"

namespace quizhost {
namespace {
[[noreturn, maybe_unused]] void not_built() { throw run_time_error(invalid_procedure_call, "Invalid procedure call or argument", "not built yet"); }
}  // namespace

std::vector<std::string> new_meter_file_lines(host&) { not_built(); }
void update_meters_v2(host&, const std::string&) { not_built(); }
double get_games_played(host&) { not_built(); }
double get_cashpot(host&) { not_built(); }
void reset_cashpot(host&) { not_built(); }
double get_reflex_meter(host&) { not_built(); }
void set_reflex_meter(host&, double) { not_built(); }
}  // namespace quizhost
