// The kiosk browser's processes on the real system, with a stand-in browser (tests/standins/): the process
// seam, and quizhost --kiosk keeping the stand-in alive and leaving none behind whatever way it ends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifdef QUIZHOST_HAVE_WEB

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

#include "platform/child_process.hpp"
#include "support/e2e.hpp"
#include "support/test_host.hpp"

namespace quizhost {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

void set_env(const char* name, const std::string& value) {
#ifdef _WIN32
    ::_putenv_s(name, value.c_str());
#else
    ::setenv(name, value.c_str(), 1);
#endif
}

bool process_alive(long id) {
#ifdef _WIN32
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(id));
    if (process == nullptr) return false;
    const bool alive = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return alive;
#else
    if (::kill(static_cast<pid_t>(id), 0) != 0) return false;
    // A zombie has ended; only its parent has not looked yet.
    std::ifstream stat("/proc/" + std::to_string(id) + "/stat");
    std::string text;
    std::getline(stat, text);
    const auto close = text.rfind(')');
    return close == std::string::npos || close + 2 >= text.size() || text[close + 2] != 'Z';
#endif
}

template <class Predicate>
bool eventually(Predicate done, std::chrono::milliseconds bound = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The process numbers the stand-ins noted, in the order they started.
std::vector<long> started(const std::string& log) {
    std::vector<long> ids;
    std::istringstream lines(read_text(log));
    for (std::string word; lines >> word;) {
        long id = 0;
        if (word == "started" && lines >> id) ids.push_back(id);
    }
    return ids;
}

class KioskProcess : public ::testing::Test {
protected:
    void SetUp() override {
        standin_log = folder.path() + "/standins.txt";
        set_env("QUIZHOST_STANDIN_LOG", standin_log);
        set_env("QUIZHOST_STANDIN_CUE", "run");
    }
    void TearDown() override {
        // Whatever happened, no stand-in outlives its test.
        for (const long id : started(standin_log)) {
            if (!process_alive(id)) continue;
            ADD_FAILURE() << "stand-in " << id << " is still running";
#ifdef _WIN32
            if (HANDLE p = ::OpenProcess(PROCESS_TERMINATE, FALSE, static_cast<DWORD>(id))) {
                ::TerminateProcess(p, 1);
                ::CloseHandle(p);
            }
#else
            ::kill(static_cast<pid_t>(id), SIGKILL);
#endif
        }
    }

    testing::temp_folder folder;
    std::string standin_log;
    const std::string standin = testing::bin_path("kiosk-browser-standin");
};

TEST_F(KioskProcess, EndingTheBrowserEndsWhatItStartedToo) {
    set_env("QUIZHOST_STANDIN_CUE", "spawn");
    auto browser = start_child_process({standin, {"--kiosk", "http://127.0.0.1:1/"}});
    ASSERT_TRUE(eventually([&] { return started(standin_log).size() == 2; })) << read_text(standin_log);
    EXPECT_FALSE(browser->ended());
    EXPECT_EQ(browser->id(), started(standin_log)[0]);
    browser->end();
    EXPECT_TRUE(browser->ended());
    for (const long id : started(standin_log)) EXPECT_TRUE(eventually([&] { return !process_alive(id); }, 5s)) << id;
}

TEST_F(KioskProcess, SaysHowTheBrowserEndedAndRefusesAProgramThatIsNotThere) {
    set_env("QUIZHOST_STANDIN_CUE", "exit");
    auto browser = start_child_process({standin, {}});
    ASSERT_TRUE(eventually([&] { return browser->ended().has_value(); }));
    EXPECT_EQ(*browser->ended(), "exit status 3");
    try {
        start_child_process({folder.path() + "/no-such-browser", {}});
        FAIL() << "started a program that is not there";
    } catch (const process_error& e) {
        EXPECT_THAT(e.what(), HasSubstr("cannot start " + folder.path() + "/no-such-browser"));
    }
}

// quizhost --kiosk, running on in the background until the test ends it hard.
class background_host {
public:
    background_host(const std::vector<std::string>& args, const std::string& out_path) {
#ifdef _WIN32
        std::string line = "\"" + testing::bin_path("quizhost") + "\"";
        for (const auto& arg : args) line += " \"" + arg + "\"";
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        const HANDLE out = ::CreateFileA(out_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = out;
        startup.hStdError = out;
        PROCESS_INFORMATION info{};
        unsigned long why = 0;
        const std::string program = testing::bin_path("quizhost");
        if (testing::start_windows_process(program.c_str(), line.data(), &startup, &info, why)) {
            ::CloseHandle(info.hThread);
            process_ = info.hProcess;
        }
        ::CloseHandle(out);
#else
        std::vector<std::string> text{testing::bin_path("quizhost")};
        text.insert(text.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& arg : text) argv.push_back(arg.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
#endif
    }
    ~background_host() { kill_hard(); }

    bool running() const {
#ifdef _WIN32
        return process_ != nullptr;
#else
        return pid_ > 0;
#endif
    }

    // Ends the host as a crash or a power button would: no shutdown of its own.
    void kill_hard() {
#ifdef _WIN32
        if (process_ == nullptr) return;
        ::TerminateProcess(process_, 9);
        ::WaitForSingleObject(process_, 10000);
        ::CloseHandle(process_);
        process_ = nullptr;
#else
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
#endif
    }

private:
#ifdef _WIN32
    HANDLE process_ = nullptr;
#else
    pid_t pid_ = -1;
#endif
};

TEST_F(KioskProcess, TheHostRestartsItsBrowserAndLeavesNoneBehindWhenItIsKilled) {
    testing::cabinet cab;
    cab.make_standard();
    set_env("QUIZHOST_STANDIN_CUE", "exit-first");
    // A host killed outright cannot remove its browser's private folder: let it be this test's.
    set_env("XDG_RUNTIME_DIR", folder.path());
    const std::string out = folder.path() + "/host.txt";
    background_host host({"--root", cab.root(), "--http-port", "0", "--kiosk", "--browser", standin}, out);
    ASSERT_TRUE(host.running());
    ASSERT_TRUE(eventually([&] { return started(standin_log).size() == 2; })) << read_text(out);
    const std::vector<long> ids = started(standin_log);
    ASSERT_TRUE(eventually([&] { return !process_alive(ids[0]); }));
    EXPECT_TRUE(process_alive(ids[1]));
    ASSERT_TRUE(eventually([&] {
        return read_text(cab.path("system/logs/log.txt")).find("KIOSK BROWSER RESTARTED (it ended, exit status 3)") !=
               std::string::npos;
    })) << read_text(cab.path("system/logs/log.txt"));
    host.kill_hard();
    EXPECT_TRUE(eventually([&] { return !process_alive(ids[1]); }, 5s)) << "the stand-in outlived its host";
    EXPECT_EQ(started(standin_log).size(), 2u) << read_text(out);
#ifndef _WIN32
    // The killed host's private folder is left; the next host's first private folder sweeps it away.
    const auto private_folders = [&] {
        int n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
            n += entry.path().filename().string().rfind("quizhost-kiosk-", 0) == 0 ? 1 : 0;
        }
        return n;
    };
    EXPECT_EQ(private_folders(), 1);
    const std::string next = make_private_folder("quizhost-kiosk");
    EXPECT_EQ(private_folders(), 1);
    EXPECT_TRUE(std::filesystem::is_directory(next));
    std::filesystem::remove_all(next);
#endif
}

// The command lines the stand-ins noted, as any user of the machine reads them.
std::vector<std::string> command_lines(const std::string& log) {
    std::vector<std::string> lines;
    std::istringstream in(read_text(log));
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("command ", 0) == 0) lines.push_back(line.substr(8));
    }
    return lines;
}

