// The game recall: its record lines, what the host keeps of each game as the movie plays it, the files'
// bounds, damage and failures, and `quizhost recall`. The power-cut cases are in power_loss_test.cpp.
#include "recall/game_recall.hpp"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "basic/numbers.hpp"
#include "basic/text.hpp"
#include "content/encryption.hpp"
#include "definitions.hpp"
#include "forms/runtime.hpp"
#include "recall/recall_format.hpp"
#include "recall/recall_report.hpp"
#include "records/text_records.hpp"
#include "support/e2e.hpp"
#include "support/power_cut_file_system.hpp"
#include "support/test_host.hpp"

namespace quizhost::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

// ---- Record lines ----

TEST(RecallFormat, ARecordReadsBackAndNoShorterOrChangedLineReadsAsOne) {
    recall_record record;
    record.kind = "game";
    record.add("seq", "7");
    record.add("q", "1,2,1,data_2_1.dat,17,0badcafe");
    record.add("hiscore", "3,450,Name\twith\rtabs\nand=signs");
    const std::string line = format_recall_record(record);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);

    std::string why;
    const auto back = parse_recall_record(line, why);
    ASSERT_TRUE(back) << why;
    EXPECT_EQ(back->kind, "game");
    EXPECT_EQ(back->value("seq"), "7");
    EXPECT_EQ(back->value("hiscore"), "3,450,Name with tabs and=signs");
    EXPECT_EQ(back->fields.size(), 3u);

    // Every line a power cut can leave (a prefix) is refused, and so is any one byte changed.
    for (std::size_t length = 0; length < line.size(); ++length) {
        EXPECT_FALSE(parse_recall_record(std::string_view(line).substr(0, length), why)) << length;
    }
    for (std::size_t at = 0; at < line.size(); ++at) {
        std::string changed = line;
        changed[at] = changed[at] == 'x' ? 'y' : 'x';
        EXPECT_FALSE(parse_recall_record(changed, why)) << at;
    }
    EXPECT_FALSE(parse_recall_record("GAME 17 paid", why));
    EXPECT_EQ(why, "not a record (no checksum field)");
}

TEST(RecallFormat, DamagedAndCutShortLinesAreNamedAndSkipped) {
    recall_record a{"game", {{"seq", "1"}, {"no", "1"}}};
    recall_record b{"game", {{"seq", "2"}, {"no", "2"}}};
    recall_record c{"game", {{"seq", "3"}, {"no", "3"}}};
    std::string changed = format_recall_record(b);
    changed[changed.size() - 1] = '9';
    const std::string cut = format_recall_record(c).substr(0, 20);
    const std::string bytes =
        format_recall_record(a) + "\r\n" + changed + "\r\n\r\n" + format_recall_record(c) + "\r\n" + cut;

    recall_contents contents;
    read_recall_bytes(bytes, "recall.txt", contents);
    ASSERT_EQ(contents.records.size(), 2u);
    EXPECT_EQ(contents.records[0].line, 1);
    EXPECT_EQ(contents.records[1].line, 4);
    ASSERT_EQ(contents.damage.size(), 2u);
    EXPECT_EQ(contents.damage[0].line, 2);
    EXPECT_EQ(contents.damage[0].what, "checksum does not match (cut short or changed)");
    EXPECT_EQ(contents.damage[1].line, 5);
    EXPECT_THAT(contents.damage[1].what, HasSubstr("cut short"));
}

// ---- A cabinet in memory, played through the dispatcher ----

const std::string root = "/cab";
const std::string recall_path = root + "/system/logs/recall.txt";
const std::string previous_path = root + "/system/logs/recall_previous.txt";
const std::string meter_path = root + "/system/logs/meter.txt";
constexpr int question_lines = 25;

std::string plain_question(int difficulty, int set, int line) {
    return "Q" + std::to_string(difficulty) + "." + std::to_string(set) + "." + std::to_string(line) + "?~A~B~C~D~1";
}

void write_question_file(file_system& fs, int difficulty, int set, int lines, const std::string& salt = "") {
    std::string bytes;
    for (int line = 1; line <= lines; ++line) {
        bytes += encrypt_string(plain_question(difficulty, set, line) + salt, question_key) + "\r\n";
    }
    fs.write_file(root + "/data/data_" + std::to_string(difficulty) + "_" + std::to_string(set) + ".dat", bytes);
}

