// Each credit platform end to end: quizhost run with a movie script on a cabinet folder that carries the
// stand-in credit library or shell, or that talks to the credit service running beside it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "support/credit_service_process.hpp"
#include "support/e2e.hpp"

namespace quizhost::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using lines = std::vector<std::string>;

// A cabinet that starts, with a price of 50 credits per game unless the test sets another.
class credit_cabinet : public ::testing::Test {
protected:
    void SetUp() override { cab.make_priced(); }
    void install(const std::string& library) const { cab.install(library); }
    void credit_state(const std::string& records) const { cab.write("credit_state.txt", records); }
    std::string log() const { return cab.read("system/logs/log.txt"); }

    // The script's commands after start-up.
    run_result play(const std::string& commands, const std::vector<std::string>& extra_args = {}) const {
        return cab.play(commands, extra_args);
    }
    static lines credit_calls(const run_result& r) { return lines_starting(r.transcript, "credit\t"); }

    cabinet cab;
};

// --- the credit library ------------------------------------------------------------------------------

class library_platform : public credit_cabinet {
protected:
    void SetUp() override {
        credit_cabinet::SetUp();
        install(credit_library_file);
    }
};

TEST_F(library_platform, AnswersTakesThePriceAndRoundsBankAdditions) {
    cab.write("system/setup.ini", "S1,40\r\nS2,35\r\n");
    credit_state("credit,150\r\nbank,20\r\n");
    const run_result r = play(
        "fs\tGET_CREDIT\nfs\tUSE_CREDIT\nfs\tGET_CREDIT\nfs\tADD_TO_BANK\t12.5\n"
        "fs\tADD_TO_BANK\t13.5\nfs\tGET_BANK\nfs\tFREE_GAME\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(in_order(r.transcript, {"fs\tmain\tGET_CREDIT\t", "credit\tcget\t\t150", "set\tvb_credit\t150",
                                        "fs\tmain\tUSE_CREDIT\t", "credit\tcuse\t35\t0", "play\tmain",
                                        "credit\tcget\t\t115", "set\tvb_credit\t115", "credit\tbadd\t12\t0",
                                        "credit\tbadd\t14\t0", "credit\tbget\t\t46", "set\tvb_bank\t46", "exit\t0"}));
    EXPECT_EQ(credit_calls(r).size(), 6u);  // nothing for FREE_GAME, no goodbye call
    EXPECT_EQ(cab.read("credit_state.txt"), "credit,115\r\nbank,46\r\n");
    EXPECT_THAT(log(), HasSubstr("07/12/2026 14:05:09  No platform file - assuming DLL interface\r\n"));
}

TEST_F(library_platform, CreditAndBankOutsideTheBoundsAreAnsweredZero) {
    credit_state("credit,10001\r\nbank,-5\r\n");
    run_result r = play("fs\tGET_CREDIT\nfs\tGET_BANK\n");
    EXPECT_TRUE(in_order(r.transcript,
                         {"credit\tcget\t\t10001", "set\tvb_credit\t0", "credit\tbget\t\t-5", "set\tvb_bank\t0"}));
    credit_state("credit,10000\r\nbank,10000\r\n");
    r = play("fs\tGET_CREDIT\nfs\tGET_BANK\n");
    EXPECT_TRUE(in_order(r.transcript, {"set\tvb_credit\t10000", "set\tvb_bank\t10000"}));
}

TEST_F(library_platform, DemoModeShowsThePriceAsCreditAndNoBank) {
    cab.write("demo_mode.txt", "");
    credit_state("credit,0\r\nbank,70\r\n");
    const run_result r = play("fs\tGET_CREDIT\nfs\tGET_BANK\n");
    EXPECT_TRUE(
        in_order(r.transcript, {"credit\tcget\t\t0", "set\tvb_credit\t50", "credit\tbget\t\t70", "set\tvb_bank\t0"}));
}

TEST_F(library_platform, AFlagFileOfTheLibraryFamilyOnlyChangesTheLogLine) {
    cab.write("flg_kestrel.dat", "");
    credit_state("credit,5\r\n");
    const run_result r = play("fs\tGET_CREDIT\n");
    EXPECT_TRUE(in_order(r.transcript, {"credit\tcget\t\t5", "set\tvb_credit\t5"}));
    EXPECT_THAT(log(), HasSubstr("  HARBOUR Platform\r\n"));
}

class library_missing : public credit_cabinet {};