TEST_F(KioskProcess, TheBrowsersCommandLineNamesOnlyAPrivatePageNeverTheLinkOrTheSecret) {
    testing::cabinet cab;
    cab.make_standard();
    set_env("QUIZHOST_STANDIN_CUE", "exit-first");  // a restart, too, hands over its link the same way
    set_env("XDG_RUNTIME_DIR", folder.path());
    const std::string out = folder.path() + "/host.txt";
    background_host host({"--root", cab.root(), "--http-port", "0", "--kiosk", "--browser", standin}, out);
    ASSERT_TRUE(host.running());
    ASSERT_TRUE(eventually([&] { return command_lines(standin_log).size() == 2; })) << read_text(out);
    for (const std::string& line : command_lines(standin_log)) {
        EXPECT_THAT(line, ::testing::Not(HasSubstr("/open/")));
        EXPECT_THAT(line, ::testing::Not(HasSubstr("key=")));
        EXPECT_THAT(line, ::testing::Not(HasSubstr("http:")));
        // The last argument is the page in the private folder, which holds the one-time link.
        const auto at = line.find("file:///");
        ASSERT_NE(at, std::string::npos) << line;
        std::string url = line.substr(at);
        if (!url.empty() && url.back() == '"') url.pop_back();
        EXPECT_THAT(url, HasSubstr("stage-link.html"));
    }
    // Whatever the page's folder, it is the one the host made for its browser, not the cabinet's.
    EXPECT_THAT(read_text(standin_log), ::testing::Not(HasSubstr(cab.root())));
    std::string said = read_text(out);
    EXPECT_THAT(said, ::testing::Not(HasSubstr("/open/")));
    EXPECT_THAT(said, ::testing::Not(HasSubstr("#key=")));
    host.kill_hard();
    // The browser dies with its host, a moment later.
    for (const long id : started(standin_log)) EXPECT_TRUE(eventually([&] { return !process_alive(id); }, 5s)) << id;
}

