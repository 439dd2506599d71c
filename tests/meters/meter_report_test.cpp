#include "meters/meter_report.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "platform/file_system.hpp"
#include "support/faulty_file_system.hpp"
#include "support/meters_support.hpp"

namespace quizhost::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// A meter file of 40 games with known values.
const char* const known_meters =
    "GameName,Tollcastle Wrapper\r\nVersion,7.12\r\nCreationDate,09:00:00 01/12/2026\r\n"
    "ModifiedDate,14:05:09 07/12/2026\r\nM1,40\r\n"
    "M2,0,10\r\nM2,1,0\r\nM2,2,20\r\nM2,3,10\r\nM2,4,0\r\nM2,5,0\r\nM2,6,0\r\n"
    "M4,1,4\r\nM4,2,6\r\nM4,12,30\r\n"
    "M7,1,5\r\nM7,2,3\r\nM7,20,1\r\nM7,3,0\r\n"
    "M8,30\r\nM9,2\r\nM10,1500\r\nM17,1600\r\nM12,3600\r\nM15,100\r\n"
    "M11,0,500\r\nM11,2,1000\r\n"
    "M16,1,40\r\nM16,2,30\r\nM16,3,20\r\nM16,4,10\r\n"
    "M13,1,30,75%\r\nM13,2,10,33%\r\nM13,3,5,25%\r\nM13,4,0,0%\r\n"
    "M14,1\r\nM6,1000\r\n";

// The same meters with every row a sound file has (the rows added hold 0).
const std::string sound_meters = std::string(known_meters) +
                                 "M4,3,0\r\nM4,4,0\r\nM4,5,0\r\nM4,6,0\r\nM4,7,0\r\nM4,8,0\r\nM4,9,0\r\n"
                                 "M4,10,0\r\nM4,11,0\r\nM7,4,0\r\nM7,5,0\r\nM7,6,0\r\nM7,7,0\r\nM7,8,0\r\n"
                                 "M7,9,0\r\nM7,10,0\r\nM7,11,0\r\nM7,12,0\r\nM7,13,0\r\nM7,14,0\r\n"
                                 "M7,15,0\r\nM7,16,0\r\nM7,17,0\r\nM7,18,0\r\nM7,19,0\r\n"
                                 "M11,1,0\r\nM11,3,0\r\nM11,4,0\r\nM11,5,0\r\nM11,6,0\r\n";

TEST(MeterReport, ReadsEveryMeterAndDerivesTheAuditFigures) {
    const meter_report r = read_meter_report(known_meters);
    EXPECT_EQ(r.game_name, "Tollcastle Wrapper");
    EXPECT_EQ(r.modified, "14:05:09 07/12/2026");
    EXPECT_EQ(r.games_played, 40);
    EXPECT_EQ(r.games_by_mode.size(), 7u);
    ASSERT_EQ(r.prize_bands.size(), 4u);
    EXPECT_EQ(r.prize_bands[2].index, 3) << "rows are put in index order";
    EXPECT_EQ(r.prize_bands[3].value, 1);
    EXPECT_EQ(r.cashpot, 1000);
    EXPECT_TRUE(r.other_lines.empty());

    EXPECT_EQ(r.average_prize(), 37.5);
    EXPECT_EQ(r.average_prize_when_paid(), 150);
    EXPECT_EQ(r.average_game_seconds(), 90);
    EXPECT_EQ(r.mode_share(r.games_by_mode[2].value), 50);
    ASSERT_EQ(r.difficulties.size(), 4u);
    EXPECT_EQ(meter_report::correct_share(r.difficulties[0]), 75);
    EXPECT_EQ(r.difficulties[1].recorded_percent, "33%");
    EXPECT_EQ(r.selected_game_mode(), 1);
}

TEST(MeterReport, NothingToDivideByGivesNoFigureAndAMissingLineIsShown) {
    const meter_report r = read_meter_report("M1,0\r\nM16,1,0\r\nM13,1,0,0%\r\n");
    EXPECT_FALSE(r.average_prize());
    EXPECT_FALSE(r.average_game_seconds());
    EXPECT_FALSE(r.mode_share(3));
    EXPECT_FALSE(meter_report::correct_share(r.difficulties.at(0)));
    EXPECT_FALSE(r.total_paid);
    const std::string text = meter_report_text(r, "f");
    EXPECT_THAT(text, HasSubstr("Total of prizes paid, credits (M10)  no line"));
    EXPECT_THAT(text, HasSubstr("Cash pot, credits (M6)       none (the file has no cash pot line)"));
}

