#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/child_process.hpp"
#include "platform/posix/errno_text.hpp"

namespace quizhost {
namespace {

// A browser asked to end gets this long to close its profile properly before it is killed.
constexpr auto polite_end_bound = std::chrono::seconds(2);
constexpr auto poll_step = std::chrono::milliseconds(20);

std::string describe(int status) {
    if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

// Closes every descriptor from 3 on but `keep`. Async-signal-safe, for the child between fork and exec.
void close_inherited(int keep, long open_limit) {
    const unsigned int last = ~0u;
    if (::syscall(SYS_close_range, 3u, static_cast<unsigned int>(keep) - 1, 0u) == 0 &&
        ::syscall(SYS_close_range, static_cast<unsigned int>(keep) + 1, last, 0u) == 0) {
        return;
    }
    // Kernels before 5.9: one by one, within a sane bound.
    const int bound = open_limit > 0 && open_limit < 65536 ? static_cast<int>(open_limit) : 65536;
    for (int fd = 3; fd < bound; ++fd) {
        if (fd != keep) ::close(fd);
    }
}

class posix_child final : public child_process {
public:
    explicit posix_child(pid_t pid) : pid_(pid) {}
    ~posix_child() override { end(); }

    std::optional<std::string> ended() override {
        reap(false);
        if (!reaped_) return std::nullopt;
        return describe(status_);
    }

    void end() override {
        if (ended_) return;
        ended_ = true;
        // A running browser is asked to close first (its profile, its sockets) and waited for, briefly.
        reap(false);
        if (!reaped_) {
            ::killpg(pid_, SIGTERM);
            const auto deadline = std::chrono::steady_clock::now() + polite_end_bound;
            while (!reaped_ && std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(poll_step);
                reap(false);
            }
        }
        // Then the whole group goes at once: the browser's own helpers (renderers, GPU, network service)
        // die with it, even when they were left behind by a browser that was killed. They are not our
        // children, and after SIGKILL they run no more code; a helper left as a zombie is dead already.
        ::killpg(pid_, SIGKILL);
        reap(true);
    }

    long id() const override { return static_cast<long>(pid_); }

private:
    void reap(bool wait) {
        if (reaped_) return;
        int status = 0;
        pid_t got;
        do {
            got = ::waitpid(pid_, &status, wait ? 0 : WNOHANG);
        } while (got < 0 && errno == EINTR);
        if (got == pid_ || (got < 0 && errno == ECHILD)) {
            reaped_ = true;
            status_ = status;
        }
    }

    pid_t pid_;
    bool reaped_ = false;
    bool ended_ = false;
    int status_ = 0;
};

}  // namespace

std::unique_ptr<child_process> start_child_process(const process_launch& launch) {
    std::vector<std::string> args{launch.program};
    args.insert(args.end(), launch.args.begin(), launch.args.end());
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    // The child reports a failed exec through this pipe; a successful exec closes it empty.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        throw process_error("cannot start " + launch.program + ": " + errno_text(errno));
    const pid_t parent = ::getpid();
    const long open_limit = ::sysconf(_SC_OPEN_MAX);
    const pid_t pid = ::fork();
    if (pid < 0) {
        const int error = errno;
        ::close(report[0]);
        ::close(report[1]);
        throw process_error("cannot start " + launch.program + ": " + errno_text(error));
    }
    if (pid == 0) {
        // Only async-signal-safe calls from here to exec.
        ::close(report[0]);
        ::setpgid(0, 0);
        // Killed when the host dies, however it dies; a host already gone before this line leaves no orphan
        // either.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        sigset_t none;
        ::sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);  // NOLINT(concurrency-mt-unsafe): the child has one thread
        // The host's sockets (its listening port, the stage's connection) are not the browser's: held
        // open there, a closed connection would stay open and the port stay taken.
        close_inherited(report[1], open_limit);
        ::execvp(argv[0], argv.data());
        const int error = errno;
        (void)!::write(report[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(report[1]);
    // Set in the parent too, so a signal to the group cannot come before the child has made it.
    ::setpgid(pid, pid);
    int error = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof error)) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        throw process_error("cannot start " + launch.program + ": " + errno_text(error));
    }
    return std::make_unique<posix_child>(pid);
}

std::string make_private_folder(const std::string& prefix) {
    namespace fs = std::filesystem;
    std::error_code failed;
    fs::path base;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && *runtime != '\0' && fs::is_directory(runtime, failed)) {
        base = runtime;
    } else {
        base = fs::temp_directory_path(failed);
        if (failed) base = "/tmp";
    }
    // A host that was killed outright (the watchdog's abort, a power-off of the process) could not remove
    // its folder; the next one does, so crashes do not pile up profiles in $XDG_RUNTIME_DIR's memory.
    const std::string lead = prefix + "-";
    for (const auto& entry : fs::directory_iterator(base, failed)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(lead, 0) != 0) continue;
        const std::string owner = name.substr(lead.size(), name.find('-', lead.size()) - lead.size());
        if (owner.empty() || owner.find_first_not_of("0123456789") != std::string::npos) continue;
        if (::kill(static_cast<pid_t>(std::stol(owner)), 0) != 0 && errno == ESRCH) {
            std::error_code ignored;
            fs::remove_all(entry.path(), ignored);
        }
    }
    std::string pattern = (base / (lead + std::to_string(::getpid()) + "-XXXXXX")).string();
    // mkdtemp makes it with mode 0700.
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw process_error("cannot create a private folder in " + base.string() + ": " + errno_text(errno));
    }
    return pattern;
}

std::string default_kiosk_browser() {
    for (const char* candidate : {"/usr/bin/chromium", "/usr/bin/chromium-browser", "/usr/bin/google-chrome"}) {
        if (::access(candidate, X_OK) == 0) return candidate;
    }
    return "";
}

}  // namespace quizhost