TEST_F(library_missing, AMissingLibraryEndsTheFirstCommandThatNeedsIt) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows looks for DLLs in quizhost.exe's own folder, which holds the build's stand-in";
#endif
    const run_result r = play("fs\tGET_CREDIT_TO_PLAY\nfs\tGET_CREDIT\nfs\tGET_BANK\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(in_order(r.transcript, {"set\tvb_credit_to_play\t50", "credit\tcget\t\terror 53", "exit\t1"}));
    EXPECT_THAT(lines_starting(r.transcript, "set\tvb_credit\t"), IsEmpty());
    EXPECT_THAT(log(), HasSubstr("ERROR! 53 - File not found.  Game Terminated.\r\n"));
}

TEST_F(library_missing, ALibraryWithoutTheEntryPointEndsTheCommand) {
#ifdef _WIN32
    GTEST_SKIP() << "the Windows build has no second stand-in library to stand for a foreign DLL (see win32 tests)";
#endif
    std::filesystem::copy_file(bin_path("libclientshell.so"), cab.path("libtccomm.so"));
    const run_result r = play("fs\tUSE_CREDIT\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(log(), HasSubstr("ERROR! 453 - Specified DLL function not found.  Game Terminated.\r\n"));
}

// --- the cabinet shell -------------------------------------------------------------------------------

class shell_platform : public credit_cabinet {
protected:
    void SetUp() override {
        credit_cabinet::SetUp();
#ifdef _WIN32
        GTEST_SKIP() << "the Windows shell is an automation object, tested in-process under wine";
#endif
        cab.write("flg_orbital.dat", "");
        cab.write("flg_meridian.dat", "");  // later in the order: never consulted
        install("libclientshell.so");
        credit_state("shell,running\r\ncredit,150\r\nbank,80\r\nstakes,0,0,0,25,40,0,0,0,0,0\r\n");
    }
};

TEST_F(shell_platform, FindsTheFirstStakeLevelAboveZeroAtStart) {
    const run_result r = play("fs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(credit_calls(r), (lines{"credit\tattach\t\t", "credit\tGetStake\t0\t0", "credit\tGetStake\t1\t0",
                                      "credit\tGetStake\t2\t0", "credit\tGetStake\t3\t25"}));
    EXPECT_THAT(log(), HasSubstr("07/12/2026 14:05:09  ORBITAL Platform\r\n"));
    EXPECT_THAT(log(), ::testing::Not(HasSubstr("Meridian")));
}

TEST_F(shell_platform, UseCreditTakesFromCreditOrElseFromTheBank) {
    credit_state("shell,running\r\ncredit,60\r\nbank,80\r\nstakes,0,0,0,25\r\n");
    const run_result r = play("fs\tUSE_CREDIT\nfs\tUSE_CREDIT\nfs\tGET_CREDIT\nfs\tGET_BANK\n");
    EXPECT_TRUE(
        in_order(r.transcript, {"credit\tGetCredit\t\t60", "credit\tUseCreditEx\t3\t", "credit\tGetCredit\t\t35",
                                "credit\tUseCreditFromBankEx\t3\t", "set\tvb_credit\t35", "set\tvb_bank\t55"}));
}

TEST_F(shell_platform, AddToBankIsUnroundedAndFreeGamesAreTold) {
    const run_result r = play("fs\tADD_TO_BANK\t12.5\nfs\tFREE_GAME\nfs\tGET_BANK\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(in_order(
        r.transcript, {"credit\tAddToBank\t12.5\t", "credit\tFreeGameStarted\t\t", "set\tvb_bank\t92.5", "exit\t0"}));
    EXPECT_THAT(cab.read("credit_state.txt"), HasSubstr("bank,92.5\r\n"));
    EXPECT_THAT(cab.read("credit_state.txt"), HasSubstr("free_games,1\r\n"));
    EXPECT_THAT(lines_starting(r.transcript, "credit\tsocket"), IsEmpty());
}

