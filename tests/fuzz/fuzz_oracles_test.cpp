// The fuzzers' own judgement: what they take from an input, and the checks that decide whether a kept file
// is sound. A check that passes a torn file hides findings; one that fails a sound file buries the real
// ones under false alarms. Both are tested here on files the host itself wrote.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "../../fuzz/support/fuzz_input.hpp"
#include "../../fuzz/support/kept_file_forms.hpp"
#include "records/error_log.hpp"
#include "scores/hiscores.hpp"
#include "support/meters_support.hpp"

namespace quizhost {
namespace {

using fuzzing::hiscore_table_fault;
using fuzzing::log_growth_fault;
using fuzzing::meter_file_fault;

// The reader keeps a view of the bytes: `text` must outlive it.
fuzzing::input_fields fields_of(const std::string& text) {
    return fuzzing::input_fields(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// --- what a fuzzer takes from its input -----------------------------------------------------------

TEST(FuzzInput, LinesNumbersAndTheRestComeInOrder) {
    const std::string input("key\n-12x\nvalue\r\nfile\nbytes\x00\xff", 28);
    auto in = fields_of(input);
    EXPECT_EQ(in.line(), "key");
    EXPECT_EQ(in.number(), -12);
    EXPECT_EQ(in.line(), "value\r") << "only LF ends an argument";
    EXPECT_EQ(in.rest(), std::string("file\nbytes\x00\xff", 12));
    EXPECT_TRUE(in.empty());
    EXPECT_EQ(in.line(), "") << "arguments past the end are empty";
    EXPECT_EQ(in.number(), 0);
}

TEST(FuzzInput, NumbersStayNearTheirLimitWithoutOverflow) {
    const std::string input = "123456789012345678901234567890\n99999\nx7\n-\n";
    auto in = fields_of(input);
    EXPECT_LT(in.number(), 10000000);
    EXPECT_LE(in.number(100), 999);
    EXPECT_EQ(in.number(), 0) << "a number must start the line";
    EXPECT_EQ(in.number(), 0);
}

TEST(FuzzInput, DrawsAreHeldToTheUnitRange) {
    const auto draws = fuzzing::draws_in("0.5 0.25,x 1.75 -0.5 nan inf 1e308 0.999");
    ASSERT_EQ(draws.size(), 8u);
    EXPECT_DOUBLE_EQ(draws[0], 0.5);
    EXPECT_DOUBLE_EQ(draws[1], 0.25);
    EXPECT_DOUBLE_EQ(draws[2], 0.75);
    EXPECT_DOUBLE_EQ(draws[3], 0.5);
    for (double u : draws) EXPECT_TRUE(u >= 0 && u < 1) << u;
    EXPECT_TRUE(fuzzing::draws_in("none here").empty());
}

// --- the meter file -----------------------------------------------------------------------------

class MeterFileForm : public ::testing::Test {
protected:
    void SetUp() override {
        t.make_logs_folder();
        created = lines_to_bytes(t.new_meter_file());
    }
    std::string with(const std::string& from, const std::string& to) const {
        std::string bytes = created;
        const auto at = bytes.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return bytes.replace(at, from.size(), to);
    }

    testing::meter_host t;
    std::string created;
};

TEST_F(MeterFileForm, FilesTheHostWroteAreSound) {
    EXPECT_EQ(meter_file_fault(created, created), "");
    update_meters_v2(t.host, "3,250,1,1");
    set_reflex_meter(t.host, -12.5);
    const std::string updated = t.read(testing::meter_path);
    ASSERT_NE(updated, created);
    EXPECT_EQ(meter_file_fault(updated, created), "");
}

TEST_F(MeterFileForm, TornLinesAndSplitLinesAreFaults) {
    EXPECT_EQ(meter_file_fault(created.substr(0, created.size() - 3), created), "the meter file has a torn line");
    EXPECT_EQ(meter_file_fault(with("M1,0\r\n", "M1,0\n"), created), "the meter file has a torn line");
    EXPECT_EQ(meter_file_fault(with("Version,7.12\r\n", "Version,7.12\r\nM1,999\r\n"), created),
              "the meter file gained or lost lines");
    EXPECT_EQ(meter_file_fault(with("M8,0\r\n", ""), created), "the meter file gained or lost lines");
}

TEST_F(MeterFileForm, KeysHeadersAndNumbersKeepTheirForm) {
    EXPECT_EQ(meter_file_fault(with("M2,3,0", "M2,9,0"), created), "a meter row changed its index");
    EXPECT_EQ(meter_file_fault(with("M10,0", "M11,0"), created), "a meter line changed its key or its fields");
    EXPECT_EQ(meter_file_fault(with("M10,0", "M10,0,0"), created), "a meter line changed its key or its fields");
    EXPECT_EQ(meter_file_fault(with("Version,7.12", "Version,7.13"), created), "a meter file header changed");
    EXPECT_EQ(meter_file_fault(with("M10,0", "M10,1e+20"), created), "a meter value is not a plain decimal number");
    EXPECT_EQ(meter_file_fault(with("M10,0", "M10,"), created), "a meter value is not a plain decimal number");
    EXPECT_EQ(meter_file_fault(with("M13,2,0,0%", "M13,2,0,0"), created), "a percentage lost its sign");
    EXPECT_EQ(meter_file_fault(with("M12,0", "M12,-12.5"), created), "");
    // Plain digits, but more of them than any double holds: they read back as infinity.
    EXPECT_EQ(meter_file_fault(with("M10,0", "M10," + std::string(400, '9')), created),
              "a meter value is beyond any finite number");
    EXPECT_EQ(meter_file_fault(with("M13,2,0,0%", "M13,2,0,-" + std::string(400, '9') + "%"), created),
              "a meter value is beyond any finite number");
    EXPECT_EQ(meter_file_fault(with("M10,0", "M10," + std::string(300, '9')), created), "");
}

// --- the high-score table -----------------------------------------------------------------------

class HiscoreTableForm : public ::testing::Test {
protected:
    void SetUp() override {
        t.set_paths();
        std::filesystem::create_directories(t.path("variable"));
        create_dummy_hiscores(t.host);
    }
    std::string table() const { return t.read("variable/highscores.txt"); }

    testing::test_host t;
};

TEST_F(HiscoreTableForm, TablesTheHostWroteAreSound) {
    EXPECT_EQ(hiscore_table_fault(table()), "");
    add_to_hiscores(t.host, "ANN,77,300.5,a,b,c");
    add_to_hiscores(t.host, "BOB,78,20,,,");
    EXPECT_EQ(hiscore_table_fault(table()), "");
}

TEST_F(HiscoreTableForm, RowsOutOfFormOrOrderAreFaults) {
    add_to_hiscores(t.host, "ANN,77,300,a,b,c");
    std::string bytes = table();
    EXPECT_EQ(hiscore_table_fault(bytes.substr(0, bytes.size() - 1)), "the high-score table has a torn line");
    EXPECT_EQ(hiscore_table_fault(bytes.substr(0, bytes.find("PlayerID"))),
              "the high-score table does not hold 40 rows");

    std::string reordered = bytes;
    reordered.replace(reordered.find("ANN,77,300"), 10, "ANN,77,0");
    reordered.replace(reordered.find("AAA,1234,0"), 10, "AAA,1234,5");
    EXPECT_EQ(hiscore_table_fault(reordered), "the scores are out of rank order");

    std::string renamed = bytes;
    renamed.replace(renamed.find("PlayerID,1,ANN"), 14, "PlayerID,1,EVE");
    EXPECT_EQ(hiscore_table_fault(renamed), "an identification row does not match its score row");

    std::string split_name = bytes;
    split_name.replace(split_name.find("ANN,77"), 3, "A,N");
    EXPECT_EQ(hiscore_table_fault(split_name), "a score row is out of form");
}

// --- the log ------------------------------------------------------------------------------------

TEST(LogGrowth, WholeEntriesAreSoundAndAnythingElseIsAFault) {
    testing::test_host t;
    t.set_paths();
    t.write("system/logs/log.txt", "<ERROR LOG>\r\n\r\n");
    const std::string before = t.read("system/logs/log.txt");
    write_error(t.host, "first");
    write_error(t.host, "");
    const std::string after = t.read("system/logs/log.txt");
    EXPECT_EQ(log_growth_fault(after, before, 2), "");
    EXPECT_EQ(log_growth_fault(after, before, 1), "one command wrote more log entries than it can");
    EXPECT_EQ(log_growth_fault(after, before + "x", 2), "the log lost what it held");
    EXPECT_EQ(log_growth_fault(before + "07/12/2026 14:05:09  a\rb\r\n", before, 3), "a log entry is torn");
    EXPECT_EQ(log_growth_fault(before + "07/12/2026 14:05:09  ab", before, 3), "a log entry is torn");
    EXPECT_EQ(log_growth_fault(before + "forged line\r\n", before, 3), "a log line is no entry");
}

}  // namespace
}  // namespace quizhost
