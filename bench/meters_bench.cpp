// The meter file's cost per command, syncs to disk included, beside the same counter updates made as one
// SQLite transaction (write-ahead log, synchronous=FULL) in the same folder on the same disk.
//
// Run from the build folder: bin/meters_bench (on a busy machine add --benchmark_repetitions=5
// --benchmark_enable_random_interleaving=true; the ratios then compare medians). The work folder is
// $QUIZHOST_BENCH_DIR, or "meters_bench_data" in the current folder; it is removed afterwards. /tmp is avoided on
// purpose: when it is a memory file system the syncs cost nothing and the comparison says nothing.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "host.hpp"
#include "meters/answer_settlement.hpp"
#include "meters/meter_file.hpp"
#include "platform/clock.hpp"
#include "platform/file_system.hpp"
#include "platform/paths.hpp"
#include "records/text_records.hpp"

#ifdef QUIZHOST_HAVE_SQLITE
#include <sqlite3.h>
#endif

namespace {

using namespace quizhost;

std::string work_folder() {
    const char* chosen = std::getenv("QUIZHOST_BENCH_DIR");
    return std::filesystem::absolute(chosen && *chosen ? chosen : "meters_bench_data").string();
}

// A cabinet with the default question tables and a new meter file.
struct bench_cabinet {
    std::unique_ptr<file_system> files = make_native_file_system();
    fixed_clock clock{date_time{2026, 12, 7, 14, 5, 9}};
    host h;

    explicit bench_cabinet(const std::string& folder) {
        std::filesystem::create_directories(folder + "/system/logs");
        h.io.files = files.get();
        h.io.clock = &clock;
        h.program_folder = folder;
        h.start.system_path = folder + system_folder_name;
        h.start.wrapper_version = "7.12";
        h.content.no_of_question_tables = 6;
        h.content.no_of_questions = 12;
        h.content.no_of_difficulties = 4;
        h.money.game_start_time = clock.now();
        replace_file(*files, h.meter_file(), lines_to_bytes(new_meter_file_lines(h)));
    }
};

void BM_update_meters(benchmark::State& state) {
    bench_cabinet cabinet(work_folder() + "/ours");
    for (auto _ : state) update_meters_v2(cabinet.h, "5,250,1,1");  // ten counter changes
}
BENCHMARK(BM_update_meters)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_answered(benchmark::State& state) {
    bench_cabinet cabinet(work_folder() + "/ours");
    for (auto _ : state) do_when_answered(cabinet.h, "2,1");  // four field changes
}
BENCHMARK(BM_answered)->Unit(benchmark::kMicrosecond)->UseRealTime();

// What the disk alone asks, with a meter file's bytes: one data sync of a file rewritten in place (about
// what a write-ahead log's commit costs), and the bare atomic replace (that data sync, then the swap and
// the folder's sync). Their ratio is the least any atomic replace can reach against the log on this disk.
void BM_disk_one_data_sync(benchmark::State& state) {
    bench_cabinet cabinet(work_folder() + "/ours");
    const std::string bytes = cabinet.files->read_file(cabinet.h.meter_file());
    const std::string path = cabinet.h.meter_file() + ".alone";
    for (auto _ : state) {
        cabinet.files->write_file(path, bytes);
        cabinet.files->sync_file(path);
    }
}
BENCHMARK(BM_disk_one_data_sync)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_disk_atomic_replace(benchmark::State& state) {
    bench_cabinet cabinet(work_folder() + "/ours");
    const std::string bytes = cabinet.files->read_file(cabinet.h.meter_file());
    for (auto _ : state) replace_file(*cabinet.files, cabinet.h.meter_file(), bytes, "scrap.txt");
}
BENCHMARK(BM_disk_atomic_replace)->Unit(benchmark::kMicrosecond)->UseRealTime();

#ifdef QUIZHOST_HAVE_SQLITE

void check(int result, sqlite3* db, benchmark::State& state) {
    if (result != SQLITE_OK && result != SQLITE_DONE && result != SQLITE_ROW) state.SkipWithError(sqlite3_errmsg(db));
}

// The meter file's 66 records as rows of one table, updated `keys.size()` at a time in one transaction.
void sqlite_updates(benchmark::State& state, const std::vector<std::string>& keys) {
    const std::string folder = work_folder() + "/sqlite";
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/meters.db";
    std::filesystem::remove(path);
    std::filesystem::remove(path + "-wal");
    std::filesystem::remove(path + "-shm");
    sqlite3* db = nullptr;
    check(sqlite3_open(path.c_str(), &db), db, state);
    check(sqlite3_exec(db,
                       "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
                       "CREATE TABLE meters(key TEXT PRIMARY KEY, value INTEGER NOT NULL);",
                       nullptr, nullptr, nullptr),
          db, state);
    bench_cabinet cabinet(work_folder() + "/lines");
    for (const auto& line : new_meter_file_lines(cabinet.h)) {
        const auto comma = line.rfind(',');
        const std::string sql = "INSERT INTO meters VALUES('" + line.substr(0, comma) + "', 0)";
        check(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), db, state);
    }
    sqlite3_stmt* update = nullptr;
    check(sqlite3_prepare_v2(db, "UPDATE meters SET value = value + 1 WHERE key = ?1", -1, &update, nullptr), db,
          state);
    for (auto _ : state) {
        check(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, state);
        for (const auto& key : keys) {
            sqlite3_bind_text(update, 1, key.c_str(), -1, SQLITE_TRANSIENT);
            check(sqlite3_step(update), db, state);
            sqlite3_reset(update);
        }
        check(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, state);
    }
    sqlite3_finalize(update);
    sqlite3_close(db);
}

