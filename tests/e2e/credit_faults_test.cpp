// Faults of the cabinet's credit system, end to end through quizhost: a credit service that is away,
// refuses, resets mid-reply, talks garbage, answers late or floods the host; a credit library without one
// of its entry points; a shell that goes away mid-game. Each ends the command that met it as a failure
// (one log line, no answer, the movie unloaded, the goodbye tried) within the link's bounds, and leaves
// credit, bank and meters as they were before that command.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "definitions.hpp"
#include "support/credit_service_process.hpp"
#include "support/e2e.hpp"
#include "support/faulty_credit_service.hpp"

namespace quizhost::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using lines = std::vector<std::string>;
using namespace std::chrono_literals;
using namespace std::string_literals;
using steady = std::chrono::steady_clock;
using service = faulty_credit_service;

// A failure outside the fatal path (the goodbye of the fatal path itself failing) ends the program with
// the status of an unhandled error.
constexpr int exit_unhandled = exit_intro_failed;

struct timed_run {
    run_result r;
    double seconds = 0;
};

// A run that ended "at once" took well under the five seconds the host waits for a reply: it did not
// wait for that bound (a whole run of the program under wine on a busy machine takes about two).
constexpr double at_once = 4.0;

class credit_fault : public ::testing::Test {
protected:
    void SetUp() override {
        cab.make_standard();
        cab.write("system/setup.ini", "S1,40\r\nS2,50\r\n");
    }
    // Runs the commands after start-up, timing the whole run of the program.
    timed_run play(const std::string& commands, const std::vector<std::string>& extra_args = {}) const {
        const auto start = steady::now();
        timed_run run{cab.run("clock\t2026-12-07 14:05:09\nfs\tINTRO_END\n" + commands, extra_args)};
        run.seconds = std::chrono::duration<double>(steady::now() - start).count();
        return run;
    }
    std::string log() const { return cab.read("system/logs/log.txt"); }
    // The meter file's line of `key` ("M17,-20").
    std::string meter(const std::string& key) const {
        for (const std::string& line : lines_of(cab.read("system/logs/meter.txt"))) {
            if (line.rfind(key + ",", 0) == 0) return line;
        }
        return "";
    }
    static lines lines_of(const std::string& text) {
        lines found;
        std::size_t start = 0;
        while (start < text.size()) {
            const std::size_t end = text.find("\r\n", start);
            found.push_back(text.substr(start, end - start));
            if (end == std::string::npos) break;
            start = end + 2;
        }
        return found;
    }
    static lines credit_calls(const run_result& r) { return lines_starting(r.transcript, "credit\t"); }
    // The log's lines that report a fatal error; a failed command leaves exactly one.
    lines error_lines() const {
        lines found;
        for (const std::string& line : lines_of(log())) {
            if (line.find("ERROR! ") != std::string::npos) found.push_back(line.substr(line.find("ERROR! ")));
        }
        return found;
    }

    cabinet cab;
};

// --- the local credit service ------------------------------------------------------------------------

class faulty_service : public credit_fault {
protected:
    void SetUp() override {
        credit_fault::SetUp();
        cab.write("flg_meridian.dat", "");
        peer.on("GAME_EXIT", service::answer("OK BYE\r\n"));
    }
    timed_run play(const std::string& commands) const {
        return credit_fault::play(commands, {"--credit-port", std::to_string(peer.port())});
    }
    // The command met a fault of the link: error 9 logged, its answer never set, the movie unloaded
    // before the goodbye, and the program ended by the fatal path.
    void expect_command_failed(const timed_run& run, const std::string& request) const {
        EXPECT_EQ(run.r.status, exit_fatal) << run.r.err;
        EXPECT_TRUE(in_order(run.r.transcript, {"credit\tsocket\t" + request + "\terror 9", "movie\tmain\t",
                                                "credit\tsocket\tGAME_EXIT \tOK BYE", "exit\t1"}));
        EXPECT_THAT(error_lines(), ElementsAre("ERROR! 9 - Subscript out of range.  Game Terminated."));
    }

    service peer;
};

