// Peak resident memory of the headless host playing many games: a default cabinet with 1,000-line
// question files, a movie script of `range(0)` whole games (start, twelve questions answered, meters,
// high scores), played by the real quizhost executable beside this one. The figure is the child's peak
// resident set from wait4, in kilobytes.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "bench_cabinet.hpp"
#include "game_script.hpp"

namespace {

using namespace quizhost::bench;

// The quizhost executable built beside this benchmark.
std::string quizhost_path() {
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "quizhost").string();
}

void BM_games_peak_memory(benchmark::State& state) {
    scratch_folder folder("memory");
    const std::string root = folder.path() + "/cabinet";
    lay_out_cabinet(root, 1000);
    const std::string script = folder.path() + "/games.script";
    put_file(script, game_script(state.range(0)));
    const std::string program = quizhost_path();
    for (auto _ : state) {
        const pid_t child = ::fork();
        if (child == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, STDOUT_FILENO);
            ::execl(program.c_str(), program.c_str(), "--root", root.c_str(), "--script", script.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        rusage usage{};
        if (child < 0 || ::wait4(child, &status, 0, &usage) != child) {
            state.SkipWithError("cannot run quizhost");
            return;
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError(("quizhost ended with status " + std::to_string(WEXITSTATUS(status))).c_str());
            return;
        }
        state.counters["peak_rss_kb"] = static_cast<double>(usage.ru_maxrss);
    }
}

}  // namespace

BENCHMARK(BM_games_peak_memory)->Arg(1000)->Iterations(1)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
