#include "recall/recall_money.hpp"

namespace quizhost {

void money_ledger::take(const recall_record& record) {
    for (const char* key : {"at", "end"}) {
        if (const auto time = record.value(key); time && !time->empty()) {
            last_time_ = *time;
            break;
        }
    }
    const std::string closed = record.value("closed").value_or("");
    if (record.kind == payment_kind) {
        payment_ = record;
    } else if (record.kind == payment_outcome_kind) {
        if (payment_ && payment_->value("seq") == record.value("of")) {
            if (record.value("result") == "taken") paid_game_ = payment_;
            payment_.reset();
        }
        // A call that failed is in doubt as soon as its answer is known to be missing.
        if (record.value("result") == result_in_doubt) {
            ++closed_.payments_in_doubt;
            ++since_game_.payments_in_doubt;
        }
    } else if (record.kind == settled_game_kind || record.kind == unfinished_kind) {
        payment_.reset();
        paid_game_.reset();
        if (record.kind == settled_game_kind) since_game_ = {};
        if (closed == closed_unsettled) {
            ++closed_.games_unsettled;
            ++since_game_.games_unsettled;
        } else if (closed == closed_payment_in_doubt) {
            ++closed_.payments_in_doubt;
            ++since_game_.payments_in_doubt;
        }
    } else if (record.kind == bank_kind) {
        bank_ = record;
    } else if (record.kind == bank_outcome_kind) {
        if (bank_ && bank_->value("seq") == record.value("of")) bank_.reset();
        if (record.value("result") == result_in_doubt) {
            ++closed_.bank_additions_in_doubt;
            ++since_game_.bank_additions_in_doubt;
        }
    }
}

money_counts money_ledger::counts(bool in_flight) const {
    money_counts counts = closed_;
    if (in_flight) {
        if (payment_) ++counts.payments_in_doubt;
        if (paid_game_) ++counts.games_unsettled;
        if (bank_) ++counts.bank_additions_in_doubt;
    }
    return counts;
}

}  // namespace quizhost
