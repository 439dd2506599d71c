#include "scores/hiscores.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "basic/numbers.hpp"
#include "definitions.hpp"
#include "records/text_records.hpp"
#include "support/faulty_file_system.hpp"
#include "support/run_time_errors.hpp"
#include "support/test_host.hpp"

namespace quizhost {
namespace {

const char* const table_file = "variable/highscores.txt";
const char* const log_file = "system/logs/log.txt";
const std::string now_stamp = "14:05 07/12/2026";  // the test clock's time, as the table writes it

using testing::error_of;

// Score rows for the given score texts (names P1, P2, ...), then `players` identification rows that
// match them, then `extra` as it is.
std::string make_table(const std::vector<std::string>& scores, int players, const std::string& extra = "") {
    std::string bytes;
    for (std::size_t r = 1; r <= scores.size(); ++r) {
        bytes += "Score," + std::to_string(r) + ",,,10:00 01/12/2026,P" + std::to_string(r) + ",C" + std::to_string(r) +
                 "," + scores[r - 1] + "\r\n";
    }
    for (int r = 1; r <= players; ++r) {
        bytes += "PlayerID," + std::to_string(r) + ",P" + std::to_string(r) + ",C" + std::to_string(r) + ",a,b,c\r\n";
    }
    return bytes + extra;
}

std::vector<std::string> twenty(std::vector<std::string> first, const std::string& rest) {
    first.resize(20, rest);
    return first;
}

// A cabinet with its variable folder and an (empty) log for write_error to write to.
class Hiscores : public ::testing::Test {
protected:
    Hiscores() {
        t.set_paths();
        std::filesystem::create_directories(t.path("variable"));
        t.write(log_file, "");
    }

    std::string table() const { return t.read(table_file); }
    std::vector<std::string> rows() const {
        const std::string bytes = table();
        std::vector<std::string> lines;
        for (auto line : split_lines(bytes)) lines.emplace_back(line);
        return lines;
    }
    std::string row(std::size_t index) const { return rows().at(index); }
    int add(const std::string& score_stuff) { return add_to_hiscores(t.host, score_stuff); }

