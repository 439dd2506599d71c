#include "recall/game_recall.hpp"

#include <fmt/format.h>

#include <cmath>
#include <deque>
#include <optional>
#include <vector>

#include "basic/date_time.hpp"
#include "basic/numbers.hpp"
#include "basic/text.hpp"
#include "content/weighted_questions.hpp"
#include "host.hpp"
#include "meters/meter_file.hpp"
#include "platform/clock.hpp"
#include "platform/file_system.hpp"
#include "platform/paths.hpp"
#include "recall/recall_format.hpp"
#include "recall/recall_money.hpp"
#include "records/error_log.hpp"
#include "records/text_records.hpp"

namespace quizhost {

std::string recall_file_path(std::string_view system_path) {
    return std::string(system_path) + logs_folder_name + recall_file_name;
}

std::string previous_recall_file_path(std::string_view system_path) {
    return std::string(system_path) + logs_folder_name + previous_recall_file_name;
}

namespace {

std::string recall_time(const date_time& t) {
    return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", t.year, t.month, t.day, t.hour, t.minute, t.second);
}

// The recall never ends a game: its own failure leaves one log line (when even that can be written).
void log_failure(host& h, const run_time_error& error) {
    const std::string detail = error.detail().empty() ? "" : " (" + error.detail() + ")";
    try {
        write_error(h, "*ERROR* Game recall not written: " + error.description() + detail);
    } catch (const run_time_error&) {
    }
}

// Records waiting for a write that failed are kept up to this many; older ones are given up.
constexpr std::size_t unwritten_limit = 1000;

// The game in progress: its events are held here until the game ends.
struct recall_open_game {
    date_time start;
    std::optional<std::string> pay;  // how it was paid, once it was: credit, bank, free, refused, failed
    std::string credit, bank;        // as last answered to the movie when it was paid
    std::string price;               // what the channel was asked for, when it was asked
    std::string answer;              // the channel's answer to a payment it did not take
    std::optional<std::string> start_mode;
    std::vector<std::pair<std::string, std::string>> events;
    std::size_t event_bytes = 0;
    long dropped = 0;
};

}  // namespace

class game_recall {
public:
    void before(host& h, std::string_view command);
    void after(host& h, std::string_view command, std::string_view args, std::string_view answer);
    void failed(host& h, const run_time_error& error);
    void money_intent(host& h, const money_move& move);
    void money_outcome(host& h, std::string_view result, std::string_view answer);
    void close_open_game(host& h, const std::string& why);
    void account_for_last_run(host& h);

private:
    // Declared outside the class: a nested struct with member initialisers is not yet default
    // constructible for std::optional inside its own class (clang's reading of the rule).
    using open_game = recall_open_game;

    open_game& ensure_open(host& h);
    void event(host& h, std::string key, std::string value);
    void close_unfinished(host& h, const std::string& why, bool sync);
    void settle(host& h, std::string_view args);
    void between(host& h, std::string key, std::string value);
    recall_record game_record(std::string_view kind, const open_game& game, host& h) const;

    // Writes the records (after any a failed write left waiting); syncs when asked, or when only a sync
    // is owed. A failure is logged, and what was not appended waits for the next write.
    void write(host& h, std::vector<recall_record> records, bool sync);
    void scan(host& h);
    void append(host& h, std::vector<recall_record>& records, bool sync);
    void write_intent(host& h, std::vector<recall_record> records, std::string_view what);
    recall_record closing_record(host& h, const recall_record& pay, bool in_doubt, std::optional<double> counted);

    std::optional<open_game> game_;
    std::string last_credit_ = "-";
    std::string last_bank_ = "-";

