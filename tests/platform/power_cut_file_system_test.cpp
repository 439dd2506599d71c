#include <gtest/gtest.h>

#include "platform/file_system.hpp"
#include "support/power_cut_file_system.hpp"

namespace quizhost::testing {
namespace {

// The model itself must be right, or every power-loss test built on it proves nothing.
TEST(PowerCutModel, UnsyncedDataAndEntriesAreLostSyncedOnesSurvive) {
    power_cut_file_system fs;
    fs.create_folder("/c");
    fs.write_file("/c/a.txt", "old");
    fs.sync_everything();

    fs.write_file("/c/a.txt", "new");  // in place, unsynced
    EXPECT_EQ(fs.after_power_cut()->contents("/c/a.txt"), "");
    fs.sync_file("/c/a.txt");
    EXPECT_EQ(fs.after_power_cut()->contents("/c/a.txt"), "new");

    fs.write_file("/c/b.txt", "fresh");
    fs.sync_file("/c/b.txt");
    EXPECT_FALSE(fs.after_power_cut()->file_exists("/c/b.txt"));  // its entry is not durable yet
    fs.sync_folder("/c");
    EXPECT_TRUE(fs.after_power_cut()->file_exists("/c/b.txt"));
}

TEST(PowerCutModel, EveryCutPointOfTheAtomicReplaceLeavesOldOrNew) {
    for (int cut = 1;; ++cut) {
        power_cut_file_system fs;
        fs.create_folder("/c");
        fs.write_file("/c/meter.txt", "old\r\n");
        fs.sync_everything();
        fs.cut_after_step(cut);
        bool finished = true;
        try {
            replace_file(fs, "/c/meter.txt", "new\r\n");
        } catch (const power_cut&) {
            finished = false;
        }
        const std::string left = fs.after_power_cut()->contents("/c/meter.txt");
        EXPECT_TRUE(left == "old\r\n" || left == "new\r\n") << "cut after step " << cut << ": " << left;
        if (finished) {
            EXPECT_EQ(left, "new\r\n");
            break;
        }
    }
}

TEST(PowerCutModel, RewritingInPlaceIsCaughtTearing) {
    power_cut_file_system fs;
    fs.create_folder("/c");
    fs.write_file("/c/meter.txt", "old\r\n");
    fs.sync_everything();
    fs.cut_after_step(1);
    EXPECT_THROW(fs.write_file("/c/meter.txt", "new\r\n"), power_cut);
    EXPECT_EQ(fs.after_power_cut()->contents("/c/meter.txt"), "");  // neither old nor new
}

}  // namespace
}  // namespace quizhost::testing
