// The meters as metrics: names from the meter definitions, the text Prometheus's collectors read, the
// JSON, the health figures from the log, and the tool's options.
#include "meters/meter_export.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

#include "meters/meter_defs.hpp"
#include "meters/meter_report.hpp"
#include "platform/clock.hpp"
#include "platform/file_system.hpp"
#include "support/e2e.hpp"
#include "support/faulty_file_system.hpp"
#include "support/meters_support.hpp"

namespace quizhost::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

TEST(MeterDefinitions, EveryMeterHasOneKeyOneMetricAndAKindThatFitsItsName) {
    std::set<std::string_view> keys, metrics;
    const std::regex name("quizhost_[a-z_]+");
    for (const meter_def* meter : all_meters) {
        EXPECT_TRUE(keys.insert(meter->key).second) << meter->key;
        EXPECT_TRUE(metrics.insert(meter->metric).second) << meter->metric;
        EXPECT_TRUE(std::regex_match(std::string(meter->metric), name)) << meter->metric;
        // Counters end in "_total"; a level never does. A unit, when there is one, ends the base name.
        const bool total = meter->metric.ends_with("_total");
        EXPECT_EQ(total, meter->kind == metric_kind::counter) << meter->metric;
        const std::string_view base = total ? meter->metric.substr(0, meter->metric.size() - 6) : meter->metric;
        if (!meter->unit.empty()) {
            EXPECT_TRUE(base.ends_with("_" + std::string(meter->unit))) << meter->metric;
        }
        EXPECT_EQ(find_meter(meter->key), meter);
        EXPECT_THAT(std::string(meter->help), HasSubstr("(meter " + std::string(meter->key)));
    }
    EXPECT_EQ(find_meter("m17"), &meter::reflex_meter) << "keys match in any letter case, as the host's do";
    EXPECT_EQ(find_meter("M3"), nullptr);
    EXPECT_EQ(meter::games_by_band.row_key(12), "M7,12");
    EXPECT_EQ(meter::games_played.value_field(), 1);
    EXPECT_EQ(meter::questions_right.value_field(), 2);
}

// ---- The log ----

TEST(LogSummary, CountsFatalErrorsAndFindsTheLastLaunch) {
    const log_summary s = summarize_log(
        "<ERROR LOG>\r\nCreated on 01/12/2026 at 09:00:00\r\n\r\n"
        "01/12/2026 09:00:01  LAUNCHING GAME (V7.12)\r\n"
        "01/12/2026 09:10:00  ERROR! 53 - File not found.  Game Terminated.\r\n"
        "02/12/2026 08:00:00  LAUNCHING GAME (V7.12)\r\n"
        "02/12/2026 08:00:05  *ERROR* Blank Question 1 2\r\n"
        "02/12/2026 08:30:00  ERROR! 13 - Type mismatch.  Game Terminated.\n"
        "02/12/2026 08:31:00  ERROR! 13 - Type mismatch. but not fatal\r\n"
        "2/12/2026 08:32:00  ERROR! 5 - x.  Game Terminated.\r\n"
        "ERROR! 5 - Invalid procedure call or argument.  Game Terminated.\r\n");
    EXPECT_EQ(s.fatal_errors, 2) << "only whole fatal entries of the log's own shape";
    EXPECT_EQ(s.last_launch, (date_time{2026, 12, 2, 8, 0, 0}));
    EXPECT_EQ(summarize_log("").fatal_errors, 0);
    EXPECT_FALSE(summarize_log("").last_launch);
}

// The fleet's fatal counter counts the host's own fatal ends, the kiosk's end after its browser kept dying
// included, and never a movie's TO_LOG text, which the host writes marked as the movie's.
TEST(LogSummary, CountsTheHostsFatalEndsAndNotAMoviesText) {
    const log_summary s = summarize_log(
        "01/12/2026 09:10:00  ERROR! 53 - File not found.  Game Terminated.\r\n"
        "01/12/2026 09:20:00  KIOSK BROWSER DIED 5 TIMES WITHIN A MINUTE (last: it ended, status 1).  Game "
        "Terminated.\r\n"
        "01/12/2026 09:30:00  (movie) ERROR! 5 - Invalid procedure call or argument.  Game Terminated.\r\n"
        "01/12/2026 09:31:00  Game Terminated.\r\n"
        "01/12/2026 09:32:00  KIOSK BROWSER DIED, said the movie\r\n"
        "01/12/2026 09:33:00  (movie) LAUNCHING GAME (V7.99)\r\n");
    EXPECT_EQ(s.fatal_errors, 2);
    EXPECT_FALSE(s.last_launch) << "a movie's launch line is not the host's";
}