struct memory_cabinet {
    explicit memory_cabinet(bool shell = false) {
        fs.create_folder(root);
        fs.create_folder(root + "/data");
        for (int d = 1; d <= 4; ++d) {
            for (int s = 1; s <= 2; ++s) write_question_file(fs, d, s, question_lines);
        }
        if (shell) fs.write_file(root + "/flg_orbital.dat", "");
        fs.sync_everything();
        t.host.io.files = &fs;
        t.host.program_folder = root;
        t.credit->credit = 1000;
        t.credit->bank = 5000;
        start_program(t.host);
        raise_fscommand(t.host, "INTRO_END", "");
        t.credit->price = t.host.money.price_per_play;
    }
    void fs_command(const std::string& name, const std::string& args = "") { raise_fscommand(t.host, name, args); }
    // The value the movie was last given in `variable`.
    std::string answer(const std::string& variable) const {
        for (auto it = t.events.lines.rbegin(); it != t.events.lines.rend(); ++it) {
            if (it->rfind("set\t" + variable + "\t", 0) == 0) return it->substr(5 + variable.size());
        }
        return {};
    }
    // The games and what followed them; the records of money as it moved are tested in recall_money_test.
    recall_contents recall() {
        recall_contents all = read_recall_files(fs, t.host.start.system_path);
        std::erase_if(all.records, [](const recalled_record& r) {
            return r.record.kind == "pay" || r.record.kind == "paid" || r.record.kind == "bank" ||
                   r.record.kind == "banked";
        });
        return all;
    }
    double meter(const std::string& key, long field = 1) {
        return leading_number(read_record_field(fs, meter_path, key, field));
    }

    power_cut_file_system fs;
    test_host t;
};

std::vector<std::string> keys_of(const recall_record& record) {
    std::vector<std::string> keys;
    for (const auto& [key, value] : record.fields) keys.push_back(key);
    return keys;
}

TEST(GameRecall, KeepsEachStepOfAGameAndWhatFollowedItsSettlement) {
    memory_cabinet cab;
    cab.fs_command("GET_CREDIT");
    cab.fs_command("GET_BANK");
    cab.fs_command("USE_CREDIT");
    cab.fs_command("START_GAME");
    cab.fs_command("GET_WINPLAN");
    cab.fs_command("GET_LIVES");
    cab.t.draws.queue(0.5);   // difficulty 1 (row 1 is 100,0,0,0)
    cab.t.draws.queue(0.33);  // line 9 of 25
    cab.fs_command("GET_QUESTION", "1,T");
    cab.fs_command("ANSWERED", "1,1");
    cab.t.clock.set(add_seconds(cab.t.clock.now(), 75));
    cab.fs_command("UPDATE_METERS", "1,300,0,1");
    EXPECT_FALSE(cab.fs.file_exists(previous_path));
    const std::string after_game = cab.fs.contents(recall_path);
    cab.fs_command("ADD_TO_BANK", "300");
    cab.fs_command("ADD_TO_HISCORES", "Ann,99,300,a,b,c");
    EXPECT_THROW(cab.fs_command("CLOSE_ALL"), program_exit);

    const recall_contents contents = cab.recall();
    ASSERT_TRUE(contents.damage.empty());
    ASSERT_EQ(contents.records.size(), 3u);
    const recall_record& game = contents.records[0].record;
    EXPECT_EQ(game.kind, "game");
    EXPECT_THAT(keys_of(game), ElementsAre("seq", "no", "start", "end", "pay", "credit", "bank", "price", "start_mode",
                                           "plan", "lives", "q", "a", "reached", "prize", "flags", "mode"));
    EXPECT_EQ(game.value("seq"), "3");  // after the payment's intent and outcome
    EXPECT_EQ(game.value("no"), "1");
    EXPECT_EQ(game.value("start"), "2026-12-07 14:05:09");
    EXPECT_EQ(game.value("end"), "2026-12-07 14:06:24");
    EXPECT_EQ(game.value("pay"), "credit");
    EXPECT_EQ(game.value("credit"), "1000");
    EXPECT_EQ(game.value("bank"), "5000");
    EXPECT_EQ(game.value("plan"), cab.answer("vb_win_plan"));
    EXPECT_EQ(game.value("lives"), cab.answer("vb_lives"));
    const std::string drawn = encrypt_string(plain_question(1, 1, 9), question_key);
    EXPECT_EQ(game.value("q"), fmt::format("1,1,1,data_1_1.dat,9,{:08x}", recall_checksum(drawn)));
    EXPECT_EQ(game.value("a"), "1,1");
    EXPECT_EQ(game.value("prize"), "300");
    EXPECT_EQ(game.value("flags"), "0,1");
    // Never the question's plain text.
    EXPECT_THAT(cab.fs.contents(recall_path), Not(HasSubstr("Q1.1.9")));

    const recall_record& collect = contents.records[1].record;
    EXPECT_EQ(collect.kind, "between");
    EXPECT_THAT(keys_of(collect), ElementsAre("seq", "at", "after", "bank+"));
    EXPECT_EQ(collect.value("after"), "1");
    EXPECT_EQ(collect.value("bank+"), "300");
    EXPECT_EQ(contents.records[2].record.value("hiscore"), "1,300,Ann");
    EXPECT_EQ(contents.records[2].record.value("seq"), "7");

    // The recall asked the credit system nothing of its own.
    EXPECT_EQ(cab.t.credit->calls, (std::vector<std::string>{"cget", "bget", "cuse 50", "badd 300"}));
    EXPECT_EQ(after_game.substr(after_game.size() - 2), "\r\n");
}

