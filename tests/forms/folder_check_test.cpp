#include "forms/folder_check.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "basic/text.hpp"
#include "meters/meter_file.hpp"
#include "platform/file_system.hpp"
#include "support/faulty_file_system.hpp"
#include "support/meters_support.hpp"
#include "support/run_time_errors.hpp"

namespace quizhost::testing {
namespace {

// A cabinet whose high-score table, log and meter file are already there, so only the setup values and
// what a test removes are repaired.
struct cabinet : meter_host {
    cabinet() {
        write("variable/highscores.txt", "scores\r\n");
        write("system/logs/log.txt", "<ERROR LOG>\r\n");
        meter_lines = new_meter_file();
    }
    std::vector<std::string> meter_lines;
    std::string log() { return read("system/logs/log.txt"); }
};

TEST(FolderCheck, SetupValuesAreBoundedInMemoryOnly) {
    struct case_ {
        const char* setup;
        float payout;
        std::int32_t price;
    };
    for (const auto& c : std::vector<case_>{
             {"S1,75\r\nS2,0\r\n", 70, 50},
             {"S1,70\r\nS2,100\r\n", 70, 100},
             {"S2,20\r\n", 70, 20},           // no S1 line
             {"S1,40\r\nS2,2.5\r\n", 40, 2},  // halves go to the even neighbour
             {"S1,40\r\nS2,3.5\r\n", 40, 4},
             {"S1,0\r\nS2,101\r\n", 70, 50},
             {"S1,-5\r\nS2,0.5\r\n", 70, 50},          // 0.5 rounds to 0
             {"S1,0.5\r\nS2,100.5\r\n", 0.5, 100},     // 100.5 rounds to 100
             {"s1, 35.5 \r\ns2,12abc\r\n", 35.5, 12},  // keys in any case, leading numbers
             {"S1,abc\r\nS2,abc\r\n", 70, 50},
             {"", 70, 50},
             {"S1,40\r\nS2,99999999999\r\n", 40, 50},  // too large for a price: replaced, not fatal
         }) {
        SCOPED_TRACE(c.setup);
        cabinet t;
        t.write("system/setup.ini", c.setup);
        check_files(t.host);
        EXPECT_EQ(t.host.money.payout_percent, c.payout);
        EXPECT_EQ(t.host.money.price_per_play, c.price);
        EXPECT_EQ(t.read("system/setup.ini"), c.setup) << "the operator's file is never rewritten";
        EXPECT_EQ(t.log(), "<ERROR LOG>\r\n") << "a repaired setup value is not logged";
    }
}

TEST(FolderCheck, MissingSetupFileIsCreatedWithTheDefaults) {
    cabinet t;
    check_files(t.host);
    EXPECT_EQ(t.read("system/setup.ini"), "S1,40\r\nS2,50\r\n");
    EXPECT_EQ(t.host.money.payout_percent, 40.0f);
    EXPECT_EQ(t.host.money.price_per_play, 50);
}

// A master copy as an operator keeps it: a whole meter file, with the cash pot line some files carry.
std::string master_copy(cabinet& t) {
    std::vector<std::string> lines = t.meter_lines;
    for (auto& line : lines) {
        if (line == "M1,0") line = "M1,12";
        if (line == "M17,0") line = "M17,-40";
    }
    lines.emplace_back("M6,250");
    return lines_to_bytes(lines);
}

TEST(FolderCheck, MissingMeterFileIsRestoredFromTheMasterCopy) {
    cabinet t;
    const std::string master = master_copy(t);
    t.write("system/setup.ini", "S1,40\r\nS2,50\r\n");
    t.write("system/meter.txt", master);
    std::filesystem::remove(t.path(meter_path));
    check_files(t.host);
    EXPECT_EQ(t.read(meter_path), master);
    EXPECT_EQ(t.read("system/meter.txt"), master) << "the master copy is only read";
    EXPECT_EQ(t.log(), "<ERROR LOG>\r\n07/12/2026 14:05:09  No meter file - restoring from System folder\r\n");
    EXPECT_EQ(t.host.money.cashpot, 250);
    EXPECT_EQ(get_games_played(t.host), 12);
}

TEST(FolderCheck, MissingMeterFileWithoutMasterCopyStartsAfresh) {
    cabinet t;
    std::filesystem::remove(t.path(meter_path));
    check_files(t.host);
    EXPECT_EQ(t.read(meter_path), lines_to_bytes(t.meter_lines));
    EXPECT_EQ(t.log(), "<ERROR LOG>\r\n07/12/2026 14:05:09  Creating Meter File\r\n");
    EXPECT_EQ(t.host.money.cashpot, 0);
}

TEST(FolderCheck, AnExistingMeterFileIsNeverChanged) {
    cabinet t;
    std::vector<std::string> lines = t.meter_lines;
    lines.emplace_back("M6,1000.5");
    lines.emplace_back("Note,an unknown line is only odd, not damage");
    t.write(meter_path, lines_to_bytes(lines));
    t.write("system/meter.txt", "M6,1\r\n");
    check_files(t.host);
    EXPECT_EQ(t.read(meter_path), lines_to_bytes(lines));
    EXPECT_EQ(t.host.money.cashpot, 1000) << "the cash pot is loaded, halves to even";
    EXPECT_EQ(t.log(), "<ERROR LOG>\r\n");
}

// A meter file the host cannot read as its records is never played on: the start-up ends with error 75,
// the detail and the log name the file and the line, and nothing of the file changes.
TEST(FolderCheck, ADamagedMeterFileEndsTheStartUpNamingTheFileAndTheLine) {
    struct case_ {
        const char* what;
        std::function<std::string(const std::vector<std::string>&)> bytes;
        const char* named;  // what the detail says after the file's path
    };
    const auto without = [](std::vector<std::string> lines, const std::string& key) {
        std::erase_if(lines, [&](const std::string& line) { return line_matches_key(line, key); });
        return lines_to_bytes(lines);
    };
    const auto replaced = [](std::vector<std::string> lines, const std::string& from, const std::string& to) {
        for (auto& line : lines) {
            if (line == from) line = to;
        }
        return lines_to_bytes(lines);
    };
    for (const auto& c : std::vector<case_>{
             {"empty", [](const auto&) { return std::string(); }, "it holds no lines"},
             {"blank lines", [](const auto&) { return std::string("\r\n  \r\n"); }, "it holds no lines"},
             {"garbage", [](const auto&) { return std::string("\x7f\x01garbage\xff\r\n"); }, "GameName: no line"},
             {"CR-only",
              [](const auto& lines) {
                  std::string bytes;
                  for (const auto& line : lines) bytes += line + "\r";
                  return bytes;
              },
              "its lines end with CR alone"},
             {"no M1 line", [&](const auto& lines) { return without(lines, "M1"); }, "M1: no line"},
             {"no M10 line", [&](const auto& lines) { return without(lines, "M10"); }, "M10: no line"},
             {"no header", [&](const auto& lines) { return without(lines, "ModifiedDate"); }, "ModifiedDate: no line"},
             {"a value not a number", [&](const auto& lines) { return replaced(lines, "M1,0", "M1,12x"); },
              "line 5 \"M1,12x\": the value \"12x\" is not a number"},
             {"a row without its value", [&](const auto& lines) { return replaced(lines, "M2,3,0", "M2,3"); },
              "line 9 \"M2,3\": no value"},
             {"a row missing", [&](const auto& lines) { return without(lines, "M4,5"); }, "M4,5: row missing"},
         }) {
        SCOPED_TRACE(c.what);
        cabinet t;
        const std::string bytes = c.bytes(t.meter_lines);
        t.write(meter_path, bytes);
        const run_time_error e = failure_of([&] { check_files(t.host); });
        EXPECT_EQ(e.number(), path_file_access_error);
        EXPECT_NE(e.detail().find(t.path(meter_path) + ": " + c.named), std::string::npos) << e.detail();
        EXPECT_NE(e.detail().find("restore it"), std::string::npos) << e.detail();
        EXPECT_EQ(t.log(), "<ERROR LOG>\r\n07/12/2026 14:05:09  METER FILE DAMAGED - " +
                               single_line(e.detail().substr(0, e.detail().find("; restore"))) + "\r\n");
        EXPECT_EQ(t.read(meter_path), bytes) << "the damaged file is kept for the operator";
    }
}

TEST(FolderCheck, ADamagedMasterCopyIsRestoredButNotPlayedOn) {
    cabinet t;
    std::filesystem::remove(t.path(meter_path));
    t.write("system/meter.txt", "M6,1\r\n");
    const run_time_error e = failure_of([&] { check_files(t.host); });
    EXPECT_EQ(e.number(), path_file_access_error);
    EXPECT_NE(e.detail().find("GameName: no line (and "), std::string::npos) << e.detail();
    EXPECT_EQ(t.read(meter_path), "M6,1\r\n");
}

// Every file start-up reads whole is read within a bound: a sparse setup file or meter file of 64 MiB (or
// 2 GiB: the same path) ends the start-up with the file named, at once and without the memory; so does a
// high-score table too large for the first game that enters a score.
TEST(FolderCheck, AnOverSizeFileEndsTheStartUpNamingIt) {
    for (const char* name : {"system/setup.ini", meter_path, "variable/highscores.txt"}) {
        SCOPED_TRACE(name);
        cabinet t;
        t.write("system/setup.ini", "S1,40\r\nS2,50\r\n");
        std::filesystem::resize_file(t.path(name), std::uintmax_t{64} << 20);
        const run_time_error e = failure_of([&] { check_files(t.host); });
        EXPECT_EQ(e.number(), path_file_access_error);
        EXPECT_NE(e.detail().find(t.path(name) + " is 67108864 bytes"), std::string::npos) << e.detail();
    }
}

TEST(FolderCheck, ExistingHighScoresAreLeftAsTheyAreEvenWhenDamaged) {
    cabinet t;
    t.write("variable/highscores.txt", "\x01garbage");
    check_files(t.host);
    EXPECT_EQ(t.read("variable/highscores.txt"), "\x01garbage");
}

TEST(FolderCheck, AFreshProgramFolderIsCompletelyRepaired) {
    meter_host t;  // nothing below the program folder
    check_files(t.host);
    EXPECT_EQ(t.read("system/setup.ini"), "S1,40\r\nS2,50\r\n");
    EXPECT_EQ(t.host.money.payout_percent, 40.0f);
    EXPECT_EQ(t.host.money.price_per_play, 50);
    EXPECT_EQ(t.host.money.cashpot, 0);
    EXPECT_EQ(t.read(meter_path), lines_to_bytes(new_meter_file_lines(t.host)));
    EXPECT_EQ(count_lines(*t.host.io.files, t.path(meter_path)), 66);
    EXPECT_TRUE(t.exists("variable/highscores.txt"));
    EXPECT_GT(count_lines(*t.host.io.files, t.path("variable/highscores.txt")), 0);
    EXPECT_EQ(t.read("system/logs/log.txt"),
              "<ERROR LOG>\r\nCreated on 07/12/2026 at 14:05:09\r\n\r\n"
              "07/12/2026 14:05:09  Creating variable folder\r\n"
              "07/12/2026 14:05:09  Creating Dummy High scores\r\n"
              "07/12/2026 14:05:09  Creating Meter File\r\n");
}

TEST(FolderCheck, EachRepairIsLoggedJustBeforeItIsMade) {
    meter_host t;
    faulty_file_system faulty(make_native_file_system());
    t.host.io.files = &faulty;
    check_files(t.host);
    // The file steps of the whole check, with the paths below the program folder.
    std::vector<std::string> steps;
    for (std::string step : faulty.log) {
        for (auto at = step.find(t.host.program_folder); at != std::string::npos;
             at = step.find(t.host.program_folder)) {
            step.erase(at, t.host.program_folder.size());
        }
        std::replace(step.begin(), step.end(), '\\', '/');  // one spelling on every system
        steps.push_back(step);
    }
    const auto position = [&steps](const std::string& step) {
        return std::find(steps.begin(), steps.end(), step) - steps.begin();
    };
    const auto log_entry = position("append /system/logs/log.txt");
    ASSERT_LT(log_entry + 3, static_cast<long>(steps.size()));
    EXPECT_EQ(steps[log_entry + 1], "mkdir /variable/");
    EXPECT_EQ(steps[log_entry + 2], "append /system/logs/log.txt");
    EXPECT_EQ(steps[log_entry + 3].rfind("write /variable/", 0), 0u) << steps[log_entry + 3];
    EXPECT_LT(position("mkdir /system/"), position("write /system/setup.ini.new"));
    EXPECT_LT(position("write /system/setup.ini.new"), position("mkdir /system/logs/"));
    EXPECT_EQ(steps.back(), "syncdir /system/logs") << "the meter file is the last thing made";
}

// The log line names a repair before it is made, so a repair that fails is still on record.
TEST(FolderCheck, RepairIsLoggedBeforeItIsTriedAndItsFailureEndsTheCheck) {
    cabinet t;
    faulty_file_system faulty(make_native_file_system());
    t.host.io.files = &faulty;
    t.write("system/setup.ini", "S1,40\r\nS2,50\r\n");
    std::filesystem::remove(t.path(meter_path));
    t.host.money.cashpot = 77;
    faulty.fail_at_step(2);  // the log line is step 1, the meter file's first write step 2
    EXPECT_EQ(error_of([&] { check_files(t.host); }), path_file_access_error);
    EXPECT_EQ(faulty.log.at(0), "append " + t.path("system/logs/log.txt"));
    EXPECT_EQ(t.log(), "<ERROR LOG>\r\n07/12/2026 14:05:09  Creating Meter File\r\n");
    EXPECT_FALSE(t.exists(meter_path));
    EXPECT_EQ(t.host.money.cashpot, 77) << "steps after the failing one do not run";
}

}  // namespace
}  // namespace quizhost::testing
