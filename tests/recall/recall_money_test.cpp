// Money in the game recall: the intent written and synced before the credit channel is asked, the
// channel's own answer after it, what a start-up finds in flight and how it closes it, old recall files,
// and what `quizhost recall`, `quizhost check`'s warnings and the metrics show of it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "basic/numbers.hpp"
#include "content/encryption.hpp"
#include "definitions.hpp"
#include "forms/form_main.hpp"
#include "forms/runtime.hpp"
#include "recall/game_recall.hpp"
#include "recall/recall_format.hpp"
#include "recall/recall_money.hpp"
#include "recall/recall_report.hpp"
#include "records/text_records.hpp"
#include "support/power_cut_file_system.hpp"
#include "support/test_host.hpp"

namespace quizhost::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

const std::string root = "/cab";
const std::string system_path = root + "/system/";
const std::string recall_path = root + "/system/logs/recall.txt";
const std::string log_path = root + "/system/logs/log.txt";
const std::string meter_path = root + "/system/logs/meter.txt";

// A file system that fails every write to the game recall once told to, as a full disk does to the file
// that grows; the log still takes its lines.
class refusing_file_system final : public file_system_wrapper {
public:
    using file_system_wrapper::file_system_wrapper;
    bool refuse = false;
    void append_to_file(const std::string& path, std::string_view bytes) override {
        check(path), target().append_to_file(path, bytes);
    }
    void write_file(const std::string& path, std::string_view bytes) override {
        check(path), target().write_file(path, bytes);
    }
    void sync_file(const std::string& path) override { check(path), target().sync_file(path); }

private:
    int check(const std::string& path) const {
        if (refuse && path.find("recall") != std::string::npos)
            throw run_time_error(path_file_access_error, "Path/File access error", "read-only: " + path);
        return 0;
    }
};

// A cabinet whose files live in a power-cut model, so a test can see what was durable when.
struct money_cabinet {
    money_cabinet() {
        disk.create_folder(root);
        disk.create_folder(root + "/data");
        for (int d = 1; d <= 4; ++d) {
            for (int s = 1; s <= 2; ++s) {
                std::string bytes;
                for (int line = 1; line <= 10; ++line)
                    bytes += encrypt_string("Q" + std::to_string(line) + "?~A~B~C~D~1", question_key) + "\r\n";
                disk.write_file(root + "/data/data_" + std::to_string(d) + "_" + std::to_string(s) + ".dat", bytes);
            }
        }
        disk.sync_everything();
    }
    // One run of the host on the disk as it is now.
    struct run {
        explicit run(file_system& fs) {
            t.host.io.files = &fs;
            t.host.program_folder = root;
            t.credit->credit = 1000;
            t.credit->bank = 0;
            start_program(t.host);
            raise_fscommand(t.host, "INTRO_END", "");
        }
        void fs(const std::string& name, const std::string& args = "") { raise_fscommand(t.host, name, args); }
        test_host t;
    };
    std::vector<recall_record> records() {
        std::vector<recall_record> out;
        for (auto& r : read_recall_files(disk, system_path).records) out.push_back(r.record);
        return out;
    }
    std::vector<std::string> kinds() {
        std::vector<std::string> out;
        for (const auto& r : records()) out.push_back(r.kind);
        return out;
    }
    std::string report(int* status = nullptr) {
        std::ostringstream out, err;
        recall_options options;
        options.root = root;
        const int s = run_recall_report(disk, options, out, err);
        if (status) *status = s;
        return out.str();
    }
    power_cut_file_system disk;
};

// ---- The records of money as it moves ----

