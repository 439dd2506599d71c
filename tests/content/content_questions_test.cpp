#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "basic/text.hpp"
#include "content/weighted_questions.hpp"
#include "content_test_support.hpp"
#include "host.hpp"
#include "records/text_records.hpp"
#include "support/run_time_errors.hpp"

namespace quizhost::testing {
namespace {

class Questions : public ::testing::Test {
protected:
    Questions() {
        t.set_paths();
        for (int d = 1; d <= 4; ++d) {
            write_questions(t, d, 1, {"set 1 difficulty " + std::to_string(d)});
            write_questions(t, d, 2, {"set 2 difficulty " + std::to_string(d)});
        }
    }

    // The answer to question n with the difficulty draw r (0 to 99, so r + 1 is compared) and the line
    // draw u.
    std::string ask(const std::string& args, long r, double line_u = 0.0) {
        queue_percent(t, r);
        t.draws.queue(line_u);
        return get_question(t.host, args);
    }

    void use_tables(const std::string& file_text) {
        t.write("data/weighted_questions.txt", file_text);
        init_questions(t.host);
    }

    test_host t;
};

TEST_F(Questions, BuiltInTablesLoadWithTheirCountsAndEmptySlots) {
    init_questions(t.host);
    const auto& c = t.host.content;
    EXPECT_EQ(c.no_of_question_tables, 6);
    EXPECT_EQ(c.no_of_questions, 12);
    EXPECT_EQ(c.no_of_difficulties, 4);
    ASSERT_EQ(c.question_tables.size(), 8u);
    EXPECT_EQ(c.question_tables[6], "");  // the text after the final "*"
    EXPECT_EQ(c.question_tables[7], "");  // the spare slot
    // Every table holds twelve rows followed by "|"; the "|" after each "*" is not part of the next.
    for (int mode = 0; mode < 6; ++mode) {
        const auto rows = split(c.question_tables[static_cast<std::size_t>(mode)], '|');
        ASSERT_EQ(rows.size(), 13u) << mode;
        EXPECT_EQ(rows[0], "100,0,0,0") << mode;
        EXPECT_EQ(rows[12], "") << mode;
    }
    // Spot checks of the rows where the modes differ.
    EXPECT_EQ(split(c.question_tables[2], '|')[4], "5,20,75,0");
    EXPECT_EQ(split(c.question_tables[3], '|')[4], "5,20,0,75");
    EXPECT_EQ(split(c.question_tables[3], '|')[6], "0,0,50,50");
    EXPECT_EQ(split(c.question_tables[4], '|')[9], "0,0,0,100");
    EXPECT_EQ(split(c.question_tables[4], '|')[10], "0,0,50,50");
    EXPECT_EQ(split(c.question_tables[5], '|')[3], "65,35,0,0");
    EXPECT_EQ(split(c.question_tables[5], '|')[6], "5,5,0,90");
}

TEST_F(Questions, TableFileLoadsAsTheHostReadsIt) {
    use_tables("100,0,0,0\r\n0,100,0,0\r\n*\r\n0,0,0,100\r\n*\r\n");
    const auto& c = t.host.content;
    EXPECT_EQ(c.no_of_question_tables, 2);
    EXPECT_EQ(c.no_of_questions, 2);
    EXPECT_EQ(c.no_of_difficulties, 4);
    ASSERT_EQ(c.question_tables.size(), 4u);
    EXPECT_EQ(c.question_tables[0], "100,0,0,0|0,100,0,0|");
    EXPECT_EQ(c.question_tables[1], "0,0,0,100|");
    EXPECT_EQ(c.question_tables[2], "");
    EXPECT_EQ(c.question_tables[3], "");
}

TEST_F(Questions, SingleTableWithoutStarCountsOneQuestionLessThanItsRows) {
    use_tables("100,0,0,0\r\n0,100,0,0\r\n0,0,100,0\r\n");
    const auto& c = t.host.content;
    EXPECT_EQ(c.no_of_question_tables, 0);
    EXPECT_EQ(c.no_of_questions, 2);
    ASSERT_EQ(c.question_tables.size(), 2u);
    EXPECT_EQ(c.question_tables[0], "100,0,0,0|0,100,0,0|0,0,100,0");
    // Its last row is still asked: nothing follows it.
    EXPECT_EQ(ask("3,T", 0), "set 1 difficulty 3|3");
}

TEST_F(Questions, TablesAfterTheFirstAreCutTo9999Characters) {
    std::string rows;
    while (rows.size() < 12000) rows += "0,0,0,100\r\n";
    use_tables(rows + "*\r\n" + rows + "*\r\n");
    EXPECT_GT(t.host.content.question_tables[0].size(), 9999u);
    EXPECT_EQ(t.host.content.question_tables[1].size(), 9999u);
}

TEST_F(Questions, EmptyTableFileFailsAtStartUp) {
    t.write("data/weighted_questions.txt", "");
    EXPECT_EQ(error_of([&] { init_questions(t.host); }), subscript_out_of_range);
}

TEST_F(Questions, DefaultRowBoundariesPickTheDifficulty) {
    init_questions(t.host);
    // Row 2 is "90,9,0,1": r 1-90 gives 1, r 91-99 gives 2, r 100 gives 4, and 3 never.
    EXPECT_EQ(ask("2,T", 0), "set 1 difficulty 1|1");
    EXPECT_EQ(ask("2,T", 89), "set 1 difficulty 1|1");
    EXPECT_EQ(ask("2,T", 90), "set 1 difficulty 2|2");
    EXPECT_EQ(ask("2,T", 98), "set 1 difficulty 2|2");
    EXPECT_EQ(ask("2,T", 99), "set 1 difficulty 4|4");
    int counts[5] = {};
    for (long r = 0; r < 100; ++r) ++counts[ask("2,T", r).back() - '0'];
    EXPECT_EQ(counts[1], 90);
    EXPECT_EQ(counts[2], 9);
    EXPECT_EQ(counts[3], 0);
    EXPECT_EQ(counts[4], 1);
    // "100,0,0,0" always 1; "0,100,0,0" always 2 (row 4 of mode 0); mode 4 row 7 "0,0,0,100" always 4.
    for (long r : {0L, 50L, 99L}) {
        EXPECT_EQ(ask("1,T", r).back(), '1');
        EXPECT_EQ(ask("4,T", r).back(), '2');
    }
    t.host.money.game_mode = 4;
    for (long r : {0L, 50L, 99L}) EXPECT_EQ(ask("7,T", r).back(), '4');
}

TEST_F(Questions, WeightsOverOneHundredStarveTheLaterDifficulties) {
    use_tables("60,50,0,100\r\n20,20,20,0\r\n*\r\n");
    int counts[5] = {};
    for (long r = 0; r < 100; ++r) ++counts[ask("1,T", r).back() - '0'];
    EXPECT_EQ(counts[1], 60);
    EXPECT_EQ(counts[2], 40);
    EXPECT_EQ(counts[3] + counts[4], 0);
    // Difficulty 4 takes every r above w1 + w2 + w3 whatever its own weight says.
    EXPECT_EQ(ask("2,T", 60), "set 1 difficulty 4|4");
}

TEST_F(Questions, OnlyAnExactCapitalTSelectsTheFirstSet) {
    init_questions(t.host);
    EXPECT_EQ(ask("1,T", 0), "set 1 difficulty 1|1");
    EXPECT_EQ(ask(" 1 , T ", 0), "set 1 difficulty 1|1");  // fields are trimmed
    EXPECT_EQ(ask("1,t", 0), "set 2 difficulty 1|1");
    EXPECT_EQ(ask("1,True", 0), "set 2 difficulty 1|1");
    EXPECT_EQ(ask("1,", 0), "set 2 difficulty 1|1");
    EXPECT_EQ(ask("1", 0), "set 2 difficulty 1|1");
}

TEST_F(Questions, LineDrawCoversTheWholeFileAndAcceptsEitherLineEnd) {
    init_questions(t.host);
    std::string bytes;
    for (int i = 1; i <= 10; ++i)
        bytes += encrypt_string("line " + std::to_string(i), question_key) + (i % 2 ? "\r\n" : "\n");
    bytes += encrypt_string("line 11", question_key);  // the last line without its end still counts
    t.write("data/data_1_1.dat", bytes);
    EXPECT_EQ(ask("1,T", 0, 0.0), "line 1|1");
    EXPECT_EQ(ask("1,T", 0, 0.35), "line 4|1");
    EXPECT_EQ(ask("1,T", 0, 0.95), "line 11|1");
    EXPECT_EQ(ask("1,T", 0, 0.9999999999), "line 11|1");
}

TEST_F(Questions, OneLineFileAlwaysYieldsThatLine) {
    init_questions(t.host);
    for (double u : {0.0, 0.5, 0.9999999}) EXPECT_EQ(ask("1,", 0, u), "set 2 difficulty 1|1");
}

TEST_F(Questions, FileReplacedBetweenCommandsIsReadAfresh) {
    init_questions(t.host);
    EXPECT_EQ(ask("1,T", 0, 0.99), "set 1 difficulty 1|1");
    write_questions(t, 1, 1, {"new first", "new second"});
    EXPECT_EQ(ask("1,T", 0, 0.99), "new second|1");
    // Replaced by rename, as a content update lands on a running cabinet.
    write_questions(t, 1, 2, {"renamed in"});
    std::filesystem::rename(t.path("data/data_1_2.dat"), t.path("data/data_1_1.dat"));
    EXPECT_EQ(ask("1,T", 0, 0.99), "renamed in|1");
}

TEST_F(Questions, QuestionsTheTableCannotAskFailWithSubscriptError) {
    init_questions(t.host);
    EXPECT_EQ(error_of([&] { ask("13,T", 0); }), subscript_out_of_range);  // the empty text after the last "|"
    EXPECT_EQ(error_of([&] { ask("0,T", 0); }), subscript_out_of_range);
    EXPECT_EQ(error_of([&] { ask("abc,T", 0); }), subscript_out_of_range);  // no number reads as 0
    EXPECT_EQ(error_of([&] { ask("99999999999,T", 0); }), subscript_out_of_range);
    EXPECT_EQ(ask("12,T", 0).back(), '3');
    t.host.money.game_mode = 6;  // the empty slot after the final "*"
    EXPECT_EQ(error_of([&] { ask("1,T", 0); }), subscript_out_of_range);
    t.host.money.game_mode = 8;  // past every slot
    EXPECT_EQ(error_of([&] { ask("1,T", 0); }), subscript_out_of_range);
}

TEST_F(Questions, MalformedRowsFail) {
    use_tables("100,0,0\r\nx,0,0,0\r\n100,0,0,y\r\n*\r\n");
    EXPECT_EQ(error_of([&] { ask("1,T", 0); }), subscript_out_of_range);  // three fields
    EXPECT_EQ(error_of([&] { ask("2,T", 0); }), type_mismatch);
    EXPECT_EQ(ask("3,T", 0), "set 1 difficulty 1|1");  // the fourth weight is never consulted
}

TEST_F(Questions, MissingOrEmptyQuestionFilesFail) {
    init_questions(t.host);
    std::filesystem::remove(t.path("data/data_1_1.dat"));
    EXPECT_EQ(error_of([&] { ask("1,T", 0); }), file_not_found);
    t.write("data/data_1_1.dat", "");
    EXPECT_EQ(error_of([&] { ask("1,T", 0); }), input_past_end_of_file);
}

// A question file over its bound ends the start-up, named, before any game is paid; one that grows over
// it during a run fails its question at once, without being read.
TEST_F(Questions, AnOverSizeQuestionFileIsRefusedAtStartUpAndAtItsQuestion) {
    init_questions(t.host);
    std::filesystem::resize_file(t.path("data/data_3_2.dat"), std::uintmax_t(question_file_size_limit) + 1);
    const run_time_error at_start = failure_of([&] { init_questions(t.host); });
    EXPECT_EQ(at_start.number(), path_file_access_error);
    EXPECT_NE(at_start.detail().find(t.path("data/data_3_2.dat") + " is "), std::string::npos) << at_start.detail();
    write_questions(t, 3, 2, {"set 2 difficulty 3"});
    init_questions(t.host);
    std::filesystem::resize_file(t.path("data/data_1_2.dat"), std::uintmax_t(question_file_size_limit) + 1);
    EXPECT_EQ(error_of([&] { ask("1,F", 0); }), path_file_access_error);  // the first question: difficulty 1
}

TEST_F(Questions, LineThatDeciphersEmptyIsLoggedAndAnsweredWithTheDifficultyAlone) {
    init_questions(t.host);
    t.write("system/logs/log.txt", "");
    // A code below 100 before the last character: the cipher rejects the line without an error.
    t.write("data/data_1_1.dat",
            encrypt_string("fine", question_key) + "\r\nA" + encrypt_string("bad", question_key) + "\r\n");
    EXPECT_EQ(ask("1,T", 0, 0.75), "|1");
    EXPECT_EQ(t.read("system/logs/log.txt"),
              "07/12/2026 14:05:09  *ERROR* Decrypting question. " + t.path("data/data_1_1.dat") + " No. 2\r\n");
    EXPECT_EQ(ask("1,T", 0, 0.25), "fine|1");
}

TEST_F(Questions, LineTheCipherCannotReadFails) {
    init_questions(t.host);
    t.write("data/data_1_1.dat", "\r\n");  // an empty line is too short to decipher
    EXPECT_EQ(error_of([&] { ask("1,T", 0); }), invalid_procedure_call);
}

}  // namespace
}  // namespace quizhost::testing