// The real program: a movie that logs what looks like a fatal error leaves the counter at 0; the host's
// own fatal end (a command on a missing question file) counts 1.
TEST(LogSummary, AMoviesForgedFatalLineIsNotCountedByTheExport) {
    cabinet cab;
    cab.make_standard();
    const run_result played = cab.run(
        "fs\tINTRO_END\nfs\tTO_LOG\tERROR! 5 - Invalid procedure call or argument.  Game Terminated.\n"
        "fs\tTO_LOG\tGame Terminated\nfs\tCLOSE_ALL\n");
    ASSERT_EQ(played.status, 0) << played.err;
    EXPECT_THAT(cab.read("system/logs/log.txt"), HasSubstr("  (movie) ERROR! 5 - Invalid procedure call"));
    // The counter's value as the export gives it.
    const auto fatal_count = [&] {
        const std::string text =
            run_program(bin_path("quizhost"), {"meters", "--root", cab.root(), "--format", "prometheus"}).out;
        const auto at = text.find("quizhost_log_fatal_errors_total{");
        if (at == std::string::npos) return std::string("none in: ") + text;
        const auto value = text.find("} ", at) + 2;
        return text.substr(value, text.find('\n', value) - value);
    };
    EXPECT_EQ(fatal_count(), "0");

    std::filesystem::remove(cab.path("data/data_1_2.dat"));
    const run_result died = cab.run("fs\tINTRO_END\nfs\tSTART_GAME\ndraw\t0\nfs\tGET_QUESTION\t1,F\n");
    EXPECT_EQ(died.status, exit_fatal) << died.err;
    EXPECT_EQ(fatal_count(), "1");
}

// ---- The export ----

// A cabinet "cab-1" with a meter file, setup file and log; the clock stands at 09/12/2026 16:50:53.
struct export_host : meter_host {
    export_host() {
        clock.set(date_time{2026, 12, 9, 16, 50, 53});
        std::string meters;
        for (const auto& line : new_meter_file_lines(host)) {
            if (line == "M1,0")
                meters += "M1,40\r\n";
            else if (line == "M2,2,0")
                meters += "M2,2,30\r\n";
            else if (line == "M10,0")
                meters += "M10,1500.5\r\n";
            else if (line == "M17,0")
                meters += "M17,-1600\r\n";
            else if (line == "M13,3,0,0%")
                meters += "M13,3,7,70%\r\n";
            else if (line == "M16,3,0")
                meters += "M16,3,10\r\n";
            else
                meters += line + "\r\n";
        }
        write(meter_path, meters);
        write("system/setup.ini", "S1,35\r\nS2,20\r\n");
        write("system/logs/log.txt",
              "<ERROR LOG>\r\n01/12/2026 09:00:01  LAUNCHING GAME (V7.12)\r\n"
              "01/12/2026 09:10:00  ERROR! 53 - File not found.  Game Terminated.\r\n");
    }

    int run(const std::string& format, const std::string& output = "", const std::string& cabinet = "cab-1") {
        auto fs = make_native_file_system();
        out.str("");
        err.str("");
        return run_meter_report(*fs, clock, {host.program_folder, "", format, output, cabinet}, out, err);
    }
    std::ostringstream out, err;
};

