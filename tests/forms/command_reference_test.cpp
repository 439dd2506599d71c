// The command reference: one entry for every row of the command table and no other, docs/commands.md as
// `quizhost commands --markdown` prints it, and every example a real exchange with a fresh cabinet.
#include "forms/command_reference.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "content/encryption.hpp"
#include "forms/form_main.hpp"
#include "platform/event_sink.hpp"
#include "player/web_player.hpp"
#include "support/e2e.hpp"
#include "support/test_host.hpp"

namespace quizhost::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

#ifdef _WIN32
constexpr const char* tccomm_file = "tccomm.dll";
#else
constexpr const char* tccomm_file = "libtccomm.so";
#endif

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(command_reference, EveryRowOfTheTableHasOneAndEveryOneHasARow) {
    const auto table = command_table();
    const auto references = command_references();
    ASSERT_EQ(references.size(), table.size());
    for (std::size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(table[i].name);
        // In the table's order, so the reference reads as the dispatcher matches.
        EXPECT_STREQ(references[i].name, table[i].name);
        const command_reference* ref = find_command_reference(table[i].name);
        ASSERT_NE(ref, nullptr);
        EXPECT_STRNE(ref->argument, "");
        EXPECT_STRNE(ref->changes, "");
        EXPECT_STRNE(ref->failure, "");
        // A command with an answer says what its answer holds; one without says nothing of an answer.
        EXPECT_EQ(std::string(ref->answer).empty(), table[i].answer == nullptr);
    }
    EXPECT_EQ(find_command_reference("GET_CREDITS"), nullptr);
}

TEST(command_reference, TheCheckedInDocumentIsTheGeneratedOne) {
    const std::string checked_in = read_text(std::string(QUIZHOST_SOURCE_DIR) + "/docs/commands.md");
    EXPECT_EQ(checked_in, command_reference_markdown())
        << "docs/commands.md is out of date: run build/bin/quizhost commands --markdown > docs/commands.md";
}

TEST(command_reference, TheCheckedInTypesAreTheGeneratedOnesAndNameEveryCommand) {
    const std::string checked_in = read_text(std::string(QUIZHOST_SOURCE_DIR) + "/web/runtime/movie.d.ts");
    EXPECT_EQ(checked_in, command_reference_typescript())
        << "web/runtime/movie.d.ts is out of date: run build/bin/quizhost commands --typescript > "
           "web/runtime/movie.d.ts";
    const std::string types = command_reference_typescript();
    for (const command_row& row : command_table()) {
        SCOPED_TRACE(row.name);
        // Its argument's shape, and its answer variable (or none).
        EXPECT_THAT(types, HasSubstr(std::string("\n  ") + row.name + ": "));
        EXPECT_THAT(types, HasSubstr(std::string("\n  ") + row.name + ": " +
                                     (row.answer != nullptr ? std::string("\"") + row.answer + "\";" : "never;")));
    }
    EXPECT_THAT(types, HasSubstr("\n  INTRO_END: \"\";"));
    // The fields the host reads, as the editor shows them.
    EXPECT_THAT(types, HasSubstr("UPDATE_METERS: `${number},${number},${number},${number}`;"));
    EXPECT_THAT(types, HasSubstr("MSGBOX: string;"));
    EXPECT_THAT(types, HasSubstr("GET_CREDIT: \"\";"));
    // A comment's text never ends the comment early.
    EXPECT_THAT(types, Not(HasSubstr("*/ */")));
}

TEST(command_reference, TheDocumentAndTheTextNameEveryCommandAndItsVariable) {
    const std::string markdown = command_reference_markdown();
    const std::string text = "\n" + command_reference_text();
    for (const command_row& row : command_table()) {
        EXPECT_THAT(markdown, HasSubstr(std::string("\n## ") + row.name + "\n"));
        EXPECT_THAT(text, HasSubstr(std::string("\n") + row.name + "\n  argument: "));
        if (row.answer != nullptr) {
            EXPECT_THAT(markdown, HasSubstr(std::string("| Answer | `") + row.answer + "`"));
        }
    }
    EXPECT_THAT(markdown, Not(HasSubstr("No reference yet")));
}