    testing::test_host t;
};

TEST_F(Hiscores, DummyTableHasItsExactRowsAndReplacesAnyOldFile) {
    t.write(table_file, "junk\r\n");
    create_dummy_hiscores(t.host);
    const auto lines = rows();
    ASSERT_EQ(lines.size(), 40u);
    EXPECT_EQ(lines[0], "Score,1,,," + now_stamp + ",AAA,1234,0");
    EXPECT_EQ(lines[19], "Score,20,,," + now_stamp + ",AAA,1234,0");
    EXPECT_EQ(lines[20], "PlayerID,1,AAA,1234, , , ");
    EXPECT_EQ(lines[39], "PlayerID,20,AAA,1234, , , ");
    EXPECT_EQ(table().substr(0, table().find('\n') + 1), lines[0] + "\r\n");
    // The work file, where it stays, holds the table replaced.
    if (t.exists("variable/newfile.txt")) {
        EXPECT_EQ(t.read("variable/newfile.txt"), "junk\r\n");
    }
    EXPECT_EQ(get_top_local_score(t.host), "0");
}

TEST_F(Hiscores, OnTheDummyTableZeroTiesTheTopAndIsStoredAsOne) {
    create_dummy_hiscores(t.host);
    t.clock.advance(3600);
    EXPECT_EQ(add("Ann,77,0,x,y,z"), 1);
    EXPECT_EQ(row(0), "Score,1,,,15:05 07/12/2026,Ann,77,1");
    EXPECT_EQ(row(1), "Score,2,,," + now_stamp + ",AAA,1234,0");
    EXPECT_EQ(row(20), "PlayerID,1,Ann,77,x,y,z");
    // The carried dummy rows lose their single-space details to trimming.
    EXPECT_EQ(row(21), "PlayerID,2,AAA,1234,,,");
    EXPECT_EQ(row(39), "PlayerID,20,AAA,1234,,,");
    EXPECT_EQ(rows().size(), 40u);
}

TEST_F(Hiscores, OnTheDummyTableAPositiveScoreLeadsAndANegativeOneStaysOut) {
    create_dummy_hiscores(t.host);
    EXPECT_EQ(add("Ann,77,500"), 1);
    EXPECT_EQ(get_top_local_score(t.host), "500");
    create_dummy_hiscores(t.host);
    EXPECT_EQ(add("Ann,77,-1"), -1);
    EXPECT_EQ(rows().size(), 40u);
    EXPECT_EQ(table().find("Ann"), std::string::npos);
}

TEST_F(Hiscores, TiesGoBelowTheRowExceptAtTheTopWhereTheScoreIsRaised) {
    const std::string start = make_table(twenty({"900", "700", "700", "500"}, "100"), 20);
    t.write(table_file, start);
    EXPECT_EQ(where_in_hiscores(t.host, 700), 4);
    EXPECT_EQ(where_in_hiscores(t.host, 900), 1);
    EXPECT_EQ(add("New,1,700"), 4);
    EXPECT_EQ(row(3), "Score,4,,," + now_stamp + ",New,1,700");
    EXPECT_EQ(row(4), "Score,5,,,10:00 01/12/2026,P4,C4,500");
    EXPECT_EQ(row(23), "PlayerID,4,New,1,,,");
    EXPECT_EQ(row(24), "PlayerID,5,P4,C4,a,b,c");

    t.write(table_file, start);
    EXPECT_EQ(add("Top,2,900"), 1);
    EXPECT_EQ(row(0), "Score,1,,," + now_stamp + ",Top,2,901");
    EXPECT_EQ(row(1), "Score,2,,,10:00 01/12/2026,P1,C1,900");
}

TEST_F(Hiscores, AScoreThatDoesNotEnterStillRewritesTheTableAndLogs) {
    // Ranks out of order, fields 2 and 3 filled, padded fields and a zero-led score.
    std::string start = "Score,7,x,y, 10:00 01/12/2026 , P1 , C1 , 0200 \r\n";
    for (int r = 2; r <= 20; ++r) start += "Score,9,,,s,P,C,100\r\n";
    for (int r = 1; r <= 20; ++r) start += "PlayerID, 3 , P , C , a , b , c \r\n";
    t.write(table_file, start);
    EXPECT_EQ(add("Low,1,100"), -1);
    EXPECT_EQ(row(0), "Score,1,,,10:00 01/12/2026,P1,C1,200");
    EXPECT_EQ(row(19), "Score,20,,,s,P,C,100");
    EXPECT_EQ(row(20), "PlayerID,1,P,C,a,b,c");
    EXPECT_EQ(rows().size(), 40u);
    EXPECT_NE(t.read(log_file).find("07/12/2026 14:05:09  Updating highscores.txt"), std::string::npos);
}

TEST_F(Hiscores, AnEntryAtRankTwentyReplacesBothOldLastRows) {
    std::vector<std::string> scores;
    for (int r = 1; r <= 20; ++r) scores.push_back(std::to_string(2100 - 100 * r));
    t.write(table_file, make_table(scores, 20));
    EXPECT_EQ(add("Last,9,150,d,e,f"), 20);
    EXPECT_EQ(row(19), "Score,20,,," + now_stamp + ",Last,9,150");
    EXPECT_EQ(row(39), "PlayerID,20,Last,9,d,e,f");
    EXPECT_EQ(table().find("P20"), std::string::npos);
    EXPECT_EQ(rows().size(), 40u);
}

TEST_F(Hiscores, AnEmptyNameIsStoredAsAaaInBothRows) {
    create_dummy_hiscores(t.host);
    EXPECT_EQ(add("  ,9,300,a,b,c"), 1);
    EXPECT_EQ(row(0), "Score,1,,," + now_stamp + ",AAA,9,300");
    EXPECT_EQ(row(20), "PlayerID,1,AAA,9,a,b,c");
}

TEST_F(Hiscores, ScoreRowsWithoutIdentificationRowsGiveTwentyEmptyOnes) {
    t.write(table_file, make_table(twenty({}, "100"), 0));
    EXPECT_EQ(add("Ann,1,150"), 1);
    const auto lines = rows();
    ASSERT_EQ(lines.size(), 40u);
    EXPECT_EQ(lines[0], "Score,1,,," + now_stamp + ",Ann,1,150");
    for (int r = 1; r <= 20; ++r) EXPECT_EQ(lines[19 + r], "PlayerID," + std::to_string(r) + ",,,,,");
}

TEST_F(Hiscores, AShortOrEmptyFileComesBackAsTwentyPlusTwentyRows) {
    t.write(table_file, make_table({"50", "40"}, 1));
    EXPECT_EQ(add("Ann,1,45,x,y,z"), 2);
    auto lines = rows();
    ASSERT_EQ(lines.size(), 40u);
    EXPECT_EQ(lines[2], "Score,3,,,10:00 01/12/2026,P2,C2,40");
    EXPECT_EQ(lines[3], "Score,4,,,,,,0");
    EXPECT_EQ(lines[21], "PlayerID,2,,,,,");  // no identification row had rank 2 to insert before

    t.write(table_file, "");
    EXPECT_EQ(add("Ann,1,-5"), -1);
    lines = rows();
    ASSERT_EQ(lines.size(), 40u);
    EXPECT_EQ(lines[0], "Score,1,,,,,,0");
    EXPECT_EQ(lines[39], "PlayerID,20,,,,,");
}

// A table whose score rows cannot be read is never rebuilt with empty rows: the players' scores would be
// lost for good. The addition fails (error 75, the file and line named) and the table stays byte for byte.
TEST_F(Hiscores, ATableWhoseRowsCannotBeReadIsNeverOverwritten) {
    const std::string good = make_table(twenty({"900", "700"}, "100"), 20);
    std::string cr_only = good;
    std::erase(cr_only, '\n');
    std::string bad_score = good;
    bad_score.replace(bad_score.find(",700\r\n"), 6, ",7x0\r\n");
    for (const auto& [what, bytes, named] : std::vector<std::tuple<const char*, std::string, std::string>>{
             {"garbage", "\x01\x02garbage\xff\r\nmore\r\n", ": no score row can be read"},
             {"CR-only lines", cr_only, " line 1: a score row that cannot be read"},
             {"a score not a number", bad_score, " line 2: a score row that cannot be read"},
         }) {
        SCOPED_TRACE(what);
        t.write(table_file, bytes);
        const run_time_error e = testing::failure_of([&] { add("Ann,1,950"); });
        EXPECT_EQ(e.number(), path_file_access_error);
        EXPECT_NE(e.detail().find(t.path(table_file) + named), std::string::npos) << e.detail();
        EXPECT_EQ(table(), bytes);
        EXPECT_FALSE(t.exists("variable/newfile.txt"));
    }
    // An empty table has nothing to lose: it is rebuilt.
    t.write(table_file, "");
    EXPECT_EQ(add("Ann,1,950"), 1);
}

// A name and a code keep at most 32 characters, a detail 64, each cut marked: a name of megabytes cannot
// grow the table by twice as much.
TEST_F(Hiscores, NamesCodesAndDetailsAreBounded) {
    create_dummy_hiscores(t.host);
    const std::string huge(5'000'000, 'N');
    EXPECT_EQ(add(huge + "," + huge + ",500," + huge), 1);
    const std::string name = std::string(hiscore_name_limit, 'N') + " [cut: 4999968 more characters]";
    const std::string detail = std::string(hiscore_detail_limit, 'N') + " [cut: 4999936 more characters]";
    EXPECT_EQ(row(0), "Score,1,,," + now_stamp + "," + name + "," + name + ",500");
    EXPECT_EQ(row(20), "PlayerID,1," + name + "," + name + "," + detail + ",,");
    EXPECT_LT(table().size(), 5000u);
    EXPECT_EQ(add("Bob,77,400,a,b,c"), 2);
    EXPECT_EQ(row(1), "Score,2,,," + now_stamp + ",Bob,77,400");
}

TEST_F(Hiscores, DamagedIdentificationRanksNeitherRepeatNorInventAnEntry) {
    const std::string scores = make_table(twenty({"50", "40", "30"}, "0"), 0);
    const std::string players = "PlayerID,-1,Odd,1,,,\r\nPlayerID,2,Two,2,,,\r\nPlayerID,2,Again,2,,,\r\n";
    t.write(table_file, scores + players);
    EXPECT_EQ(add("Out,1,-3"), -1);  // position -1 must not match the row ranked -1
    EXPECT_EQ(table().find("Out"), std::string::npos);

    t.write(table_file, scores + players);
    EXPECT_EQ(add("Ann,1,45"), 2);
    EXPECT_EQ(row(20), "PlayerID,1,Odd,1,,,");
    EXPECT_EQ(row(21), "PlayerID,2,Ann,1,,,");
    EXPECT_EQ(row(22), "PlayerID,3,Two,2,,,");
    EXPECT_EQ(row(23), "PlayerID,4,Again,2,,,");
    EXPECT_EQ(rows().size(), 40u);
}

TEST_F(Hiscores, OtherLinesSuchAsTheTournamentLineSurviveAnAddition) {
    t.write(table_file, make_table({"50"}, 1, "Tournament,1,12:00 01/12/2026\r\n\r\nNote,keep me\r\n"));
    EXPECT_EQ(get_last_hiscore_update(t.host), "12:00 01/12/2026");
    EXPECT_EQ(add("Ann,1,60"), 1);
    const auto lines = rows();
    ASSERT_EQ(lines.size(), 42u);
    EXPECT_EQ(lines[40], "Tournament,1,12:00 01/12/2026");
    EXPECT_EQ(lines[41], "Note,keep me");
    EXPECT_EQ(get_last_hiscore_update(t.host), "12:00 01/12/2026");
    EXPECT_EQ(add("Bob,1,70"), 1);
    EXPECT_EQ(rows().size(), 42u);
}

TEST_F(Hiscores, LineBreaksInTheSubmissionBecomeSpaces) {
    create_dummy_hiscores(t.host);
    EXPECT_EQ(add("Eve\r\nScore,1\n2,300,a\rb,c\n,d"), 1);
    const auto lines = rows();
    ASSERT_EQ(lines.size(), 40u);
    EXPECT_EQ(lines[0], "Score,1,,," + now_stamp + ",Eve  Score,1 2,300");
    EXPECT_EQ(lines[20], "PlayerID,1,Eve  Score,1 2,a b,c,d");
}

TEST_F(Hiscores, BadSubmissionsEnterAsTheirLeadingNumberOrAreRefused) {
    create_dummy_hiscores(t.host);
    EXPECT_EQ(add("Bob"), 1);  // missing fields read as empty; score 0 ties the top and is raised
    EXPECT_EQ(row(0), "Score,1,,," + now_stamp + ",Bob,,1");
    EXPECT_EQ(row(20), "PlayerID,1,Bob,,,,");
    EXPECT_EQ(add("Ann,1,12.5abc"), 1);  // the number at the start counts, a fraction too
    EXPECT_EQ(get_top_local_score(t.host), "12.5");
    EXPECT_EQ(add("Cy,1,abc"), -1);  // no number counts as 0, which stays below the rows of 0
    EXPECT_EQ(add("Di,1,3,x,y,z,extra,fields"), 2);
    EXPECT_EQ(row(21), "PlayerID,2,Di,1,x,y,z");

    // A number too long for any double cannot be stored: error 6, and the table stays as it was.
    const std::string before = table();
    EXPECT_EQ(error_of([&] { add("Big,1," + std::string(400, '9')); }), overflow);
    EXPECT_EQ(table(), before);
}

TEST_F(Hiscores, ScoresAreWrittenAsPlainDecimalsThatReadBackTheSame) {
    t.write(table_file, make_table(twenty({"0012"}, "0"), 20));
    EXPECT_EQ(add("Tiny,1,0.00001"), 2);
    EXPECT_EQ(row(0), "Score,1,,,10:00 01/12/2026,P1,C1,12");
    EXPECT_EQ(row(1), "Score,2,,," + now_stamp + ",Tiny,1,0.00001");
    EXPECT_EQ(add("Huge,1,100000000000000000000"), 1);
    EXPECT_EQ(get_top_local_score(t.host), "100000000000000000000");
    EXPECT_EQ(where_in_hiscores(t.host, 1e19), 2);
    EXPECT_EQ(where_in_hiscores(t.host, 0.00002), 3);
}

TEST_F(Hiscores, TheQueriesNeverChangeAByte) {
    const std::string start = make_table(twenty({"900", "700", "700"}, "5"), 20, "Tournament,1,x\r\n");
    t.write(table_file, start);
    EXPECT_EQ(where_in_hiscores(t.host, 900), 1);
    EXPECT_EQ(where_in_hiscores(t.host, 700), 4);
    EXPECT_EQ(where_in_hiscores(t.host, 6), 4);
    EXPECT_EQ(where_in_hiscores(t.host, 5), -1);
    EXPECT_EQ(get_top_local_score(t.host), "900");
    EXPECT_EQ(get_last_hiscore_update(t.host), "x");
    EXPECT_EQ(table(), start);
    EXPECT_EQ(t.read(log_file), "");
    EXPECT_FALSE(t.exists("variable/newfile.txt"));
}

TEST_F(Hiscores, TheMovieReadsTheRebuiltTableRowByRow) {
    create_dummy_hiscores(t.host);
    add("Ann,1,30");
    add("Bob,2,20");
    const std::string path = t.host.hiscore_file();
    const std::string all = read_numbered_records(*t.files, path, "Score");
    EXPECT_EQ(all.substr(0, all.find('|')), "Score,1,,," + now_stamp + ",Ann,1,30");
    EXPECT_EQ(std::count(all.begin(), all.end(), '|'), 19);
    EXPECT_EQ(all.find("PlayerID"), std::string::npos);
    EXPECT_EQ(read_record(*t.files, path, "Score,2"), "Score,2,,," + now_stamp + ",Bob,2,20");
    EXPECT_EQ(read_record(*t.files, path, "Score,21"), "");
}

TEST_F(Hiscores, AMissingTableIsAnErrorForUpdatesAndEmptyForReads) {
    EXPECT_EQ(error_of([&] { add("Ann,1,5"); }), file_not_found);
    EXPECT_EQ(error_of([&] { where_in_hiscores(t.host, 5); }), file_not_found);
    EXPECT_FALSE(t.exists(table_file));
    EXPECT_EQ(get_top_local_score(t.host), "");
    EXPECT_EQ(get_last_hiscore_update(t.host), "");
}

// The table is replaced by renaming a synced work file over it: a failure at any step leaves the old
// table or the new one, whole.
TEST_F(Hiscores, AFailureAtAnyStepLeavesTheOldTableOrTheNewOne) {
    const std::string old_table = make_table(twenty({"900", "700"}, "100"), 20, "Tournament,1,x\r\n");
    t.write(table_file, old_table);
    add("Ann,1,800");
    const std::string new_table = table();

    testing::faulty_file_system faulty(make_native_file_system());
    t.host.io.files = &faulty;
    const auto start_from_old_table = [&] {
        t.write(table_file, old_table);
        t.write("variable/newfile.txt", "an earlier table");  // left by an earlier replacement
    };
    start_from_old_table();
    add("Ann,1,800");
    const std::vector<std::string> steps = faulty.log;
    const std::string folder = t.host.start.variable_path;
    ASSERT_EQ(steps.size(), 5u);  // log line, write, sync, rename or swap, folder sync: no copy
    EXPECT_EQ(steps[1], "write " + folder + "newfile.txt");
    EXPECT_EQ(steps[3], (testing::native_files_swap() ? "exchange " : "rename ") + folder + "newfile.txt " + folder +
                            "highscores.txt");

    int kept_old = 0;
    for (int step = 1; step <= static_cast<int>(steps.size()); ++step) {
        start_from_old_table();
        faulty.fail_at_step(step);
        EXPECT_EQ(error_of([&] { add("Ann,1,800"); }), path_file_access_error) << steps[step - 1];
        const std::string after = table();
        EXPECT_TRUE(after == old_table || after == new_table) << steps[step - 1];
        kept_old += after == old_table;
    }
    EXPECT_EQ(kept_old, 4);  // only a failed folder sync comes after the rename or swap
}

TEST_F(Hiscores, TheDummyTableIsWrittenInOneReplacement) {
    testing::faulty_file_system faulty(make_native_file_system());
    t.host.io.files = &faulty;
    const auto start_from_old_table = [&] {
        t.write(table_file, "old\r\n");
        if (t.exists("variable/newfile.txt")) std::filesystem::remove(t.path("variable/newfile.txt"));
    };
    start_from_old_table();
    create_dummy_hiscores(t.host);
    const std::string dummy = table();
    EXPECT_EQ(faulty.log.size(), 4u);  // write, sync, rename or swap, folder sync
    for (int step = 1; step <= 4; ++step) {
        start_from_old_table();
        faulty.fail_at_step(step);
        EXPECT_EQ(error_of([&] { create_dummy_hiscores(t.host); }), path_file_access_error);
        EXPECT_TRUE(table() == "old\r\n" || table() == dummy);
    }
}

// The real files without the syncs: durability is the fault test's concern, and a thousand synced
// rewrites would make this one slow on a busy disk.
class unsynced_file_system final : public file_system_wrapper {
public:
    unsynced_file_system() : file_system_wrapper(make_native_file_system()) {}
    void sync_file(const std::string&) override {}
    void sync_folder(const std::string&) override {}
};

// The rank rule on its own: the rank a score takes in scores listed best first, and the table after.
int model_add(std::vector<std::pair<double, std::string>>& table, double score, const std::string& name) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (i == 0 && score == table[0].first) score += 1;
        if (score > table[i].first) {
            table.insert(table.begin() + static_cast<long>(i), {score, name});
            table.pop_back();
            return static_cast<int>(i) + 1;
        }
    }
    return -1;
}

