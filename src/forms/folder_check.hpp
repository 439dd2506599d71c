// The start-up check and repair of the cabinet's folders and files.
#pragma once

#include <cstdint>
#include <string>

namespace quizhost {

struct host;

// The setup file's bounds: a payout percentage above 0 and at most 70 (else 70), a price per play of 1 to
// 100 credits (else 50).
inline constexpr float highest_payout_percent = 70;
inline constexpr std::int32_t lowest_price_per_play = 1;
inline constexpr std::int32_t highest_price_per_play = 100;
inline constexpr std::int32_t default_price_per_play = 50;

// The two money settings as the host takes them from field 1 of the setup records "S1" and "S2": the
// leading number of each, the price rounded, both bounded. `*_replaced`: the bound put its value in place
// of what the file holds.
struct setup_values {
    float payout_percent = 0;
    std::int32_t price_per_play = 0;
    bool payout_replaced = false;
    bool price_replaced = false;
};
setup_values bound_setup_values(const std::string& s1_field, const std::string& s2_field);

// Creates missing folders, reads and bounds the setup values, starts the log, rebuilds a missing
// high-score table and meter file, and loads the cash pot.
void check_files(host& h);

}  // namespace quizhost