TEST(command_reference, TheCommandPrintsTheReference) {
    const run_result md = run_program(bin_path("quizhost"), {"commands", "--markdown"});
    EXPECT_EQ(md.status, 0);
    EXPECT_EQ(md.out, command_reference_markdown());
    const run_result plain = run_program(bin_path("quizhost"), {"commands"});
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.out, command_reference_text());
}

// The fresh cabinet of the examples: default tables, one question of difficulty 1 in set 1, instructions,
// 500 credits and a bank of 20 through the stand-in credit library.
class reference_examples : public ::testing::Test {
protected:
    void SetUp() override {
        cab.make_standard();
        cab.write("system/setup.ini", "S1,40\r\nS2,50\r\n");
        cab.write("data/data_1_1.dat", encrypt_string("What is 2+2?~3~4~5~6~2", question_key) + "\r\n");
        cab.write("data/instructions.txt", "Answer four questions.\r\n");
        cab.write("credit_state.txt", "credit,500\r\nbank,20\r\n");
        std::filesystem::copy_file(bin_path(tccomm_file), cab.path(tccomm_file));
    }
    cabinet cab;
};

TEST_F(reference_examples, EveryExampleIsWhatTheHostAnswers) {
    for (const command_row& row : command_table()) {
        const command_reference* ref = find_command_reference(row.name);
        ASSERT_NE(ref, nullptr);
        if (row.answer == nullptr) continue;  // their effects are the owners' tests' business
        SCOPED_TRACE(row.name);
        std::string script = "clock\t2026-12-07 14:05:09\nvar\tcontent_version_no\t12\n";
        if (ref->example_scene[0] != '\0') script += std::string(ref->example_scene) + "\n";
        script += "fs\tINTRO_END\nfs\t" + std::string(row.name) + "\t" + ref->example_args + "\n";
        const run_result r = cab.run(script);
        const auto sets = lines_starting(r.transcript, std::string("set\t") + row.answer + "\t");
        ASSERT_EQ(sets.size(), 1u) << r.out << r.err;
        const std::string got = sets[0].substr(std::string("set\t").size() + std::string(row.answer).size() + 1);
        std::string want = escape_field(ref->example_answer);
        if (want.ends_with("...")) {
            want.resize(want.size() - 3);
            EXPECT_TRUE(got.starts_with(want)) << got;
        } else {
            EXPECT_EQ(got, want);
        }
    }
}

TEST(nearest_command, FindsTheCommandAMisspellingMeant) {
    EXPECT_EQ(nearest_command("GET_CREDITS"), "GET_CREDIT");
    EXPECT_EQ(nearest_command("get_credit"), "GET_CREDIT");
    EXPECT_EQ(nearest_command("GET_QUESTON"), "GET_QUESTION");
    EXPECT_EQ(nearest_command("CLOSE ALL"), "CLOSE_ALL");
    EXPECT_EQ(nearest_command("HELLO"), "");
    EXPECT_EQ(nearest_command(""), "");
}

TEST(trace_unknown_command, NamesTheCommandItsArgumentAndTheLikelyMeaning) {
    recording_sink trace;
    web::trace_unknown_command(trace, "GET_CREDITS", "x");
    web::trace_unknown_command(trace, "FLY_AWAY", "");
    EXPECT_THAT(trace.lines,
                ::testing::ElementsAre(
                    "unknown\tmain\tGET_CREDITS\tx\tno such command: nothing happens (did you mean GET_CREDIT?)",
                    "unknown\tmain\tFLY_AWAY\t\tno such command: nothing happens"));
}

}  // namespace
}  // namespace quizhost::testing
