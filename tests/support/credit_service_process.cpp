#include "support/credit_service_process.hpp"

#ifdef _WIN32

#include <windows.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/e2e.hpp"

namespace quizhost::testing {

// The service's standard output goes to a file, read until it says where it listens.
credit_service_process::credit_service_process(const std::string& state_path, std::vector<std::string> more,
                                               const std::vector<std::string>&) {
    static int started = 0;
    const std::string output_path =
        state_path + ".service-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++started) + ".out";
    std::string command = "\"" + bin_path("quizhost-credit-service") + "\" --port 0 --state \"" + state_path + "\"";
    for (const auto& argument : more) command += " \"" + argument + "\"";

    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE output =
        ::CreateFileA(output_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot create " + output_path);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION child{};
    DWORD why = 0;
    const bool ok = start_windows_process(nullptr, command.data(), &startup, &child, why);
    ::CloseHandle(output);
    if (!ok) throw std::runtime_error("cannot start " + command + ": error " + std::to_string(why));
    ::CloseHandle(child.hThread);
    process_ = child.hProcess;

    std::string said;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (said.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::ifstream in(output_path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        said = bytes.str();
    }
    const auto at = said.find("127.0.0.1:");
    if (at == std::string::npos) {
        ::TerminateProcess(process_, 1);
        ::WaitForSingleObject(process_, INFINITE);
        ::CloseHandle(process_);
        throw std::runtime_error("the credit service did not start: " + said);
    }
    port_ = std::stoi(said.substr(at + 10));
}

credit_service_process::~credit_service_process() {
    ::TerminateProcess(process_, 0);
    ::WaitForSingleObject(process_, INFINITE);
    ::CloseHandle(process_);
}

}  // namespace quizhost::testing

#else

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <stdexcept>

#include "support/e2e.hpp"

extern char** environ;

namespace quizhost::testing {
namespace {

struct spawned {
    pid_t pid;
    int output;  // read end of the child's standard output
};

spawned spawn_with_output(const std::vector<std::string>& arguments) {
    int pipe_ends[2];
    if (::pipe2(pipe_ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], 1);
    std::vector<char*> argv;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int failed = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipe_ends[1]);
    if (failed != 0) {
        ::close(pipe_ends[0]);
        throw std::runtime_error("cannot start " + arguments[0]);
    }
    return {pid, pipe_ends[0]};
}

int wait_for_exit(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

credit_service_process::credit_service_process(const std::string& state_path, std::vector<std::string> more,
                                               const std::vector<std::string>& launcher) {
    std::vector<std::string> arguments = launcher;
    arguments.insert(arguments.end(), {bin_path("quizhost-credit-service"), "--port", "0", "--state", state_path});
    arguments.insert(arguments.end(), more.begin(), more.end());
    const spawned child = spawn_with_output(arguments);
    pid_ = child.pid;
    // The service prints "... listening on 127.0.0.1:PORT, state FILE" once it listens.
    std::string said;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (said.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd entry{child.output, POLLIN, 0};
        if (::poll(&entry, 1, 100) <= 0) continue;
        char buffer[256];
        const ssize_t got = ::read(child.output, buffer, sizeof buffer);
        if (got <= 0) break;
        said.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(child.output);
    const auto at = said.find("127.0.0.1:");
    if (at == std::string::npos) {
        ::kill(pid_, SIGKILL);
        wait_for_exit(pid_);
        throw std::runtime_error("the credit service did not start: " + said);
    }
    port_ = std::stoi(said.substr(at + 10));
}

credit_service_process::~credit_service_process() {
    ::kill(pid_, SIGTERM);
    wait_for_exit(pid_);
}

}  // namespace quizhost::testing

#endif
