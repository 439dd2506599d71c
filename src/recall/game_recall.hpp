// The game recall: what happened in each game, for disputes and audits. It watches the game movie's
// commands as the dispatcher handles them and never asks anything of its own (no credit call, no movie
// variable); the only file it reads is the meter file, for the number the meters gave the game.
//
// What a game is, in the command protocol:
// - A game opens with its first game command while none is open: "USE_CREDIT", "FREE_GAME",
//   "START_GAME", or a "GET_WINPLAN", "GET_LIVES", "GET_QUESTION" or "ANSWERED" of a movie that skips
//   them. A second payment, or a second "START_GAME", closes the open game unfinished and opens the next.
// - "UPDATE_METERS" settles it: the meter file has counted it (its "M1" count is the game's number), and
//   the game's record is appended to the recall file and synced, once.
// - "ADD_TO_BANK" and "ADD_TO_HISCORES" outside a game (the prize collected and the score entered after
//   the settlement, money added between games) are "between" records naming the last game settled.
//   Each is appended at once without a sync of its own.
// - "RESET_FLASH_GAME", "CLOSE_ALL", the fatal error path, a kiosk browser restarted, the host stopped by
//   a signal and a movie script that ran out close an open game as unfinished, each naming its cause, and
//   sync the file.
//
// Money is written down when it moves (recall/recall_money.hpp): before the credit channel is asked for
// a game's price or to add to the bank, an intent record is appended and synced; if it cannot be, the
// command fails and no money moves. After the channel answers, its outcome is appended, made durable by
// the next sync (the settlement's, or the next intent's). The next start-up reads what the files hold in
// flight and closes it: a game paid and not settled, a payment or a bank addition whose answer is missing
// ("in doubt"), each with one log line.
//
// Crash ordering: at "UPDATE_METERS" the meter file is replaced first and the recall record is appended
// after it. A power cut between the two leaves the meter file counting game N and the recall without its
// record; the game's payment names N, so the next start-up records it as counted by the meters.
//
// Any other failure to write the recall (a full disk) never ends the game: it is logged, and the records
// are kept in memory and written with the next ones.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "definitions.hpp"

namespace quizhost {

struct host;

// The current recall file holds this many settled games, then becomes the previous file and a new one
// starts, so at least the last 1,000 games are always kept (fewer only when the files fill with
// something else first: records between games, or games longer than the record limit allows).
inline constexpr long recall_games_per_file = 1000;
inline constexpr std::int64_t recall_file_size_limit = std::int64_t{8} * 1024 * 1024;
// A recall file is read whole within this bound: the host's own files stop a record past the size above,
// so a larger one was not written by it (a damaged disk, a sparse tail) and is refused, named.
inline constexpr std::int64_t recall_read_limit = 4 * recall_file_size_limit;
// A record keeps its events up to this many bytes and counts the rest ("dropped"), so that a movie that
// draws questions without end cannot push the last 1,000 games out of the files.
inline constexpr std::size_t recall_record_limit = 8000;

// The dispatcher's one hook: runs a command's row (`run` returns its answer) and keeps what it did.
void recall_before_command(host& h, std::string_view command);
void recall_after_command(host& h, std::string_view command, std::string_view args, std::string_view answer);
void recall_command_failed(host& h, const run_time_error& error);

template <typename Run>
std::string record_command(host& h, std::string_view command, std::string_view args, Run&& run) {
    recall_before_command(h, command);
    std::string answer;
    try {
        answer = run();
    } catch (const run_time_error& error) {
        recall_command_failed(h, error);
        throw;
    }
    recall_after_command(h, command, args, answer);
    return answer;
}

// Money about to move through the credit channel.
struct money_move {
    std::string_view kind;  // payment_kind or bank_kind (recall/recall_money.hpp)
    std::string channel;    // "library", "shell" or "socket"
    std::string call;       // what the channel is asked, as the transcript shows it ("cuse 50")
    std::string amount;     // the price, or the amount sent to the bank exactly as sent
    std::string credit;     // the credit as the channel just reported it ("" when it was not asked)
};

// Before the channel is asked: appends the intent and syncs it. A failure to write it is a run_time_error
// whose detail says that no money moved; the caller must not ask the channel then.
void recall_money_intent(host& h, const money_move& move);
// After the channel answered (result "taken", "added", "refused" or "failed", with the channel's own
// answer): appends the outcome. Never fails: the money has moved, the game goes on.
void recall_money_outcome(host& h, std::string_view result, std::string_view answer);

// Closes the open game at once as unfinished, naming `why`, and syncs what is waiting. Never fails.
void recall_close_open_game(host& h, const std::string& why);

// At start-up, before the first game command: closes what the recall shows in flight when the last run
// ended, with one error-log line each. A failure to write the closing records goes up (the start-up's
// fatal path): the cabinet does not play on money it cannot account for.
void recall_account_for_last_run(host& h);

// Paths of the two recall files below a system folder ("…/system/").
std::string recall_file_path(std::string_view system_path);
std::string previous_recall_file_path(std::string_view system_path);

}  // namespace quizhost