TEST(GameRecall, GamesThatNeverReachTheirMetersAreKeptAsUnfinished) {
    memory_cabinet cab;
    // Paid, then paid again: the credit taken with no game after it.
    cab.fs_command("USE_CREDIT");
    cab.fs_command("USE_CREDIT");
    cab.fs_command("START_GAME");
    cab.fs_command("ANSWERED", "2,0");
    cab.fs_command("RESET_FLASH_GAME");  // the movie restarted mid-game
    cab.fs_command("FREE_GAME");
    cab.fs_command("START_GAME");
    cab.fs_command("START_GAME");  // started again without its meters
    cab.fs_command("UPDATE_METERS", "2,-1,0,0");
    cab.fs_command("START_GAME");
    EXPECT_THROW(cab.fs_command("ANSWERED", "two,1"), program_exit);

    const recall_contents contents = cab.recall();
    ASSERT_EQ(contents.records.size(), 5u);
    std::vector<std::string> seen;
    for (const auto& r : contents.records) {
        seen.push_back(r.record.kind + " " + r.record.value("pay").value_or("-") + " " +
                       r.record.value("ended").value_or(r.record.value("no").value_or("")));
    }
    EXPECT_THAT(seen,
                ElementsAre("unfinished credit paid again before it was settled", "unfinished credit RESET_FLASH_GAME",
                            "unfinished free started again before it was settled", "game - 1",
                            "unfinished - fatal error 13 - Type mismatch"));
    EXPECT_EQ(contents.records[1].record.value("a"), "2,0");
    EXPECT_EQ(contents.records[3].record.value("prize"), "-1");
}

TEST(GameRecall, ATornLastRecordStaysOnItsOwnLine) {
    memory_cabinet cab;
    cab.fs.write_file(recall_path, "1234abcd\tgame\tseq=41\tno=");  // what a power cut left
    cab.fs_command("UPDATE_METERS", "1,-1,0,0");
    const recall_contents contents = cab.recall();
    ASSERT_EQ(contents.records.size(), 1u);
    EXPECT_EQ(contents.records[0].line, 2);
    EXPECT_EQ(contents.records[0].record.value("seq"), "1");
    ASSERT_EQ(contents.damage.size(), 1u);
    EXPECT_EQ(contents.damage[0].line, 1);
}

TEST(GameRecall, AFullFileBecomesThePreviousOneAndTheNumberingGoesOn) {
    memory_cabinet cab;
    std::string full, previous_old = "old previous file\r\n";
    for (long g = 1; g <= recall_games_per_file; ++g) {
        full += format_recall_record({"game", {{"seq", std::to_string(g)}, {"no", std::to_string(g)}}}) + "\r\n";
    }
    cab.fs.write_file(recall_path, full);
    cab.fs.write_file(previous_path, previous_old);
    cab.fs_command("UPDATE_METERS", "1,-1,0,0");
    EXPECT_EQ(cab.fs.contents(previous_path), full);
    const recall_contents contents = cab.recall();
    ASSERT_EQ(contents.records.size(), static_cast<std::size_t>(recall_games_per_file) + 1);
    EXPECT_EQ(contents.records.back().file, "recall.txt");
    EXPECT_EQ(contents.records.back().line, 1);
    EXPECT_EQ(contents.records.back().record.value("seq"), "1001");

    // A file that reaches the size limit first rolls over too, whatever it holds.
    memory_cabinet big;
    big.fs.write_file(recall_path, std::string(static_cast<std::size_t>(recall_file_size_limit), '#') + "\r\n");
    big.fs_command("UPDATE_METERS", "1,-1,0,0");
    EXPECT_EQ(big.fs.file_size(previous_path), recall_file_size_limit + 2);
    EXPECT_EQ(big.recall().records.size(), 1u);
}

