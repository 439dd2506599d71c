// The local credit service: one request line per exchange, "NAME PARAMETERS" and CR LF, answered with one
// line "WORD value" and CR LF:
//   GET_CREDIT            CREDIT n
//   GET_BANK              BANK n
//   USE_CREDIT            OK DONE (one game's price taken from the credit) or OK REFUSED (credit short)
//   ADD_BANK amount       OK DONE (amount added to the bank), ERROR bad-amount (not a number, or below 0)
//   GAME_EXIT             OK BYE
// A request of another name gets ERROR unknown-message, one without a space ERROR malformed-request, one
// longer than 1024 bytes ERROR request-too-long (and the connection is closed), and a state file that
// cannot be read or replaced ERROR state-file. Nothing is changed by a request that gets an error.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

namespace quizhost {
class loopback_listener;
}

namespace quizhost::credit_service {

struct settings {
    std::string state_path;
    double price = 50;  // credits a game costs
};

// The reply line (with its CR LF) to one request line (with or without its line end).
std::string answer_request(const settings& service, std::string_view request);

// Serves connections one at a time until `stop` is set. A connection is served until the client closes
// it, sends an over-long line, or stays silent for 5 seconds.
void serve(loopback_listener& listener, const settings& service, const std::atomic<bool>& stop);

// Adds `credits` to the credit of the state file (the coin slot); the new credit.
double insert_credits(const std::string& state_path, double credits);

}  // namespace quizhost::credit_service
