// The quizhost program run on a temporary cabinet with movie scripts: transcripts, exit statuses and the
// command line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/e2e.hpp"

namespace quizhost::testing {
namespace {

using lines = std::vector<std::string>;

class e2e_host : public ::testing::Test {
protected:
    void SetUp() override { cab.make_standard(); }
    cabinet cab;
};

TEST_F(e2e_host, StartUpRunsInOrderAndTheScriptRunsOut) {
    const run_result r = cab.run("clock\t2026-12-07 14:05:09\nvar\tcontent_version_no\t12\nfs\tINTRO_END\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string root = cab.root();
    EXPECT_TRUE(in_order(
        r.transcript,
        {"movie\tintro\t" + transcript_path(root, "/intro.swf"), "rewind\tintro", "play\tintro",  // intro movie
         "cursor\t0", "topmost\tintro\t1", "show\tintro",                                         // pointer, topmost
         "fs\tintro\tINTRO_END\t",                                                                // the intro ends
         "topmost\tmain\t1", "movie\tmain\t" + transcript_path(root, "/flash_game.swf"), "rewind\tmain", "play\tmain",
         "get\tcontent_version_no\t12",        // main load
         "caption\tmain\tTollcastle Wrapper",  // caption
         "movie\tintro\t", "hide\tintro",      // intro released
         "show\tmain", "hide\tintro", "end"}));
    EXPECT_EQ(r.transcript.back(), "end");
    EXPECT_NE(cab.read("system/logs/log.txt").find("07/12/2026 14:05:09  LAUNCHING GAME (V7.12)\r\n"),
              std::string::npos);
}

TEST_F(e2e_host, DemoModeKeepsThePointerAndNothingIsTopmost) {
    cab.write("demo_mode.txt", "");
    const run_result r = cab.run("fs\tINTRO_END\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(lines_starting(r.transcript, "cursor").empty());
    EXPECT_TRUE(lines_starting(r.transcript, "topmost").empty());
    EXPECT_TRUE(in_order(r.transcript, {"show\tintro", "caption\tmain\tTollcastle Wrapper", "exit\t0"}));
}

TEST_F(e2e_host, WrapperVersionCarriesTheMoviesContentVersion) {
    run_result r = cab.run("var\tcontent_version_no\t12\nfs\tINTRO_END\nfs\tGET_WRAPPER_VERSION\tignored\n");
    EXPECT_TRUE(in_order(r.transcript, {"fs\tmain\tGET_WRAPPER_VERSION\tignored", "stop\tmain",
                                        "set\tvb_wrapper_version\t7.12", "play\tmain", "end"}));
    // A movie without the variable gives the empty text, and the version ends with the point.
    r = cab.run("fs\tINTRO_END\nfs\tGET_WRAPPER_VERSION\n");
    EXPECT_TRUE(in_order(r.transcript, {"get\tcontent_version_no\t", "set\tvb_wrapper_version\t7."}));
}

TEST_F(e2e_host, MsgboxWaitsForItsAnswerWhileTheMovieStandsStill) {
    const run_result r = cab.run("fs\tINTRO_END\nmsgbox\tno\nfs\tMSGBOX\tLine one\\r\\nLine\\ttwo \\x01\n");
    EXPECT_EQ(r.status, 0) << r.err;
    const lines tail(r.transcript.end() - 5, r.transcript.end());
    EXPECT_EQ(tail, (lines{"fs\tmain\tMSGBOX\tLine one\\r\\nLine\\ttwo \\x01", "stop\tmain",
                           "msgbox\tTollcastle Wrapper\tLine one\\r\\nLine\\ttwo \\x01\t0\tno", "play\tmain", "end"}));
}

TEST_F(e2e_host, CloseAllEndsTheProgramAndNothingAfterItRuns) {
    const run_result r = cab.run("fs\tINTRO_END\nfs\tTO_LOG\tbye\nfs\tCLOSE_ALL\nfs\tTO_LOG\tafter\n");
    EXPECT_EQ(r.status, 0) << r.err;
    const lines tail(r.transcript.end() - 4, r.transcript.end());
    EXPECT_EQ(tail, (lines{"fs\tmain\tCLOSE_ALL\t", "stop\tmain", "movie\tmain\t", "exit\t0"}));
    const std::string log = cab.read("system/logs/log.txt");
    EXPECT_NE(log.find("  bye\r\n"), std::string::npos);
    EXPECT_EQ(log.find("after"), std::string::npos);
}

TEST_F(e2e_host, ScriptFromStandardInput) {
    const run_result r = cab.run_from_stdin("fs\tINTRO_END\nfs\tGET_SHOW_LOCAL_SCORES\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(in_order(r.transcript, {"set\tvb_show_local_scores\t1", "exit\t0"}));
}

TEST_F(e2e_host, AMalformedScriptRunsNothing) {
    const std::string before = cab.read("system/logs/log.txt");
    const run_result r = cab.run("fs\tINTRO_END\nfs\tTO_LOG\tnot written\nclock\tyesterday\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("line 3: clock needs a moment"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    EXPECT_EQ(cab.read("system/logs/log.txt"), before);
}

// --- the command line --------------------------------------------------------------------------------

TEST(e2e_command_line, BadUsageGetsOneLineAndStatusTwo) {
    cabinet cab;
    const std::string quizhost = bin_path("quizhost");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--root", cab.root(), "--bogus"}, "--bogus"},
        {{"--root", cab.root(), "--credit-port", "70000", "--script", "-"}, "--credit-port"},
        {{"--root", cab.root(), "--credit-port", "port", "--script", "-"}, "--credit-port"},
        {{"--root", cab.root() + "/missing", "--script", "-"}, "/missing: no such folder"},
        {{"--root", cab.root(), "--script", cab.root() + "/none.script"}, "none.script does not exist"},
        {{"--root", cab.root(), "--script", cab.root()}, "is a folder"},
#ifdef QUIZHOST_HAVE_WEB
        {{"--root", cab.root(), "--http-port", "70000"}, "--http-port"},
#else
        {{"--root", cab.root()}, "the browser player is not built in; use --script FILE"},
#endif
    };
    for (const auto& [args, message] : cases) {
        const run_result r = run_program(quizhost, args);
        EXPECT_EQ(r.status, 2) << message;
        EXPECT_EQ(r.out, "") << message;
        EXPECT_EQ(r.err.rfind("quizhost: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    }
}

TEST(e2e_command_line, HelpShowsAnExamplePerOptionAndVersionAnswers) {
    const run_result help = run_program(bin_path("quizhost"), {"--help"});
    EXPECT_EQ(help.status, 0);
    for (const std::string example : {"--root /", "--script ", "--credit-port 7"}) {
        EXPECT_NE(help.out.find("Example: " + example), std::string::npos) << example << " in\n" << help.out;
    }
    const run_result version = run_program(bin_path("quizhost"), {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("quizhost 7.", 0), 0u) << version.out;
}

TEST(e2e_command_line, RootDefaultsToTheExecutablesFolder) {
    // The build's bin folder is no cabinet: the intro movie path shows which folder was taken.
    const run_result r = run_program(bin_path("quizhost"), {"--script", "-"}, "fs\tSHAKE\n");
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(r.transcript.empty());
    EXPECT_EQ(r.transcript.front(), "movie\tintro\t" + escape_field(std::string(QUIZHOST_BIN_DIR) + intro_movie_name));
}

}  // namespace
}  // namespace quizhost::testing
