// A default cabinet for the benchmarks: a fresh folder on the build's disk with the two movies, the
// default tables, enciphered question files of a chosen length and a started log, brought up by the real
// start-up (the intro movie, then "INTRO_END") over headless movies, so the meter file and the high-score
// table are the ones start-up makes. Credit comes through the stand-in credit library on the library
// platform (the cabinet's own copy, with a purse that does not run dry), or from memory when the stand-in
// is not built.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "content/encryption.hpp"
#include "definitions.hpp"
#include "forms/runtime.hpp"
#include "host.hpp"
#include "platform/client_shell.hpp"
#include "platform/clock.hpp"
#include "platform/credit_library.hpp"
#include "platform/draws.hpp"
#include "platform/event_sink.hpp"
#include "platform/file_system.hpp"
#include "platform/headless/headless.hpp"

namespace quizhost::bench {

// Counts the syncs that pass through to the real file system, so a figure can say which commands pay
// for durability.
class counting_file_system final : public file_system_wrapper {
public:
    using file_system_wrapper::file_system_wrapper;
    void sync_file(const std::string& p) override {
        ++syncs;
        file_system_wrapper::sync_file(p);
    }
    void sync_folder(const std::string& p) override {
        ++syncs;
        file_system_wrapper::sync_folder(p);
    }
    long syncs = 0;
};

// Credit kept in memory: a full purse that never runs dry.
class memory_credit final : public credit_library,
                            public client_shell,
                            public shell_object,
                            public std::enable_shared_from_this<memory_credit> {
public:
    std::int32_t cget() override { return 1000; }
    std::int32_t bget() override { return 1000; }
    std::int32_t cuse(std::int32_t) override { return 0; }
    std::int32_t badd(std::int32_t) override { return 0; }
    std::shared_ptr<shell_object> attach() override { return shared_from_this(); }
    double GetCredit() override { return 1000; }
    double GetBank() override { return 1000; }
    double GetStake(std::int16_t&) override { return 50; }
    void UseCreditEx(std::int32_t&) override {}
    void UseCreditFromBankEx(std::int32_t&) override {}
    void AddToBank(double) override {}
    void FreeGameStarted() override {}
};

// The stand-in credit library built beside the benchmark, or "" when it is not there.
inline std::string standin_library_path() {
    std::error_code failed;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", failed);
    if (failed) return {};
    const std::filesystem::path library = self.parent_path() / "libtccomm.so";
    return std::filesystem::exists(library, failed) ? library.string() : std::string{};
}

// Where benchmark cabinets live: beside the build (the disk the cabinet's files would be on), or
// QUIZHOST_BENCH_DIR.
inline std::string bench_folder_base() {
    if (const char* chosen = std::getenv("QUIZHOST_BENCH_DIR")) return chosen;
    return std::filesystem::current_path().string();
}

// `lines` enciphered questions of a realistic length, one per CRLF line.
inline std::string question_file_bytes(long lines) {
    std::string bytes;
    for (long i = 1; i <= lines; ++i) {
        const std::string plain =
            "Question " + std::to_string(i) +
            ": which of these cities is the capital of the country shown?~Paris~Rome~Madrid~Lisbon~1";
        bytes += encrypt_string(plain, question_key);
        bytes += "\r\n";
    }
    return bytes;
}

inline void put_file(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// The cabinet's files before start-up: movies, a started log, and question files of both sets for the
// four difficulties.
inline void lay_out_cabinet(const std::string& root, long question_lines) {
    put_file(root + "/intro.swf", "");
    put_file(root + "/flash_game.swf", "");
    put_file(root + "/system/logs/log.txt", "<ERROR LOG>\r\nCreated on 01/12/2026 at 09:00:00\r\n\r\n");
    std::filesystem::create_directories(root + "/variable");
    // The credit library stand-in keeps its purse in credit_state.txt beside the library file.
    if (const std::string library = standin_library_path(); !library.empty()) {
        std::filesystem::copy_file(library, root + "/libtccomm.so");
        put_file(root + "/credit_state.txt", "credit,1000000000\r\nbank,0\r\n");
    }
    const std::string questions = question_file_bytes(question_lines);
    for (int set = 1; set <= 2; ++set) {
        for (int d = 1; d <= 4; ++d) {
            put_file(root + "/data/data_" + std::to_string(d) + "_" + std::to_string(set) + ".dat", questions);
        }
    }
}

// A host wired to one cabinet folder. Not started: call start().
class cabinet {
public:
    explicit cabinet(const std::string& root)
        : root_(root), files(std::make_unique<counting_file_system>(make_native_file_system())) {
        headless.attach(h.io);
        h.io.files = files.get();
        h.io.clock = &clock;
        if (std::filesystem::exists(root_ + "/libtccomm.so")) {
            library = make_native_credit_library(root_);
            h.io.library = library.get();
        } else {
            h.io.library = credit.get();
        }
        h.io.shell = credit.get();
        h.program_folder = root_;
    }

    // The intro loads and plays; its "INTRO_END" loads the main form.
    void start() {
        start_program(h);
        raise_fscommand(h, "INTRO_END", "");
    }

    std::string root_;
    std::unique_ptr<counting_file_system> files;
    fixed_clock clock{date_time{2026, 12, 7, 14, 5, 9}};
    null_event_sink events;
    headless_seams headless{events, std::make_unique<generator_draws>(20261207)};
    std::shared_ptr<memory_credit> credit = std::make_shared<memory_credit>();
    std::unique_ptr<credit_library> library;
    host h;
};

// A uniquely named folder removed with the object.
class scratch_folder {
public:
    explicit scratch_folder(const std::string& label) {
        std::random_device device;
        path_ = bench_folder_base() + "/quizhost-bench-" + label + "-" + std::to_string(device());
        std::filesystem::create_directories(path_);
    }
    ~scratch_folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    scratch_folder(const scratch_folder&) = delete;
    scratch_folder& operator=(const scratch_folder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Timings of single calls, in microseconds.
class samples {
public:
    void add(std::chrono::steady_clock::duration d) {
        values_.push_back(std::chrono::duration<double, std::micro>(d).count());
    }
    double percentile(double p) {
        if (values_.empty()) return 0;
        std::sort(values_.begin(), values_.end());
        const auto at = static_cast<std::size_t>(p * static_cast<double>(values_.size() - 1));
        return values_[at];
    }

private:
    std::vector<double> values_;
};

}  // namespace quizhost::bench