TEST(RecallMoney, APaymentAndAPrizeAreEachWrittenDownBeforeAndAfterTheChannelMovesThem) {
    money_cabinet cab;
    money_cabinet::run host(cab.disk);
    host.fs("GET_CREDIT");
    host.fs("GET_BANK");
    // The intent is durable at the moment the channel is asked: a power cut right after the call finds it.
    const auto before_pay = cab.disk.after_power_cut();
    host.fs("USE_CREDIT");
    {
        auto cut = cab.disk.after_power_cut();
        const auto records = read_recall_files(*cut, system_path).records;
        ASSERT_GE(records.size(), 1u);
        EXPECT_EQ(records.front().record.kind, "pay");
    }
    host.fs("START_GAME");
    host.fs("UPDATE_METERS", "1,100,0,0");
    host.fs("ADD_TO_BANK", "99.5");
    EXPECT_EQ(host.t.credit->calls, (std::vector<std::string>{"cget", "bget", "cuse 50", "badd 100"}));

    const auto records = cab.records();
    ASSERT_EQ(cab.kinds(), (std::vector<std::string>{"pay", "paid", "game", "bank", "banked", "between"}));
    const recall_record& pay = records[0];
    EXPECT_EQ(pay.value("game"), "1");
    EXPECT_EQ(pay.value("channel"), "library");
    EXPECT_EQ(pay.value("call"), "cuse 50");
    EXPECT_EQ(pay.value("price"), "50");
    EXPECT_EQ(pay.value("credit"), "1000");
    EXPECT_EQ(pay.value("bank"), "0");
    EXPECT_EQ(records[1].value("of"), pay.value("seq"));
    EXPECT_EQ(records[1].value("result"), "taken");
    EXPECT_EQ(records[1].value("answer"), "0");
    EXPECT_EQ(records[2].value("pay"), "credit");
    EXPECT_EQ(records[2].value("price"), "50");
    // The amount as the library was sent it: rounded to a whole number, halves to even.
    EXPECT_EQ(records[3].value("amount"), "100");
    EXPECT_EQ(records[3].value("call"), "badd 100");
    EXPECT_EQ(records[3].value("after"), "1");
    EXPECT_EQ(records[4].value("of"), records[3].value("seq"));
    EXPECT_EQ(records[4].value("result"), "added");
    EXPECT_EQ(records[5].value("bank+"), "100");
}

TEST(RecallMoney, AnIntentThatCannotBeWrittenMovesNoMoneyAndEndsTheCommandThroughTheFatalPath) {
    for (const char* command : {"USE_CREDIT", "ADD_TO_BANK"}) {
        test_host t;
        refusing_file_system fs(*t.files);
        t.host.io.files = &fs;
        t.credit->credit = 1000;
        start_program(t.host);
        raise_fscommand(t.host, "INTRO_END", "");
        // A line in the log first, while the disk still takes one: the fatal line must follow it.
        fs.refuse = true;
        std::string detail;
        try {
            raise_fscommand(t.host, command, "100");
            ADD_FAILURE() << command << " went on";
        } catch (const fatal_exit& exit) {
            detail = exit.detail;
        }
        // The log says so, and the operator is told why beside the fatal line.
        EXPECT_THAT(detail, HasSubstr("no money moved: the game recall could not record the")) << command;
        EXPECT_THAT(detail, HasSubstr("read-only")) << command;
        const std::string log = t.read("system/logs/log.txt");
        EXPECT_THAT(log, HasSubstr("*ERROR* No money moved: the game recall could not record the")) << command;
        EXPECT_THAT(log, HasSubstr("ERROR! 75 - Path/File access error.  Game Terminated.")) << command;
        const std::string money_call = command == std::string("USE_CREDIT") ? "cuse" : "badd";
        for (const auto& call : t.credit->calls) EXPECT_EQ(call.find(money_call), std::string::npos) << call;
        EXPECT_EQ(t.credit->credit, 1000) << command;
        EXPECT_EQ(t.credit->bank, 0) << command;
    }
}

