// Power loss: the cabinet is switched off at the wall right after any one write, sync, rename, swap or
// folder sync of a state-changing command or of start-up's repairs. The host must start again on whatever
// survived, and the meter file, the high-score table, the setup file and the game recall must each hold
// exactly their state before or after the interrupted work, never a torn or older one; and the recall
// never holds a game the meter file has not counted.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "basic/numbers.hpp"
#include "definitions.hpp"
#include "forms/runtime.hpp"
#include "meters/meter_file.hpp"
#include "recall/recall_report.hpp"
#include "records/text_records.hpp"
#include "support/power_cut_file_system.hpp"
#include "support/test_host.hpp"

namespace quizhost::testing {
namespace {

const std::string cabinet_root = "/cab";
const std::string meter_file = cabinet_root + "/system/logs/meter.txt";
const std::string hiscore_file = cabinet_root + "/variable/highscores.txt";
const std::string setup_file = cabinet_root + "/system/setup.ini";
const std::string recall_file = cabinet_root + "/system/logs/recall.txt";

// What the checks compare: the files the cabinet must never lose or tear (nullopt: absent).
struct kept_files {
    std::optional<std::string> meters, hiscores, setup, recall;
    bool operator==(const kept_files&) const = default;
};

std::optional<std::string> file_or_absent(power_cut_file_system& fs, const std::string& path) {
    if (!fs.file_exists(path)) return std::nullopt;
    return fs.read_file(path);
}

// The recall's games and what followed them, as lines: money's intents and outcomes, and what a start-up
// closed, are checked apart (they are meant to hold what was in flight at the cut).
// A recall file that holds none of them reads as one that is absent.
std::optional<std::string> recall_games(power_cut_file_system& fs) {
    if (!fs.file_exists(recall_file)) return std::string();
    recall_contents contents;
    read_recall_bytes(fs.read_file(recall_file), "recall.txt", contents);
    std::string lines;
    for (const auto& r : contents.records) {
        const std::string& kind = r.record.kind;
        if ((kind == "game" || kind == "unfinished" || kind == "between") && !r.record.value("closed"))
            lines += format_recall_record(r.record) + "\n";
    }
    return lines;
}

kept_files kept(power_cut_file_system& fs) {
    return {file_or_absent(fs, meter_file), file_or_absent(fs, hiscore_file), file_or_absent(fs, setup_file),
            recall_games(fs)};
}

// One run of the program on `fs`: fresh memory, the same fixed clock and credit every time.
struct powered_host {
    explicit powered_host(power_cut_file_system& fs) {
        t.host.io.files = &fs;
        t.host.program_folder = cabinet_root;
        t.credit->credit = 500;
        t.credit->bank = 2000;
    }
    // Start-up as a player drives it; false when the program ended instead of starting.
    bool start_up() {
        try {
            start_program(t.host);
            raise_fscommand(t.host, "INTRO_END", "");
        } catch (const program_exit&) {
            return false;
        } catch (const run_time_error&) {
            return false;
        }
        return true;
    }
    test_host t;
};

struct command_case {
    std::string name, args;
    // What the command asks of the credit system (the in-memory library), besides its file work.
    std::vector<std::string> credit_calls = {};
};

// A cabinet that has started once and been shut down cleanly, its meter file given a cash pot line
// when a new meter file holds none.
std::unique_ptr<power_cut_file_system> started_cabinet() {
    auto fs = std::make_unique<power_cut_file_system>();
    fs->create_folder(cabinet_root);
    {
        powered_host first(*fs);
        EXPECT_TRUE(first.start_up());
    }
    if (read_record(*fs, meter_file, "M6").empty()) fs->append_to_file(meter_file, "M6,250\r\n");
    fs->sync_everything();
    return fs;
}

struct cut_tally {
    int tried = 0;
    int failed = 0;
};

// Counts of one test, printed when it ends so a run shows how many cut points were tried and failed.
cut_tally& tally() {
    static cut_tally totals;
    return totals;
}

void report_cut_points(const std::string& what) {
    std::printf("power loss, %s: %d cut points tried, %d failed\n", what.c_str(), tally().tried, tally().failed);
    EXPECT_EQ(tally().failed, 0);
    tally() = {};
}

// Checks what a restart finds after the power went at `cut`; reports every way it differs.
void check_restart(const power_cut_file_system& cut_fs, const kept_files& before, const kept_files& after,
                   const std::string& what, int cut) {
    auto restarted = cut_fs.after_power_cut();
    powered_host second(*restarted);
    ++tally().tried;
    const bool started = second.start_up();
    const kept_files found = kept(*restarted);
    const bool sound =
        started && (found.meters == before.meters || found.meters == after.meters) &&
        (found.hiscores == before.hiscores || found.hiscores == after.hiscores) &&
        (found.setup == before.setup || found.setup == after.setup) &&
        (found.recall == before.recall || found.recall == after.recall) &&
        // The meter file reaches the disk first: a recall that has the command's record
        // with the meter file that has not is a game the meters never counted.
        !(found.recall != before.recall && found.meters == before.meters && before.meters != after.meters);
    if (sound) return;
    ++tally().failed;
    std::string steps;
    for (const auto& step : cut_fs.log) steps += "\n  " + step;
    ADD_FAILURE() << what << ": power cut after step " << cut << (started ? "" : ": start-up failed")
                  << "\nmeter file:\n"
                  << found.meters.value_or("(absent)") << "\nhigh scores:\n"
                  << found.hiscores.value_or("(absent)") << "\nsetup:\n"
                  << found.setup.value_or("(absent)") << "\nrecall:\n"
                  << found.recall.value_or("(absent)") << "\nsteps:" << steps;
}

void run_command(host& h, const command_case& command) { raise_fscommand(h, command.name, command.args); }

// Runs `command` on a copy of `cabinet` with the power cut after each of its steps in turn.
void cut_everywhere(const power_cut_file_system& cabinet, const command_case& command) {
    const std::string what = command.name + " " + command.args;
    kept_files before, after;
    int steps = 0;
    {
        auto fs = cabinet.after_power_cut();
        powered_host run(*fs);
        ASSERT_TRUE(run.start_up()) << what;
        before = kept(*fs);
        fs->cut_after_step(0);
        ASSERT_NO_THROW(run_command(run.t.host, command)) << what;
        EXPECT_EQ(run.t.credit->calls, command.credit_calls) << what;
        steps = fs->steps();
        after = kept(*fs);
    }
    ASSERT_GT(steps, 0) << what << " changed nothing on disk";
    ASSERT_NE(before, after) << what << " changed none of the kept files";
    for (int cut = 1; cut <= steps; ++cut) {
        auto fs = cabinet.after_power_cut();
        powered_host run(*fs);
        ASSERT_TRUE(run.start_up()) << what;
        fs->cut_after_step(cut);
        EXPECT_THROW(run_command(run.t.host, command), power_cut) << what << " step " << cut;
        check_restart(*fs, before, after, what, cut);
    }
}

TEST(PowerLoss, EveryStateChangingCommandLeavesItsFilesBeforeOrAfter) {
    const auto cabinet = started_cabinet();
    ASSERT_FALSE(read_record(*cabinet, meter_file, "M6").empty());
    const std::vector<command_case> commands = {
        {"UPDATE_METERS", "3,500,1,1"},
        {"UPDATE_METERS", "2,-1,0,0"},
        {"ANSWERED", "2,1"},
        {"ANSWERED", "1,0"},
        {"START_GAME", ""},
        {"ADD_TO_BANK", "300", {"badd 300"}},
        {"RESET_CASHPOT", ""},
        {"ADD_TO_HISCORES", "Ann,77,500"},
    };
    for (const auto& command : commands) cut_everywhere(*cabinet, command);

    // The same on a cabinet that has played a while: the work files of earlier rewrites are there, hold
    // the versions before them, and are rewritten in place.
    {
        powered_host played(*cabinet);
        ASSERT_TRUE(played.start_up());
        run_command(played.t.host, {"UPDATE_METERS", "3,500,1,1"});
        run_command(played.t.host, {"ADD_TO_HISCORES", "Bob,55,300"});
    }
    cabinet->sync_everything();
    ASSERT_TRUE(cabinet->file_exists(cabinet_root + "/system/logs/scrap.txt"));
    ASSERT_TRUE(cabinet->file_exists(cabinet_root + "/variable/newfile.txt"));
    for (const auto& command : commands) cut_everywhere(*cabinet, command);
    report_cut_points("state-changing commands");
}

// A game in progress when the power goes at each step of its settlement: the meter file and the recall
// each hold the game or not, the recall never alone, and when the meter file alone holds it the numbering
// shows the gap to an auditor once the next game is recorded.
TEST(PowerLoss, AGamesSettlementReachesTheMeterFileFirstAndAGapIsNamed) {
    const auto cabinet = started_cabinet();
    {
        // Earlier games: the recall file exists, so the settlement appends to it.
        powered_host played(*cabinet);
        ASSERT_TRUE(played.start_up());
        run_command(played.t.host, {"UPDATE_METERS", "1,-1,0,0"});
        run_command(played.t.host, {"ADD_TO_BANK", "10"});
    }
    cabinet->sync_everything();
    const std::vector<command_case> game = {{"USE_CREDIT", ""}, {"START_GAME", ""}, {"ANSWERED", "1,1"}};
    const command_case settle{"UPDATE_METERS", "1,300,0,0"};

    kept_files before, after;
    int steps = 0;
    {
        auto fs = cabinet->after_power_cut();
        powered_host run(*fs);
        ASSERT_TRUE(run.start_up());
        for (const auto& command : game) run_command(run.t.host, command);
        before = kept(*fs);
        fs->cut_after_step(0);
        run_command(run.t.host, settle);
        steps = fs->steps();
        after = kept(*fs);
    }
    ASSERT_NE(before.recall, after.recall);
    int meters_only = 0, both = 0;
    for (int cut = 1; cut <= steps; ++cut) {
        auto fs = cabinet->after_power_cut();
        powered_host run(*fs);
        ASSERT_TRUE(run.start_up());
        for (const auto& command : game) run_command(run.t.host, command);
        fs->cut_after_step(cut);
        EXPECT_THROW(run_command(run.t.host, settle), power_cut) << "step " << cut;
        check_restart(*fs, before, after, "a game's settlement", cut);

        auto restarted = fs->after_power_cut();
        const kept_files found = kept(*restarted);
        if (found.meters == after.meters && found.recall == before.recall) {
            ++meters_only;
            // The restart finds the game's payment, which names game 2, and the meters counting it: the
            // recall holds it as counted, so the numbering shows no gap.
            powered_host next(*restarted);
            ASSERT_TRUE(next.start_up());
            const auto contents = read_recall_files(*restarted, cabinet_root + "/system/");
            ASSERT_FALSE(contents.records.empty());
            const recall_record& last = contents.records.back().record;
            EXPECT_EQ(last.kind, "game") << "step " << cut;
            EXPECT_EQ(last.value("no"), "2") << "step " << cut;
            EXPECT_EQ(last.value("closed"), "counted") << "step " << cut;
            const recall_view view = view_recall(contents, 2.0);
            EXPECT_TRUE(view.notes.empty()) << "step " << cut << ": " << view.notes.front();
        } else if (found.meters == after.meters) {
            ++both;
        }
    }
    EXPECT_GT(meters_only, 0) << "a cut between the meter file and the recall was tried";
    EXPECT_GT(both, 0);
    report_cut_points("a game's settlement");
}

// What the credit system moved in a run the power cut short, against what the recall holds after the
// restart closed what was in flight: never money the channel did not move, never less than it did.
struct money_seen {
    double taken = 0, added = 0;             // by the credit system, from its calls
    double sure_taken = 0, doubt_taken = 0;  // in the recall
    double sure_added = 0, doubt_added = 0;
};

void moved_by_calls(const std::vector<std::string>& calls, money_seen& m) {
    for (const auto& call : calls) {
        if (call.rfind("cuse ", 0) == 0) m.taken += leading_number(call.substr(5));
        if (call.rfind("badd ", 0) == 0) m.added += leading_number(call.substr(5));
    }
}

void money_in_recall(power_cut_file_system& fs, money_seen& m) {
    std::map<std::string, recall_record> intents;
    for (const auto& r : read_recall_files(fs, cabinet_root + "/system/").records) {
        const recall_record& rec = r.record;
        if (rec.kind == "pay" || rec.kind == "bank") intents[rec.value("seq").value_or("")] = rec;
        if (rec.kind == "paid" || rec.kind == "banked") {
            const auto found = intents.find(rec.value("of").value_or(""));
            if (found == intents.end()) continue;
            const bool pay = rec.kind == "paid";
            const double amount = leading_number(found->second.value(pay ? "price" : "amount").value_or("0"));
            const std::string result = rec.value("result").value_or("");
            if (result == "taken" || result == "added") (pay ? m.sure_taken : m.sure_added) += amount;
            if (result == "in doubt") (pay ? m.doubt_taken : m.doubt_added) += amount;
        }
        if (rec.value("closed") && rec.value("pay") == std::string("in doubt"))
            m.doubt_taken += leading_number(rec.value("price").value_or("0"));
    }
}

TEST(PowerLoss, TheRecallNeverClaimsMoneyTheChannelDidNotMoveNorLacksMoneyItDid) {
    const auto cabinet = started_cabinet();
    const std::vector<command_case> game = {
        {"USE_CREDIT", ""},     {"START_GAME", ""}, {"ANSWERED", "1,1"},    {"UPDATE_METERS", "1,300,0,0"},
        {"ADD_TO_BANK", "300"}, {"USE_CREDIT", ""}, {"ADD_TO_BANK", "12.5"}};
    int steps = 0;
    {
        auto fs = cabinet->after_power_cut();
        powered_host run(*fs);
        ASSERT_TRUE(run.start_up());
        fs->cut_after_step(0);
        for (const auto& command : game) run_command(run.t.host, command);
        steps = fs->steps();
        EXPECT_EQ(run.t.credit->calls, (std::vector<std::string>{"cuse 50", "badd 300", "cuse 50", "badd 12"}));
    }
    int in_doubt = 0;
    for (int cut = 1; cut <= steps; ++cut) {
        auto fs = cabinet->after_power_cut();
        powered_host run(*fs);
        ASSERT_TRUE(run.start_up());
        fs->cut_after_step(cut);
        money_seen m;
        try {
            for (const auto& command : game) run_command(run.t.host, command);
        } catch (const power_cut&) {
        }
        moved_by_calls(run.t.credit->calls, m);
        auto restarted = fs->after_power_cut();
        powered_host next(*restarted);
        ++tally().tried;
        const bool started = next.start_up();
        money_in_recall(*restarted, m);
        if (m.doubt_taken + m.doubt_added > 0) ++in_doubt;
        const bool sound = started && m.sure_taken <= m.taken && m.taken <= m.sure_taken + m.doubt_taken &&
                           m.sure_added <= m.added && m.added <= m.sure_added + m.doubt_added;
        if (sound) continue;
        ++tally().failed;
        ADD_FAILURE() << "cut after step " << cut << ": taken " << m.taken << " (recall " << m.sure_taken << " + "
                      << m.doubt_taken << " in doubt), added " << m.added << " (recall " << m.sure_added << " + "
                      << m.doubt_added << " in doubt)\nrecall:\n"
                      << restarted->contents(recall_file);
    }
    EXPECT_GT(in_doubt, 0) << "a cut between a channel's answer and its record was tried";
    report_cut_points("money as it moves");
}

TEST(PowerLoss, StartUpRepairsOfAnEmptyFolderAreRedoneOrKept) {
    kept_files repaired;
    int steps = 0;
    {
        power_cut_file_system fs;
        fs.create_folder(cabinet_root);
        fs.sync_everything();
        powered_host run(fs);
        fs.cut_after_step(0);
        ASSERT_TRUE(run.start_up());
        steps = fs.steps();
        repaired = kept(fs);
    }
    ASSERT_TRUE(repaired.meters && repaired.hiscores && repaired.setup);
    for (int cut = 1; cut <= steps; ++cut) {
        power_cut_file_system fs;
        fs.create_folder(cabinet_root);
        fs.sync_everything();
        powered_host run(fs);
        fs.cut_after_step(cut);
        EXPECT_THROW(run.start_up(), power_cut) << "step " << cut;
        // A restart repairs again, so it must end with the complete repair.
        check_restart(fs, repaired, repaired, "start-up", cut);
    }
    report_cut_points("start-up repairs");
}

}  // namespace
}  // namespace quizhost::testing
