// Every command row of the game movie's dispatcher, through flash_game_FSCommand and the real file
// system, on a default cabinet brought up by the real start-up (default tables, the meter file and the
// high-score table start-up makes, 1,000-line question files). Each call is timed on its own; the
// counters give the 50th and 99th percentiles in microseconds and the syncs one call makes (the host's,
// and the stand-in credit library's apart). One fsync of a small file on the same disk is measured in the
// same run, the floor that the commands that sync are judged against. "CLOSE_ALL" ends the program and is
// left out.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <string>

#include "bench_cabinet.hpp"
#include "forms/form_main.hpp"
#include "recall/recall_format.hpp"

namespace {

using namespace quizhost;
using namespace quizhost::bench;

constexpr long question_lines = 1000;

// What the movie sends with each command that takes arguments; the question and score vary per call.
std::string args_for(const std::string& command, long call) {
    if (command == "GET_QUESTION") return std::to_string(call % 12 + 1) + ",T";
    if (command == "ANSWERED") return std::to_string(call % 4 + 1) + "," + std::to_string(call % 2);
    if (command == "UPDATE_METERS") return "12,100,0,0";
    if (command == "ADD_TO_HISCORES") return "BEN,1234," + std::to_string((call * 7919) % 5000) + ",1,2,3";
    if (command == "GET_HISCORE_POSITION") return "2500";
    if (command == "GET_SCORE_RECORD") return "1";
    if (command == "ADD_TO_BANK") return "10";
    if (command == "TO_LOG") return "Benchmark entry from the game movie";
    if (command == "MSGBOX") return "Benchmark message";
    return {};
}

// The last line of the log: why a command ended the program.
std::string last_log_line(const std::string& root) {
    std::ifstream in(root + "/system/logs/log.txt", std::ios::binary);
    std::string line, last;
    while (std::getline(in, line)) {
        if (!line.empty() && line != "\r") last = line;
    }
    if (!last.empty() && last.back() == '\r') last.pop_back();
    // Without its date and time ("dd/mm/yyyy HH:MM:SS  ").
    return last.size() > 21 ? last.substr(21) : last;
}

// The file's inode number, 0 when it does not exist.
ino_t inode_of(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

void BM_command(benchmark::State& state, const std::string& command) {
    scratch_folder folder("commands");
    lay_out_cabinet(folder.path(), question_lines);
    cabinet cab(folder.path());
    cab.start();
    samples timings;
    long call = 0;
    const long syncs_before = cab.files->syncs;
    // The stand-in credit library replaces its state file (two syncs) on each change of the purse; a new
    // inode after a call is such a change.
    const std::string purse = folder.path() + "/credit_state.txt";
    long library_syncs = 0;
    for (auto _ : state) {
        const std::string args = args_for(command, call++);
        const ino_t purse_before = inode_of(purse);
        const auto start = std::chrono::steady_clock::now();
        try {
            flash_game_FSCommand(cab.h, command, args);
        } catch (const program_exit&) {
            // Only a failure ends the program here; the row cannot be measured on this build.
            state.SkipWithError(("ended the program: " + last_log_line(folder.path())).c_str());
            break;
        }
        timings.add(std::chrono::steady_clock::now() - start);
        if (inode_of(purse) != purse_before) library_syncs += 2;
    }
    state.counters["p50_us"] = timings.percentile(0.50);
    state.counters["p99_us"] = timings.percentile(0.99);
    const double calls = call == 0 ? 1 : static_cast<double>(call);
    state.counters["syncs_per_call"] = static_cast<double>(cab.files->syncs - syncs_before) / calls;
    state.counters["library_syncs_per_call"] = static_cast<double>(library_syncs) / calls;
}

// Rewrites a small file in place and syncs it: the cost of one fsync on this disk.
void BM_fsync_small_file(benchmark::State& state) {
    scratch_folder folder("fsync");
    const std::string path = folder.path() + "/small.txt";
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0) {
        state.SkipWithError("cannot create the file");
        return;
    }
    const std::string bytes(256, 'x');
    samples timings;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (::pwrite(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()) || ::fsync(fd) != 0) {
            state.SkipWithError("write or fsync failed");
            break;
        }
        timings.add(std::chrono::steady_clock::now() - start);
    }
    ::close(fd);
    state.counters["p50_us"] = timings.percentile(0.50);
    state.counters["p99_us"] = timings.percentile(0.99);
}