TEST(RecallMoney, TheRecallShowsWhatTheChannelDidNotWhatTheMovieAsked) {
    money_cabinet cab;
    {
        money_cabinet::run host(cab.disk);
        host.fs("USE_CREDIT");
        host.fs("START_GAME");
        host.t.draws.queue(0.5);
        host.t.draws.queue(0.1);
        host.fs("GET_QUESTION", "5.4,T");
        host.fs("ANSWERED", "1,1");
        host.fs("UPDATE_METERS", "1,300,0,0");
        // The prize settled was 300; the movie adds 250.
        host.fs("ADD_TO_BANK", "250");
        host.fs("USE_CREDIT");
        host.fs("UPDATE_METERS", "1,100,0,0");
        host.fs("ADD_TO_BANK", "100");
        EXPECT_THROW(host.fs("CLOSE_ALL"), program_exit);
    }
    const auto records = cab.records();
    bool found = false;
    for (const auto& r : records) {
        if (r.kind == "game" && r.value("no") == "1") {
            found = true;
            // The row the draw used: 5.4 is row 5.
            ASSERT_TRUE(r.value("q"));
            EXPECT_EQ(r.value("q")->substr(0, 2), "5,");
        }
    }
    EXPECT_TRUE(found);
    const std::string report = cab.report();
    EXPECT_THAT(report, HasSubstr("Question 5 "));
    EXPECT_THAT(report,
                HasSubstr("the prize settled (300 credits) differs from what was added to the bank (250 credits)"));
    EXPECT_THAT(report, Not(HasSubstr("the prize settled (100 credits)")));
}

// ---- What a start-up finds in flight ----

// Appends records as a run that ended at once would have left them.
void left_behind(power_cut_file_system& disk, const std::vector<recall_record>& records) {
    std::string bytes = disk.file_exists(recall_path) ? disk.contents(recall_path) : "";
    for (const auto& r : records) bytes += format_recall_record(r) + "\r\n";
    disk.write_file(recall_path, bytes);
    disk.sync_everything();
}

recall_record pay_record(int seq, const std::string& game) {
    return {"pay",
            {{"seq", std::to_string(seq)},
             {"at", "2026-12-07 14:05:09"},
             {"game", game},
             {"channel", "library"},
             {"call", "cuse 50"},
             {"price", "50"},
             {"credit", "1000"},
             {"bank", "0"}}};
}
recall_record paid_record(int seq, int of) {
    return {"paid",
            {{"seq", std::to_string(seq)},
             {"at", "2026-12-07 14:05:10"},
             {"of", std::to_string(of)},
             {"result", "taken"},
             {"answer", "0"}}};
}
recall_record bank_record(int seq) {
    return {"bank",
            {{"seq", std::to_string(seq)},
             {"at", "2026-12-07 14:06:00"},
             {"channel", "library"},
             {"call", "badd 300"},
             {"amount", "300"},
             {"after", "-"}}};
}

std::vector<std::string> log_lines_with(power_cut_file_system& disk, const std::string& text) {
    std::vector<std::string> found;
    const std::string log = disk.contents(log_path);  // held: the lines are views into it
    for (auto line : split_lines(log)) {
        if (std::string(line).find(text) != std::string::npos) found.emplace_back(line);
    }
    return found;
}

