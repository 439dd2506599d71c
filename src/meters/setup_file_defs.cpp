// The setup file "setup.ini" in the system folder: the payout percentage ("S1") and the price of one game
// ("S2").
#include "meters/setup_file_defs.hpp"

#include <cmath>

#include "basic/numbers.hpp"
#include "host.hpp"
#include "platform/file_system.hpp"
#include "records/text_records.hpp"

namespace quizhost {
namespace {

// The price as a whole number of credits. A value too large for a 32-bit number is as unusable as any
// other price out of bounds, so it too is replaced rather than stopping the cabinet at start-up.
std::int32_t whole_price(double price) {
    if (!(std::fabs(price) < 2e9)) return 0;
    return round_to_int32(price);
}

}  // namespace

void create_setup_file(host& h) {
    replace_file(*h.io.files, h.start.setup_file_path, lines_to_bytes({"S1,40", "S2,50"}));
}

setup_values bounded_setup_values(double payout_percent, double price_per_play) {
    setup_values values;
    values.payout_percent = static_cast<float>(payout_percent);
    values.price_per_play = whole_price(price_per_play);
    values.payout_replaced = !(values.payout_percent > 0 && values.payout_percent <= highest_payout_percent);
    if (values.payout_replaced) values.payout_percent = highest_payout_percent;
    values.price_replaced =
        values.price_per_play < lowest_price_per_play || values.price_per_play > highest_price_per_play;
    if (values.price_replaced) values.price_per_play = default_price_per_play;
    return values;
}

}  // namespace quizhost