TEST(MeterReport, ReadsAsTheHostDoesAndShowsWhatItDoesNotCount) {
    const meter_report r = read_meter_report("m1,5\nM1,9\nM2,02,7\nM2,2,3\nM99,1\nM1 ,4\nnonsense\n\nM17,-1600\n");
    EXPECT_EQ(r.games_played, 5) << "the first line of a key counts, in any letter case";
    ASSERT_EQ(r.games_by_mode.size(), 1u);
    EXPECT_EQ(r.games_by_mode[0].value, 3) << "the host never finds a row written as 02";
    EXPECT_EQ(r.selected_game_mode(), 5);
    EXPECT_EQ(r.other_lines, (std::vector<std::string>{"M1,9", "M2,02,7", "M99,1", "M1 ,4", "nonsense"}));
    EXPECT_THAT(meter_report_text(r, "f"), HasSubstr("  nonsense\n"));
}

TEST(MeterReport, TextLabelsEveryMeterWithItsFigures) {
    const std::string text = meter_report_text(read_meter_report(known_meters), "cab/system/logs/meter.txt");
    for (const char* expected : {
             "Meter report: cab/system/logs/meter.txt",
             "Games played (M1)                         40",
             "Games without a prize (M8)                30",
             "Games with the movie's first flag (M9)    2",
             "Games with the movie's second flag (M14)  1",
             "Total of prizes paid, credits (M10)  1500",
             "Average prize per game played        37.50",
             "Average prize per game with a prize  150",
             "Total game time, h:mm:ss        1:00:00",
             "Average game length, h:mm:ss    0:01:30",
             "Questions answered (M15)  100",
             "Reflex meter, credits (M17)  1600",
             "Game mode it selects         1",
             "Cash pot, credits (M6)       1000",
             "  Mode   Games   Share of games\n  0         10            25.0%\n  1          0             0.0%\n  2   "
             "      20            50.0%",
             "  Band   Prize, credits   Games\n  1          100 to 199       5",
             "  20       2000 to 2099       1",
             "  Mode   Credits paid\n  0               500\n  2              1000",
             "  12            30",
             "  2                  30        10           33.3%                            33%",
         }) {
        EXPECT_THAT(text, HasSubstr(expected));
    }
}

// ---- HTML ----

// A small XML well-formedness check: tags nest and close, attributes are quoted, every "&" starts a known
// entity. Returns "" when well formed, else what is wrong; counts the elements named `count_name`.
std::string xml_problem(const std::string& page, const std::string& count_name, int& count) {
    std::vector<std::string> open;
    count = 0;
    for (std::size_t i = 0; i < page.size();) {
        if (page[i] == '&') {
            const auto end = page.find(';', i);
            if (end == std::string::npos) return "unterminated entity";
            const std::string entity = page.substr(i + 1, end - i - 1);
            const bool numeric =
                entity.size() > 1 && entity[0] == '#' && entity.find_first_not_of("0123456789", 1) == std::string::npos;
            if (!numeric && entity != "amp" && entity != "lt" && entity != "gt" && entity != "quot" &&
                entity != "apos") {
                return "unknown entity &" + entity + ";";
            }
            i = end + 1;
            continue;
        }
        if (page[i] == '>') return "stray >";
        if (page[i] != '<') {
            ++i;
            continue;
        }
        const auto end = page.find('>', i);
        if (end == std::string::npos) return "unterminated tag";
        std::string tag = page.substr(i + 1, end - i - 1);
        i = end + 1;
        if (tag.rfind("!DOCTYPE", 0) == 0 || tag.rfind('?', 0) == 0) continue;
        if (tag.find('<') != std::string::npos) return "< inside a tag";
        if (tag.rfind('/', 0) == 0) {
            if (open.empty() || open.back() != tag.substr(1)) return "</" + tag.substr(1) + "> closes nothing open";
            open.pop_back();
            continue;
        }
        const bool empty = !tag.empty() && tag.back() == '/';
        if (empty) tag.pop_back();
        const std::string name = tag.substr(0, tag.find_first_of(" \n"));
        // Attributes: name="value" pairs only.
        std::size_t quotes = 0;
        for (char c : tag) quotes += c == '"';
        if (quotes % 2 != 0) return "unbalanced quotes in <" + name + ">";
        for (std::size_t at = tag.find('='); at != std::string::npos; at = tag.find('=', at + 1)) {
            if (at + 1 >= tag.size() || tag[at + 1] != '"') return "unquoted attribute in <" + name + ">";
            at = tag.find('"', at + 2);
        }
        if (name == count_name) ++count;
        if (!empty) open.push_back(name);
    }
    return open.empty() ? "" : "<" + open.back() + "> never closed";
}