TEST(MeterExport, EveryMeterUnderItsNameWithTheCabinetAndRowLabels) {
    export_host t;
    ASSERT_EQ(t.run("prometheus"), 0) << t.err.str();
    const std::string text = t.out.str();
    for (const char* expected : {
             "# HELP quizhost_games_played_total Games played (meter M1).\n"
             "# TYPE quizhost_games_played_total counter\n"
             "quizhost_games_played_total{cabinet=\"cab-1\"} 40\n",
             "quizhost_games_by_mode_total{cabinet=\"cab-1\",mode=\"2\"} 30\n",
             "quizhost_games_by_mode_total{cabinet=\"cab-1\",mode=\"6\"} 0\n",
             "quizhost_games_by_question_reached_total{cabinet=\"cab-1\",question=\"12\"} 0\n",
             "quizhost_games_by_prize_band_total{cabinet=\"cab-1\",band=\"20\"} 0\n",
             "quizhost_prizes_paid_credits_total{cabinet=\"cab-1\"} 1500.5\n",
             "quizhost_questions_asked_total{cabinet=\"cab-1\",difficulty=\"3\"} 10\n",
             "quizhost_questions_right_total{cabinet=\"cab-1\",difficulty=\"3\"} 7\n",
             "# TYPE quizhost_reflex_meter_credits gauge\nquizhost_reflex_meter_credits{cabinet=\"cab-1\"} -1600\n",
             "# TYPE quizhost_game_mode gauge\nquizhost_game_mode{cabinet=\"cab-1\"} 5\n",
             "quizhost_setup_price_per_play_credits{cabinet=\"cab-1\"} 20\n",
             "quizhost_setup_payout_percent{cabinet=\"cab-1\"} 35\n",
             "# TYPE quizhost_log_fatal_errors_total counter\nquizhost_log_fatal_errors_total{cabinet=\"cab-1\"} 1\n",
             "quizhost_meter_file_damaged_lines{cabinet=\"cab-1\"} 0\n",
             "quizhost_meter_file_info{cabinet=\"cab-1\",game=\"Tollcastle Wrapper\",version=\"7.12\"} 1\n",
         }) {
        EXPECT_THAT(text, HasSubstr(expected));
    }
    // A new file has no cash pot line: no cash pot metric at all rather than a false 0.
    EXPECT_THAT(text, Not(HasSubstr("quizhost_cashpot_credits")));
    EXPECT_THAT(text, Not(HasSubstr("\r")));

    const auto launch = unix_seconds_of_local({2026, 12, 1, 9, 0, 1});
    const auto made = unix_seconds_of_local({2026, 12, 9, 16, 50, 53});
    ASSERT_TRUE(launch && made);
    EXPECT_THAT(
        text, HasSubstr("quizhost_last_launch_timestamp_seconds{cabinet=\"cab-1\"} " + std::to_string(*launch) + "\n"));
    EXPECT_THAT(text,
                HasSubstr("quizhost_export_timestamp_seconds{cabinet=\"cab-1\"} " + std::to_string(*made) + "\n"));
    const auto modified = std::chrono::duration_cast<std::chrono::seconds>(
        std::chrono::file_clock::to_sys(std::filesystem::last_write_time(t.path(meter_path))).time_since_epoch());
    EXPECT_THAT(text, HasSubstr("quizhost_meter_file_modified_timestamp_seconds{cabinet=\"cab-1\"} " +
                                std::to_string(modified.count()) + "\n"));
}

TEST(MeterExport, LabelValuesAreEscapedAndTheCabinetDefaultsToTheFolderName) {
    export_host t;
    ASSERT_EQ(t.run("prometheus", "", "a\"b\\c\nd"), 0);
    EXPECT_THAT(t.out.str(), HasSubstr("quizhost_games_played_total{cabinet=\"a\\\"b\\\\c\\nd\"} 40\n"));
    ASSERT_EQ(t.run("prometheus", "", ""), 0);
    const std::string folder = std::filesystem::path(t.host.program_folder).filename().string();
    EXPECT_THAT(t.out.str(), HasSubstr("quizhost_games_played_total{cabinet=\"" + folder + "\"} 40\n"));
}

TEST(MeterExport, WithoutLogOrSetupFileItSaysWhatItKnows) {
    export_host t;
    std::filesystem::remove(t.path("system/logs/log.txt"));
    std::filesystem::remove(t.path("system/setup.ini"));
    ASSERT_EQ(t.run("prometheus"), 0);
    EXPECT_THAT(t.out.str(), Not(HasSubstr("quizhost_log_fatal_errors_total")));
    EXPECT_THAT(t.out.str(), Not(HasSubstr("quizhost_last_launch_timestamp_seconds")));
    EXPECT_THAT(t.out.str(), HasSubstr("quizhost_setup_price_per_play_credits{cabinet=\"cab-1\"} 50\n"))
        << "the price the host would run with";
}

TEST(MeterExport, ADamagedFileIsStillExportedCountedAndFails) {
    export_host t;
    t.write(meter_path, "M1,abc\r\nM1,5\r\n");
    EXPECT_EQ(t.run("prometheus", t.path("out/cab.prom")), 1) << "the output's folder is missing";
    std::filesystem::create_directories(t.path("out"));
    EXPECT_EQ(t.run("prometheus", t.path("out/cab.prom")), 1);
    EXPECT_THAT(t.err.str(), HasSubstr("line 1 \"M1,abc\": the value \"abc\" is not a number"));
    EXPECT_THAT(t.read("out/cab.prom"), HasSubstr("quizhost_games_played_total{cabinet=\"cab-1\"} 0\n"));
    EXPECT_THAT(t.read("out/cab.prom"), HasSubstr("quizhost_meter_file_damaged_lines{cabinet=\"cab-1\"} 19\n"));
}