// Writes a small file afresh (truncated, written, synced), as the first sync of an atomic replace finds
// its work file: the data's blocks are newly allocated, so the sync carries them and the file's size.
void BM_fsync_new_small_file(benchmark::State& state) {
    scratch_folder folder("fsync-new");
    const std::string path = folder.path() + "/small.txt";
    const std::string bytes(256, 'x');
    samples timings;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        const bool written = fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
                             ::fsync(fd) == 0;
        if (fd >= 0) ::close(fd);
        if (!written) {
            state.SkipWithError("write or fsync failed");
            break;
        }
        timings.add(std::chrono::steady_clock::now() - start);
    }
    state.counters["p50_us"] = timings.percentile(0.50);
    state.counters["p99_us"] = timings.percentile(0.99);
}

// One atomic replace of a small file through the file system seam (work file, sync, rename, folder
// sync) with nothing else: the floor of every command that rewrites a file.
void BM_atomic_replace(benchmark::State& state) {
    scratch_folder folder("replace");
    const std::unique_ptr<file_system> files = make_native_file_system();
    const std::string path = folder.path() + "/small.txt";
    std::string bytes(2048, 'x');
    samples timings;
    long call = 0;
    for (auto _ : state) {
        bytes[0] = static_cast<char>('a' + call++ % 26);
        const auto start = std::chrono::steady_clock::now();
        replace_file(*files, path, bytes);
        timings.add(std::chrono::steady_clock::now() - start);
    }
    state.counters["p50_us"] = timings.percentile(0.50);
    state.counters["p99_us"] = timings.percentile(0.99);
}

// A game's record as the game recall writes it at the game's settlement: twelve questions drawn and
// answered, appended to a growing recall file and made durable with one data sync. This is what the
// recall adds to a game.
void BM_recall_game_record(benchmark::State& state) {
    scratch_folder folder("recall");
    const std::unique_ptr<file_system> files = make_native_file_system();
    const std::string path = folder.path() + "/recall.txt";
    files->write_file(path, "");
    files->sync_file(path);
    recall_record record{"game",
                         {{"seq", "1"},
                          {"no", "1"},
                          {"start", "2026-12-07 14:05:09"},
                          {"end", "2026-12-07 14:06:09"},
                          {"pay", "credit"},
                          {"credit", "150"},
                          {"bank", "0"},
                          {"start_mode", "3"},
                          {"plan", "-1,100,200,300,500,1000,2000"},
                          {"lives", "3"}}};
    for (int q = 1; q <= 12; ++q) {
        record.add("q", std::to_string(q) + ",3,1,data_3_1.dat,417,8f3a2b1c");
        record.add("a", "3,1");
    }
    for (const char* field : {"reached", "prize", "flags", "mode"}) record.add(field, "12");
    samples timings;
    long call = 0;
    for (auto _ : state) {
        record.fields[0].second = std::to_string(++call);
        const std::string line = format_recall_record(record) + "\r\n";
        const auto start = std::chrono::steady_clock::now();
        files->append_to_file(path, line);
        files->sync_file(path);
        timings.add(std::chrono::steady_clock::now() - start);
    }
    state.counters["p50_us"] = timings.percentile(0.50);
    state.counters["p99_us"] = timings.percentile(0.99);
    state.counters["bytes"] = static_cast<double>(format_recall_record(record).size() + 2);
}

