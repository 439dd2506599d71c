// A stand-in for the kiosk browser, for the supervision tests: it notes its process number in the file
// named by QUIZHOST_STANDIN_LOG ("started PID" lines, each followed by "command LINE", its own command line
// as the system shows it to every user), then does what QUIZHOST_STANDIN_CUE says:
//   run     stays (at most a minute, so a broken test leaves nothing for long)   (the default)
//   exit    ends at once with status 3
//   crash   aborts
//   spawn   starts a copy of itself that runs, then runs (what is started must end with the browser)
//   exit-first  ends at once with status 3 when it is the first start noted in the log, else runs
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

long own_id() {
#ifdef _WIN32
    return static_cast<long>(::GetCurrentProcessId());
#else
    return static_cast<long>(::getpid());
#endif
}

void start_copy(const char* self) {
#ifdef _WIN32
    ::SetEnvironmentVariableA("QUIZHOST_STANDIN_CUE", "run");
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string line = std::string("\"") + self + "\"";
    if (::CreateProcessA(self, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
        ::CloseHandle(info.hThread);
        ::CloseHandle(info.hProcess);
    }
#else
    if (::fork() == 0) {
        ::setenv("QUIZHOST_STANDIN_CUE", "run", 1);
        ::execl(self, self, static_cast<char*>(nullptr));
        ::_exit(127);
    }
#endif
}

// What any user of the machine reads as this process's command line.
std::string own_command_line(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    return ::GetCommandLineA();
#else
    std::string line;
    for (int i = 0; i < argc; ++i) line += (i > 0 ? " " : "") + std::string(argv[i]);
    return line;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    bool first = true;
    if (const char* log = std::getenv("QUIZHOST_STANDIN_LOG")) {
        first = !std::ifstream(log).good();
        std::ofstream(log, std::ios::app)
            << "started " << own_id() << "\ncommand " << own_command_line(argc, argv) << "\n";
    }
    const char* cue_text = std::getenv("QUIZHOST_STANDIN_CUE");
    const std::string cue = cue_text != nullptr ? cue_text : "run";
    if (cue == "exit" || (cue == "exit-first" && first)) return 3;
    if (cue == "crash") std::abort();
    if (cue == "spawn") start_copy(argv[0]);
    std::this_thread::sleep_for(std::chrono::seconds(60));
    return 0;
}
