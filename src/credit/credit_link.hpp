// The cabinet's credit link: which credit system the cabinet has, and credit and bank through it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace quizhost {

struct host;
class file_system;
struct socket_owner;

// The platform the flag files in `program_folder` select, as check_platform decides it: the first flag
// file present in the fixed order, or none (the credit library). `ignored`: further flag files present,
// which count for nothing.
struct platform_choice {
    std::int16_t code = 2;
    std::string flag_file;  // the bare name ("flg_orbital.dat"); "" when none is present
    std::string log_line;
    std::vector<std::string> ignored;
};
platform_choice find_platform(file_system& fs, const std::string& program_folder);
inline constexpr std::int16_t shell_platform_code = 1;
inline constexpr std::int16_t socket_platform_code = 0;

// Decides the platform from the flag files, logs it, and on the shell platform attaches to the shell and
// finds the stake level.
void check_platform(host& h);

// The credit and bank as the channel reports them.
double channel_get_credit(host& h);
double channel_get_bank(host& h);

// The credit and bank as the movie is shown them ("GET_CREDIT", "GET_BANK"): 0 when the channel reports a
// value outside 0 to 10,000, which is a fault of the credit system and never money to show; a demo
// cabinet shows the price of one game as its credit and no bank.
double shown_credit(host& h);
double shown_bank(host& h);
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

// Whoever listens on the credit port answers for the cabinet's money, and any local user can listen on a
// free port. Only root (on Windows the system's own accounts and services), the host's own user and the
// user the operator names (`allowed_user`, --credit-service-user) may. "" when `owner` is one of them, else
// the refusal: "the listener on 127.0.0.1:7475 belongs to nobody, not root, the host's user or ...".
std::string credit_listener_refusal(const socket_owner& owner, int port, const std::string& allowed_user);
// The check of one connection to the service, made from `local_port`, before the request goes out: the
// owner of the socket that accepted it. "" when it may answer; the refusal (`refused` set), or why the
// system could not tell, which stops the exchange too (money is not handed to an unknown) but as a service
// that did not answer: a listener that already let the connection go is no longer in the system's tables.
std::string vet_credit_service(int port, int local_port, const std::string& allowed_user, bool& refused);

// The request line for the service: the message, one space, the parameters with CR and LF turned into
// spaces (so no caller can slip a second request into one), and CR LF.
std::string service_request(std::string_view message, std::string_view parameters);

// Reads one reply line of the service, line end included ("CREDIT 150\r\n" gives 150). The line is split at
// its spaces: the first piece is the reply kind, the second its value. Kinds "CREDIT" and "BANK" give the
// value's leading number; any other kind gives the value as text. A reply without its CR LF or without a
// space is error 9 "Subscript out of range", as a missing reply is.
service_reply parse_service_reply(std::string_view reply);

// A reply taken as a number where a number is expected: texts must hold a plain number (error 13).
double reply_as_number(const service_reply& reply);

}  // namespace quizhost
