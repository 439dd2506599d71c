// The setup file "setup.ini" in the system folder.
#pragma once

#include <cstdint>

namespace quizhost {

struct host;

// Writes the setup file with "S1,40" and "S2,50", replacing any old one.
void create_setup_file(host& h);

// The two money settings as the host runs with them.
struct setup_values {
    float payout_percent = 40;         // "S1": the share of each game's price paid back in prizes
    std::int32_t price_per_play = 50;  // "S2": credits per game
};

// The values of a new setup file (also used, without writing, when there is none).
inline constexpr setup_values default_setup_values{};

// The settings from the leading numbers of "S1" and "S2": a payout outside above 0 to 70 becomes 70, and
// a price outside 1 to 100 credits (or too large to be a whole number of credits) becomes 50.
setup_values bounded_setup_values(double payout_percent, double price_per_play);

}  // namespace quizhost