TEST(GameRecall, AGameThatDrawsWithoutEndKeepsItsRecordBounded) {
    memory_cabinet cab;
    cab.fs_command("START_GAME");
    for (int i = 0; i < 400; ++i) cab.fs_command("GET_QUESTION", "1,T");
    cab.fs_command("UPDATE_METERS", "12,100,0,0");
    const std::string bytes = cab.fs.contents(recall_path);
    EXPECT_LT(bytes.size(), recall_record_limit + 400);
    const recall_contents contents = cab.recall();
    ASSERT_EQ(contents.records.size(), 1u);
    const auto dropped = contents.records[0].record.value("dropped");
    ASSERT_TRUE(dropped);
    EXPECT_GT(leading_number(*dropped), 100);
    EXPECT_EQ(contents.records[0].record.value("prize"), "100");  // the settlement is always kept
}

TEST(GameRecall, AFailedWriteNeverEndsTheGameAndIsWrittenLater) {
    test_host t;
    start_program(t.host);
    raise_fscommand(t.host, "INTRO_END", "");
    // Something in the way of the file: a folder of its name.
    std::filesystem::create_directory(t.path("system/logs/recall.txt"));
    raise_fscommand(t.host, "UPDATE_METERS", "3,-1,0,0");
    raise_fscommand(t.host, "GET_TOTAL_GAMES", "");
    EXPECT_EQ(t.events.lines.back(), "play\tmain");
    EXPECT_THAT(t.events.lines, ::testing::Contains("set\tvb_total_games_played\t1"));
    EXPECT_THAT(t.read("system/logs/log.txt"), HasSubstr("*ERROR* Game recall not written: "));

    // Once the way is clear, the game kept in memory is written before the next one.
    std::filesystem::remove(t.path("system/logs/recall.txt"));
    raise_fscommand(t.host, "UPDATE_METERS", "4,-1,0,0");
    const recall_contents contents = read_recall_files(*t.files, t.host.start.system_path);
    ASSERT_EQ(contents.records.size(), 2u);
    EXPECT_EQ(contents.records[0].record.value("no"), "1");
    EXPECT_EQ(contents.records[0].record.value("reached"), "3");
    EXPECT_EQ(contents.records[1].record.value("no"), "2");
    EXPECT_EQ(contents.records[1].record.value("seq"), "2");
}

// ---- Recall and meters agree over many random games ----

