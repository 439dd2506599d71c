// The display mode through whole quizhost runs on the headless display: the switch at start, the restore
// on every way out, the restart prompt, and the --display option.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/e2e.hpp"

namespace quizhost::testing {
namespace {

using lines = std::vector<std::string>;
using ::testing::IsEmpty;

const std::string prompt =
    "msgbox\tScreen Resolution Changed\tYou must restart your computer to apply these changes.\\r\\n\\r\\nRestart "
    "now?\t68\t";

class display_run : public ::testing::Test {
protected:
    void SetUp() override { cab.make_standard(); }
    lines display_events(const run_result& r) const {
        lines out = lines_starting(r.transcript, "display\t");
        for (const auto& line : lines_starting(r.transcript, "reboot")) out.push_back(line);
        return out;
    }
    std::string intro_movie() const { return "movie\tintro\t" + transcript_path(cab.root(), "/intro.swf"); }
    cabinet cab;
};

// --- Start-up and the restore ---

TEST_F(display_run, ScreenAt800By600IsNeverTouched) {
    const run_result r = cab.run("fs\tINTRO_END\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(display_events(r), IsEmpty());
    EXPECT_EQ(r.transcript.back(), "exit\t0");
}

TEST_F(display_run, OtherSizeIsSwitchedBeforeTheIntroAndRestoredAfterCloseAll) {
    const run_result r = cab.run("screen\t1024x768\nfs\tINTRO_END\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_GE(r.transcript.size(), 4u);
    EXPECT_EQ(r.transcript[0], "display\t800x600\t0");  // before the intro movie is loaded
    EXPECT_EQ(r.transcript[1], intro_movie());
    const lines tail(r.transcript.end() - 3, r.transcript.end());
    EXPECT_EQ(tail, (lines{"movie\tmain\t", "display\t1024x768\t0", "exit\t0"}));
}

TEST_F(display_run, FatalErrorRestoresTheSavedSizeToo) {
    // ANSWERED takes numbers only: text there is a failure of the command, and so the end of the program.
    const run_result r = cab.run("screen\t1280x1024\nfs\tINTRO_END\nfs\tANSWERED\tnot,numbers\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(display_events(r), (lines{"display\t800x600\t0", "display\t1280x1024\t0"}));
    const lines tail(r.transcript.end() - 2, r.transcript.end());
    EXPECT_EQ(tail, (lines{"display\t1280x1024\t0", "exit\t1"}));
    EXPECT_NE(cab.read("system/logs/log.txt").find("Game Terminated."), std::string::npos);
}

TEST_F(display_run, OneLineOrColumnOffCountsAsAnotherSize) {
    for (const std::string size : {"800x601", "799x600"}) {
        const run_result r = cab.run("screen\t" + size + "\nfs\tINTRO_END\nfs\tCLOSE_ALL\n");
        EXPECT_EQ(display_events(r), (lines{"display\t800x600\t0", "display\t" + size + "\t0"})) << size;
    }
}

TEST_F(display_run, ScriptRunningOutIsNoShutdownAndRestoresNothing) {
    const run_result r = cab.run("screen\t1024x768\nfs\tINTRO_END\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(display_events(r), (lines{"display\t800x600\t0"}));
    EXPECT_EQ(r.transcript.back(), "end");
}

// --- Refusals and the restart prompt ---

TEST_F(display_run, RefusedChangeStillHasTheRestoreAttemptedAtShutdown) {
    const run_result r = cab.run("screen\t1024x768\ndisplay\t-1\nfs\tINTRO_END\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(display_events(r), (lines{"display\t800x600\t-1", "display\t1024x768\t0"}));
    EXPECT_TRUE(in_order(r.transcript, {"display\t800x600\t-1", intro_movie(), "caption\tmain\tTollcastle Wrapper"}));
}

TEST_F(display_run, FailedEnumerationChangesNothingButShutdownStillTries) {
    const run_result r = cab.run("screen\t1024x768\ndisplay\tenum-fail\nfs\tINTRO_END\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.transcript.front(), intro_movie());  // no change at start
    EXPECT_EQ(display_events(r), (lines{"display\t1024x768\t0"}));
}

TEST_F(display_run, RestartNeededAndOperatorSaysNoStartUpGoesOn) {
    const run_result r = cab.run("screen\t1024x768\ndisplay\t1\nmsgbox\tno\nfs\tINTRO_END\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.transcript.begin(), r.transcript.begin() + 3),
              (lines{"display\t800x600\t1", prompt + "no", intro_movie()}));
    EXPECT_THAT(lines_starting(r.transcript, "reboot"), IsEmpty());
    // The mode never changed, yet the restore is attempted, as the change was.
    EXPECT_EQ(display_events(r), (lines{"display\t800x600\t1", "display\t1024x768\t0"}));
}

TEST_F(display_run, RestartNeededAndOperatorSaysYesRequestsTheRebootAndCarriesOn) {
    const run_result r = cab.run("screen\t1024x768\ndisplay\t1\nmsgbox\tyes\nfs\tINTRO_END\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.transcript.begin(), r.transcript.begin() + 4),
              (lines{"display\t800x600\t1", prompt + "yes", "reboot", intro_movie()}));
}

TEST_F(display_run, RestoreCanMeetTheRestartPromptOnTheWayOut) {
    const run_result r =
        cab.run("screen\t1024x768\ndisplay\t0\ndisplay\t1\nmsgbox\tyes\nfs\tINTRO_END\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, 0) << r.err;
    const lines tail(r.transcript.end() - 4, r.transcript.end());
    EXPECT_EQ(tail, (lines{"display\t1024x768\t1", prompt + "yes", "reboot", "exit\t0"}));
}

// --- The --display option ---

TEST_F(display_run, DisplayNoneLeavesTheScreenAlone) {
    const run_result r = cab.run("screen\t1024x768\ndisplay\t1\nfs\tINTRO_END\nfs\tCLOSE_ALL\n", {"--display", "none"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(display_events(r), IsEmpty());
    EXPECT_THAT(lines_starting(r.transcript, "msgbox"), IsEmpty());
    EXPECT_EQ(r.transcript.back(), "exit\t0");
}

TEST_F(display_run, DisplayAutoWithAScriptIsTheScriptsOwnDisplay) {
    const run_result r = cab.run("screen\t1024x768\nfs\tINTRO_END\nfs\tCLOSE_ALL\n", {"--display", "auto"});
    EXPECT_EQ(display_events(r), (lines{"display\t800x600\t0", "display\t1024x768\t0"}));
}

TEST(display_command_line, BadChoiceOrUnreachableX11IsOneLineAndStatusTwoWithNothingRun) {
#ifdef _WIN32
    GTEST_SKIP() << "X11 is no Windows display (Windows runs are in win32_display_run_test)";
#endif
    cabinet cab;
    cab.make_standard();
    const std::string before = cab.read("system/logs/log.txt");

    run_result r = cab.run("fs\tINTRO_END\n", {"--display", "X11"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("--display: X11 not in {x11,none,auto}"), std::string::npos) << r.err;

    r = run_program("/usr/bin/env",
                    {"DISPLAY=:9931", bin_path("quizhost"), "--root", cab.root(), "--display", "x11", "--script", "-"},
                    "fs\tINTRO_END\nfs\tTO_LOG\tnot written\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("quizhost: --display x11: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(":9931"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    EXPECT_EQ(cab.read("system/logs/log.txt"), before);

#if defined(QUIZHOST_HAVE_WEB) && defined(QUIZHOST_HAS_X11)
    // The browser player takes the same display: auto there is x11 when DISPLAY is set, and one it cannot
    // open ends the run before the stage is served or the program started.
    r = run_program("/usr/bin/env", {"DISPLAY=:9931", bin_path("quizhost"), "--root", cab.root(), "--http-port", "0"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("quizhost: --display x11: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "one line: " << r.err;
    EXPECT_EQ(cab.read("system/logs/log.txt"), before);
#endif
}

TEST(display_command_line, HelpSaysWhatAutoMeansHere) {
#ifdef _WIN32
    GTEST_SKIP() << "X11 is no Windows display (Windows runs are in win32_display_run_test)";
#endif
    run_result r = run_program("/usr/bin/env", {"DISPLAY=:7", bin_path("quizhost"), "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("--display x11|none|auto"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Example: --display none"), std::string::npos) << r.out;
#ifdef QUIZHOST_HAS_X11
    EXPECT_NE(r.out.find("auto now means x11 (DISPLAY=:7)"), std::string::npos) << r.out;
#endif
    r = run_program("/usr/bin/env", {"-u", "DISPLAY", bin_path("quizhost"), "--help"});
    EXPECT_NE(r.out.find("auto now means none ("), std::string::npos) << r.out;
    // The help a man page is made from says nothing of the machine it is made on.
    for (const char* display : {"DISPLAY=:7", "DISPLAY="}) {
        r = run_program("/usr/bin/env", {display, "QUIZHOST_HELP_FOR_ANY_MACHINE=1", bin_path("quizhost"), "--help"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.find("now means"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("else none). Example: --display none"), std::string::npos) << r.out;
    }
}

}  // namespace
}  // namespace quizhost::testing
