#include <gtest/gtest.h>

#include <cmath>

#include "basic/numbers.hpp"
#include "basic/text.hpp"
#include "meters/meter_file.hpp"
#include "platform/file_system.hpp"
#include "support/faulty_file_system.hpp"
#include "support/meters_support.hpp"

namespace quizhost::testing {
namespace {

TEST(NewMeterFile, HoldsTheSixtySixLinesInTheirOrder) {
    meter_host t;
    const auto lines = t.new_meter_file();
    ASSERT_EQ(lines.size(), 66u);
    EXPECT_EQ(lines[0], "GameName,Tollcastle Wrapper");
    EXPECT_EQ(lines[1], "Version,7.12");
    EXPECT_EQ(lines[2], "CreationDate,14:05:09 07/12/2026");
    EXPECT_EQ(lines[3], "ModifiedDate,14:05:09 07/12/2026");

    // The keys in file order, each indexed meter's rows collapsed to "key[first..last]".
    std::vector<std::string> layout;
    for (std::size_t i = 4; i < lines.size();) {
        const auto fields = split(lines[i], ',');
        if (fields.size() == 2) {
            EXPECT_EQ(fields[1], "0") << lines[i];
            layout.push_back(fields[0]);
            ++i;
            continue;
        }
        const std::string first = fields[1];
        std::string last = first;
        for (; i < lines.size() && split(lines[i], ',')[0] == fields[0] && split(lines[i], ',').size() > 2; ++i) {
            const auto row = split(lines[i], ',');
            EXPECT_EQ(row[2], "0") << lines[i];
            if (row[0] == "M13") {
                EXPECT_EQ(row.size(), 4u);
                EXPECT_EQ(row[3], "0%");
            }
            last = row[1];
        }
        layout.push_back(fields[0] + "[" + first + ".." + last + "]");
    }
    const std::vector<std::string> expected{"M1",        "M2[0..6]",  "M4[1..12]", "M7[1..20]", "M8",
                                            "M9",        "M10",       "M17",       "M12",       "M15",
                                            "M11[0..6]", "M16[1..4]", "M13[1..4]", "M14"};
    EXPECT_EQ(layout, expected);
    for (const auto& line : lines) EXPECT_FALSE(line_matches_key(line, "M6")) << "a new file has no cash pot line";
}

TEST(NewMeterFile, RowsFollowTheLoadedQuestionTables) {
    meter_host t;
    t.host.content.no_of_question_tables = 2;
    t.host.content.no_of_questions = 3;
    t.host.content.no_of_difficulties = 1;
    const auto lines = new_meter_file_lines(t.host);
    EXPECT_EQ(lines.size(), 4u + 1 + 3 + 3 + 20 + 6 + 3 + 1 + 1 + 1);
    EXPECT_EQ(lines.back(), "M14,0");
    EXPECT_EQ(lines[lines.size() - 2], "M13,1,0,0%");
}

// ---- UPDATE_METERS ----

TEST(UpdateMeters, GameWithoutPrizeCountsInM8AndItsModeAndQuestion) {
    meter_host t;
    const auto before = t.new_meter_file();
    t.host.money.game_mode = 2;
    t.host.money.game_start_time = date_time{2026, 12, 7, 14, 4, 29};
    t.clock.advance(60);
    update_meters_v2(t.host, "3,-1,0,0");
    EXPECT_EQ(t.read(meter_path), with_changes(before, {{"ModifiedDate", "ModifiedDate,14:06:09 07/12/2026"},
                                                        {"M1", "M1,1"},
                                                        {"M2,2", "M2,2,1"},
                                                        {"M4,3", "M4,3,1"},
                                                        {"M8", "M8,1"},
                                                        {"M12", "M12,100"}}));
}

TEST(UpdateMeters, GameWithPrizeCountsItsBandTotalsAndBothFlags) {
    meter_host t;
    const auto before = t.new_meter_file();
    t.host.money.game_mode = 0;
    t.host.money.game_start_time = t.clock.now();
    update_meters_v2(t.host, " 5 , 250 ,1,1");
    EXPECT_EQ(t.read(meter_path), with_changes(before, {{"M1", "M1,1"},
                                                        {"M2,0", "M2,0,1"},
                                                        {"M4,5", "M4,5,1"},
                                                        {"M9", "M9,1"},
                                                        {"M7,2", "M7,2,1"},
                                                        {"M11,0", "M11,0,250"},
                                                        {"M10", "M10,250"},
                                                        {"M14", "M14,1"}}));
}

TEST(UpdateMeters, PrizesOutsideTheBandsStillCountInTheTotals) {
    for (const auto& [prize, paid_by_mode] :
         std::vector<std::pair<std::string, std::string>>{{"0", "0"}, {"50", "50"}, {"2150", "2150"}}) {
        SCOPED_TRACE(prize);
        meter_host t;
        const auto before = t.new_meter_file();
        t.host.money.game_mode = 4;
        update_meters_v2(t.host, "12," + prize + ",0,0");
        // Band 0 and band 21 have no row; a prize of 0 is not added to the mode's total.
        EXPECT_EQ(t.read(meter_path), with_changes(before, {{"M1", "M1,1"},
                                                            {"M2,4", "M2,4,1"},
                                                            {"M4,12", "M4,12,1"},
                                                            {"M11,4", "M11,4," + paid_by_mode},
                                                            {"M10", "M10," + prize}}));
    }
}

TEST(UpdateMeters, IndexesWithoutARowChangeNothingAndTheUpdateGoesOn) {
    for (const char* question : {"13", "0", "3.5", "-1", "x"}) {
        SCOPED_TRACE(question);
        meter_host t;
        const auto before = t.new_meter_file();
        update_meters_v2(t.host, std::string(question) + ",-1");
        EXPECT_EQ(t.read(meter_path), with_changes(before, {{"M1", "M1,1"}, {"M2,0", "M2,0,1"}, {"M8", "M8,1"}}));
    }
}

TEST(UpdateMeters, KeysNeedTheirCommaSoM1NeverTouchesM10OrM17) {
    meter_host t;
    t.write(meter_path, "M10,500\r\nM17,-300\r\nm1,7\r\nM12,0\r\n");
    EXPECT_EQ(get_games_played(t.host), 7);
    EXPECT_EQ(get_reflex_meter(t.host), -300);
    update_meters_v2(t.host, "1,-1,0,0");
    EXPECT_EQ(t.read(meter_path), "M10,500\r\nM17,-300\r\nm1,8\r\nM12,0\r\n");
}

TEST(UpdateMeters, GameTimeCountsAcrossMidnightAndNothingWithoutAStart) {
    meter_host t;
    t.new_meter_file();
    update_meters_v2(t.host, "1,-1");  // no START_GAME since the program started
    EXPECT_EQ(t.meter("M12", 1), "0");

    t.host.money.game_start_time = date_time{2026, 12, 7, 23, 59, 30};
    t.clock.set(date_time{2026, 12, 8, 0, 0, 20});
    update_meters_v2(t.host, "1,-1");
    EXPECT_EQ(t.meter("M12", 1), "50");

    t.host.money.game_start_time = date_time{2026, 12, 8, 0, 0, 20};
    t.clock.set(date_time{2026, 12, 8, 0, 0, 20});
    update_meters_v2(t.host, "1,-1");
    EXPECT_EQ(t.meter("M12", 1), "50") << "a game started and ended in the same second adds 0";
}

// The sequence of single-field rewrites the meter file has always been updated with, one file rewrite per
// add. The command's one atomic replace must leave exactly the bytes this leaves.
void update_meters_by_single_rewrites(meter_host& t, double question, double prize, bool m9, bool m14, long seconds) {
    file_system& fs = *t.host.io.files;
    const std::string path = t.path(meter_path);
    auto add = [&](const std::string& key, long field, double amount) {
        const double sum = leading_number(read_record_field(fs, path, key, field)) + amount;
        update_record_field(fs, path, key, field, number_to_text(sum));
    };
    const std::string mode = std::to_string(t.host.money.game_mode);
    add("M1", 1, 1);
    update_record_field(fs, path, "ModifiedDate", 1, "14:05:09 07/12/2026");
    add("M2," + mode, 2, 1);
    add("M4," + number_to_text(question), 2, 1);
    if (m9) add("M9", 1, 1);
    if (prize == -1) {
        add("M8", 1, 1);
    } else {
        add("M7," + number_to_text(std::floor(prize / 100)), 2, 1);
    }
    if (prize > 0) add("M11," + mode, 2, prize);
    add("M10", 1, prize == -1 ? 0 : prize);
    add("M12", 1, static_cast<double>(seconds));
    if (m14) add("M14", 1, 1);
}

TEST(UpdateMeters, LeavesTheSameBytesAsOneRewritePerAddOnAnUntidyFile) {
    // LF line ends, blanks around values, text in a counter, a repeated key and keys in other letter case.
    const std::string untidy =
        "GameName,Tollcastle Wrapper\nModifiedDate,old\nm1, 41 \nM2,3,x\nM2,3,9\nM4,7,2.5\nM7,3,1\nm8,2\n"
        "M9,\nM10,abc\nM11,3,100\nM12,10\nM14,5,extra\nM99,1";
    for (const char* args : {"7,300,1,1", "7,-1,0,1", "7,12.5,1,0", "9,-20,0,0"}) {
        SCOPED_TRACE(args);
        meter_host reference;
        reference.write(meter_path, untidy);
        reference.host.money.game_mode = 3;
        const auto fields = split(args, ',');
        update_meters_by_single_rewrites(reference, leading_number(fields[0]), leading_number(fields[1]),
                                         leading_number(fields[2]) == 1, leading_number(fields[3]) == 1, 0);

        meter_host t;
        t.write(meter_path, untidy);
        t.host.money.game_mode = 3;
        update_meters_v2(t.host, args);
        EXPECT_EQ(t.read(meter_path), reference.read(meter_path));
    }
}

TEST(UpdateMeters, AFileWithoutAnyMeterLineIsLeftUntouched) {
    meter_host t;
    t.write(meter_path, "GameName,x\nnothing else\n");
    update_meters_v2(t.host, "3,250,1,1");
    EXPECT_EQ(t.read(meter_path), "GameName,x\nnothing else\n") << "no line matched, so not even the line ends change";
}

TEST(UpdateMeters, MissingMeterFileFailsWithFileNotFound) {
    meter_host t;
    t.make_logs_folder();  // as start-up leaves it: the folder is there, the file is not
    EXPECT_EQ(error_of([&] { update_meters_v2(t.host, "3,-1,0,0"); }), file_not_found);
    EXPECT_FALSE(t.exists(meter_path));
}

// A failure at any step of the command's file work (a crash or power cut there) leaves the meter file as it
// was before the command or as it is after it, never with the game half counted.
TEST(UpdateMeters, AFailureAtAnyStepLeavesTheFileBeforeOrAfter) {
    meter_host t;
    faulty_file_system faulty(make_native_file_system());
    t.host.io.files = &faulty;
    t.host.money.game_start_time = t.clock.now();
    const std::string before = lines_to_bytes(t.new_meter_file());
    const std::string work_path = folder_of(meter_path) + "/scrap.txt";
    const auto start_from_before = [&] {
        t.write(meter_path, before);
        t.write(work_path, "an earlier version");  // left by an earlier update
    };
    t.clock.advance(30);
    start_from_before();
    update_meters_v2(t.host, "5,250,1,1");
    const std::string after = t.read(meter_path);
    ASSERT_NE(before, after);
    const int steps = faulty.steps();
    EXPECT_GE(steps, 4) << "work file written, synced, renamed or swapped, folder synced";

    int left_before = 0;
    int left_after = 0;
    for (int step = 1; step <= steps; ++step) {
        SCOPED_TRACE("failing step " + std::to_string(step));
        start_from_before();
        faulty.fail_at_step(step);
        EXPECT_EQ(error_of([&] { update_meters_v2(t.host, "5,250,1,1"); }), path_file_access_error);
        const std::string now = t.read(meter_path);
        EXPECT_TRUE(now == before || now == after) << now;
        (now == before ? left_before : left_after) += 1;
    }
    EXPECT_GT(left_before, 0);
    EXPECT_GT(left_after, 0) << "a failure after the rename or swap (the folder sync) leaves the new file";
    faulty.fail_at_step(0);
}

// ---- Reflex meter and game mode ----

TEST(ReflexMeter, ModeThresholdsAtTheirEdges) {
    struct case_ {
        const char* meter;
        double amount;
        const char* written;
        std::int16_t mode;
    };
    for (const auto& c : std::vector<case_>{{"510", -20, "490", 3},
                                            {"1990", 10, "2000", 0},
                                            {"0", -1500, "-1500", 4},
                                            {"0", -1501, "-1501", 5},
                                            {"0", 12.5, "12", 3},
                                            {"0", 13.5, "14", 3},
                                            {"1000", 499, "1499", 2},
                                            {"1000", 500, "1500", 1},
                                            {"0", -500, "-500", 3},
                                            {"0", 499.5, "500", 2},
                                            {"junk", 1, "1", 3}}) {
        SCOPED_TRACE(std::string(c.meter) + " + " + number_to_text(c.amount));
        meter_host t;
        const auto before = t.new_meter_file();
        t.write(meter_path, with_changes(before, {{"M17", std::string("M17,") + c.meter}}));
        t.host.money.game_mode = 9;
        set_reflex_meter(t.host, c.amount);
        EXPECT_EQ(t.meter("M17", 1), c.written);
        EXPECT_EQ(number_to_text(t.host.money.reflex_meter), c.written);
        EXPECT_EQ(t.host.money.game_mode, c.mode);
    }
}

TEST(ReflexMeter, MissingFileReadsZeroAndTheWriteFails) {
    meter_host t;
    t.make_logs_folder();  // as start-up leaves it: the folder is there, the file is not
    EXPECT_EQ(get_reflex_meter(t.host), 0);
    EXPECT_EQ(error_of([&] { set_reflex_meter(t.host, 10); }), file_not_found);
}

TEST(ReflexMeter, AMeterBeyondThirtyTwoBitsOverflows) {
    meter_host t;
    t.write(meter_path, "M17,2147483000\r\n");
    EXPECT_EQ(error_of([&] { set_reflex_meter(t.host, 1000); }), overflow);
    EXPECT_EQ(t.read(meter_path), "M17,2147483000\r\n");
}

// ---- Games played and cash pot ----

TEST(CashPot, ResetOnANewFileChangesNothingAndReadsZero) {
    meter_host t;
    const std::string before = lines_to_bytes(t.new_meter_file());
    reset_cashpot(t.host);
    EXPECT_EQ(t.read(meter_path), before);
    EXPECT_EQ(get_cashpot(t.host), 0);
}

TEST(CashPot, ResetSetsAnExistingPotTo1000) {
    meter_host t;
    t.write(meter_path, "M1,12\r\nM6, 250 \r\n");
    EXPECT_EQ(get_cashpot(t.host), 250);
    EXPECT_EQ(get_games_played(t.host), 12);
    reset_cashpot(t.host);
    EXPECT_EQ(t.read(meter_path), "M1,12\r\nM6,1000\r\n");
}

TEST(CashPot, ReadersGiveZeroWithoutAFileButResetFails) {
    meter_host t;
    t.make_logs_folder();  // as start-up leaves it: the folder is there, the file is not
    EXPECT_EQ(get_cashpot(t.host), 0);
    EXPECT_EQ(get_games_played(t.host), 0);
    EXPECT_EQ(error_of([&] { reset_cashpot(t.host); }), file_not_found);
}

}  // namespace
}  // namespace quizhost::testing