TEST(MeterExport, TheOutputIsReplacedAtomicallyAndNothingElseIsWritten) {
    export_host t;
    std::filesystem::create_directories(t.path("textfile"));
    const std::string target = t.path("textfile/quizhost-cab.prom");
    t.write("textfile/quizhost-cab.prom", "old\n");
    const std::string meters_before = t.read(meter_path);
    faulty_file_system faulty(make_native_file_system());
    std::ostringstream out, err;
    ASSERT_EQ(run_meter_report(faulty, t.clock, {t.host.program_folder, "", "prometheus", target, "cab-1"}, out, err),
              0);
    EXPECT_EQ(out.str(), "") << "the metrics went to the file";
    EXPECT_THAT(t.read("textfile/quizhost-cab.prom"), HasSubstr("quizhost_games_played_total"));
    bool renamed = false;
    for (const auto& step : faulty.log) {
        EXPECT_THAT(step, Not(HasSubstr("meter.txt"))) << "the cabinet's files are only read";
        if (step.find("rename") != std::string::npos && step.find("quizhost-cab.prom") != std::string::npos) {
            renamed = true;
        }
    }
    EXPECT_TRUE(renamed) << "a collector never sees half a file: a work file is renamed over it";
    EXPECT_FALSE(std::filesystem::exists(target + ".new"));
    EXPECT_EQ(t.read(meter_path), meters_before);
}

TEST(MeterExport, JsonCarriesTheSameMetricsAndTheDamagedLines) {
    export_host t;
    ASSERT_EQ(t.run("json"), 0);
    const auto doc = nlohmann::json::parse(t.out.str());
    EXPECT_EQ(doc["cabinet"], "cab-1");
    EXPECT_EQ(doc["meter_file"], t.path(meter_path));
    EXPECT_TRUE(doc["damaged_lines"].empty());
    bool found = false;
    for (const auto& metric : doc["metrics"]) {
        if (metric["name"] != "quizhost_questions_right_total") continue;
        found = true;
        EXPECT_EQ(metric["type"], "counter");
        EXPECT_EQ(metric["key"], "M13");
        ASSERT_EQ(metric["samples"].size(), 4u);
        EXPECT_EQ(metric["samples"][2]["labels"]["difficulty"], "3");
        EXPECT_EQ(metric["samples"][2]["value"], 7);
    }
    EXPECT_TRUE(found);

    t.write(meter_path, "GameName,Quiz \xe9\r\nM1,x\r\n");
    EXPECT_EQ(t.run("json"), 1);
    const auto damaged = nlohmann::json::parse(t.out.str());  // single-byte text still gives valid JSON
    EXPECT_EQ(damaged["damaged_lines"][0]["line"], 2);
    EXPECT_EQ(damaged["damaged_lines"][0]["problem"], "the value \"x\" is not a number");
}

TEST(MeterExport, UnknownFormatIsABadCommandLine) {
    export_host t;
    EXPECT_EQ(t.run("xml"), 2);
    EXPECT_EQ(t.err.str(), "quizhost meters: unknown format \"xml\" (text, prometheus, openmetrics or json)\n");
}

