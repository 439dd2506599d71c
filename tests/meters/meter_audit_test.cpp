// The auditor's report on a damaged meter file, and what the report says about itself and about the share
// paid out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "meters/meter_report.hpp"
#include "platform/file_system.hpp"
#include "support/meters_support.hpp"

namespace quizhost {
void PrintTo(const meter_report::damaged_line& d, std::ostream* os) {
    *os << d.number << " [" << d.text << "] " << d.problem;
}
}  // namespace quizhost

namespace quizhost::testing {
namespace {

using ::testing::HasSubstr;
using damaged_line = meter_report::damaged_line;

// A new meter file for the default tables, each line changed by `edit` (an empty result drops the line).
std::string edited_meter_file(meter_host& t, const std::function<std::string(const std::string&)>& edit,
                              const std::string& appended = "") {
    std::string bytes;
    for (const auto& line : new_meter_file_lines(t.host)) {
        const std::string changed = edit(line);
        if (!changed.empty()) bytes += changed + "\r\n";
    }
    return bytes + appended;
}

TEST(DamagedMeterFile, ASoundFileHasNoDamage) {
    meter_host t;
    EXPECT_TRUE(read_meter_report(lines_to_bytes(new_meter_file_lines(t.host))).damaged.empty());
    // Letter case of keys, blanks around numbers and blank lines are read by the host as they should be.
    const std::string file = edited_meter_file(t, [](const std::string& line) {
        if (line == "M1,0") return std::string("m1, 7 \r\n");
        return line;
    });
    EXPECT_TRUE(read_meter_report(file).damaged.empty());
}

TEST(DamagedMeterFile, NamesEveryDamagedLineWithItsNumber) {
    meter_host t;
    const std::string file = edited_meter_file(
        t,
        [](const std::string& line) -> std::string {
            if (line == "M1,0") return "M1,abc";           // line 5
            if (line == "M4,7,0") return "";               // a row missing between others
            if (line == "M10,0") return "";                // a meter missing
            if (line == "M2,3,0") return "M2,03,4";        // an index the host never forms
            if (line == "M13,2,0,0%") return "M13,2,1,x";  // a share that is no number
            if (line == "M16,3,0") return "M16,3,2,9";     // a field too many
            return line;
        },
        "M5,1\r\nM8,4\r\nM16,1\r\n");
    const meter_report r = read_meter_report(file);
    const std::vector<damaged_line> expected{
        {5, "M1,abc", "the value \"abc\" is not a number"},
        {9, "M2,03,4", "the index \"03\" is not one the host writes"},
        {58, "M16,3,2,9", "more fields than the meter has"},
        {61, "M13,2,1,x", "the share correct \"x\" is not a number followed by %"},
        {65, "M5,1", "unknown key"},
        {66, "M8,4", "repeats M8, whose first line counts"},
        {67, "M16,1", "repeats M16,1, whose first line counts"},
        {0, "M2,3", "row missing"},
        {0, "M4,7", "row missing"},
        {0, "M10", "no line"},
    };
    EXPECT_EQ(r.damaged, expected);
    // What can be read is still read, as the host reads it.
    EXPECT_EQ(r.games_played, 0);
    EXPECT_FALSE(r.total_paid);
    EXPECT_EQ(r.games_without_prize, 0) << "the first M8 line counts";
}

TEST(DamagedMeterFile, MissingRowsFollowTheTwinMeterAndAreNamedOncePerRun) {
    meter_host t;
    const std::string file = edited_meter_file(
        t,
        [](const std::string& line) -> std::string {
            if (line.starts_with("M11,6") || line.starts_with("M7,")) return "";
            if (line.starts_with("M13,")) return "";
            return line;
        },
        "M4,900,1\r\nM7,1,5\r\n");
    const meter_report r = read_meter_report(file);
    const std::vector<damaged_line> expected{
        {0, "M4,13 to M4,899", "rows missing"},
        {0, "M7,2 to M7,20", "rows missing"},
        {0, "M11,6", "row missing"},
        {0, "M13,1 to M13,4", "rows missing"},
    };
    EXPECT_EQ(r.damaged, expected);
}

TEST(DamagedMeterFile, MissingHeaderLinesAndAnEmptyFile) {
    const meter_report empty = read_meter_report("");
    ASSERT_FALSE(empty.damaged.empty());
    EXPECT_EQ(empty.damaged.front(), (damaged_line{0, "GameName", "no line"}));
    EXPECT_EQ(empty.damaged.size(), 4u + 14u) << "four header lines and every meter but the optional cash pot";
}

TEST(DamagedMeterFile, TheToolPrintsWhatItCanNamesTheLinesAndFails) {
    meter_host t;
    t.write(meter_path, edited_meter_file(t, [](const std::string& line) -> std::string {
                if (line == "M1,0") return "M1,abc";
                if (line == "M10,0") return "";
                return line;
            }));
    auto fs = make_native_file_system();
    std::ostringstream out, err;
    EXPECT_EQ(run_meter_report(*fs, t.clock, {t.host.program_folder, "", "text", "", ""}, out, err), 1);
    EXPECT_EQ(err.str(), "quizhost meters: " + t.path(meter_path) +
                             " is damaged: line 5 \"M1,abc\": the value \"abc\" is not a number; M10: no line\n");
    EXPECT_THAT(out.str(), HasSubstr("\n\nDamaged lines (the figures below read the file as the host does)\n"
                                     "  line 5: M1,abc: the value \"abc\" is not a number\n"
                                     "  missing: M10: no line\n\nMeter file\n"));
    EXPECT_THAT(out.str(), HasSubstr("Games played (M1)                         0"));
    EXPECT_THAT(out.str(), HasSubstr("Total of prizes paid, credits (M10)  no line"));
}

// ---- What the report says about itself, and the share paid out ----

std::string report_of(meter_host& t, const std::string& meters) {
    t.write(meter_path, meters);
    auto fs = make_native_file_system();
    std::ostringstream out, err;
    run_meter_report(*fs, t.clock, {t.host.program_folder, "", "text", "", ""}, out, err);
    return out.str();
}

std::string sound_file(meter_host& t, const std::map<std::string, std::string>& values) {
    return edited_meter_file(t, [&values](const std::string& line) {
        for (const auto& [key, value] : values) {
            if (line_matches_key(line, key)) return key + "," + value;
        }
        return line;
    });
}

TEST(MeterReportHeader, SaysWhenItWasMadeFromWhichFileAndTheOrderOfDates) {
    meter_host t;
    const std::string meters = sound_file(t, {});  // made at 14:05:09 07/12/2026
    t.clock.set(date_time{2026, 12, 9, 16, 50, 53});
    const std::string text = report_of(t, meters);
    EXPECT_THAT(text, HasSubstr("Meter report: " + t.path(meter_path) + "\n"));
    EXPECT_THAT(text, HasSubstr("Report made (time, dd/mm/yyyy)        16:50:53 09/12/2026\n"));
    EXPECT_THAT(text, HasSubstr("Created (time, dd/mm/yyyy)            14:05:09 07/12/2026\n"));
    EXPECT_THAT(text, HasSubstr("Last game counted (time, dd/mm/yyyy)  14:05:09 07/12/2026\n"));
}

TEST(MeterReportPaidShare, PrizesAgainstGamesTimesTodaysPriceBesideTheSetPayout) {
    meter_host t;
    t.write("system/setup.ini", "S1,35\r\nS2,20\r\n");
    const std::string text = report_of(t, sound_file(t, {{"M1", "40"}, {"M10", "300"}}));
    EXPECT_THAT(text, HasSubstr("Share paid out (an estimate at today's price)\n"
                                "  Price per play today, credits (setup.ini S2)  20\n"
                                "  Takings at today's price (M1 x S2)            800\n"
                                "  Share paid out, estimate (M10 / takings)      37.5%\n"
                                "  Payout percentage set (setup.ini S1)          35%\n"));
}

TEST(MeterReportPaidShare, UsesTheSettingsTheHostWouldRunWith) {
    meter_host t;
    // Out of bounds: the host runs at 70% and 50 credits, and so does the estimate.
    t.write("system/setup.ini", "S1,75\r\nS2,0\r\n");
    std::string text = report_of(t, sound_file(t, {{"M1", "4"}, {"M10", "100"}}));
    EXPECT_THAT(text, HasSubstr("Price per play today, credits (setup.ini S2)  50\n"));
    EXPECT_THAT(text, HasSubstr("Share paid out, estimate (M10 / takings)      50.0%\n"));
    EXPECT_THAT(text, HasSubstr("Payout percentage set (setup.ini S1)          70%\n"));

    // No setup file: the values a new one would hold.
    std::filesystem::remove(t.path("system/setup.ini"));
    text = report_of(t, sound_file(t, {{"M1", "0"}}));
    EXPECT_THAT(text, HasSubstr("Price per play today, credits (setup.ini S2)  50\n"));
    EXPECT_THAT(text, HasSubstr("Share paid out, estimate (M10 / takings)      -\n")) << "no games, no share";
    EXPECT_THAT(text, HasSubstr("Payout percentage set (setup.ini S1)          40%\n"));
}

}  // namespace
}  // namespace quizhost::testing