    // What the current file holds, learnt by reading it once before the first write.
    bool scanned_ = false;
    bool ends_with_line_end_ = true;
    long games_in_file_ = 0;
    std::int64_t bytes_in_file_ = 0;
    std::int64_t next_seq_ = 1;
    std::string last_settled_ = "-";
    bool settled_this_run_ = false;
    bool unsynced_ = false;
    std::deque<recall_record> unwritten_;
    // The seq of the newest intent of each kind, for its outcome's "of".
    std::int64_t last_payment_seq_ = 0;
    std::int64_t last_bank_seq_ = 0;
    bool outcome_is_payment_ = true;
    // What the files held in flight when they were read, and the outcome of this command's payment.
    money_ledger ledger_;
    std::optional<std::string> payment_result_;
    std::string payment_answer_;
    std::string pending_price_;
    std::string pending_bank_amount_;
    std::optional<std::string> bank_result_;
};

game_recall::open_game& game_recall::ensure_open(host& h) {
    if (!game_) {
        game_.emplace();
        game_->start = h.io.clock->now();
    }
    return *game_;
}

void game_recall::event(host& h, std::string key, std::string value) {
    open_game& game = ensure_open(h);
    const std::size_t bytes = key.size() + value.size() + 2;
    if (game.event_bytes + bytes > recall_record_limit) {
        ++game.dropped;
        return;
    }
    game.event_bytes += bytes;
    game.events.emplace_back(std::move(key), std::move(value));
}

recall_record game_recall::game_record(std::string_view kind, const open_game& game, host& h) const {
    recall_record record;
    record.kind = std::string(kind);
    record.add("start", recall_time(game.start));
    record.add("end", recall_time(h.io.clock->now()));
    if (game.pay) {
        record.add("pay", *game.pay);
        record.add("credit", game.credit);
        record.add("bank", game.bank);
        if (!game.price.empty()) record.add("price", game.price);
        if (!game.answer.empty()) record.add("answer", game.answer);
    }
    if (game.start_mode) record.add("start_mode", *game.start_mode);
    for (const auto& e : game.events) record.fields.push_back(e);
    if (game.dropped > 0) record.add("dropped", std::to_string(game.dropped));
    return record;
}

void game_recall::close_unfinished(host& h, const std::string& why, bool sync) {
    if (!game_) return;
    recall_record record = game_record(unfinished_kind, *game_, h);
    record.add("ended", why);
    game_.reset();
    write(h, {std::move(record)}, sync);
}

void game_recall::settle(host& h, std::string_view args) {
    open_game& game = ensure_open(h);
    // The figures as the meter update read them.
    const std::string text(args);
    recall_record record = game_record(settled_game_kind, game, h);
    record.add("reached", number_to_text(leading_number(get_field(text, 0))));
    record.add("prize", number_to_text(leading_number(get_field(text, 1))));
    record.add("flags", number_to_text(leading_number(get_field(text, 2))) + "," +
                            number_to_text(leading_number(get_field(text, 3))));
    record.add("mode", number_to_text(h.money.game_mode));
    game_.reset();
    // The game's number is the count the meter file has just made.
    std::string number = "-";
    try {
        number = number_to_text(get_games_played(h));
    } catch (const run_time_error&) {
        // The record is kept without its number; the numbering shows the gap.
    }
    record.fields.insert(record.fields.begin(), {"no", number});
    last_settled_ = number;
    settled_this_run_ = true;
    write(h, {std::move(record)}, true);
}

void game_recall::between(host& h, std::string key, std::string value) {
    recall_record record;
    record.kind = std::string(between_kind);
    record.add("at", recall_time(h.io.clock->now()));
    record.add("after", "");  // the last game settled, filled in once the file has been read
    record.add(std::move(key), std::move(value));
    write(h, {std::move(record)}, false);
}

void game_recall::before(host& h, std::string_view command) {
    // "CLOSE_ALL" never returns: what is open or unsynced is written first.
    if (command == "CLOSE_ALL") {
        if (game_) {
            close_unfinished(h, "CLOSE_ALL", true);
        } else if (unsynced_ || !unwritten_.empty()) {
            write(h, {}, true);
        }
    }
}

void game_recall::after(host& h, std::string_view command, std::string_view args, std::string_view answer) {
    const std::string text(args);
    if (command == "GET_CREDIT") {
        last_credit_ = std::string(answer);
    } else if (command == "GET_BANK") {
        last_bank_ = std::string(answer);
    } else if (command == "USE_CREDIT" || command == "FREE_GAME") {
        // A payment's intent has closed a game paid before; one that asked nothing closes it here.
        if (game_ && game_->pay) close_unfinished(h, "paid again before it was settled", true);
        open_game& game = ensure_open(h);
        // What the channel did, not what the movie asked.
        if (payment_result_ && *payment_result_ != "taken") {
            game.pay = *payment_result_;
            game.answer = payment_answer_;
        } else if (command == "FREE_GAME") {
            game.pay = "free";
        } else if (h.credit.last_price_source == "none") {
            game.pay = "refused";
            game.answer = "not asked: the credit was short of the price";
        } else {
            game.pay = h.credit.last_price_source;
        }
        game.price = !pending_price_.empty() ? pending_price_
                                             : number_to_text(command == "FREE_GAME" ? 0 : h.money.price_per_play);
        pending_price_.clear();
        game.credit = last_credit_;
        game.bank = last_bank_;
        payment_result_.reset();
        payment_answer_.clear();
    } else if (command == "START_GAME") {
        if (game_ && game_->start_mode) close_unfinished(h, "started again before it was settled", true);
        open_game& game = ensure_open(h);
        game.start = h.money.game_start_time.value_or(h.io.clock->now());
        game.start_mode = number_to_text(h.money.game_mode);
    } else if (command == "GET_WINPLAN") {
        event(h, "plan", std::string(answer));
    } else if (command == "GET_LIVES") {
        event(h, "lives", std::string(answer));
    } else if (command == "GET_QUESTION") {
        const auto& q = h.content.last_question;
        // The table row the question came from, rounded as the draw rounded it ("5.4" is row 5).
        const auto row = round_to_int32_if_in_range(leading_number(get_field(text, 0)));
        event(h, "q",
              fmt::format("{},{},{},data_{}_{}.dat,{},{:08x}", row ? std::to_string(*row) : std::string("-"),
                          q.difficulty, q.set, q.difficulty, q.set, q.line, recall_checksum(q.enciphered)));
    } else if (command == "ANSWERED") {
        // Parsed as the settlement did, which has just accepted it.
        const double difficulty = std::floor(strict_number(get_field(text, 0)));
        const bool correct = std::floor(strict_number(get_field(text, 1))) == 1;
        event(h, "a", number_to_text(difficulty) + "," + (correct ? "1" : "0"));
    } else if (command == "UPDATE_METERS") {
        settle(h, args);
    } else if (command == "ADD_TO_BANK" || command == "ADD_TO_HISCORES") {
        std::string key, value;
        if (command == "ADD_TO_BANK") {
            // The amount as the channel was sent it, and what it answered when it did not add it.
            key = "bank+";
            value = pending_bank_amount_.empty() ? number_to_text(leading_number(text)) : pending_bank_amount_;
            if (bank_result_ && *bank_result_ != "added") value += "," + *bank_result_;
            pending_bank_amount_.clear();
            bank_result_.reset();
        } else {
            // The name as the table stores it; the player's code and details are not the recall's business.
            std::string name(get_field(text, 0));
            if (name.empty()) name = "AAA";
            key = "hiscore";
            value = std::string(answer) + "," + number_to_text(leading_number(get_field(text, 2))) + "," + name;
        }
        if (game_) {
            event(h, std::move(key), std::move(value));
        } else {
            between(h, std::move(key), std::move(value));
        }
    } else if (command == "RESET_FLASH_GAME") {
        if (game_) {
            close_unfinished(h, "RESET_FLASH_GAME", true);
        } else if (unsynced_ || !unwritten_.empty()) {
            write(h, {}, true);
        }
    }
}

void game_recall::failed(host& h, const run_time_error& error) {
    // A payment whose call failed is kept with the game it was for.
    if (payment_result_) {
        open_game& game = ensure_open(h);
        game.pay = *payment_result_;
        game.answer = payment_answer_;
        game.price = pending_price_;
        game.credit = last_credit_;
        game.bank = last_bank_;
        payment_result_.reset();
    }
    if (game_) {
        close_unfinished(h, "fatal error " + std::to_string(error.number()) + " - " + error.description(), true);
    } else if (unsynced_ || !unwritten_.empty()) {
        write(h, {}, true);
    }
}

void game_recall::scan(host& h) {
    file_system& fs = *h.io.files;
    const std::string current = recall_file_path(h.start.system_path);
    const std::string previous = previous_recall_file_path(h.start.system_path);
    games_in_file_ = 0;
    bytes_in_file_ = 0;
    ends_with_line_end_ = true;
    ledger_ = {};
    std::int64_t last_seq = 0;
    auto read = [&](const std::string& path, bool is_current) {
        if (!fs.file_exists(path)) return;
        const std::string bytes = read_bounded_file(fs, path, recall_read_limit);
        if (is_current) {
            bytes_in_file_ = static_cast<std::int64_t>(bytes.size());
            ends_with_line_end_ = bytes.empty() || bytes.back() == '\n';
        }
        std::string why;
        for (std::string_view line : split_views(bytes, '\n')) {
            if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            const auto record = parse_recall_record(line, why);
            if (!record) continue;
            ledger_.take(*record);
            if (const auto seq = record->value("seq"))
                last_seq = std::max<std::int64_t>(last_seq, static_cast<std::int64_t>(leading_number(*seq)));
            if (record->kind == settled_game_kind) {
                if (is_current) ++games_in_file_;
                // The files know the last game settled only until this run has settled one.
                if (const auto no = record->value("no"); no && !settled_this_run_) last_settled_ = *no;
            }
        }
    };
    read(previous, false);
    read(current, true);
    next_seq_ = last_seq + 1;
    scanned_ = true;
}

void game_recall::append(host& h, std::vector<recall_record>& records, bool sync) {
    file_system& fs = *h.io.files;
    const std::string path = recall_file_path(h.start.system_path);
    if (!scanned_) scan(h);

    if (games_in_file_ >= recall_games_per_file || bytes_in_file_ >= recall_file_size_limit) {
        // The full file becomes the previous one, replacing the one before it.
        const std::string previous = previous_recall_file_path(h.start.system_path);
        if (unsynced_) fs.sync_file(path);
        fs.rename_file(path, previous);
        fs.sync_folder(folder_of(path));
        games_in_file_ = 0;
        bytes_in_file_ = 0;
        ends_with_line_end_ = true;
        unsynced_ = false;
    }

    // A record cut short at the end of the file (a power cut) gets its own line, so the next one is whole.
    std::string bytes = ends_with_line_end_ ? "" : "\r\n";
    long games = 0;
    std::int64_t seq = next_seq_;
    for (const recall_record& record : records) {
        recall_record numbered;
        numbered.kind = record.kind;
        numbered.add("seq", std::to_string(seq++));
        for (const auto& [key, value] : record.fields) {
            numbered.add(key, key == "after" && value.empty() ? last_settled_ : value);
        }
        if (record.kind == payment_kind) last_payment_seq_ = seq - 1;
        if (record.kind == bank_kind) last_bank_seq_ = seq - 1;
        if (record.kind == settled_game_kind) ++games;
        bytes += format_recall_record(numbered) + "\r\n";
    }

    if (!fs.file_exists(path)) {
        // A new file: its data and its name in the folder are made durable together.
        fs.write_file(path, bytes);
        records.clear();
        unsynced_ = true;
        fs.sync_file(path);
        fs.sync_folder(folder_of(path));
        sync = false;
        unsynced_ = false;
    } else if (!bytes.empty()) {
        // From here a failure may have left part of the bytes in the file.
        ends_with_line_end_ = false;
        fs.append_to_file(path, bytes);
        unsynced_ = true;
    }
    ends_with_line_end_ = true;
    next_seq_ = seq;
    games_in_file_ += games;
    bytes_in_file_ += static_cast<std::int64_t>(bytes.size());
    records.clear();
    if (sync && unsynced_) {
        fs.sync_file(path);
        unsynced_ = false;
    }
}

void game_recall::write(host& h, std::vector<recall_record> records, bool sync) {
    std::vector<recall_record> all(std::make_move_iterator(unwritten_.begin()),
                                   std::make_move_iterator(unwritten_.end()));
    unwritten_.clear();
    for (auto& record : records) all.push_back(std::move(record));
    try {
        append(h, all, sync);
    } catch (const run_time_error& error) {
        // What was not appended waits; the next write reads the file again to learn how it ends.
        for (auto& record : all) unwritten_.push_back(std::move(record));
        while (unwritten_.size() > unwritten_limit) unwritten_.pop_front();
        scanned_ = false;
        log_failure(h, error);
    }
}

// ---- Money ----

namespace {

// The detail of a failure to write an intent: what did not happen, then why.
run_time_error no_money_moved(const run_time_error& error, std::string_view what) {
    const std::string why = error.detail().empty() ? error.description() : error.detail();
    return run_time_error(
        error.number(), error.description(),
        "no money moved: the game recall could not record the " + std::string(what) + " before it (" + why + ")");
}

std::string game_number_to_be(host& h) {
    try {
        return number_to_text(get_games_played(h) + 1);
    } catch (const run_time_error&) {
        return "-";
    }
}

}  // namespace

void game_recall::write_intent(host& h, std::vector<recall_record> records, std::string_view what) {
    std::vector<recall_record> all(std::make_move_iterator(unwritten_.begin()),
                                   std::make_move_iterator(unwritten_.end()));
    unwritten_.clear();
    const std::size_t waiting = all.size();
    for (auto& record : records) all.push_back(std::move(record));
    try {
        append(h, all, true);
    } catch (const run_time_error& error) {
        // What waited before goes on waiting; the intent itself is not kept for a later write, since no
        // money moves without it.
        for (std::size_t i = 0; i < all.size() && i < waiting; ++i) unwritten_.push_back(std::move(all[i]));
        scanned_ = false;
        const run_time_error failure = no_money_moved(error, what);
        try {
            write_error(h, "*ERROR* No money moved: the game recall could not record the " + std::string(what) +
                               " before it (" + (error.detail().empty() ? error.description() : error.detail()) + ")");
        } catch (const run_time_error&) {
        }
        throw failure;
    }
}

void game_recall::money_intent(host& h, const money_move& move) {
    recall_record record;
    record.kind = std::string(move.kind);
    record.add("at", recall_time(h.io.clock->now()));
    if (move.kind == payment_kind) {
        // A game paid before and never settled ends here, in the same write as the new payment's intent.
        std::vector<recall_record> records;
        if (game_ && game_->pay) {
            recall_record closed = game_record(unfinished_kind, *game_, h);
            closed.add("ended", "paid again before it was settled");
            game_.reset();
            records.push_back(std::move(closed));
        }
        record.add("game", game_number_to_be(h));
        record.add("channel", move.channel);
        record.add("call", move.call);
        record.add("price", move.amount);
        pending_price_ = move.amount;
        record.add("credit", move.credit.empty() ? last_credit_ : move.credit);
        record.add("bank", last_bank_);
        records.push_back(std::move(record));
        payment_result_.reset();
        payment_answer_.clear();
        write_intent(h, std::move(records), "payment");
        outcome_is_payment_ = true;
        return;
    }
    record.add("channel", move.channel);
    record.add("call", move.call);
    record.add("amount", move.amount);
    if (game_) {
        record.add("game", game_number_to_be(h));
    } else {
        record.add("after", "");
    }
    bank_result_.reset();
    std::vector<recall_record> records;
    records.push_back(std::move(record));
    write_intent(h, std::move(records), "bank addition");
    pending_bank_amount_ = move.amount;
    outcome_is_payment_ = false;
}

void game_recall::money_outcome(host& h, std::string_view result, std::string_view answer) {
    // The outcome of the newest intent: a payment's while the command that pays runs, else a bank's.
    const bool payment = outcome_is_payment_;
    recall_record record;
    record.kind = std::string(payment ? payment_outcome_kind : bank_outcome_kind);
    record.add("at", recall_time(h.io.clock->now()));
    record.add("of", std::to_string(payment ? last_payment_seq_ : last_bank_seq_));
    record.add("result", std::string(result));
    record.add("answer", std::string(answer));
    if (payment) {
        payment_result_ = std::string(result);
        payment_answer_ = std::string(answer);
    } else {
        bank_result_ = std::string(result);
    }
    write(h, {std::move(record)}, false);
}

void game_recall::close_open_game(host& h, const std::string& why) {
    if (game_) {
        close_unfinished(h, why, true);
    } else if (unsynced_ || !unwritten_.empty()) {
        write(h, {}, true);
    }
}

namespace {

std::string channel_name(std::string_view channel) {
    if (channel == "shell") return "the cabinet shell";
    if (channel == "socket") return "the credit service";
    if (channel == "library") return "the credit library";
    return std::string(channel);
}

// "2026-12-07 14:05:09" as the log shows a moment, "07/12/2026 14:05:09".
std::string log_time(const std::string& recall_time_text) {
    if (recall_time_text.size() != 19) return recall_time_text;
    return recall_time_text.substr(8, 2) + "/" + recall_time_text.substr(5, 2) + "/" + recall_time_text.substr(0, 4) +
           recall_time_text.substr(10);
}

}  // namespace

recall_record game_recall::closing_record(host&, const recall_record& pay, bool in_doubt,
                                          std::optional<double> counted) {
    recall_record record;
    record.kind = std::string(counted ? settled_game_kind : unfinished_kind);
    if (counted) record.add("no", number_to_text(*counted));
    record.add("start", pay.value("at").value_or("-"));
    record.add("end", ledger_.last_time());
    record.add("pay", in_doubt ? std::string(result_in_doubt) : std::string("credit"));
    record.add("credit", pay.value("credit").value_or("-"));
    record.add("bank", pay.value("bank").value_or("-"));
    record.add("price", pay.value("price").value_or("-"));
    record.add("game", pay.value("game").value_or("-"));
    record.add("channel", pay.value("channel").value_or("-"));
    record.add("call", pay.value("call").value_or("-"));
    if (counted) {
        record.add("ended", "the host ended before the game's record was written; the meters counted it");
        record.add("closed", std::string(closed_counted));
    } else {
        record.add("ended", std::string(ended_before_settled));
        record.add("closed", std::string(in_doubt ? closed_payment_in_doubt : closed_unsettled));
    }
    return record;
}

void game_recall::account_for_last_run(host& h) {
    scan(h);
    if (!ledger_.anything_in_flight()) {
        // Read again at the first write, as a host that found nothing to close always has.
        scanned_ = false;
        return;
    }
    std::vector<recall_record> records;
    std::vector<std::string> lines;
    const std::string at = log_time(ledger_.last_time());
    if (const auto& bank = ledger_.bank_in_doubt()) {
        recall_record record;
        record.kind = std::string(bank_outcome_kind);
        record.add("at", ledger_.last_time());
        record.add("of", bank->value("seq").value_or("-"));
        record.add("result", std::string(result_in_doubt));
        record.add("answer", "none recorded: the host ended first");
        for (const char* key : {"channel", "call", "amount"}) record.add(key, bank->value(key).value_or("-"));
        records.push_back(std::move(record));
        lines.push_back("*ERROR* Bank addition in doubt: " + bank->value("amount").value_or("-") + " credits sent to " +
                        channel_name(bank->value("channel").value_or("")) + " (" + bank->value("call").value_or("-") +
                        "), the host ended before its answer was recorded (last record " + at + "); check the bank");
    }
    const auto& doubt = ledger_.payment_in_doubt();
    const auto& unsettled = ledger_.game_unsettled();
    if (doubt || unsettled) {
        const recall_record& pay = doubt ? *doubt : *unsettled;
        const std::string number = pay.value("game").value_or("-");
        std::optional<double> counted;
        if (number != "-") {
            // The meters count a game before its record is written: a kill or a power cut between the two
            // leaves the game counted (its payment's answer may be lost with the record), and its number
            // shows it.
            try {
                if (get_games_played(h) >= leading_number(number)) counted = leading_number(number);
            } catch (const run_time_error&) {
            }
        }
        records.push_back(closing_record(h, pay, doubt.has_value(), counted));
        const std::string price = pay.value("price").value_or("-");
        const std::string channel = channel_name(pay.value("channel").value_or(""));
        if (counted) {
            lines.push_back("*ERROR* Game " + number + " was counted by the meters but the host ended before its " +
                            "recall record was written (last record " + at + ")" +
                            (doubt ? "; its payment's answer was not recorded" : ""));
        } else if (doubt) {
            lines.push_back("*ERROR* Payment in doubt: " + price + " credits asked of " + channel + " (" +
                            pay.value("call").value_or("-") + ") for game " + number +
                            ", the host ended before its answer was recorded (last record " + at +
                            "); check the credit");
        } else {
            lines.push_back("*ERROR* Game paid and not settled: " + price + " credits taken by " + channel +
                            " for game " + number + ", " + std::string(ended_before_settled) + " (last record " + at +
                            ")");
        }
    }
    // Written and synced before the first game command; a failure ends the start-up.
    for (const auto& record : records) ledger_.take(record);
    std::vector<recall_record> all(std::make_move_iterator(unwritten_.begin()),
                                   std::make_move_iterator(unwritten_.end()));
    unwritten_.clear();
    for (auto& record : records) all.push_back(std::move(record));
    append(h, all, true);
    for (const auto& line : lines) write_error(h, line);
}

// ---- The dispatcher's hook ----

namespace {

game_recall& recall_of(host& h) {
    if (!h.recall) h.recall = std::make_shared<game_recall>();
    return *h.recall;
}

template <typename Step>
void guarded(host& h, Step&& step) {
    try {
        step(recall_of(h));
    } catch (const run_time_error& error) {
        log_failure(h, error);
    }
}

}  // namespace

void recall_before_command(host& h, std::string_view command) {
    guarded(h, [&](game_recall& recall) { recall.before(h, command); });
}

void recall_after_command(host& h, std::string_view command, std::string_view args, std::string_view answer) {
    guarded(h, [&](game_recall& recall) { recall.after(h, command, args, answer); });
}

void recall_command_failed(host& h, const run_time_error& error) {
    guarded(h, [&](game_recall& recall) { recall.failed(h, error); });
}

void recall_money_intent(host& h, const money_move& move) { recall_of(h).money_intent(h, move); }

void recall_money_outcome(host& h, std::string_view result, std::string_view answer) {
    guarded(h, [&](game_recall& recall) { recall.money_outcome(h, result, answer); });
}

void recall_close_open_game(host& h, const std::string& why) {
    guarded(h, [&](game_recall& recall) { recall.close_open_game(h, why); });
}

void recall_account_for_last_run(host& h) { recall_of(h).account_for_last_run(h); }

}  // namespace quizhost