// With nobody there the goodbye fails as well, and a failing goodbye ends the program unhandled.
TEST_F(credit_fault, AServiceThatIsAwayOrRefusesEndsTheGameAtOnceAndTheBankAdditionFeedsNoMeter) {
    service refusing;
    refusing.reset_every_connection();
    const int nobody = service().port();  // listened on, and let go again
    cab.write("flg_meridian.dat", "");
    int games = 0;
    for (const int port : {nobody, refusing.port()}) {
        SCOPED_TRACE(port == nobody ? "nobody listens" : "every connection reset");
        ++games;
        const timed_run run = credit_fault::play("fs\tSTART_GAME\nfs\tADD_TO_BANK\t300\nfs\tGET_BANK\n",
                                                 {"--credit-port", std::to_string(port)});
        EXPECT_EQ(run.r.status, exit_unhandled);
        EXPECT_THAT(run.r.err, HasSubstr("unhandled run-time error"));
        EXPECT_EQ(credit_calls(run.r),
                  (lines{"credit\tsocket\tADD_BANK 300\terror 9", "credit\tsocket\tGAME_EXIT \terror 9"}));
        EXPECT_TRUE(in_order(run.r.transcript, {"credit\tsocket\tADD_BANK 300\terror 9", "movie\tmain\t", "exit\t3"}));
        EXPECT_THAT(lines_starting(run.r.transcript, "fs\tmain\tGET_BANK"), IsEmpty());
        // Each START_GAME took the payout share of 50 at 40 per cent; no failed prize reached the meter.
        EXPECT_EQ(meter("M17"), "M17," + std::to_string(-20 * games));
        EXPECT_LT(run.seconds, at_once);
    }
    EXPECT_EQ(error_lines().size(), 2u);  // one for each run
}

// "CLOSE_ALL" whose goodbye fails has run the whole shutdown already: the failure ends the program
// unhandled, and no command handler may take it to the fatal path and shut down a second time (a second
// goodbye, restore and question to the operator, and a log line for a game that ended well).
TEST_F(credit_fault, CloseAllWhoseGoodbyeFailsShutsDownOnceAndEndsUnhandled) {
    const int nobody = service().port();  // listened on, and let go again
    cab.write("flg_meridian.dat", "");
    const std::string prompt =
        "msgbox\tScreen Resolution Changed\tYou must restart your computer to apply these changes.\\r\\n\\r\\n"
        "Restart now?\t68\t";
    // The display is switched at start and its restore meets the restart prompt, which the operator
    // answers no; a second prompt would find no answer queued and be answered by default.
    const run_result r = cab.run("screen\t1024x768\ndisplay\t0\ndisplay\t1\nmsgbox\tno\nfs\tINTRO_END\nfs\tCLOSE_ALL\n",
                                 {"--credit-port", std::to_string(nobody)});
    EXPECT_EQ(r.status, exit_unhandled) << r.err;
    EXPECT_THAT(r.err, ::testing::StartsWith("quizhost: unhandled run-time error 9 - Subscript out of range"));
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    const auto close = std::find(r.transcript.begin(), r.transcript.end(), "fs\tmain\tCLOSE_ALL\t");
    ASSERT_NE(close, r.transcript.end());
    EXPECT_EQ(lines(close, r.transcript.end()),
              (lines{"fs\tmain\tCLOSE_ALL\t", "stop\tmain", "credit\tsocket\tGAME_EXIT \terror 9", "movie\tmain\t",
                     "display\t1024x768\t1", prompt + "no", "exit\t3"}));
    EXPECT_THAT(error_lines(), IsEmpty());  // the game ended well; only the goodbye failed
}

TEST_F(faulty_service, AResetInTheMiddleOfTheReplyEndsTheCommand) {
    peer.on("GET_BANK", service::reset_after("BANK 2"));
    peer.on("ADD_BANK", service::reset_after("OK DO"));
    timed_run run = play("fs\tGET_BANK\nfs\tGET_CREDIT\n");
    expect_command_failed(run, "GET_BANK ");
    EXPECT_THAT(lines_starting(run.r.transcript, "set\t"), IsEmpty());
    EXPECT_THAT(peer.requests(), ElementsAre("GET_BANK \r\n", "GAME_EXIT \r\n"));
    EXPECT_LT(run.seconds, at_once);

    cab.write("system/logs/log.txt", "<ERROR LOG>\r\n\r\n");
    run = play("fs\tSTART_GAME\nfs\tADD_TO_BANK\t300\n");
    expect_command_failed(run, "ADD_BANK 300");
    EXPECT_EQ(meter("M17"), "M17,-20");  // the addition's fate is unknown, so the meter is not fed
}