TEST(GameRecall, FiveHundredRandomGamesAgreeWithTheMetersAndTheCreditSystem) {
    memory_cabinet cab(true);  // the shell platform: games are paid from credit or, when it is short, bank
    const double credit0 = cab.t.credit->credit, bank0 = cab.t.credit->bank;
    const double price = cab.t.host.money.price_per_play;
    std::map<std::string, double> before;
    auto meter_keys = [&] {
        std::vector<std::string> keys{"M1", "M8", "M10", "M15"};
        for (int m = 0; m <= 6; ++m)
            keys.push_back("M2," + std::to_string(m)), keys.push_back("M11," + std::to_string(m));
        for (int q = 1; q <= 12; ++q) keys.push_back("M4," + std::to_string(q));
        for (int d = 1; d <= 4; ++d)
            keys.push_back("M16," + std::to_string(d)), keys.push_back("M13," + std::to_string(d));
        return keys;
    };
    auto meter_value = [&](const std::string& key) {
        const long field = key.find(',') == std::string::npos ? 1 : 2;
        return leading_number(read_record_field(cab.fs, meter_path, key, field));
    };
    for (const auto& key : meter_keys()) before[key] = meter_value(key);

    std::mt19937 random(20261207);
    auto chance = [&](int percent) { return static_cast<int>(random() % 100) < percent; };
    auto pick = [&](int low, int high) {
        return low + static_cast<int>(random() % static_cast<unsigned>(high - low + 1));
    };
    double coins = 0;
    std::vector<std::string> shown_questions;  // what the movie was given, in order
    for (int game = 0; game < 500; ++game) {
        if (chance(40)) {
            const double inserted = price * pick(0, 3);
            cab.t.credit->credit += inserted;
            coins += inserted;
        }
        cab.fs_command("GET_CREDIT");
        cab.fs_command("GET_BANK");
        if (chance(5)) cab.fs_command("ADD_TO_BANK", std::to_string(pick(1, 20) * 10));  // money outside a game
        if (chance(3)) cab.fs_command("USE_CREDIT");                                     // credit taken, no game
        cab.fs_command(chance(10) ? "FREE_GAME" : "USE_CREDIT");
        cab.fs_command("START_GAME");
        cab.fs_command("GET_GAME_MODE");
        cab.fs_command("GET_WINPLAN");
        cab.fs_command("GET_LIVES");
        const int questions = pick(1, 12);
        for (int q = 1; q <= questions; ++q) {
            cab.fs_command("GET_QUESTION", std::to_string(q) + (chance(50) ? ",T" : ",F"));
            const std::string question = cab.answer("vb_question");
            shown_questions.push_back(question.substr(0, question.rfind('|')));
            cab.fs_command("ANSWERED", question.substr(question.rfind('|') + 1) + "," + (chance(60) ? "1" : "0"));
        }
        if (chance(4)) {  // the movie restarts mid-game: never counted
            cab.fs_command("RESET_FLASH_GAME");
            continue;
        }
        if (chance(5)) cab.fs_command("ADD_TO_BANK", "25");  // a collect during the game
        const int prize = chance(30) ? -1 : pick(0, 25) * 100 + (chance(20) ? 50 : 0);
        cab.t.clock.set(add_seconds(cab.t.clock.now(), pick(20, 200)));
        cab.fs_command("UPDATE_METERS", std::to_string(questions) + "," + std::to_string(prize) + "," +
                                            std::to_string(pick(0, 1)) + "," + std::to_string(pick(0, 1)));
        if (prize > 0 && chance(80)) cab.fs_command("ADD_TO_BANK", std::to_string(prize));
        if (chance(30))
            cab.fs_command("ADD_TO_HISCORES", "P" + std::to_string(game) + ",1," + std::to_string(pick(0, 5000)));
    }
    EXPECT_THROW(cab.fs_command("CLOSE_ALL"), program_exit);

    const recall_contents contents = cab.recall();
    ASSERT_TRUE(contents.damage.empty());
    std::map<std::string, double> recalled;
    double from_credit = 0, from_bank = 0, to_bank = 0, last_no = 0;
    std::size_t question_index = 0;
    std::string data = root + "/data/";
    for (const auto& r : contents.records) {
        const recall_record& record = r.record;
        if (record.kind == "game") {
            const double no = leading_number(*record.value("no"));
            EXPECT_EQ(no, last_no + 1) << "game numbers follow each other";
            last_no = no;
            recalled["M1"] += 1;
            const std::string mode = *record.value("mode");
            recalled["M2," + mode] += 1;
            recalled["M4," + *record.value("reached")] += 1;
            const double prize = leading_number(*record.value("prize"));
            if (prize == -1) recalled["M8"] += 1;
            if (prize > 0) recalled["M11," + mode] += prize;
            recalled["M10"] += prize == -1 ? 0 : prize;
        }
        for (const auto& [key, value] : record.fields) {
            if (key == "pay" && value == "credit") from_credit += price;
            if (key == "pay" && value == "bank") from_bank += price;
            if (key == "bank+") to_bank += leading_number(value);
            if (key == "a") {
                const auto part = split(value, ',');
                recalled["M15"] += 1;
                recalled["M16," + part[0]] += 1;
                if (part[1] == "1") recalled["M13," + part[0]] += 1;
            }
            if (key == "q") {
                // The file and line kept are the ones the movie's question came from.
                const auto part = split(value, ',');
                std::string enciphered =
                    cab.fs.read_counted_line(data + part[3], [&](long) { return std::stol(part[4]); });
                std::string key_text = question_key;
                ASSERT_LT(question_index, shown_questions.size());
                EXPECT_EQ(decrypt_string(enciphered, key_text), shown_questions[question_index++]);
            }
        }
    }
    EXPECT_EQ(question_index, shown_questions.size());
    for (const auto& key : meter_keys()) {
        EXPECT_EQ(meter_value(key) - before[key], recalled[key]) << key;
    }
    EXPECT_GT(recalled["M1"], 400);
    EXPECT_GT(from_bank, 0) << "some games were paid from the bank";
    EXPECT_EQ(credit0 + coins - from_credit, cab.t.credit->credit);
    EXPECT_EQ(bank0 - from_bank + to_bank, cab.t.credit->bank);
}

