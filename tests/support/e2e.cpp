#include "support/e2e.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#ifndef _WIN32
extern char** environ;
#endif

namespace quizhost::testing {
namespace {

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void put(const std::string& path, const std::string& bytes) {
    const std::filesystem::path target(path);
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path());
    std::ofstream out(target, std::ios::binary);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<std::string> split_output_lines(const std::string& out) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        lines.push_back(out.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

#ifdef _WIN32

// One argument as the C runtime of the child splits its command line: quoted when it has blanks or
// quotes, with backslashes doubled where they come before a quote.
std::string quoted_argument(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

HANDLE inheritable_file(const std::string& path, bool for_writing) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE file =
        ::CreateFileA(path.c_str(), for_writing ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      &inherit, for_writing ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
    return file;
}

// Starts the program with standard input, output and error on the files; answers its process handle.
HANDLE spawn(const std::string& program, const std::vector<std::string>& args, const std::string& in_path,
             const std::string& out_path, const std::string& err_path) {
    std::string command_line = quoted_argument(program);
    for (const auto& arg : args) command_line += " " + quoted_argument(arg);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritable_file(in_path, false);
    startup.hStdOutput = inheritable_file(out_path, true);
    startup.hStdError = inheritable_file(err_path, true);
    PROCESS_INFORMATION child{};
    DWORD why = 0;
    const bool started = start_windows_process(program.c_str(), command_line.data(), &startup, &child, why);
    ::CloseHandle(startup.hStdInput);
    ::CloseHandle(startup.hStdOutput);
    ::CloseHandle(startup.hStdError);
    if (!started) throw std::runtime_error("cannot run " + program + ": error " + std::to_string(why));
    ::CloseHandle(child.hThread);
    return child.hProcess;
}

int wait_for(HANDLE child) {
    ::WaitForSingleObject(child, INFINITE);
    DWORD code = 0;
    ::GetExitCodeProcess(child, &code);
    ::CloseHandle(child);
    return static_cast<int>(code);
}

void kill_process(HANDLE child) { ::TerminateProcess(child, 128 + 9); }

#else

// Starts the program with standard input, output and error on the files; answers its process id.
pid_t spawn(const std::string& program, const std::vector<std::string>& args, const std::string& in_path,
            const std::string& out_path, const std::string& err_path) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in_path.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

    std::vector<std::string> argv_text{program};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : argv_text) argv.push_back(arg.data());
    argv.push_back(nullptr);

    pid_t child = 0;
    const int spawned = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot run " + program + ": " + std::strerror(spawned));
    return child;
}

// The exit status (128 + N when killed by signal N).
int wait_for(pid_t child) {
    int wait_status = 0;
    while (waitpid(child, &wait_status, 0) < 0) {
        if (errno != EINTR) throw std::runtime_error("cannot wait for process " + std::to_string(child));
    }
    if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
    if (WIFSIGNALED(wait_status)) return 128 + WTERMSIG(wait_status);
    return -1;
}

void kill_process(pid_t child) { ::kill(child, SIGKILL); }

#endif

int spawn_and_wait(const std::string& program, const std::vector<std::string>& args, const std::string& in_path,
                   const std::string& out_path, const std::string& err_path) {
    return wait_for(spawn(program, args, in_path, out_path, err_path));
}

}  // namespace

struct background_program::child {
#ifdef _WIN32
    HANDLE process = nullptr;
#else
    pid_t process = -1;
#endif
    temp_folder io;
};

background_program::background_program(const std::string& program, const std::vector<std::string>& args)
    : child_(std::make_unique<child>()) {
    put(child_->io.path() + "/stdin", "");
    child_->process = spawn(program, args, child_->io.path() + "/stdin", child_->io.path() + "/stdout",
                            child_->io.path() + "/stderr");
}

background_program::~background_program() {
    if (!waited_) {
        kill();
        (void)wait();
    }
}

void background_program::kill() {
    if (!waited_) kill_process(child_->process);
}

run_result background_program::wait() {
    run_result result;
    if (waited_) return result;
    waited_ = true;
    result.status = wait_for(child_->process);
    result.out = slurp(child_->io.path() + "/stdout");
    result.err = slurp(child_->io.path() + "/stderr");
    result.transcript = split_output_lines(result.out);
    return result;
}

#ifdef _WIN32
bool start_windows_process(const char* program, char* command_line, void* startup_info, void* process_info,
                           unsigned long& why) {
    for (int attempt = 1;; ++attempt) {
        if (::CreateProcessA(program, command_line, nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             static_cast<STARTUPINFOA*>(startup_info),
                             static_cast<PROCESS_INFORMATION*>(process_info))) {
            return true;
        }
        why = ::GetLastError();
        if (why != ERROR_INTERNAL_ERROR || attempt == 3) return false;
        ::Sleep(200 * attempt);
    }
}
#endif

std::string bin_path(const std::string& name) {
#ifdef _WIN32
    return std::string(QUIZHOST_BIN_DIR) + "/" + name + (name.find('.') == std::string::npos ? ".exe" : "");
#else
    return std::string(QUIZHOST_BIN_DIR) + "/" + name;
#endif
}

run_result run_program(const std::string& program, const std::vector<std::string>& args, const std::string& input) {
    // Standard input, output and error go through files: no pipe can fill up and stall the child.
    temp_folder io;
    const std::string in_path = io.path() + "/stdin";
    const std::string out_path = io.path() + "/stdout";
    const std::string err_path = io.path() + "/stderr";
    put(in_path, input);

    run_result result;
    result.status = spawn_and_wait(program, args, in_path, out_path, err_path);
    result.out = slurp(out_path);
    result.err = slurp(err_path);
    result.transcript = split_output_lines(result.out);
    return result;
}

std::string cabinet::path(const std::string& relative) const { return root() + "/" + relative; }

void cabinet::write(const std::string& relative, const std::string& bytes) const { put(path(relative), bytes); }

std::string cabinet::read(const std::string& relative) const { return slurp(path(relative)); }

bool cabinet::exists(const std::string& relative) const { return std::filesystem::exists(path(relative)); }

void cabinet::make_standard() const {
    write("intro.swf", "");
    write("flash_game.swf", "");
    write("system/logs/log.txt", "<ERROR LOG>\r\nCreated on 01/12/2026 at 09:00:00\r\n\r\n");
    std::filesystem::create_directories(path("variable"));
    std::filesystem::create_directories(path("data"));
}

void cabinet::make_priced() const {
    make_standard();
    write("system/setup.ini", "S1,40\r\nS2,50\r\n");
}

void cabinet::install(const std::string& name) const { std::filesystem::copy_file(bin_path(name), path(name)); }

run_result cabinet::play(const std::string& commands, const std::vector<std::string>& extra_args) const {
    return run("clock\t2026-12-07 14:05:09\nfs\tINTRO_END\n" + commands, extra_args);
}

run_result cabinet::run(const std::string& script, const std::vector<std::string>& extra_args) const {
    const std::string script_path = scratch_.path() + "/movie.script";
    put(script_path, script);
    std::vector<std::string> args{"--root", root(), "--script", script_path};
    args.insert(args.end(), extra_args.begin(), extra_args.end());
    return run_program(bin_path("quizhost"), args);
}

run_result cabinet::run_from_stdin(const std::string& script, const std::vector<std::string>& extra_args) const {
    std::vector<std::string> args{"--root", root(), "--script", "-"};
    args.insert(args.end(), extra_args.begin(), extra_args.end());
    return run_program(bin_path("quizhost"), args, script);
}

::testing::AssertionResult in_order(const std::vector<std::string>& lines, const std::vector<std::string>& expected) {
    std::size_t at = 0;
    for (const auto& want : expected) {
        while (at < lines.size() && lines[at] != want) ++at;
        if (at == lines.size()) {
            std::string shown;
            for (const auto& line : lines) shown += "\n  " + line;
            return ::testing::AssertionFailure() << "missing (or out of order): \"" << want << "\" in" << shown;
        }
        ++at;
    }
    return ::testing::AssertionSuccess();
}

std::vector<std::string> lines_starting(const std::vector<std::string>& lines, const std::string& prefix) {
    std::vector<std::string> found;
    for (const auto& line : lines) {
        if (line.rfind(prefix, 0) == 0) found.push_back(line);
    }
    return found;
}

}  // namespace quizhost::testing
