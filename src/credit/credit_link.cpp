// Not built yet: placeholders so the host links while this subsystem is being written.
#include "credit/credit_link.hpp"

#include "definitions.hpp"
#include "host/host.hpp"

namespace quizhost {
namespace {
[[noreturn, maybe_unused]] void not_built() { throw run_time_error(invalid_procedure_call, "Invalid procedure call or argument", "not built yet"); }
}  // namespace

void check_platform(host&) {}
double channel_get_credit(host&) { not_built(); }
double channel_get_bank(host&) { not_built(); }
void channel_use_credit(host&) { not_built(); }
void channel_add_to_bank(host&, double, const std::string&) { not_built(); }
void channel_free_game(host&) { not_built(); }
void channel_goodbye(host&) {}
service_reply socket_send_message(host&, const std::string&, const std::string&) { not_built(); }
}  // namespace quizhost
