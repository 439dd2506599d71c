// A cabinet held wholly in memory for the fuzzers: the host over a file system in memory (the power-cut
// model the tests use, so every write lands in one step), headless movies, windows and display that
// report nowhere, a fixed clock, draws that a fuzzer can queue, and credit systems in memory. Building
// one costs microseconds, so every input gets a fresh one and inputs never influence each other.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "host.hpp"
#include "platform/clock.hpp"
#include "platform/draws.hpp"
#include "platform/event_sink.hpp"
#include "platform/headless/headless.hpp"
#include "support/power_cut_file_system.hpp"
#include "support/test_host.hpp"

namespace quizhost::fuzzing {

inline constexpr const char* cabinet_folder = "/cabinet";

// Keeps no transcript, only how many variables the host set in the game movie.
class counting_sink final : public event_sink {
public:
    void event(std::initializer_list<std::string_view> fields) override {
        if (fields.size() > 0 && *fields.begin() == "set") ++variables_set;
    }
    int variables_set = 0;
};

struct memory_cabinet {
    memory_cabinet();
    memory_cabinet(const memory_cabinet&) = delete;
    memory_cabinet& operator=(const memory_cabinet&) = delete;

    testing::power_cut_file_system files;
    fixed_clock clock{date_time{2026, 12, 7, 14, 5, 9}};
    counting_sink events;
    // Draws not queued come from a fixed seed, so an input always runs the same way.
    headless_seams headless{events, std::make_unique<generator_draws>(20261207)};
    headless_movie& intro_movie = headless.intro_movie;
    headless_movie& game_movie = headless.game_movie;
    headless_windows& windows = headless.windows;
    headless_display& screen = headless.screen;
    queued_draws& draws = headless.draws;
    std::shared_ptr<testing::memory_credit> credit = std::make_shared<testing::memory_credit>();
    quizhost::host host;

    // "/cabinet/" + relative.
    std::string path(std::string_view relative) const;
    // Writes a file below the cabinet folder, creating its folders.
    void write(std::string_view relative, std::string_view bytes);
    std::string read(std::string_view relative);
    bool exists(std::string_view relative);
    // Sets the folder paths as the main form's load does (without creating anything).
    void set_paths();
    // Question files of every difficulty and set, three enciphered lines each, except an empty file for
    // difficulty 4 of set 2 (drawing from it fails as reading a missing line does).
    void write_question_files();
};

// Queues the draws a fuzzer's input names: numbers separated by blanks or commas, each held to [0, 1)
// as the draws seam promises.
void queue_draws(queued_draws& draws, std::string_view numbers);

}  // namespace quizhost::fuzzing