TEST(MeterReportHtml, IsOneWellFormedPageWithAnSvgPerChartAndNoScript) {
    meter_report r = read_meter_report(known_meters);
    r.game_name = "Quiz <b> & \"friends\"\x01\xe9";  // text that must be escaped
    const std::string page = meter_report_html(r, "cab/system/logs/meter.txt");
    int svgs = 0;
    EXPECT_EQ(xml_problem(page, "svg", svgs), "");
    EXPECT_EQ(svgs, 3) << "prize bands, games per mode, correct share per difficulty";
    EXPECT_THAT(page, HasSubstr("Quiz &lt;b&gt; &amp; &quot;friends&quot; &#233;"));
    EXPECT_THAT(page, Not(HasSubstr("<script")));
    EXPECT_THAT(page, Not(HasSubstr("href=")));
    EXPECT_THAT(page, Not(HasSubstr("src=")));
    for (const char* label : {"Games played (M1)", "Average prize per game played", "Games by prize band (M7)",
                              "Share correct by difficulty", "75.0%", "2000 to 2099"}) {
        EXPECT_THAT(page, HasSubstr(label));
    }
}

TEST(MeterReportHtml, ParsesAsXmlWithPython) {
#ifdef _WIN32
    GTEST_SKIP() << "the Windows build cannot start the build machine's python3";
#endif
    if (!std::filesystem::exists("/usr/bin/python3")) GTEST_SKIP() << "python3 is not installed";
    test_host t;
    t.write("page.html", meter_report_html(read_meter_report(known_meters), "meter.txt"));
    t.write("check.py",
            "import sys, xml.etree.ElementTree as ET\n"
            "root = ET.parse(sys.argv[1]).getroot()\n"
            "svg = '{http://www.w3.org/2000/svg}'\n"
            "titles = [s.find(svg + 'title').text for s in root.iter(svg + 'svg')]\n"
            "bars = [len(list(s.iter(svg + 'rect'))) for s in root.iter(svg + 'svg')]\n"
            "print(';'.join(titles), bars, file=open(sys.argv[2], 'w'))\n");
    const std::string command =
        "/usr/bin/python3 " + t.path("check.py") + " " + t.path("page.html") + " " + t.path("out.txt");
    ASSERT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(t.read("out.txt"), "Games by prize band;Games by game mode;Share correct by difficulty [4, 7, 4]\n");
}

// ---- The tool ----

TEST(MeterTool, ReadsTheCabinetsMeterFileWithoutWritingIt) {
    meter_host t;
    t.write(meter_path, sound_meters);
    faulty_file_system faulty(make_native_file_system());
    std::ostringstream out, err;
    EXPECT_EQ(run_meter_report(faulty, t.host.program_folder, "", out, err), 0);
    EXPECT_EQ(faulty.steps(), 0) << "nothing was written";
    EXPECT_THAT(out.str(), HasSubstr("Games played (M1)                         40"));
    EXPECT_EQ(err.str(), "");

    EXPECT_EQ(run_meter_report(faulty, t.host.program_folder, t.path("report.html"), out, err), 0);
    for (const auto& step : faulty.log) EXPECT_THAT(step, Not(HasSubstr("meter.txt")));
    EXPECT_THAT(t.read("report.html"), HasSubstr("<svg"));
    EXPECT_EQ(t.read(meter_path), sound_meters);
}

TEST(MeterTool, MissingMeterFileOrUnwritablePageIsAClearFailure) {
    meter_host t;
    auto fs = make_native_file_system();
    std::ostringstream out, err;
    EXPECT_EQ(run_meter_report(*fs, t.host.program_folder, "", out, err), 1);
    EXPECT_EQ(err.str(), "quizhost meters: no meter file at " + t.path(meter_path) + "\n");

    t.write(meter_path, known_meters);
    err.str("");
    EXPECT_EQ(run_meter_report(*fs, t.host.program_folder, t.path("no/such/folder/r.html"), out, err), 1);
    EXPECT_THAT(err.str(), HasSubstr("quizhost meters: "));
    EXPECT_THAT(err.str(), HasSubstr(t.path("no/such/folder/r.html")));
}

}  // namespace
}  // namespace quizhost::testing
