// Platform detection and the credit channels over the in-memory credit systems, and the service's request
// and reply lines.
#include "credit/credit_link.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "definitions.hpp"
#include "support/run_time_errors.hpp"
#include "support/test_host.hpp"

namespace quizhost {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

using testing::error_of;

// A cabinet with a log, so the platform line has somewhere to go.
struct cabinet : testing::test_host {
    cabinet() {
        set_paths();
        write("system/logs/log.txt", "<ERROR LOG>\r\n");
        host.money.price_per_play = 50;
    }
    std::string log_after_header() const { return read("system/logs/log.txt").substr(13); }
    std::vector<std::string> credit_events() const {
        std::vector<std::string> found;
        for (const auto& line : events.lines) {
            if (line.rfind("credit\t", 0) == 0) found.push_back(line.substr(7));
        }
        return found;
    }
};

// --- check_platform ----------------------------------------------------------------------------------

struct flag_case {
    const char* flag;
    std::int16_t code;
    const char* log_line;
};

TEST(CheckPlatform, EachFlagFileSelectsItsPlatformAndLogsOneLine) {
    const flag_case cases[] = {
        {"flg_orbital.dat", 1, "ORBITAL Platform"},
        {"flg_kestrel.dat", 3, "HARBOUR Platform"},
        {"flg_vanta.dat", 2, "VANTA Platform"},
        {"flg_meridian.dat", 0, "Meridian Platform"},
    };
    for (const flag_case& c : cases) {
        SCOPED_TRACE(c.flag);
        cabinet t;
        t.write(c.flag, "");  // an empty flag file counts: only its presence is tested
        check_platform(t.host);
        EXPECT_EQ(t.host.credit.platform_code, c.code);
        EXPECT_EQ(t.log_after_header(), "07/12/2026 14:05:09  " + std::string(c.log_line) + "\r\n");
    }
}

TEST(CheckPlatform, WithoutAFlagFileAssumesTheLibrary) {
    cabinet t;
    t.host.credit.platform_code = 0;
    check_platform(t.host);
    EXPECT_EQ(t.host.credit.platform_code, 2);
    EXPECT_EQ(t.log_after_header(), "07/12/2026 14:05:09  No platform file - assuming DLL interface\r\n");
}

TEST(CheckPlatform, TheFirstFlagInOrderWinsAndOnlyItIsLogged) {
    cabinet t;
    t.write("flg_vanta.dat", "");
    t.write("flg_orbital.dat", "");
    t.write("flg_meridian.dat", "");
    t.credit->stakes[0] = 5;
    check_platform(t.host);
    EXPECT_EQ(t.host.credit.platform_code, 1);
    EXPECT_EQ(t.log_after_header(), "07/12/2026 14:05:09  ORBITAL Platform\r\n");
}

TEST(CheckPlatform, AFlagFolderIsNoFlagFile) {
    cabinet t;
    t.write("flg_orbital.dat/inside", "");
    check_platform(t.host);
    EXPECT_EQ(t.host.credit.platform_code, 2);
}

TEST(CheckPlatform, WithoutALogThePlatformLineIsDroppedAndNoLogIsCreated) {
    testing::test_host t;
    t.set_paths();
    t.write("flg_meridian.dat", "");
    check_platform(t.host);
    EXPECT_EQ(t.host.credit.platform_code, 0);
    EXPECT_FALSE(t.exists("system/logs/log.txt"));
}

TEST(CheckPlatform, LibraryAndSocketPlatformsTouchNothingAtStart) {
    for (const char* flag : {"flg_vanta.dat", "flg_meridian.dat"}) {
        cabinet t;
        t.write(flag, "");
        check_platform(t.host);
        EXPECT_THAT(t.credit->calls, IsEmpty());
        EXPECT_THAT(t.credit_events(), IsEmpty());
        EXPECT_EQ(t.host.credit.client_shell, nullptr);
    }
}

TEST(CheckPlatform, ShellStakeSearchStopsAtTheFirstLevelAboveZero) {
    cabinet t;
    t.write("flg_orbital.dat", "");
    t.credit->stakes = {{0, 0}, {1, -2}, {2, 0}, {3, 5}, {4, 9}};
    check_platform(t.host);
    EXPECT_EQ(t.host.credit.stake_index, 3);
    EXPECT_NE(t.host.credit.client_shell, nullptr);
    EXPECT_THAT(t.credit->calls, ElementsAre("attach", "GetStake 0", "GetStake 1", "GetStake 2", "GetStake 3"));
    EXPECT_THAT(t.credit_events(),
                ElementsAre("attach\t\t", "GetStake\t0\t0", "GetStake\t1\t-2", "GetStake\t2\t0", "GetStake\t3\t5"));
}

TEST(CheckPlatform, ShellStakeAtLevelZeroAsksOnlyLevelZero) {
    cabinet t;
    t.write("flg_orbital.dat", "");
    t.credit->stakes[0] = 5;
    check_platform(t.host);
    EXPECT_EQ(t.host.credit.stake_index, 0);
    EXPECT_THAT(t.credit->calls, ElementsAre("attach", "GetStake 0"));
}

TEST(CheckPlatform, ShellWithoutAnyStakeAsksAllTenLevelsAndKeepsLevelZero) {
    cabinet t;
    t.write("flg_orbital.dat", "");
    t.credit->stakes[10] = 5;  // beyond the levels asked
    check_platform(t.host);
    EXPECT_EQ(t.host.credit.stake_index, 0);
    EXPECT_EQ(t.credit->calls.size(), 11u);
    EXPECT_EQ(t.credit->calls.back(), "GetStake 9");
}

TEST(CheckPlatform, ShellNotRunningFailsWith429AfterThePlatformLine) {
    cabinet t;
    t.write("flg_orbital.dat", "");
    t.credit->shell_running = false;
    EXPECT_EQ(error_of([&] { check_platform(t.host); }), cannot_create_object);
    EXPECT_EQ(t.host.credit.platform_code, 1);
    EXPECT_EQ(t.host.credit.client_shell, nullptr);
    EXPECT_THAT(t.credit->calls, ElementsAre("attach"));
    EXPECT_THAT(t.credit_events(), ElementsAre("attach\t\terror 429"));
    EXPECT_EQ(t.log_after_header(), "07/12/2026 14:05:09  ORBITAL Platform\r\n");
}

TEST(CheckPlatform, NoShellOnThisMachineIs429) {
    cabinet t;
    t.write("flg_orbital.dat", "");
    t.host.io.shell = nullptr;
    EXPECT_EQ(error_of([&] { check_platform(t.host); }), cannot_create_object);
}

// --- the library channel -----------------------------------------------------------------------------

struct library_cabinet : cabinet {
    library_cabinet() {
        host.credit.platform_code = 3;
        credit->credit = 150;
        credit->bank = 20;
    }
};

TEST(LibraryChannel, ReadsCreditAndBankRawForTheDispatcherToBound) {
    library_cabinet t;
    t.credit->credit = 10001;
    t.credit->bank = -5;
    EXPECT_EQ(channel_get_credit(t.host), 10001);
    EXPECT_EQ(channel_get_bank(t.host), -5);
    EXPECT_THAT(t.credit_events(), ElementsAre("cget\t\t10001", "bget\t\t-5"));
}

TEST(LibraryChannel, UseCreditCallsCuseWithThePriceWithoutACreditCheck) {
    library_cabinet t;
    t.credit->credit = 10;
    t.host.money.price_per_play = 35;
    channel_use_credit(t.host);
    EXPECT_THAT(t.credit->calls, ElementsAre("cuse 35"));
    EXPECT_THAT(t.credit_events(), ElementsAre("cuse\t35\t0"));
}

TEST(LibraryChannel, AddToBankRoundsHalvesToEven) {
    library_cabinet t;
    channel_add_to_bank(t.host, 12.5, "12.5");
    channel_add_to_bank(t.host, 13.5, "13.5");
    channel_add_to_bank(t.host, 0, "abc");
    EXPECT_THAT(t.credit->calls, ElementsAre("badd 12", "badd 14", "badd 0"));
    EXPECT_THAT(t.credit_events(), ElementsAre("badd\t12\t0", "badd\t14\t0", "badd\t0\t0"));
}

TEST(LibraryChannel, AnAmountBeyondA32BitWholeIsOverflowAndNothingIsAdded) {
    library_cabinet t;
    EXPECT_EQ(error_of([&] { channel_add_to_bank(t.host, 3e9, "3e9"); }), overflow);
    EXPECT_THAT(t.credit->calls, IsEmpty());
    EXPECT_EQ(t.credit->bank, 20);
}

TEST(LibraryChannel, FreeGameAndGoodbyeDoNothing) {
    library_cabinet t;
    channel_free_game(t.host);
    channel_goodbye(t.host);
    EXPECT_THAT(t.credit->calls, IsEmpty());
    EXPECT_THAT(t.credit_events(), IsEmpty());
}

TEST(LibraryChannel, NoLibraryIsFileNotFoundAndTracedAsAFailedCall) {
    library_cabinet t;
    t.host.io.library = nullptr;
    EXPECT_EQ(error_of([&] { channel_get_credit(t.host); }), file_not_found);
    EXPECT_THAT(t.credit_events(), ElementsAre("cget\t\terror 53"));
}

// --- the shell channel -------------------------------------------------------------------------------

struct shell_cabinet : cabinet {
    shell_cabinet() {
        write("flg_orbital.dat", "");
        credit->stakes[2] = 50;
        check_platform(host);
        credit->calls.clear();
        events.clear();
        credit->credit = 150;
        credit->bank = 80;
    }
};

TEST(ShellChannel, ReadsCreditAndBankAsTheShellReportsThem) {
    shell_cabinet t;
    t.credit->bank = 12.5;
    EXPECT_EQ(channel_get_credit(t.host), 150);
    EXPECT_EQ(channel_get_bank(t.host), 12.5);
    EXPECT_THAT(t.credit_events(), ElementsAre("GetCredit\t\t150", "GetBank\t\t12.5"));
}

TEST(ShellChannel, UseCreditTakesFromTheCreditWhenItCoversThePrice) {
    shell_cabinet t;
    t.credit->credit = 50;  // exactly the price
    channel_use_credit(t.host);
    EXPECT_THAT(t.credit->calls, ElementsAre("GetCredit", "UseCreditEx 2"));
    EXPECT_THAT(t.credit_events(), ElementsAre("GetCredit\t\t50", "UseCreditEx\t2\t"));
}

TEST(ShellChannel, UseCreditFallsBackToTheBankWhenTheCreditIsShort) {
    shell_cabinet t;
    t.credit->credit = 49;
    channel_use_credit(t.host);
    EXPECT_THAT(t.credit->calls, ElementsAre("GetCredit", "UseCreditFromBankEx 2"));
    EXPECT_EQ(t.credit->bank, 30);
}

TEST(ShellChannel, AddToBankPassesTheAmountUnrounded) {
    shell_cabinet t;
    channel_add_to_bank(t.host, 12.5, "12.5");
    EXPECT_THAT(t.credit->calls, ElementsAre("AddToBank 12.5"));
    EXPECT_THAT(t.credit_events(), ElementsAre("AddToBank\t12.5\t"));
}

TEST(ShellChannel, FreeGameTellsTheShell) {
    shell_cabinet t;
    channel_free_game(t.host);
    EXPECT_THAT(t.credit_events(), ElementsAre("FreeGameStarted\t\t"));
}

TEST(ShellChannel, GoodbyeReleasesTheShellAndCallsNothing) {
    shell_cabinet t;
    const std::weak_ptr<shell_object> held = t.host.credit.client_shell;
    channel_goodbye(t.host);
    EXPECT_EQ(t.host.credit.client_shell, nullptr);
    EXPECT_EQ(held.use_count(), 1);  // only the test fixture's own reference is left
    EXPECT_THAT(t.credit->calls, IsEmpty());
}

TEST(ShellChannel, AShellNeverAttachedFailsTheCommand) {
    cabinet t;
    t.host.credit.platform_code = 1;
    EXPECT_EQ(error_of([&] { channel_get_credit(t.host); }), 91);
    EXPECT_EQ(error_of([&] { channel_use_credit(t.host); }), 91);
    EXPECT_THAT(t.credit->calls, IsEmpty());
}

// --- request and reply lines -------------------------------------------------------------------------

TEST(ServiceRequest, IsNameSpaceParametersCrLf) {
    EXPECT_EQ(service_request("GET_CREDIT", ""), "GET_CREDIT \r\n");
    EXPECT_EQ(service_request("ADD_BANK", "250"), "ADD_BANK 250\r\n");
    EXPECT_EQ(service_request("ADD_BANK", " 12.5 x"), "ADD_BANK  12.5 x\r\n");
}

TEST(ServiceRequest, LineBreaksInParametersCannotStartASecondRequest) {
    EXPECT_EQ(service_request("ADD_BANK", "5\r\nUSE_CREDIT \r\n"), "ADD_BANK 5  USE_CREDIT   \r\n");
    EXPECT_EQ(service_request("ADD_BANK", "5\nGAME_EXIT"), "ADD_BANK 5 GAME_EXIT\r\n");
}

double number_of(const service_reply& reply) { return std::get<double>(reply); }
std::string text_of(const service_reply& reply) { return std::get<std::string>(reply); }

TEST(ServiceReply, CreditAndBankGiveTheValuesLeadingNumber) {
    EXPECT_EQ(number_of(parse_service_reply("CREDIT 150\r\n")), 150);
    EXPECT_EQ(number_of(parse_service_reply("CREDIT 100\r\n")), 100);
    EXPECT_EQ(number_of(parse_service_reply("CREDIT 10\r\n")), 10);
    EXPECT_EQ(number_of(parse_service_reply("CREDIT 1000\r\n")), 1000);
    EXPECT_EQ(number_of(parse_service_reply("BANK 0\r\n")), 0);
    EXPECT_EQ(number_of(parse_service_reply("BANK 12.5\r\n")), 12.5);
    EXPECT_EQ(number_of(parse_service_reply("BANK -7\r\n")), -7);
    EXPECT_EQ(number_of(parse_service_reply("CREDIT abc\r\n")), 0);
    EXPECT_EQ(number_of(parse_service_reply("CREDIT \r\n")), 0);
}

TEST(ServiceReply, OtherKindsGiveTheValueAsTextAndKindsAreCaseSensitive) {
    EXPECT_EQ(text_of(parse_service_reply("OK DONE\r\n")), "DONE");
    EXPECT_EQ(text_of(parse_service_reply("credit 150\r\n")), "150");
    EXPECT_EQ(text_of(parse_service_reply("CREDITS 150\r\n")), "150");
    EXPECT_EQ(text_of(parse_service_reply("OK \r\n")), "");
}

TEST(ServiceReply, FurtherPiecesAreIgnoredWithoutCuttingTheValue) {
    EXPECT_EQ(number_of(parse_service_reply("CREDIT 150 \r\n")), 150);
    EXPECT_EQ(number_of(parse_service_reply("CREDIT 150 extra words\r\n")), 150);
    EXPECT_EQ(text_of(parse_service_reply("OK A B\r\n")), "A");
}

TEST(ServiceReply, RepliesWithoutLineEndOrSpaceAreSubscriptErrors) {
    EXPECT_EQ(error_of([] { parse_service_reply(""); }), subscript_out_of_range);
    EXPECT_EQ(error_of([] { parse_service_reply("\r\n"); }), subscript_out_of_range);
    EXPECT_EQ(error_of([] { parse_service_reply("CREDIT150\r\n"); }), subscript_out_of_range);
    EXPECT_EQ(error_of([] { parse_service_reply("CREDIT 150"); }), subscript_out_of_range);
    EXPECT_EQ(error_of([] { parse_service_reply("CREDIT 150\n"); }), subscript_out_of_range);
    EXPECT_EQ(error_of([] { parse_service_reply("CREDIT 150\r"); }), subscript_out_of_range);
}

TEST(ServiceReply, ATextWhereANumberIsNeededMustBeAPlainNumber) {
    EXPECT_EQ(reply_as_number(service_reply{std::string(" 42 ")}), 42);
    EXPECT_EQ(reply_as_number(service_reply{7.5}), 7.5);
    EXPECT_EQ(error_of([] { reply_as_number(service_reply{std::string("DONE")}); }), type_mismatch);
    EXPECT_EQ(error_of([] { reply_as_number(service_reply{std::string("")}); }), type_mismatch);
}

}  // namespace
}  // namespace quizhost
