// Money in the game recall: the records written when money moves through the credit channel, and what a
// reader of the recall finds still in flight at its end (a payment asked with no answer recorded, a game
// paid and not settled, a bank addition with no answer recorded).
//
//   pay     seq, at, game (the number it will get: the meters' count + 1), how, channel, call, price,
//           credit, bank (as last read)           written and synced before the channel is asked
//   paid    seq, at, of (the pay record's seq), result (taken, refused, failed, or "in doubt" when the
//           call failed and may have moved the money), answer
//   bank    seq, at, channel, call, amount (as sent), game or after
//                                                 written and synced before the channel is asked
//   banked  seq, at, of, result (added, refused, failed, or "in doubt" when the call failed or a start-up
//           closed it), answer
//
// A "game" or "unfinished" record closes the payment before it. A start-up that finds something in flight
// closes it with a record that carries "closed" (unsettled, payment in doubt, counted) and the time of
// the last record before it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "recall/recall_format.hpp"

namespace quizhost {

inline constexpr std::string_view payment_kind = "pay";
inline constexpr std::string_view payment_outcome_kind = "paid";
inline constexpr std::string_view bank_kind = "bank";
inline constexpr std::string_view bank_outcome_kind = "banked";

// The "closed" values of the records a start-up writes.
inline constexpr std::string_view closed_unsettled = "unsettled";
inline constexpr std::string_view closed_payment_in_doubt = "payment in doubt";
inline constexpr std::string_view closed_counted = "counted";
inline constexpr std::string_view result_in_doubt = "in doubt";
// What the "ended" field of a game a start-up closed says.
inline constexpr std::string_view ended_before_settled = "the host ended before it was settled";

// How many things a recall shows closed by a start-up, or still in flight at its end.
struct money_counts {
    long games_unsettled = 0;
    long payments_in_doubt = 0;
    long bank_additions_in_doubt = 0;
    bool operator==(const money_counts&) const = default;
};

// Reads records in the order they were written and keeps what is still in flight.
class money_ledger {
public:
    void take(const recall_record& record);

    // A pay record whose channel's answer was never recorded.
    const std::optional<recall_record>& payment_in_doubt() const { return payment_; }
    // The pay record of a game whose price was taken and that no game or unfinished record closed.
    const std::optional<recall_record>& game_unsettled() const { return paid_game_; }
    // A bank record whose channel's answer was never recorded.
    const std::optional<recall_record>& bank_in_doubt() const { return bank_; }
    // The time of the newest record ("YYYY-MM-DD HH:MM:SS"); "" before any.
    const std::string& last_time() const { return last_time_; }
    bool anything_in_flight() const { return payment_ || paid_game_ || bank_; }

    // What start-ups closed, and (with `in_flight`) what is still open as well.
    money_counts counts(bool in_flight) const;
    // What start-ups closed since the last game the meters counted.
    const money_counts& closed_since_last_game() const { return since_game_; }

private:
    std::optional<recall_record> payment_;
    std::optional<recall_record> paid_game_;
    std::optional<recall_record> bank_;
    std::string last_time_;
    money_counts closed_;
    money_counts since_game_;
};

}  // namespace quizhost