TEST(RecallStartUp, APaymentWithoutItsAnswerIsClosedInDoubtOnceWithALogLine) {
    money_cabinet cab;
    { money_cabinet::run first(cab.disk); }
    left_behind(cab.disk, {pay_record(1, "1")});
    EXPECT_EQ(recall_money_summary(cab.disk, system_path)->payments_in_doubt, 1);
    EXPECT_THAT(recall_money_warnings(cab.disk, system_path), ElementsAre(HasSubstr("in doubt")));
    int status = -1;
    EXPECT_THAT(cab.report(&status), HasSubstr("in flight at the end of the recall: a payment of 50 credits"));

    { money_cabinet::run second(cab.disk); }
    const auto records = cab.records();
    ASSERT_EQ(cab.kinds(), (std::vector<std::string>{"pay", "unfinished"}));
    const recall_record& closed = records[1];
    EXPECT_EQ(closed.value("closed"), "payment in doubt");
    EXPECT_EQ(closed.value("pay"), "in doubt");
    EXPECT_EQ(closed.value("ended"), "the host ended before it was settled");
    EXPECT_EQ(closed.value("start"), "2026-12-07 14:05:09");
    // Closed with the time of the last record, not of the start-up.
    EXPECT_EQ(closed.value("end"), "2026-12-07 14:05:09");
    EXPECT_THAT(log_lines_with(cab.disk, "*ERROR* Payment in doubt"),
                ElementsAre(HasSubstr("50 credits asked of the credit library (cuse 50) for game 1")));

    const std::string report = cab.report();
    EXPECT_THAT(report, HasSubstr("Unfinished game"));
    EXPECT_THAT(report, HasSubstr("the host ended before it was settled"));
    EXPECT_THAT(report, HasSubstr("USE_CREDIT in doubt: 50 credits asked"));
    EXPECT_THAT(report, Not(HasSubstr("in flight")));
    // Counted once, now closed; the warning says what the last start closed.
    EXPECT_EQ(recall_money_summary(cab.disk, system_path)->payments_in_doubt, 1);
    EXPECT_THAT(recall_money_warnings(cab.disk, system_path),
                ElementsAre(HasSubstr("the last start closed 0 game(s) paid and not settled, 1 payment(s)")));

    // A further start finds nothing more to close.
    { money_cabinet::run third(cab.disk); }
    EXPECT_EQ(cab.records().size(), 2u);
    EXPECT_EQ(log_lines_with(cab.disk, "*ERROR* Payment in doubt").size(), 1u);
}

TEST(RecallStartUp, AGamePaidAndNotSettledIsClosedUnsettledAndAPrizeSentWithoutAnswerInDoubt) {
    money_cabinet cab;
    { money_cabinet::run first(cab.disk); }
    left_behind(cab.disk, {pay_record(1, "1"), paid_record(2, 1), bank_record(3)});
    const auto summary = recall_money_summary(cab.disk, system_path);
    EXPECT_EQ(summary->games_unsettled, 1);
    EXPECT_EQ(summary->bank_additions_in_doubt, 1);
    EXPECT_EQ(recall_money_warnings(cab.disk, system_path).size(), 2u);

    { money_cabinet::run second(cab.disk); }
    const auto records = cab.records();
    ASSERT_EQ(cab.kinds(), (std::vector<std::string>{"pay", "paid", "bank", "banked", "unfinished"}));
    EXPECT_EQ(records[3].value("of"), "3");
    EXPECT_EQ(records[3].value("result"), "in doubt");
    EXPECT_EQ(records[3].value("amount"), "300");
    EXPECT_EQ(records[4].value("closed"), "unsettled");
    EXPECT_EQ(records[4].value("pay"), "credit");
    EXPECT_EQ(records[4].value("end"), "2026-12-07 14:06:00");
    EXPECT_EQ(log_lines_with(cab.disk, "*ERROR* Game paid and not settled").size(), 1u);
    EXPECT_EQ(log_lines_with(cab.disk, "*ERROR* Bank addition in doubt").size(), 1u);
    const std::string report = cab.report();
    EXPECT_THAT(report, HasSubstr("ADD_TO_BANK in doubt"));
    EXPECT_THAT(report, HasSubstr("the host ended before it was settled"));
    const auto after = recall_money_summary(cab.disk, system_path);
    EXPECT_EQ(after->games_unsettled, 1);
    EXPECT_EQ(after->bank_additions_in_doubt, 1);
    EXPECT_EQ(after->payments_in_doubt, 0);
}

TEST(RecallStartUp, AGameTheMetersCountedBeforeItsRecordWasWrittenIsRecordedAsCounted) {
    money_cabinet cab;
    {
        money_cabinet::run first(cab.disk);
        first.fs("UPDATE_METERS", "1,-1,0,0");  // the meters count game 1 with no record of its payment
    }
    left_behind(cab.disk, {pay_record(10, "1"), paid_record(11, 10)});
    { money_cabinet::run second(cab.disk); }
    const auto records = cab.records();
    ASSERT_FALSE(records.empty());
    const recall_record& closed = records.back();
    EXPECT_EQ(closed.kind, "game");
    EXPECT_EQ(closed.value("no"), "1");
    EXPECT_EQ(closed.value("closed"), "counted");
    EXPECT_EQ(recall_money_summary(cab.disk, system_path)->games_unsettled, 0);
    EXPECT_THAT(cab.report(), HasSubstr("counted by the meters as game 1"));
}