// ---- quizhost recall ----

// Runs of blanks as one, so checks need not know the column widths.
std::string squeezed(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == ' ' && !out.empty() && out.back() == ' ') continue;
        out += c;
    }
    return out;
}

recall_options options(long last = 10, std::optional<double> game = std::nullopt, std::string html = "") {
    recall_options chosen;
    chosen.root = root;
    chosen.last = last;
    chosen.game = game;
    chosen.html_path = std::move(html);
    return chosen;
}

struct played_cabinet {
    played_cabinet() {
        cab.fs_command("GET_CREDIT");
        cab.fs_command("GET_BANK");
        cab.fs_command("USE_CREDIT");
        cab.fs_command("START_GAME");
        cab.t.draws.queue(0.5);
        cab.t.draws.queue(0.33);  // data_1_1.dat line 9
        cab.fs_command("GET_QUESTION", "1,T");
        cab.fs_command("ANSWERED", "1,1");
        cab.t.draws.queue(0.5);
        cab.t.draws.queue(0.5);  // data_1_2.dat line 13
        cab.fs_command("GET_QUESTION", "1,F");
        cab.fs_command("ANSWERED", "1,0");
        cab.fs_command("UPDATE_METERS", "2,200,0,0");
        cab.fs_command("ADD_TO_BANK", "200");
        cab.fs_command("ADD_TO_HISCORES", "Zoe,1,700");
        for (int game = 2; game <= 4; ++game) {
            cab.fs_command("USE_CREDIT");
            cab.fs_command("START_GAME");
            cab.fs_command("UPDATE_METERS", "1,-1,0,0");
        }
    }
    int run(recall_options options, std::string& out, std::string& err) {
        options.root = root;
        std::ostringstream o, e;
        const int status = run_recall_report(cab.fs, options, o, e);
        out = squeezed(o.str());
        err = e.str();
        return status;
    }
    memory_cabinet cab;
};

TEST(RecallTool, ShowsTheNewestGamesFirstWithTheirQuestionsDeciphered) {
    played_cabinet played;
    std::string out, err;
    ASSERT_EQ(played.run(options(), out, err), 0) << err;
    EXPECT_EQ(err, "");
    const auto game4 = out.find("Game 4 (record 16, recall.txt line 16)");
    const auto game1 = out.find("Game 1 (record 3, recall.txt line 3)");
    ASSERT_NE(game4, std::string::npos) << out;
    ASSERT_NE(game1, std::string::npos) << out;
    EXPECT_LT(game4, game1);
    EXPECT_THAT(out, HasSubstr("difficulty 1, set 1, data_1_1.dat line 9: Q1.1.9?~A~B~C~D~1 -- answered right"));
    EXPECT_THAT(out, HasSubstr("difficulty 1, set 2, data_1_2.dat line 13: Q1.2.13?~A~B~C~D~1 -- answered wrong"));
    EXPECT_THAT(out,
                HasSubstr("USE_CREDIT, from the credit, price 50; credit 1000, bank 5000 as the movie was last told"));
    EXPECT_THAT(out, HasSubstr("prize 200 credits, question reached 2"));
    EXPECT_THAT(out, HasSubstr("ADD_TO_BANK 200 credits"));
    EXPECT_THAT(out, HasSubstr("rank 1 (score 700, name Zoe)"));
    EXPECT_THAT(out, HasSubstr("prize none (-1)"));

    ASSERT_EQ(played.run(options(2), out, err), 0);
    EXPECT_THAT(out, HasSubstr("Game 4 "));
    EXPECT_THAT(out, HasSubstr("Game 3 "));
    EXPECT_THAT(out, Not(HasSubstr("Game 2 ")));
}

