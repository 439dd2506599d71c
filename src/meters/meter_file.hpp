// The meter file: audit counts, prize totals, game time, question statistics and the reflex meter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quizhost {

struct host;

// The lines of a new meter file for the loaded question tables (66 with the default tables).
std::vector<std::string> new_meter_file_lines(host& h);

// "q,prize,f2,f3": counts one finished game. All of the command's changes land in one atomic rewrite.
void update_meters_v2(host& h, const std::string& args);

double get_games_played(host& h);
double get_cashpot(host& h);
void reset_cashpot(host& h);
double get_reflex_meter(host& h);
// Adds `amount` to the reflex meter ("M17") and sets the game mode from it.
void set_reflex_meter(host& h, double amount);

// "START_GAME": the game's stake share (the price per play times the payout percentage) comes off the
// reflex meter, and the game's clock starts for the game time meter.
void start_game(host& h);

// "GET_CASHPOT": the cash pot read from the meter file into the host, as a 32-bit number.
std::int32_t load_cashpot(host& h);

// The game mode (0 to 5) a reflex meter value selects: a high meter (prizes running ahead of the payout
// share) selects a low mode.
std::int16_t game_mode_for(std::int32_t reflex_meter);

}  // namespace quizhost
