// The host at scale, on cabinets brought up by the real start-up: "GET_QUESTION" on 100,000-line
// question files, a log entry appended to a small log and to a 2 MB one, and start-up itself (the intro
// load to the main form ready, over headless movies) with a 100,000-line question bank. Every call is
// timed on its own; the counters give percentiles in microseconds.
#include <benchmark/benchmark.h>

#include <time.h>

#include <string>

#include "bench_cabinet.hpp"
#include "forms/form_main.hpp"

namespace {

using namespace quizhost;
using namespace quizhost::bench;

// The processor time this thread has used: with other work on the machine, the wall-clock percentiles
// include waits for a processor, and this shows what the call itself costs.
std::chrono::nanoseconds thread_cpu_time() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

void BM_get_question_at_scale(benchmark::State& state) {
    scratch_folder folder("questions");
    lay_out_cabinet(folder.path(), state.range(0));
    cabinet cab(folder.path());
    cab.start();
    samples timings;
    samples cpu_timings;
    long call = 0;
    for (auto _ : state) {
        const std::string args = std::to_string(call++ % 12 + 1) + ",T";
        const auto cpu_start = thread_cpu_time();
        const auto start = std::chrono::steady_clock::now();
        flash_game_FSCommand(cab.h, "GET_QUESTION", args);
        timings.add(std::chrono::steady_clock::now() - start);
        cpu_timings.add(thread_cpu_time() - cpu_start);
    }
    state.counters["p50_us"] = timings.percentile(0.50);
    state.counters["p99_us"] = timings.percentile(0.99);
    state.counters["p99_cpu_us"] = cpu_timings.percentile(0.99);
}

// "TO_LOG" on a log that already holds range(0) bytes of earlier entries.
void BM_log_append(benchmark::State& state) {
    scratch_folder folder("log");
    lay_out_cabinet(folder.path(), 100);
    cabinet cab(folder.path());
    cab.start();
    const std::string entry = "07/12/2026 14:05:09  An earlier entry written by the game movie\r\n";
    std::string filler;
    while (static_cast<long>(filler.size()) < state.range(0)) filler += entry;
    put_file(folder.path() + "/system/logs/log.txt", "<ERROR LOG>\r\n" + filler);
    samples timings;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        flash_game_FSCommand(cab.h, "TO_LOG", "Benchmark entry from the game movie");
        timings.add(std::chrono::steady_clock::now() - start);
    }
    state.counters["p50_us"] = timings.percentile(0.50);
    state.counters["p99_us"] = timings.percentile(0.99);
}

// The intro's load and "INTRO_END" on a cabinet whose files the first start made, as on every later
// power-up; the movies are headless, so no movie load is in the figure.
void BM_start_up(benchmark::State& state) {
    scratch_folder folder("startup");
    lay_out_cabinet(folder.path(), state.range(0));
    {
        cabinet first(folder.path());
        first.start();
    }
    samples timings;
    for (auto _ : state) {
        state.PauseTiming();
        auto cab = std::make_unique<cabinet>(folder.path());
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        cab->start();
        timings.add(std::chrono::steady_clock::now() - start);
    }
    state.counters["p50_us"] = timings.percentile(0.50);
    state.counters["p99_us"] = timings.percentile(0.99);
}

}  // namespace

BENCHMARK(BM_get_question_at_scale)->Arg(100000)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_log_append)->Arg(100)->Arg(2 * 1024 * 1024)->Unit(benchmark::kMicrosecond)->MinTime(0.5);
BENCHMARK(BM_start_up)->Arg(100000)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

BENCHMARK_MAIN();
