#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "platform/child_process.hpp"
#include "platform/win32/win32_error.hpp"

namespace quizhost {
namespace {

// How long end() waits for the job's processes to be gone.
constexpr DWORD end_bound_ms = 5000;

std::string describe(DWORD code) {
    // Crashes end with an NTSTATUS (0xC0000005 and the like), which reads better in hexadecimal.
    if (code >= 0xC0000000u) {
        char text[32];
        std::snprintf(text, sizeof text, "exit code 0x%08lX", static_cast<unsigned long>(code));
        return text;
    }
    return "exit status " + std::to_string(code);
}

// One argument as the C runtime's command-line parser reads it back (backslashes double only before a
// quote).
void append_quoted(std::string& line, const std::string& arg) {
    if (!line.empty()) line += ' ';
    if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
        line += arg;
        return;
    }
    line += '"';
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            line.append(backslashes * 2 + 1, '\\');
        } else {
            line.append(backslashes, '\\');
        }
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, '\\');
    line += '"';
}

class win32_child final : public child_process {
public:
    win32_child(HANDLE process, HANDLE job, DWORD id) : process_(process), job_(job), id_(id) {}
    ~win32_child() override {
        end();
        ::CloseHandle(process_);
    }

    std::optional<std::string> ended() override {
        if (::WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) return std::nullopt;
        DWORD code = 0;
        ::GetExitCodeProcess(process_, &code);
        return describe(code);
    }

    void end() override {
        if (job_ == nullptr) return;
        // Every process of the job: the browser and all it started.
        ::TerminateJobObject(job_, 1);
        ::WaitForSingleObject(process_, end_bound_ms);
        ::CloseHandle(job_);
        job_ = nullptr;
    }

    long id() const override { return static_cast<long>(id_); }

private:
    HANDLE process_;
    HANDLE job_;
    DWORD id_;
};

std::string registered_program(const char* exe) {
    const std::string key = std::string("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\") + exe;
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        char path[MAX_PATH * 2];
        DWORD size = sizeof path;
        if (::RegGetValueA(root, key.c_str(), nullptr, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ, nullptr, path, &size) ==
                ERROR_SUCCESS &&
            ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
            return path;
        }
    }
    return "";
}

}  // namespace

std::unique_ptr<child_process> start_child_process(const process_launch& launch) {
    const auto fail = [&](DWORD code) -> std::unique_ptr<child_process> {
        throw process_error("cannot start " + launch.program + ": " + win32::system_message(code));
    };
    // The job ends its processes when its last handle closes: ours, which Windows closes however the host
    // ends.
    HANDLE job = ::CreateJobObjectA(nullptr, nullptr);
    if (job == nullptr) return fail(::GetLastError());
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        const DWORD code = ::GetLastError();
        ::CloseHandle(job);
        return fail(code);
    }
    std::string line;
    append_quoted(line, launch.program);
    for (const auto& arg : launch.args) append_quoted(line, arg);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // Suspended until it is in the job, so nothing it starts can escape it.
    if (!::CreateProcessA(launch.program.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                          nullptr, &startup, &info)) {
        const DWORD code = ::GetLastError();
        ::CloseHandle(job);
        return fail(code);
    }
    if (!::AssignProcessToJobObject(job, info.hProcess)) {
        const DWORD code = ::GetLastError();
        ::TerminateProcess(info.hProcess, 1);
        ::CloseHandle(info.hThread);
        ::CloseHandle(info.hProcess);
        ::CloseHandle(job);
        return fail(code);
    }
    ::ResumeThread(info.hThread);
    ::CloseHandle(info.hThread);
    return std::make_unique<win32_child>(info.hProcess, job, info.dwProcessId);
}

std::string make_private_folder(const std::string& prefix) {
    namespace fs = std::filesystem;
    std::error_code failed;
    // The user's own temporary folder, which other users cannot enter.
    const fs::path base = fs::temp_directory_path(failed);
    if (failed) throw process_error("no temporary folder: " + failed.message());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = base / (prefix + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                           std::to_string(::GetTickCount64()) + "-" + std::to_string(attempt));
        if (::CreateDirectoryA(candidate.string().c_str(), nullptr)) return candidate.string();
        if (::GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    throw process_error("cannot create a private folder in " + base.string() + ": " +
                        win32::system_message(::GetLastError()));
}

std::string default_kiosk_browser() {
    for (const char* exe : {"msedge.exe", "chrome.exe"}) {
        if (std::string path = registered_program(exe); !path.empty()) return path;
    }
    return "";
}

}  // namespace quizhost
