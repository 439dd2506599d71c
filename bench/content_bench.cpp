// "GET_QUESTION" on question files of 1,000, 10,000 and 100,000 lines: every call counts the chosen file's
// lines and reads the drawn line from the file as it is on disk, with nothing kept between calls.
// Reports the 50th and 99th percentiles of single calls besides the mean.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "content/encryption.hpp"
#include "content/weighted_questions.hpp"
#include "definitions.hpp"
#include "host.hpp"
#include "platform/clock.hpp"
#include "platform/draws.hpp"
#include "platform/file_system.hpp"

namespace {

using namespace quizhost;

// A cabinet folder whose question files of set 1 all hold `lines` enciphered questions of a realistic
// length (about 100 characters plain, 150 enciphered).
struct bench_cabinet {
    explicit bench_cabinet(long lines) {
        root = (std::filesystem::temp_directory_path() / ("quizhost_bench_" + std::to_string(lines))).string();
        std::filesystem::create_directories(root + "/data");
        std::string bytes;
        for (long i = 1; i <= lines; ++i) {
            const std::string plain =
                "Question " + std::to_string(i) +
                ": which of these cities is the capital of the country shown?~Paris~Rome~Madrid~Lisbon~1";
            bytes += encrypt_string(plain, question_key);
            bytes += "\r\n";
        }
        for (int d = 1; d <= 4; ++d) {
            std::ofstream(root + "/data/data_" + std::to_string(d) + "_1.dat", std::ios::binary) << bytes;
        }
        files = make_native_file_system();
        h.io.files = files.get();
        h.io.clock = &clock_;
        h.io.draws = &draws_;
        h.program_folder = root;
        h.start.data_path = root + "/data/";
        h.start.system_path = root + "/system/";
        init_questions(h);
    }
    ~bench_cabinet() { std::filesystem::remove_all(root); }

    std::string root;
    std::unique_ptr<file_system> files;
    fixed_clock clock_{date_time{2026, 12, 7, 14, 5, 9}};
    generator_draws draws_{20261207};
    host h;
};

double percentile(std::vector<double> samples, double p) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    const auto at = static_cast<std::size_t>(p * static_cast<double>(samples.size() - 1));
    return samples[at];
}

void BM_get_question(benchmark::State& state) {
    bench_cabinet cabinet(state.range(0));
    std::vector<double> samples;
    int question = 1;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        // Questions 1 to 12 of the default table in mode 0 draw every difficulty of set 1.
        std::string answer = get_question(cabinet.h, std::to_string(question) + ",T");
        const auto stop = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(answer);
        samples.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
        question = question % 12 + 1;
    }
    state.counters["p50_ms"] = percentile(samples, 0.50);
    state.counters["p99_ms"] = percentile(samples, 0.99);
    state.counters["max_ms"] = percentile(samples, 1.0);
}

}  // namespace

BENCHMARK(BM_get_question)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