// The auditor's pages give dates as the log and the meters do, dd/mm/yyyy, and say when and for which
// cabinet they were made.
TEST(RecallTool, DatesAreDayMonthYearAndEveryPageIsStamped) {
    played_cabinet played;
    recall_options chosen = options(10, std::nullopt, "/cab/page.html");
    chosen.made = date_time{2026, 12, 9, 16, 50, 53};
    chosen.cabinet = "tollcastle";
    std::string out, err;
    ASSERT_EQ(played.run(chosen, out, err), 0) << err;
    EXPECT_THAT(out, HasSubstr("Made 09/12/2026 16:50:53 for cabinet tollcastle (dates dd/mm/yyyy)\n"));
    EXPECT_THAT(out, HasSubstr("Played 07/12/2026 14:05:09 to 07/12/2026 14:05:09"));
    EXPECT_THAT(out, HasSubstr("After the game 07/12/2026 14:05:09 ("));
    EXPECT_THAT(out, Not(HasSubstr("2026-12-")));
    const std::string page = played.cab.fs.contents("/cab/page.html");
    EXPECT_THAT(page, HasSubstr("<p>Made 09/12/2026 16:50:53 for cabinet tollcastle (dates dd/mm/yyyy)</p>"));
    EXPECT_THAT(page, Not(HasSubstr("2026-12-")));

    // The real tool stamps its pages with the cabinet folder's name.
    cabinet cab;
    cab.make_standard();
    ASSERT_EQ(cab.run("fs\tINTRO_END\nfs\tSTART_GAME\nfs\tUPDATE_METERS\t1,-1,0,0\nfs\tCLOSE_ALL\n").status, 0);
    const run_result shown = run_program(bin_path("quizhost"), {"recall", "--root", cab.root()});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_THAT(shown.out,
                HasSubstr(" for cabinet " + std::filesystem::path(cab.root()).filename().string() + " (dates"));
}

TEST(RecallTool, MarksAQuestionWhoseFileChangedSinceTheGame) {
    played_cabinet played;
    write_question_file(played.cab.fs, 1, 2, question_lines, " (edited)");
    std::string out, err;
    ASSERT_EQ(played.run(options(10, 1), out, err), 0);
    EXPECT_THAT(out, HasSubstr("Q1.2.13?~A~B~C~D~1 (edited) -- answered wrong [the file has changed since the game"));
    EXPECT_THAT(out, HasSubstr("data_1_1.dat line 9: Q1.1.9?~A~B~C~D~1 -- answered right\n"));
    EXPECT_THAT(out, Not(HasSubstr("Game 2")));

    write_question_file(played.cab.fs, 1, 1, 5);
    ASSERT_EQ(played.run(options(10, 1), out, err), 0);
    EXPECT_THAT(out, HasSubstr("[the file has no line 9 now (5 lines)]"));
}

TEST(RecallTool, NamesTheGamesTheMetersCountedButTheRecallLost) {
    played_cabinet played;
    // Game 5 counted by the meters, its record lost (as a power cut between the two files leaves it).
    const std::string kept = played.cab.fs.contents(recall_path);
    played.cab.fs_command("UPDATE_METERS", "1,-1,0,0");
    played.cab.fs.write_file(recall_path, kept);
    std::string out, err;
    ASSERT_EQ(played.run(options(), out, err), 0);
    EXPECT_THAT(out, HasSubstr("Note: the meter file counts 5 games: game 5 is not in the recall"));

    played.cab.fs_command("UPDATE_METERS", "1,-1,0,0");
    ASSERT_EQ(played.run(options(), out, err), 0);
    EXPECT_THAT(out, HasSubstr("Note: game 5 is not in the recall: counted by the meters, but the record was lost"));
    EXPECT_THAT(out, Not(HasSubstr("the meter file counts")));
}

