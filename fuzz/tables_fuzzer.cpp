// The weighted tables' loaders and draws over arbitrary table text: the same bytes serve as the question,
// win-plan and lives table files, and each is loaded and drawn from as start-up and the commands do.
// Input lines: the game mode, the draws (numbers in [0, 1)), the "GET_QUESTION" arguments, then the
// table text. A run-time error is the fatal path the dispatcher takes and is expected; a crash, a
// sanitizer report or an answer outside what the draw can give is a finding.
#include <algorithm>
#include <cstdint>
#include <set>
#include <string>

#include "basic/text.hpp"
#include "content/lives.hpp"
#include "content/weighted_questions.hpp"
#include "content/win_plans.hpp"
#include "definitions.hpp"
#include "support/finding.hpp"
#include "support/fuzz_input.hpp"
#include "support/memory_cabinet.hpp"

using namespace quizhost;
using fuzzing::expect;

namespace {

// The errors a malformed table, a question number past the rows or a missing question line raise.
bool expected_error(int number) {
    static const std::set<int> expected{invalid_procedure_call, overflow,       subscript_out_of_range,
                                        type_mismatch,          file_not_found, input_past_end_of_file};
    return expected.count(number) != 0;
}

template <typename Step>
void run_step(const char* what, Step&& step) {
    try {
        step();
    } catch (const run_time_error& e) {
        expect(expected_error(e.number()), what, e.what());
    }
}

void check_questions(fuzzing::memory_cabinet& cab, const std::string& args) {
    run_step("loading the question tables raised an unexpected error", [&] { init_questions(cab.host); });
    for (int draw = 0; draw < 3; ++draw) {
        run_step("GET_QUESTION raised an unexpected error", [&] {
            const std::string answer = get_question(cab.host, args);
            expect(
                answer.size() >= 2 && answer[answer.size() - 2] == '|' && answer.back() >= '1' && answer.back() <= '4',
                "GET_QUESTION's answer does not end with the difficulty", answer);
        });
    }
}

void check_win_plans(fuzzing::memory_cabinet& cab) {
    run_step("loading the win plans raised an unexpected error", [&] { init_winplans(cab.host); });
    for (int draw = 0; draw < 3; ++draw) {
        run_step("GET_WINPLAN raised an unexpected error", [&] {
            const std::string plan = get_win_plan(cab.host);
            const auto& plans = cab.host.content.win_plans;
            const bool known = std::any_of(plans.begin(), plans.end(),
                                           [&](const std::string& p) { return p.substr(0, p.find('*')) == plan; });
            expect(known, "GET_WINPLAN answered a value list of no plan", plan);
        });
    }
}

void check_lives(fuzzing::memory_cabinet& cab) {
    run_step("loading the lives table raised an unexpected error", [&] { init_lives(cab.host); });
    for (int draw = 0; draw < 3; ++draw) {
        run_step("GET_LIVES raised an unexpected error", [&] {
            const int lives = get_lives(cab.host);
            const auto& row = cab.host.content.lives_table.at(static_cast<std::size_t>(cab.host.money.game_mode));
            const long columns = std::max<long>(1, static_cast<long>(split(row, ',').size()));
            expect(lives >= 1 && lives <= columns, "GET_LIVES answered more lives than the row has columns", row);
        });
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzzing::input_fields in(data, size);
    const long mode = in.number(100);
    const std::string draws = in.line();
    const std::string args = in.line();
    const std::string table = in.rest();

    fuzzing::memory_cabinet cab;
    cab.set_paths();
    cab.host.money.game_mode = static_cast<std::int16_t>(mode);
    cab.write_question_files();
    cab.write(std::string("data/") + question_table_file_name, table);
    cab.write(std::string("data/") + win_plan_file_name, table);
    cab.write(std::string("data/") + lives_table_file_name, table);

    fuzzing::queue_draws(cab.draws, draws);
    check_questions(cab, args);
    check_win_plans(cab);
    check_lives(cab);
    return 0;
}
