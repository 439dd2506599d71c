// A host on a fresh temporary cabinet folder, with recording headless seams, a fixed clock, queued draws
// and in-memory credit systems. Each test gets its own; nothing is shared between tests.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host.hpp"
#include "platform/client_shell.hpp"
#include "platform/clock.hpp"
#include "platform/credit_library.hpp"
#include "platform/draws.hpp"
#include "platform/event_sink.hpp"
#include "platform/file_system.hpp"
#include "platform/headless/headless.hpp"

namespace quizhost::testing {

// Records every event as one line, fields joined by TAB (escaped as the transcript escapes them).
class recording_sink final : public event_sink {
public:
    void event(std::initializer_list<std::string_view> fields) override;
    std::vector<std::string> lines;
    void clear() { lines.clear(); }
};

// A temporary folder removed when the test ends.
class temp_folder {
public:
    temp_folder();
    ~temp_folder();
    temp_folder(const temp_folder&) = delete;
    temp_folder& operator=(const temp_folder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Credit library and shell kept in memory; each call is recorded in `calls`.
class memory_credit final : public credit_library,
                            public client_shell,
                            public shell_object,
                            public std::enable_shared_from_this<memory_credit> {
public:
    double credit = 0;
    double bank = 0;
    bool shell_running = true;
    std::map<int, double> stakes;  // GetStake's answer per level (missing: 0)
    std::vector<std::string> calls;

    std::int32_t cget() override;
    std::int32_t bget() override;
    std::int32_t cuse(std::int32_t price) override;
    std::int32_t badd(std::int32_t amount) override;
    std::shared_ptr<shell_object> attach() override;
    double GetCredit() override;
    double GetBank() override;
    double GetStake(std::int16_t& level) override;
    void UseCreditEx(std::int32_t& stake_index) override;
    void UseCreditFromBankEx(std::int32_t& stake_index) override;
    void AddToBank(double amount) override;
    void FreeGameStarted() override;
    double price = 50;  // what UseCreditEx takes
};

// Whether the native file system swaps two files' names in one step where the tests' temporary folders
// live (Linux does; the Windows build renames instead), so a kept work file stays beside its target.
bool native_files_swap();

// `folder` followed by `relative` ("/system/setup.ini") as the host forms paths, with the platform's own
// separator; and the same as a transcript field shows it (escaped: a Windows path's backslashes doubled).
std::string native_path(const std::string& folder, const std::string& relative);
std::string transcript_path(const std::string& folder, const std::string& relative);

struct test_host {
    test_host();

    temp_folder folder;
    std::unique_ptr<file_system> files;
    fixed_clock clock{date_time{2026, 12, 7, 14, 5, 9}};
    recording_sink events;
    headless_seams headless{events, std::make_unique<generator_draws>(12345)};
    headless_movie& intro_movie = headless.intro_movie;
    headless_movie& game_movie = headless.game_movie;
    headless_windows& windows = headless.windows;
    headless_display& screen = headless.screen;
    queued_draws& draws = headless.draws;
    std::shared_ptr<memory_credit> credit = std::make_shared<memory_credit>();
    quizhost::host host;

    // A path inside the cabinet folder ("system/setup.ini").
    std::string path(const std::string& relative) const;
    // Sets the folder paths as the main form's load does (without creating anything).
    void set_paths();
    void write(const std::string& relative, const std::string& bytes) const;
    std::string read(const std::string& relative) const;
    bool exists(const std::string& relative) const;
};

}  // namespace quizhost::testing
