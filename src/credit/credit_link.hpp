// The cabinet's credit link: which credit system the cabinet has, and credit and bank through it.
#pragma once

#include <string>
#include <variant>

namespace quizhost {

struct host;

// Decides the platform from the flag files, logs it, and on the shell platform attaches to the shell and
// finds the stake level.
void check_platform(host& h);

// The credit and bank as the channel reports them (bounds and demo mode are the dispatcher's).
double channel_get_credit(host& h);
double channel_get_bank(host& h);
// Takes one game's price through the channel ("USE_CREDIT").
void channel_use_credit(host& h);
// Adds `amount` to the bank; the socket service gets `amount_text` exactly as the movie sent it.
void channel_add_to_bank(host& h, double amount, const std::string& amount_text);
// Tells the shell that a free game began (nothing on other platforms).
void channel_free_game(host& h);
// The goodbye of shutdown: releases the shell object, or sends "GAME_EXIT" to the local service.
void channel_goodbye(host& h);

// One exchange with the local credit service: a number for "CREDIT" and "BANK" replies, else the text.
using service_reply = std::variant<double, std::string>;
service_reply socket_send_message(host& h, const std::string& message, const std::string& parameters);

}  // namespace quizhost