TEST_F(faulty_service, GarbageRepliesGiveANumberByTheReplyRulesOrEndTheCommand) {
    struct garbage {
        std::string reply;
        std::string answer;  // vb_credit, or "" when the command must fail
        int error = 0;
    };
    const std::vector<garbage> cases = {
        {"\x00\xff\xfe\r\n"s, "", 9},  // no space: no value
        {"CREDIT\r\n", "", 9},
        {"CREDIT\t150\r\n", "", 9},  // a TAB is no space
        {"\r\n", "", 9},
        {"CREDIT 150\n", "", 9},                                // no CR: not a whole line
        {"CREDIT 150\r", "", 9},                                // no LF: the line never ends
        {"CREDIT \r\n", "0", 0},                                // an empty value has no number: 0
        {"CREDIT 1e308\r\n", "1", 0},                           // the leading number stops at the "e"
        {"CREDIT 1" + std::string(400, '0') + "\r\n", "0", 0},  // beyond the bounds
        {"CREDIT NaN\r\n", "0", 0},
        {"CREDIT -0\r\n", "0", 0},
        {"CREDIT -5\r\n", "0", 0},
        {"CREDIT 12\x00\xff 34\r\n"s, "12", 0},
        {"BANK 77\r\n", "77", 0},  // the kind is not checked against the request
        {"OK NaN\r\n", "", 13},    // text where a number is needed
        {"OK \xff\xfe\r\n", "", 13},
        {"OK 1e999\r\n", "", 13},
        {"ERROR  \r\n", "", 13},
    };
    for (const garbage& g : cases) {
        SCOPED_TRACE(::testing::PrintToString(g.reply));
        cab.write("system/logs/log.txt", "<ERROR LOG>\r\n\r\n");
        peer.on("GET_CREDIT", service::answer(g.reply));
        const timed_run run = play("fs\tGET_CREDIT\nfs\tCLOSE_ALL\n");
        EXPECT_LT(run.seconds, at_once);
        if (g.error == 0) {
            EXPECT_EQ(run.r.status, 0) << run.r.err;
            EXPECT_THAT(lines_starting(run.r.transcript, "set\t"), ElementsAre("set\tvb_credit\t" + g.answer));
            EXPECT_THAT(error_lines(), IsEmpty());
        } else {
            EXPECT_EQ(run.r.status, exit_fatal) << run.r.err;
            EXPECT_THAT(lines_starting(run.r.transcript, "set\t"), IsEmpty());
            EXPECT_THAT(error_lines(), ElementsAre(HasSubstr("ERROR! " + std::to_string(g.error) + " - ")));
            EXPECT_TRUE(in_order(run.r.transcript, {"movie\tmain\t", "credit\tsocket\tGAME_EXIT \tOK BYE", "exit\t1"}));
        }
        // Whatever came, the transcript keeps one line per event: the reply's bytes are escaped.
        EXPECT_EQ(credit_calls(run.r).size(), 2u);
    }
}

// The host waits five seconds for a reply; a service that answers after ten has lost the game by then.
TEST_F(faulty_service, AReplyTenSecondsLateEndsTheCommandAfterTheFiveSecondBound) {
    peer.on("GET_CREDIT", service::late(10s, "CREDIT 150\r\n"));
    const timed_run run = play("fs\tGET_CREDIT\nfs\tGET_BANK\n");
    expect_command_failed(run, "GET_CREDIT ");
    EXPECT_THAT(run.r.transcript, Not(::testing::Contains(HasSubstr("vb_credit"))));
    EXPECT_THAT(peer.requests(), ElementsAre("GET_CREDIT \r\n", "GAME_EXIT \r\n"));
    EXPECT_GE(run.seconds, 4.9);
    EXPECT_LT(run.seconds, 8.0);
}