TEST_F(KioskProcess, ABrowserThatKeepsDyingEndsTheHostThroughTheFatalPath) {
    testing::cabinet cab;
    cab.make_standard();
    set_env("QUIZHOST_STANDIN_CUE", "exit");
    const testing::run_result r = testing::run_program(
        testing::bin_path("quizhost"), {"--root", cab.root(), "--http-port", "0", "--kiosk", "--browser", standin});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_THAT(r.err, HasSubstr("KIOSK BROWSER DIED 5 TIMES WITHIN A MINUTE (last: it ended, exit status 3); ending"));
    const std::string log = cab.read("system/logs/log.txt");
    std::size_t restarts = 0;
    for (std::size_t at = 0;
         (at = log.find("KIOSK BROWSER RESTARTED (it ended, exit status 3)", at)) != std::string::npos; ++at) {
        ++restarts;
    }
    EXPECT_EQ(restarts, 4u) << log;
    EXPECT_THAT(log, HasSubstr("KIOSK BROWSER DIED 5 TIMES WITHIN A MINUTE (last: it ended, exit status 3).  Game "
                               "Terminated."));
    EXPECT_EQ(started(standin_log).size(), 5u);
}

TEST_F(KioskProcess, KioskOptionsAreCheckedOnTheCommandLine) {
    testing::cabinet cab;
    cab.make_standard();
    testing::run_result r =
        testing::run_program(testing::bin_path("quizhost"), {"--root", cab.root(), "--browser", standin});
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.err, HasSubstr("--browser requires --kiosk"));
    r = testing::run_program(testing::bin_path("quizhost"), {"--root", cab.root(), "--kiosk", "--script", "-"}, "");
    EXPECT_EQ(r.status, 2);
    EXPECT_THAT(r.err, HasSubstr("--kiosk is for the browser player, not with --script"));
    // A browser that cannot be started at all is the fatal path, with the reason.
    r = testing::run_program(testing::bin_path("quizhost"), {"--root", cab.root(), "--http-port", "0", "--kiosk",
                                                             "--browser", folder.path() + "/none"});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("the kiosk browser: cannot start " + folder.path() + "/none"));
}

}  // namespace
}  // namespace quizhost

#endif