TEST_F(Hiscores, ThousandRandomAdditionsFollowTheRankRule) {
    unsynced_file_system files;
    t.host.io.files = &files;
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> points(-10, 120);  // a narrow range, so ties are common
    std::vector<std::pair<double, std::string>> model;
    for (int r = 0; r < 20; ++r) model.emplace_back(points(random) * 5, "P");
    std::sort(model.begin(), model.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::string> scores;
    for (const auto& [score, name] : model) scores.push_back(number_to_text(score));
    t.write(table_file, make_table(scores, 20));
    for (int r = 0; r < 20; ++r) model[static_cast<std::size_t>(r)].second = "P" + std::to_string(r + 1);

    for (int n = 0; n < 1000; ++n) {
        const double score = points(random) * 5 + (n % 7 == 0 ? 0.5 : 0);
        const std::string name = "N" + std::to_string(n);
        const int expected = model_add(model, score, name);
        ASSERT_EQ(where_in_hiscores(t.host, score), expected) << n;
        ASSERT_EQ(add(name + ",c," + number_to_text(score)), expected) << n;

        const auto lines = rows();
        ASSERT_EQ(lines.size(), 40u) << n;
        double above = 0;
        for (int r = 1; r <= 20; ++r) {
            const std::string& score_line = lines[static_cast<std::size_t>(r - 1)];
            const std::string& player_line = lines[static_cast<std::size_t>(r + 19)];
            ASSERT_EQ(get_field(score_line, 0) + "," + get_field(score_line, 1), "Score," + std::to_string(r)) << n;
            ASSERT_EQ(get_field(player_line, 0) + "," + get_field(player_line, 1), "PlayerID," + std::to_string(r))
                << n;
            const auto& [model_score, model_name] = model[static_cast<std::size_t>(r - 1)];
            const double stored = leading_number(get_field(score_line, 7));
            ASSERT_EQ(stored, model_score) << n << " rank " << r;
            ASSERT_EQ(get_field(score_line, 5), model_name) << n << " rank " << r;
            ASSERT_EQ(get_field(player_line, 2), model_name) << n << " rank " << r;
            if (r > 1) {
                ASSERT_LE(stored, above) << n << " rank " << r;
            }
            above = stored;
        }
    }
}

}  // namespace
}  // namespace quizhost