TEST_F(faulty_service, AMegabyteReplyIsCutAtItsFirstLineOrEndsTheCommandAt1024Bytes) {
    peer.on("GET_CREDIT", service::flood("CREDIT 150\r\n", 1 << 20));
    timed_run run = play("fs\tGET_CREDIT\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(run.r.status, 0) << run.r.err;
    EXPECT_TRUE(in_order(run.r.transcript, {"credit\tsocket\tGET_CREDIT \tCREDIT 150", "set\tvb_credit\t150",
                                            "credit\tsocket\tGAME_EXIT \tOK BYE", "exit\t0"}));
    EXPECT_LT(run.seconds, at_once);

    peer.on("GET_CREDIT", service::flood("CREDIT 1", 1 << 20));
    run = play("fs\tGET_CREDIT\nfs\tCLOSE_ALL\n");
    expect_command_failed(run, "GET_CREDIT ");
    EXPECT_LT(run.r.out.size(), 4096u);  // nothing of the flood reaches the transcript
    EXPECT_LT(run.seconds, at_once);
}

// --- amounts no credit system can hold ---------------------------------------------------------------

#ifndef _WIN32
// A prize of 400 digits reads as an infinite amount. Stored, it would be written "Infinity", which reads
// back as 0: the whole bank would be gone. The credit systems refuse it, the bank stays, and the command
// ends in the fatal path when the reflex meter cannot take it either.
TEST_F(credit_fault, APrizeTooLargeForANumberLeavesTheBankAsItWas) {
    const std::string huge = "1" + std::string(400, '0');
    cab.write("flg_meridian.dat", "");
    cab.write("service/credit_state.txt", "credit,100\r\nbank,500\r\n");
    timed_run run;
    {
        const credit_service_process real_service(cab.path("service/credit_state.txt"));
        run = play("fs\tADD_TO_BANK\t" + huge + "\n", {"--credit-port", std::to_string(real_service.port())});
    }
    EXPECT_EQ(run.r.status, exit_fatal) << run.r.err;
    EXPECT_TRUE(in_order(run.r.transcript, {"credit\tsocket\tADD_BANK " + huge + "\tERROR bad-amount",
                                            "credit\tsocket\tGAME_EXIT \tOK BYE", "exit\t1"}));
    EXPECT_EQ(cab.read("service/credit_state.txt"), "credit,100\r\nbank,500\r\n");
    EXPECT_THAT(error_lines(), ElementsAre("ERROR! 6 - Overflow.  Game Terminated."));
    EXPECT_EQ(meter("M17"), "M17,0");

    // The shell is handed the amount as it is, unrounded; it refuses it as an invalid argument.
    cab.write("system/logs/log.txt", "<ERROR LOG>\r\n\r\n");
    std::filesystem::copy_file(bin_path("libclientshell.so"), cab.path("libclientshell.so"));
    cab.write("flg_orbital.dat", "");
    cab.write("credit_state.txt", "shell,running\r\ncredit,100\r\nbank,500\r\nstakes,25\r\n");
    run = play("fs\tADD_TO_BANK\t" + huge + "\n");
    EXPECT_EQ(run.r.status, exit_fatal) << run.r.err;
    EXPECT_THAT(lines_starting(run.r.transcript, "credit\tAddToBank\t"), ElementsAre(HasSubstr("\terror 5")));
    EXPECT_EQ(cab.read("credit_state.txt"), "shell,running\r\ncredit,100\r\nbank,500\r\nstakes,25\r\n");
    EXPECT_THAT(error_lines(), ElementsAre("ERROR! 5 - Invalid procedure call or argument.  Game Terminated."));
    EXPECT_EQ(meter("M17"), "M17,0");
}
#endif

// --- the credit library ------------------------------------------------------------------------------

#ifndef _WIN32
// Entry points are bound one by one at their first call: a library that lacks badd serves the game until
// the first prize, and that prize fails whole (no bank, no meter).
TEST_F(credit_fault, ALibraryWithoutBaddServesUntilTheFirstPrize) {
    std::filesystem::copy_file(bin_path("libtccomm_without_badd.so"), cab.path("libtccomm.so"));
    cab.write("credit_state.txt", "credit,150\r\nbank,20\r\n");
    const timed_run run = play("fs\tGET_CREDIT\nfs\tUSE_CREDIT\nfs\tSTART_GAME\nfs\tADD_TO_BANK\t300\nfs\tGET_BANK\n");
    EXPECT_EQ(run.r.status, exit_fatal) << run.r.err;
    EXPECT_EQ(credit_calls(run.r),
              (lines{"credit\tcget\t\t150", "credit\tcuse\t50\t0", "credit\tbadd\t300\terror 453"}));
    EXPECT_TRUE(in_order(run.r.transcript,
                         {"set\tvb_credit\t150", "credit\tbadd\t300\terror 453", "movie\tmain\t", "exit\t1"}));
    EXPECT_THAT(lines_starting(run.r.transcript, "fs\tmain\tGET_BANK"), IsEmpty());
    EXPECT_THAT(error_lines(), ElementsAre("ERROR! 453 - Specified DLL function not found.  Game Terminated."));
    EXPECT_EQ(cab.read("credit_state.txt"), "credit,100\r\nbank,20\r\n");
    EXPECT_EQ(meter("M17"), "M17,-20");
    EXPECT_LT(run.seconds, at_once);
}

// --- the cabinet shell -------------------------------------------------------------------------------

// The shell answers the stake search and two credit readings, then goes away between USE_CREDIT's credit
// check and its taking of the price: the game is not paid for, and the command fails rather than start it.
TEST_F(credit_fault, AShellThatGoesAwayMidGameEndsTheCommandThatFindsItGone) {
    std::filesystem::copy_file(bin_path("libclientshell.so"), cab.path("libclientshell.so"));
    cab.write("flg_orbital.dat", "");
    cab.write("credit_state.txt", "shell,running\r\ncredit,150\r\nbank,80\r\nstakes,25\r\nshell_calls_left,3\r\n");
    const timed_run run = play("fs\tGET_CREDIT\nfs\tUSE_CREDIT\nfs\tGET_CREDIT\n");
    EXPECT_EQ(run.r.status, exit_fatal) << run.r.err;
    EXPECT_EQ(credit_calls(run.r), (lines{"credit\tattach\t\t", "credit\tGetStake\t0\t25", "credit\tGetCredit\t\t150",
                                          "credit\tGetCredit\t\t150", "credit\tUseCreditEx\t0\terror 440"}));
    EXPECT_TRUE(in_order(run.r.transcript,
                         {"set\tvb_credit\t150", "credit\tUseCreditEx\t0\terror 440", "movie\tmain\t", "exit\t1"}));
    EXPECT_THAT(error_lines(), ElementsAre("ERROR! 440 - Automation error.  Game Terminated."));
    EXPECT_THAT(cab.read("credit_state.txt"), HasSubstr("credit,150\r\n"));
    EXPECT_THAT(cab.read("credit_state.txt"), HasSubstr("shell,stopped\r\n"));
    EXPECT_LT(run.seconds, at_once);
}

// Gone during the stake search at start: start-up ends in the fatal path, before any command is served.
TEST_F(credit_fault, AShellThatGoesAwayDuringTheStakeSearchEndsStartUp) {
    std::filesystem::copy_file(bin_path("libclientshell.so"), cab.path("libclientshell.so"));
    cab.write("flg_orbital.dat", "");
    cab.write("credit_state.txt", "shell,running\r\ncredit,150\r\nstakes,0,25\r\nshell_calls_left,1\r\n");
    const timed_run run = play("fs\tGET_CREDIT\n");
    EXPECT_EQ(run.r.status, exit_fatal) << run.r.err;
    EXPECT_EQ(credit_calls(run.r),
              (lines{"credit\tattach\t\t", "credit\tGetStake\t0\t0", "credit\tGetStake\t1\terror 440"}));
    EXPECT_THAT(lines_starting(run.r.transcript, "fs\tmain\t"), IsEmpty());
    EXPECT_THAT(error_lines(), ElementsAre("ERROR! 440 - Automation error.  Game Terminated."));
    EXPECT_EQ(run.r.transcript.back(), "exit\t1");
}
#endif

}  // namespace
}  // namespace quizhost::testing
