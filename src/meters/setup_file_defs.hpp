// The setup file "setup.ini" in the system folder.
#pragma once

#include <cstdint>

namespace quizhost {

struct host;

// Writes the setup file with "S1,40" and "S2,50", replacing any old one.
void create_setup_file(host& h);

// The setup file's bounds: a payout percentage above 0 and at most 70 (else 70), a price per play of 1 to
// 100 credits (else 50).
inline constexpr float highest_payout_percent = 70;
inline constexpr std::int32_t lowest_price_per_play = 1;
inline constexpr std::int32_t highest_price_per_play = 100;
inline constexpr std::int32_t default_price_per_play = 50;

// The two money settings as the host runs with them. `*_replaced`: a bound put its value in place of
// what the file holds.
struct setup_values {
    float payout_percent = 40;                             // "S1": the share of each game's price paid back
    std::int32_t price_per_play = default_price_per_play;  // "S2": credits per game
    bool payout_replaced = false;
    bool price_replaced = false;
};

// The values of a new setup file (also used, without writing, when there is none).
inline constexpr setup_values default_setup_values{};

// The settings from the leading numbers of "S1" and "S2": a payout outside above 0 to 70 becomes 70, and
// a price outside 1 to 100 credits (or too large to be a whole number of credits) becomes 50.
setup_values bounded_setup_values(double payout_percent, double price_per_play);

}  // namespace quizhost