// OpenMetrics 1.0 as its reference parser reads it (Debian's python3-prometheus-client): counter
// families without "_total", their samples with it, units where the name carries them, "# EOF" last.
TEST(MeterExport, OpenMetricsIsReadByTheReferenceParser) {
    export_host t;
    t.write(meter_path, std::string(t.read(meter_path)) + "M6,1000\r\n");
    ASSERT_EQ(t.run("openmetrics", t.path("cab.om")), 0) << t.err.str();
    const std::string text = t.read("cab.om");
    EXPECT_THAT(text, HasSubstr("# TYPE quizhost_games_played counter\n# HELP quizhost_games_played Games played "
                                "(meter M1).\nquizhost_games_played_total{cabinet=\"cab-1\"} 40\n"));
    EXPECT_THAT(text, HasSubstr("# TYPE quizhost_prizes_paid_credits counter\n# UNIT quizhost_prizes_paid_credits "
                                "credits\n"));
    EXPECT_THAT(text, HasSubstr("# TYPE quizhost_meter_file info\n"));
    EXPECT_THAT(text, Not(HasSubstr("# TYPE quizhost_games_played_total")));
    EXPECT_TRUE(text.ends_with("quizhost_export_timestamp_seconds{cabinet=\"cab-1\"} " +
                               std::to_string(*unix_seconds_of_local({2026, 12, 9, 16, 50, 53})) + "\n# EOF\n"));
#ifdef _WIN32
    GTEST_SKIP() << "the reference parser is a Debian package of the Linux build machine";
#endif
    const std::string python = "/usr/bin/python3";
    if (std::system((python + " -c 'import prometheus_client.openmetrics.parser' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "python3-prometheus-client is not installed (scripts/install-deps installs it)";
    t.write("read.py",
            "import sys\n"
            "from prometheus_client.openmetrics.parser import text_string_to_metric_families\n"
            "for f in text_string_to_metric_families(open(sys.argv[1]).read()):\n"
            "    for s in f.samples:\n"
            "        print(f.name, f.type, f.unit, s.name, s.labels.get('mode', ''), s.value)\n");
    const std::string command =
        python + " " + t.path("read.py") + " " + t.path("cab.om") + " > " + t.path("read.txt") + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << t.read("read.txt");
    const std::string read = t.read("read.txt");
    EXPECT_THAT(read, HasSubstr("quizhost_games_played counter  quizhost_games_played_total  40\n"));
    EXPECT_THAT(read, HasSubstr("quizhost_games_by_mode counter  quizhost_games_by_mode_total 2 30\n"));
    EXPECT_THAT(read,
                HasSubstr("quizhost_prizes_paid_credits counter credits quizhost_prizes_paid_credits_total  1500.5\n"));
    EXPECT_THAT(read, HasSubstr("quizhost_reflex_meter_credits gauge credits quizhost_reflex_meter_credits  -1600\n"));
    EXPECT_THAT(read, HasSubstr("quizhost_meter_file info  quizhost_meter_file_info  1\n"));
    EXPECT_THAT(read, HasSubstr("quizhost_log_fatal_errors counter  quizhost_log_fatal_errors_total  1\n"));

    // The Prometheus text format is what it always was: the textfile collectors read it.
    ASSERT_EQ(t.run("prometheus"), 0);
    EXPECT_THAT(t.out.str(), HasSubstr("# TYPE quizhost_games_played_total counter\n"));
    EXPECT_THAT(t.out.str(), Not(HasSubstr("# EOF")));
}

// The figures say what the cabinet runs with: S1 as set (33.3, not its single-precision 33.2999992370605),
// and, while autoplay.txt is there, the price and payout it charges instead of setup.ini's.
TEST(MeterExport, TheMoneySettingsAreThoseTheHostRunsWithAsTheyAreSet) {
    export_host t;
    t.write("system/setup.ini", "S1,33.3\r\nS2,20\r\n");
    ASSERT_EQ(t.run("prometheus"), 0);
    EXPECT_THAT(t.out.str(), HasSubstr("quizhost_setup_payout_percent{cabinet=\"cab-1\"} 33.3\n"));
    ASSERT_EQ(t.run("text"), 0);
    EXPECT_THAT(t.out.str(), HasSubstr("33.3%"));
    EXPECT_THAT(t.out.str(), Not(HasSubstr("33.29999")));

    t.write("autoplay.txt", "no_of_games,5\r\nprice_per_play,10\r\npayout_%,80.5\r\n");
    ASSERT_EQ(t.run("text"), 0);
    EXPECT_THAT(t.out.str(), HasSubstr("autoplay.txt price_per_play, charged instead of S2"));
    EXPECT_THAT(t.out.str(), HasSubstr("80.5%"));
    const std::string report = t.out.str();
    const auto takings = report.find("Takings at today's price (M1 x price)");
    ASSERT_NE(takings, std::string::npos) << report;
    EXPECT_THAT(report.substr(takings, report.find('\n', takings) - takings), HasSubstr(" 400"))
        << "40 games at the 10 credits autoplay charges";
    ASSERT_EQ(t.run("prometheus"), 0);
    EXPECT_THAT(t.out.str(), HasSubstr("quizhost_setup_price_per_play_credits{cabinet=\"cab-1\"} 10\n"));
    EXPECT_THAT(t.out.str(), HasSubstr("quizhost_setup_payout_percent{cabinet=\"cab-1\"} 80.5\n"));
}

// promtool, Prometheus's own checker, reports nothing on the export.
TEST(MeterExport, PromtoolFindsNothingToSay) {
#ifdef _WIN32
    GTEST_SKIP() << "promtool is a tool of the Linux build machine";
#endif
    if (!std::filesystem::exists("/usr/bin/promtool")) GTEST_SKIP() << "promtool is not installed";
    export_host t;
    t.write(meter_path, std::string(t.read(meter_path)) + "M6,1000\r\n");
    ASSERT_EQ(t.run("prometheus", t.path("cab.prom")), 0) << t.err.str();
    const std::string command =
        "/usr/bin/promtool check metrics < " + t.path("cab.prom") + " > " + t.path("lint.txt") + " 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << t.read("lint.txt");
    EXPECT_EQ(t.read("lint.txt"), "");
}

}  // namespace
}  // namespace quizhost::testing