TEST_F(shell_platform, AShellThatIsNotRunningEndsStartUpWithoutGameExit) {
    credit_state("credit,150\r\n");
    const run_result r = play("fs\tGET_CREDIT\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(credit_calls(r), (lines{"credit\tattach\t\terror 429"}));
    EXPECT_THAT(log(), HasSubstr("  ORBITAL Platform\r\n"));
    EXPECT_THAT(log(), HasSubstr("ERROR! 429 - ActiveX component can't create object.  Game Terminated.\r\n"));
    EXPECT_EQ(r.transcript.back(), "exit\t1");
}

// --- the local credit service ------------------------------------------------------------------------

class socket_platform : public credit_cabinet {
protected:
    void SetUp() override {
        credit_cabinet::SetUp();
        cab.write("flg_meridian.dat", "");
        cab.write("service/credit_state.txt", "credit,150\r\nbank,0\r\n");
    }
    std::string service_state() const { return cab.read("service/credit_state.txt"); }
    run_result play_with(const credit_service_process& service, const std::string& commands) const {
        return play(commands, {"--credit-port", std::to_string(service.port())});
    }
};

TEST_F(socket_platform, SendsEachRequestAsOneLineAndSaysGoodbyeOnCloseAll) {
    credit_service_process service(cab.path("service/credit_state.txt"));
    const run_result r = play_with(service,
                                   "fs\tGET_CREDIT\nfs\tUSE_CREDIT\nfs\tADD_TO_BANK\t250\nfs\tGET_BANK\n"
                                   "fs\tFREE_GAME\nfs\tCLOSE_ALL\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(credit_calls(r),
              (lines{"credit\tsocket\tGET_CREDIT \tCREDIT 150", "credit\tsocket\tGET_CREDIT \tCREDIT 150",
                     "credit\tsocket\tUSE_CREDIT \tOK DONE", "credit\tsocket\tADD_BANK 250\tOK DONE",
                     "credit\tsocket\tGET_BANK \tBANK 250", "credit\tsocket\tGAME_EXIT \tOK BYE"}));
    EXPECT_TRUE(in_order(
        r.transcript, {"set\tvb_credit\t150", "set\tvb_bank\t250", "credit\tsocket\tGAME_EXIT \tOK BYE", "exit\t0"}));
    EXPECT_EQ(service_state(), "credit,100\r\nbank,250\r\n");
    EXPECT_THAT(log(), HasSubstr("  Meridian Platform\r\n"));
}

TEST_F(socket_platform, UseCreditWithShortCreditOnlyAsks) {
    cab.write("service/credit_state.txt", "credit,30\r\nbank,500\r\n");
    credit_service_process service(cab.path("service/credit_state.txt"));
    const run_result r = play_with(service, "fs\tUSE_CREDIT\n");
    EXPECT_EQ(credit_calls(r), (lines{"credit\tsocket\tGET_CREDIT \tCREDIT 30"}));
    EXPECT_EQ(service_state(), "credit,30\r\nbank,500\r\n");
}

TEST_F(socket_platform, TheArgumentTextGoesToTheServiceOnOneLine) {
    credit_service_process service(cab.path("service/credit_state.txt"));
    const run_result r = play_with(service, "fs\tADD_TO_BANK\t7\\r\\nUSE_CREDIT \nfs\tGET_CREDIT\n");
    EXPECT_TRUE(
        in_order(r.transcript, {"credit\tsocket\tADD_BANK 7  USE_CREDIT \tERROR bad-amount", "set\tvb_credit\t150"}));
    EXPECT_EQ(service_state(), "credit,150\r\nbank,0\r\n");
}

TEST_F(socket_platform, AFatalErrorStillSaysGoodbye) {
    credit_service_process service(cab.path("service/credit_state.txt"));
    const run_result r = play_with(service, "fs\tANSWERED\tnot numbers\nfs\tGET_CREDIT\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(credit_calls(r), (lines{"credit\tsocket\tGAME_EXIT \tOK BYE"}));
    EXPECT_TRUE(in_order(r.transcript, {"fs\tmain\tANSWERED\tnot numbers", "movie\tmain\t",
                                        "credit\tsocket\tGAME_EXIT \tOK BYE", "exit\t1"}));
}

TEST_F(socket_platform, AServiceThatIsAwayEndsTheCommandAndTheGoodbyeIsStillTried) {
    const int nobody = credit_service_process(cab.path("service/credit_state.txt")).port();  // stopped again
    const run_result r = play("fs\tGET_CREDIT\n", {"--credit-port", std::to_string(nobody)});
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(credit_calls(r), (lines{"credit\tsocket\tGET_CREDIT \terror 9", "credit\tsocket\tGAME_EXIT \terror 9"}));
    EXPECT_THAT(log(), HasSubstr("ERROR! 9 - Subscript out of range.  Game Terminated.\r\n"));
}

}  // namespace
}  // namespace quizhost::testing