TEST(RecallStartUp, ARecallOfEarlierVersionsReadsAsItDidAndClosesNothing) {
    money_cabinet cab;
    { money_cabinet::run first(cab.disk); }
    // Records as hosts before the money records wrote them.
    left_behind(cab.disk, {{"game",
                            {{"seq", "1"},
                             {"no", "1"},
                             {"start", "2026-12-07 14:05:09"},
                             {"end", "2026-12-07 14:06:09"},
                             {"pay", "credit"},
                             {"credit", "150"},
                             {"bank", "0"},
                             {"reached", "1"},
                             {"prize", "-1"},
                             {"flags", "0,0"},
                             {"mode", "3"}}},
                           {"unfinished",
                            {{"seq", "2"},
                             {"start", "2026-12-07 14:07:00"},
                             {"end", "2026-12-07 14:07:30"},
                             {"pay", "none"},
                             {"credit", "10"},
                             {"bank", "0"},
                             {"ended", "CLOSE_ALL"}}}});
    const std::string before = cab.report();
    EXPECT_THAT(before, HasSubstr("Game 1"));
    EXPECT_THAT(before, HasSubstr("USE_CREDIT, nothing taken (the credit was short)"));
    EXPECT_THAT(before, HasSubstr("by CLOSE_ALL"));
    EXPECT_EQ(recall_money_summary(cab.disk, system_path)->games_unsettled, 0);
    EXPECT_THAT(recall_money_warnings(cab.disk, system_path), IsEmpty());
    {
        money_cabinet::run second(cab.disk);
        second.fs("USE_CREDIT");
    }
    // Nothing closed at the start; the numbering goes on after the old records.
    const auto records = cab.records();
    ASSERT_EQ(cab.kinds(), (std::vector<std::string>{"game", "unfinished", "pay", "paid"}));
    EXPECT_EQ(records[2].value("seq"), "3");
    EXPECT_EQ(records[2].value("game"), "1");  // this fresh meter file has counted no game
}

TEST(RecallStartUp, ClosingRecordsThatCannotBeWrittenEndTheStartUp) {
    money_cabinet cab;
    { money_cabinet::run first(cab.disk); }
    left_behind(cab.disk, {pay_record(1, "1")});
    test_host t;
    refusing_file_system fs(cab.disk);
    t.host.io.files = &fs;
    t.host.program_folder = root;
    start_program(t.host);
    fs.refuse = true;
    EXPECT_THROW(raise_fscommand(t.host, "INTRO_END", ""), program_exit);
    EXPECT_EQ(cab.kinds(), (std::vector<std::string>{"pay"}));
}

// ---- The ledger on its own ----

TEST(RecallLedger, AnAnswerClosesOnlyTheIntentItNames) {
    money_ledger ledger;
    ledger.take(pay_record(1, "1"));
    ledger.take(paid_record(2, 7));  // answers another intent
    EXPECT_TRUE(ledger.payment_in_doubt());
    ledger.take(paid_record(3, 1));
    EXPECT_FALSE(ledger.payment_in_doubt());
    EXPECT_TRUE(ledger.game_unsettled());
    recall_record refused = paid_record(5, 4);
    refused.fields[3].second = "refused";
    ledger.take({"unfinished", {{"seq", "4"}, {"end", "2026-12-07 14:09:00"}}});
    EXPECT_FALSE(ledger.game_unsettled());
    ledger.take(pay_record(4, "2"));
    ledger.take(refused);
    EXPECT_FALSE(ledger.anything_in_flight());
    EXPECT_EQ(ledger.counts(true), money_counts{});
    EXPECT_EQ(ledger.last_time(), "2026-12-07 14:05:10");
}

}  // namespace
}  // namespace quizhost::testing
