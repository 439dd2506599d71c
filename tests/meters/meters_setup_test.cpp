#include <gtest/gtest.h>

#include "meters/autoplay_defs.hpp"
#include "meters/setup_file_defs.hpp"
#include "records/error_log.hpp"
#include "support/meters_support.hpp"

namespace quizhost::testing {
namespace {

TEST(SetupFile, NewFileHoldsExactlyTheTwoDefaultLines) {
    meter_host t;
    t.write("system/setup.ini", "S1,65\r\nS2,20\r\nS3,old\r\n");
    create_setup_file(t.host);
    EXPECT_EQ(t.read("system/setup.ini"), "S1,40\r\nS2,50\r\n");
}

TEST(SetupFile, UnwritableFolderFails) {
    meter_host t;  // the system folder does not exist
    EXPECT_NE(error_of([&] { create_setup_file(t.host); }), 0);
    EXPECT_FALSE(t.exists("system/setup.ini"));
}

struct autoplay : meter_host {
    autoplay() {
        write("system/logs/log.txt", "");
        host.money.price_per_play = 30;
        host.money.payout_percent = 55;
    }
    std::string log() { return read("system/logs/log.txt"); }
};

TEST(Autoplay, FileReplacesPriceAndPayoutAndDescribesTheRun) {
    autoplay t;
    t.write("autoplay.txt",
            "no_of_games,10\r\nprice_per_play,50\r\npayout_%,40\r\ncollect_first_prize,1\r\nmanual_play,0\r\n");
    check_autoplay(t.host);
    EXPECT_EQ(t.host.money.autoplay_info, "10,50,40,1,0");
    EXPECT_EQ(t.host.money.price_per_play, 50);
    EXPECT_EQ(t.host.money.payout_percent, 40.0f);
    EXPECT_EQ(t.log(), "07/12/2026 14:05:09  AUTOPLAY - price per play 50, payout 40%\r\n")
        << "the auditor sees the run's money settings came from the autoplay file";
}

TEST(Autoplay, PriceIsRoundedButDescribedAsWritten) {
    autoplay t;
    t.write("autoplay.txt", "price_per_play,12.5\nPAYOUT_%, 37.5\n");
    check_autoplay(t.host);
    EXPECT_EQ(t.host.money.price_per_play, 12);
    EXPECT_EQ(t.host.money.payout_percent, 37.5f);
    EXPECT_EQ(t.host.money.autoplay_info, "0,12.5,37.5,0,0");
    EXPECT_EQ(t.log(), "07/12/2026 14:05:09  AUTOPLAY - price per play 12, payout 37.5%\r\n");
}

TEST(Autoplay, MissingKeysReadZeroAndNoBoundsApply) {
    autoplay t;
    t.write("autoplay.txt", "manual_play,1\r\n");
    check_autoplay(t.host);
    EXPECT_EQ(t.host.money.autoplay_info, "0,0,0,0,1");
    EXPECT_EQ(t.host.money.price_per_play, 0);
    EXPECT_EQ(t.host.money.payout_percent, 0.0f);

    t.write("autoplay.txt", "payout_%,85\r\nprice_per_play,500\r\n");
    check_autoplay(t.host);
    EXPECT_EQ(t.host.money.autoplay_info, "0,500,85,0,0");
    EXPECT_EQ(t.host.money.price_per_play, 500);
    EXPECT_EQ(t.host.money.payout_percent, 85.0f);
}

TEST(Autoplay, WithoutTheFileNothingChanges) {
    autoplay t;
    t.host.money.autoplay_info = "stale";
    t.write("system/autoplay.txt", "price_per_play,1\r\n");  // only the program folder's file counts
    check_autoplay(t.host);
    EXPECT_EQ(t.host.money.autoplay_info, "");
    EXPECT_EQ(t.host.money.price_per_play, 30);
    EXPECT_EQ(t.host.money.payout_percent, 55.0f);
    EXPECT_EQ(t.log(), "");
}

TEST(Autoplay, AnAbsurdPriceFailsWithOverflowAndChangesNothing) {
    autoplay t;
    t.write("autoplay.txt", "payout_%,40\r\nprice_per_play,99999999999\r\n");
    EXPECT_EQ(error_of([&] { check_autoplay(t.host); }), overflow);
    EXPECT_EQ(t.host.money.price_per_play, 30);
    EXPECT_EQ(t.host.money.payout_percent, 55.0f);
    EXPECT_EQ(t.host.money.autoplay_info, "");
}

}  // namespace
}  // namespace quizhost::testing