// A whole game as bench/game_script.hpp plays it (START_GAME, twelve questions drawn and answered,
// UPDATE_METERS, the high-score position, entry and table, the game count), recall included: the
// figure the recall's one sync per game is a share of.
void BM_whole_game(benchmark::State& state) {
    scratch_folder folder("game");
    lay_out_cabinet(folder.path(), question_lines);
    cabinet cab(folder.path());
    cab.start();
    samples timings;
    long game = 0;
    const long syncs_before = cab.files->syncs;
    for (auto _ : state) {
        const std::string score = std::to_string((game++ * 7919) % 5000);
        const auto start = std::chrono::steady_clock::now();
        try {
            flash_game_FSCommand(cab.h, "START_GAME", "");
            for (int q = 1; q <= 12; ++q) {
                flash_game_FSCommand(cab.h, "GET_QUESTION", std::to_string(q) + ",T");
                flash_game_FSCommand(cab.h, "ANSWERED",
                                     std::to_string(q % 4 + 1) + "," + std::to_string((game + q) % 2));
            }
            flash_game_FSCommand(cab.h, "UPDATE_METERS", "12,100,0,0");
            flash_game_FSCommand(cab.h, "GET_HISCORE_POSITION", score);
            flash_game_FSCommand(cab.h, "ADD_TO_HISCORES", "BEN,1234," + score + ",1,2,3");
            flash_game_FSCommand(cab.h, "READ_HISCORES", "");
            flash_game_FSCommand(cab.h, "GET_TOTAL_GAMES", "");
        } catch (const program_exit&) {
            state.SkipWithError(("ended the program: " + last_log_line(folder.path())).c_str());
            break;
        }
        timings.add(std::chrono::steady_clock::now() - start);
    }
    state.counters["p50_us"] = timings.percentile(0.50);
    state.counters["p99_us"] = timings.percentile(0.99);
    state.counters["syncs_per_game"] =
        static_cast<double>(cab.files->syncs - syncs_before) / static_cast<double>(game == 0 ? 1 : game);
}

// A paid game of 27 commands as a movie plays it when money moves: the price taken (USE_CREDIT), the
// start, eleven questions drawn and answered, the meters, the prize added to the bank (ADD_TO_BANK) and
// the game count. Its syncs are the host's own; the stand-in credit library's purse is apart.
void BM_paid_game(benchmark::State& state) {
    scratch_folder folder("paid-game");
    lay_out_cabinet(folder.path(), question_lines);
    cabinet cab(folder.path());
    cab.start();
    samples timings;
    long game = 0;
    const long syncs_before = cab.files->syncs;
    for (auto _ : state) {
        ++game;
        const auto start = std::chrono::steady_clock::now();
        try {
            flash_game_FSCommand(cab.h, "USE_CREDIT", "");
            flash_game_FSCommand(cab.h, "START_GAME", "");
            for (int q = 1; q <= 11; ++q) {
                flash_game_FSCommand(cab.h, "GET_QUESTION", std::to_string(q) + ",T");
                flash_game_FSCommand(cab.h, "ANSWERED",
                                     std::to_string(q % 4 + 1) + "," + std::to_string((game + q) % 2));
            }
            flash_game_FSCommand(cab.h, "UPDATE_METERS", "11,100,0,0");
            flash_game_FSCommand(cab.h, "ADD_TO_BANK", "100");
            flash_game_FSCommand(cab.h, "GET_TOTAL_GAMES", "");
        } catch (const program_exit&) {
            state.SkipWithError(("ended the program: " + last_log_line(folder.path())).c_str());
            break;
        }
        timings.add(std::chrono::steady_clock::now() - start);
    }
    state.counters["p50_us"] = timings.percentile(0.50);
    state.counters["p99_us"] = timings.percentile(0.99);
    state.counters["syncs_per_game"] =
        static_cast<double>(cab.files->syncs - syncs_before) / static_cast<double>(game == 0 ? 1 : game);
}

void register_all() {
    benchmark::RegisterBenchmark("fsync_small_file", BM_fsync_small_file)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
    benchmark::RegisterBenchmark("fsync_new_small_file", BM_fsync_new_small_file)
        ->Unit(benchmark::kMicrosecond)
        ->MinTime(0.5);
    benchmark::RegisterBenchmark("atomic_replace", BM_atomic_replace)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
    benchmark::RegisterBenchmark("recall_game_record", BM_recall_game_record)
        ->Unit(benchmark::kMicrosecond)
        ->MinTime(0.5);
    benchmark::RegisterBenchmark("whole_game", BM_whole_game)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
    benchmark::RegisterBenchmark("paid_game", BM_paid_game)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
    for (const command_row& row : command_table()) {
        const std::string name = row.name;
        if (name == "CLOSE_ALL") continue;
        benchmark::RegisterBenchmark(("command/" + name).c_str(),
                                     [name](benchmark::State& state) { BM_command(state, name); })
            ->Unit(benchmark::kMicrosecond)
            ->MinTime(0.3);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    register_all();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
