// The content commands through quizhost --script, with the draws pinned by `draw` directives.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "content/encryption.hpp"
#include "support/e2e.hpp"

namespace quizhost::testing {
namespace {

// The same text for each of the six game modes, so the answers do not depend on the mode the meters set.
std::string every_mode(const std::string& lines, const std::string& after_each = "") {
    std::string text;
    for (int mode = 0; mode < 6; ++mode) text += lines + after_each;
    return text;
}

class e2e_content : public ::testing::Test {
protected:
    void SetUp() override { cab.make_standard(); }
    cabinet cab;
};

TEST_F(e2e_content, GetQuestionDrawsTheDifficultyThenTheLine) {
    cab.write("data/weighted_questions.txt", every_mode("100,0,0,0\r\n90,9,0,1\r\n", "*\r\n"));
    std::string bytes;
    for (int i = 1; i <= 4; ++i)
        bytes +=
            encrypt_string("Question " + std::to_string(i) + "~a~b~c~d~" + std::to_string(i), question_key) + "\r\n";
    cab.write("data/data_2_1.dat", bytes);
    // r = 96 gives difficulty 2 from "90,9,0,1"; the second draw picks line 3 of 4.
    const run_result r = cab.run("fs\tINTRO_END\ndraw\t0.95\ndraw\t0.5\nfs\tGET_QUESTION\t2,T\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(in_order(r.transcript, {"fs\tmain\tGET_QUESTION\t2,T", "stop\tmain",
                                        "set\tvb_question\tQuestion 3~a~b~c~d~3|2", "play\tmain", "exit\t0"}));
}

TEST_F(e2e_content, GetQuestionFromTheDemoData) {
    std::filesystem::copy(std::string(QUIZHOST_SOURCE_DIR) + "/demo/cabinet/data", cab.path("data"),
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
    const run_result r = cab.run("fs\tINTRO_END\ndraw\t0\ndraw\t0\nfs\tGET_QUESTION\t1,T\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(
        in_order(r.transcript, {"set\tvb_question\tWhat is the capital of France?~London~Rome~Madrid~Paris~4|1"}));
}

TEST_F(e2e_content, QuestionBeyondTheTableEndsTheProgramThroughTheErrorPath) {
    const run_result r = cab.run("fs\tINTRO_END\nfs\tGET_QUESTION\t13,T\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(lines_starting(r.transcript, "set\tvb_question").empty());
    EXPECT_NE(cab.read("system/logs/log.txt").find("Subscript out of range"), std::string::npos)
        << cab.read("system/logs/log.txt");
}

TEST_F(e2e_content, GetWinplanDrawsByTheModesWeights) {
    cab.write("data/weighted_winplans.txt", "-1,100*50,50,50,50,50,50\r\n-1,100,200*50,50,50,50,50,50\r\n");
    const run_result r = cab.run("fs\tINTRO_END\ndraw\t0.5\nfs\tGET_WINPLAN\ndraw\t0.51\nfs\tGET_WINPLAN\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(in_order(r.transcript, {"set\tvb_win_plan\t-1,100", "set\tvb_win_plan\t-1,100,200"}));
}

TEST_F(e2e_content, GetLivesDrawsByTheModesRow) {
    cab.write("data/weighted_lives.txt", every_mode("50,30,20\r\n"));
    const run_result r =
        cab.run("fs\tINTRO_END\ndraw\t0.5\nfs\tGET_LIVES\ndraw\t0.8\nfs\tGET_LIVES\ndraw\t0.81\nfs\tGET_LIVES\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(in_order(r.transcript, {"set\tvb_lives\t1", "set\tvb_lives\t2", "set\tvb_lives\t3"}));
}

TEST_F(e2e_content, GetInstructionsEndsEachLineWithCarriageReturn) {
    cab.write("data/instructions.txt", "Line one\r\nLine two\r\n");
    run_result r = cab.run("fs\tINTRO_END\nfs\tGET_INSTRUCTIONS\n");
    EXPECT_TRUE(in_order(r.transcript, {"set\tvb_instructions\tLine one\\rLine two\\r"}));
    std::filesystem::remove(cab.path("data/instructions.txt"));
    r = cab.run("fs\tINTRO_END\nfs\tGET_INSTRUCTIONS\n");
    EXPECT_TRUE(in_order(r.transcript, {"set\tvb_instructions\tInstructions File not Found"}));
}

}  // namespace
}  // namespace quizhost::testing
