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
#include <chrono>
#include <cstddef>
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

// A client has this long from its connection's acceptance to its last reply, however many lines it sends:
// the host sends its one line at once, and no client can hold the service by trickling.
inline constexpr std::chrono::milliseconds connection_deadline{1000};
// Connections served side by side; their requests reach the state file one at a time.
inline constexpr std::size_t most_connections_at_once = 16;

// Serves connections, several at once, until `stop` is set. A connection is served until the client
// closes it, sends an over-long line, or its deadline passes.
void serve(loopback_listener& listener, const settings& service, const std::atomic<bool>& stop);

// Adds `credits` to the credit of the state file (the coin slot); the new credit.
double insert_credits(const std::string& state_path, double credits);

}  // namespace quizhost::credit_service