// The ten records "UPDATE_METERS" 5,250,1,1 changes, and the four "ANSWERED" 2,1 changes.
void BM_sqlite_ten_updates(benchmark::State& state) {
    sqlite_updates(state, {"M1", "ModifiedDate", "M2,0", "M4,5", "M9", "M7,2", "M11,0", "M10", "M12", "M14"});
}
BENCHMARK(BM_sqlite_ten_updates)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_sqlite_four_updates(benchmark::State& state) { sqlite_updates(state, {"M15", "M16,2", "M13,2", "M13,2"}); }
BENCHMARK(BM_sqlite_four_updates)->Unit(benchmark::kMicrosecond)->UseRealTime();

#endif

// Keeps each benchmark's time per iteration so the ratios can be printed after the table.
class recording_reporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> microseconds;
    std::set<std::string> from_median;
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.error_occurred) continue;
            // With repetitions the median stands for the benchmark; without, its one run.
            const std::string& name = run.run_name.function_name;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                microseconds[name] = run.GetAdjustedRealTime();
                from_median.insert(name);
            } else if (run.run_type == Run::RT_Iteration && !from_median.count(name)) {
                microseconds[name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
};

void print_ratio(const recording_reporter& r, const std::string& ours, const std::string& theirs, const char* note) {
    const auto a = r.microseconds.find(ours);
    const auto b = r.microseconds.find(theirs);
    if (a == r.microseconds.end() || b == r.microseconds.end() || b->second <= 0) return;
    std::printf("%-22s %10.1f us   %-24s %10.1f us   ratio %.2f (%s)\n", ours.c_str(), a->second, theirs.c_str(),
                b->second, a->second / b->second, note);
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    std::printf("work folder: %s\n", work_folder().c_str());
    recording_reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    print_ratio(reporter, "BM_update_meters", "BM_sqlite_ten_updates", "target at most 2");
    print_ratio(reporter, "BM_answered", "BM_sqlite_four_updates", "target at most 2");
    print_ratio(reporter, "BM_disk_atomic_replace", "BM_disk_one_data_sync", "the disk's own floor for the two");
    std::error_code ignored;
    std::filesystem::remove_all(work_folder(), ignored);
    return 0;
}