TEST(RecallTool, BadInputGetsAClearAnswer) {
    played_cabinet played;
    std::string out, err;
    EXPECT_EQ(played.run(options(10, 77), out, err), 1);
    EXPECT_EQ(err, "quizhost recall: game 77 is not in the recall (it holds games 1 to 4)\n");

    // A damaged line is named and skipped; the rest is shown.
    std::string bytes = played.cab.fs.contents(recall_path);
    bytes[bytes.find("seq=3")] = 'S';
    played.cab.fs.write_file(recall_path, bytes);
    EXPECT_EQ(played.run(options(), out, err), 3);
    EXPECT_EQ(err, "quizhost recall: recall.txt line 3: checksum does not match (cut short or changed)\n");
    EXPECT_THAT(out, HasSubstr("Skipped: recall.txt line 3: checksum does not match"));
    EXPECT_THAT(out, HasSubstr("Game 4 "));

    memory_cabinet empty;
    recall_options options;
    options.root = root;
    std::ostringstream o, e;
    EXPECT_EQ(run_recall_report(empty.fs, options, o, e), 1);
    std::string expected_path = "/cab/system/logs/recall.txt";
    std::replace(expected_path.begin() + 4, expected_path.end(), '/', path_separator);
    EXPECT_EQ(e.str(), "quizhost recall: no game recall at " + expected_path +
                           " (no game has been settled on this cabinet yet)\n");

    options.html_path = "/no/such/folder/page.html";
    e.str("");
    EXPECT_EQ(run_recall_report(played.cab.fs, options, o, e), 1);
    EXPECT_THAT(e.str(), HasSubstr("quizhost recall: "));
    EXPECT_THAT(e.str(), HasSubstr("/no/such/folder/page.html"));
}

// A recall far larger than the host ever writes is refused, named, before it is read: by the tool and by
// the start-up that reads it for what was in flight.
TEST(RecallTool, ARecallLargerThanTheHostWritesIsRefusedNamed) {
    played_cabinet played;
    std::string bytes = played.cab.fs.contents(recall_path);
    bytes.resize(static_cast<std::size_t>(recall_read_limit) + 1, 'x');
    played.cab.fs.write_file(recall_path, bytes);
    std::string out, err;
    EXPECT_EQ(played.run(options(), out, err), 1);
    EXPECT_THAT(err, HasSubstr("quizhost recall: Path/File access error"));
    EXPECT_THAT(err, HasSubstr("recall.txt"));

    EXPECT_THROW(recall_account_for_last_run(played.cab.t.host), run_time_error);
}

TEST(RecallTool, TheHtmlPageIsSelfContained) {
    played_cabinet played;
    played.cab.fs_command("ADD_TO_HISCORES", "<b>&\"x\",1,10");
    std::string out, err;
    ASSERT_EQ(played.run(options(10, std::nullopt, "/cab/page.html"), out, err), 0) << err;
    const std::string page = played.cab.fs.contents("/cab/page.html");
    EXPECT_THAT(page, HasSubstr("<h2>Game 4 <small>"));
    EXPECT_THAT(page, HasSubstr("Q1.1.9?~A~B~C~D~1 -- answered right"));
    EXPECT_THAT(page, HasSubstr("name &lt;b&gt;&amp;&quot;x&quot;"));
    EXPECT_THAT(page, Not(HasSubstr("<script")));
    EXPECT_THAT(page, Not(HasSubstr("src=")));
    EXPECT_THAT(page, Not(HasSubstr("href=")));
}

// The real program: a game played from a script, then `quizhost recall` on its cabinet.
TEST(RecallTool, TheProgramShowsWhatAPlayedScriptLeft) {
    cabinet cab;
    cab.make_standard();
    std::string questions;
    for (int i = 1; i <= 5; ++i) questions += encrypt_string("Question " + std::to_string(i), question_key) + "\r\n";
    for (int d = 1; d <= 4; ++d) cab.write("data/data_" + std::to_string(d) + "_1.dat", questions);
    const run_result game = cab.run(
        "fs\tINTRO_END\nfs\tSTART_GAME\ndraw\t0.5\ndraw\t0.1\nfs\tGET_QUESTION\t1,T\n"
        "fs\tANSWERED\t1,1\nfs\tUPDATE_METERS\t1,100,0,0\nfs\tCLOSE_ALL\n");
    ASSERT_EQ(game.status, 0) << game.err;

    const run_result shown = run_program(bin_path("quizhost"), {"recall", "--root", cab.root(), "--last", "1"});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_THAT(shown.out, HasSubstr("Game 1  (record 1, recall.txt line 1)"));
    EXPECT_THAT(shown.out, HasSubstr("data_1_1.dat line 1: Question 1 -- answered right"));

    EXPECT_EQ(run_program(bin_path("quizhost"), {"recall", "--root", cab.root(), "--last", "0"}).status, exit_usage);
    const run_result bad = run_program(bin_path("quizhost"), {"recall", "--root", cab.root(), "--game", "x"});
    EXPECT_EQ(bad.status, exit_usage);
    EXPECT_THAT(bad.err, HasSubstr("--game"));
}

}  // namespace
}  // namespace quizhost::testing
