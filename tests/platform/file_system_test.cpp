#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <string>

#include "definitions.hpp"
#include "platform/file_system.hpp"
#include "records/text_records.hpp"
#include "support/faulty_file_system.hpp"
#include "support/run_time_errors.hpp"
#include "support/test_host.hpp"

namespace quizhost {
namespace {

using testing::faulty_file_system;
using testing::native_files_swap;
using testing::test_host;

using testing::error_of;

std::set<std::string> folder_listing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

class NativeFiles : public ::testing::Test {
protected:
    test_host t;
    file_system& fs = *t.files;
};

TEST_F(NativeFiles, FailuresCarryTheirNumbers) {
    EXPECT_EQ(error_of([&] { fs.read_file(t.path("missing.txt")); }), file_not_found);
    EXPECT_EQ(error_of([&] { fs.read_file(t.path("no/such/folder.txt")); }), path_not_found);
    EXPECT_EQ(error_of([&] { fs.file_size(t.path("missing.txt")); }), file_not_found);
    EXPECT_EQ(error_of([&] { fs.delete_file(t.path("missing.txt")); }), file_not_found);
    EXPECT_EQ(error_of([&] { fs.write_file(t.path("no/file.txt"), "x"); }), path_not_found);
    EXPECT_EQ(error_of([&] { fs.create_folder(t.path("no/such")); }), path_not_found);
    t.write("folder/x.txt", "");
    EXPECT_EQ(error_of([&] { fs.read_file(t.path("folder")); }), path_file_access_error);
}

TEST_F(NativeFiles, AppendNeverCreatesTheFile) {
    EXPECT_EQ(error_of([&] { fs.append_to_file(t.path("log.txt"), "x"); }), file_not_found);
    EXPECT_FALSE(t.exists("log.txt"));
    t.write("log.txt", "a");
    fs.append_to_file(t.path("log.txt"), "b");
    EXPECT_EQ(fs.read_file(t.path("log.txt")), "ab");
    EXPECT_EQ(fs.file_size(t.path("log.txt")), 2);
}

TEST_F(NativeFiles, FoldersAndRenames) {
    fs.create_folder(t.path("logs"));
    fs.create_folder(t.path("logs/"));  // already there: fine
    EXPECT_TRUE(fs.folder_exists(t.path("logs")));
    EXPECT_FALSE(fs.file_exists(t.path("logs")));
    fs.write_file(t.path("logs/a.txt"), "new");
    fs.write_file(t.path("logs/b.txt"), "old");
    fs.rename_file(t.path("logs/a.txt"), t.path("logs/b.txt"));
    EXPECT_EQ(t.read("logs/b.txt"), "new");
    EXPECT_FALSE(t.exists("logs/a.txt"));
    fs.sync_file(t.path("logs/b.txt"));
    fs.sync_folder(t.path("logs"));
}

TEST(FolderOf, TakesEverythingBeforeTheLastSeparator) {
    EXPECT_EQ(folder_of("/a/b/c.txt"), "/a/b");
    EXPECT_EQ(folder_of("c.txt"), ".");
    EXPECT_EQ(folder_of("/c.txt"), "/");
    EXPECT_EQ(folder_of("C:\\cab\\system\\setup.ini"), "C:\\cab\\system");
}

TEST_F(NativeFiles, ReplaceFileLeavesOnlyTheTarget) {
    t.write("data/t.txt", "old");
    replace_file(fs, t.path("data/t.txt"), "new bytes");
    EXPECT_EQ(t.read("data/t.txt"), "new bytes");
    replace_file(fs, t.path("data/u.txt"), "created");
    EXPECT_EQ(t.read("data/u.txt"), "created");
    copy_file_atomically(fs, t.path("data/u.txt"), t.path("data/t.txt"));
    EXPECT_EQ(t.read("data/t.txt"), "created");
    EXPECT_EQ(folder_listing(t.path("data")), (std::set<std::string>{"t.txt", "u.txt"}));
}

// A named work file stays beside the target and keeps the version before the last; where the names
// cannot be swapped it is renamed over the target.
TEST_F(NativeFiles, ReplaceFileSwapsANamedWorkFileBesideTheTarget) {
    t.write("system/logs/meter.txt", "old");
    faulty_file_system faulty(make_native_file_system());
    const std::string target = t.path("system/logs/meter.txt");
    const std::string work = t.path("system/logs/scrap.txt");
    const std::string folder = t.path("system/logs");
    const std::string put_in_place = (native_files_swap() ? "exchange " : "rename ") + work + " " + target;

    replace_file(faulty, target, "new", "scrap.txt");
    EXPECT_EQ(faulty.log,
              (std::vector<std::string>{"write " + work, "sync " + work, put_in_place, "syncdir " + folder}));
    EXPECT_EQ(t.read("system/logs/meter.txt"), "new");

    faulty.fail_at_step(0);
    replace_file(faulty, target, "newest, and longer", "scrap.txt");
    EXPECT_EQ(t.read("system/logs/meter.txt"), "newest, and longer");
    if (native_files_swap()) {
        EXPECT_EQ(t.read("system/logs/scrap.txt"), "new");
        replace_file(faulty, target, "short", "scrap.txt");  // written in place over a longer file
        EXPECT_EQ(t.read("system/logs/meter.txt"), "short");
        EXPECT_EQ(t.read("system/logs/scrap.txt"), "newest, and longer");
    } else {
        EXPECT_FALSE(t.exists("system/logs/scrap.txt"));
    }
}

// After a swap whose folder sync failed, the work file's name may still stand for the target's old file
// on disk: it is dropped, and the next replacement writes a new work file instead of rewriting that one.
TEST_F(NativeFiles, AFailedFolderSyncAfterASwapDropsTheWorkFile) {
    if (!native_files_swap()) GTEST_SKIP() << "this file system renames instead of swapping";
    t.write("system/logs/meter.txt", "old");
    t.write("system/logs/scrap.txt", "older");
    faulty_file_system faulty(make_native_file_system());
    faulty.fail_at_step(4);
    EXPECT_EQ(error_of([&] { replace_file(faulty, t.path("system/logs/meter.txt"), "new", "scrap.txt"); }),
              path_file_access_error);
    EXPECT_EQ(faulty.log.back(), "delete " + t.path("system/logs/scrap.txt"));
    EXPECT_EQ(t.read("system/logs/meter.txt"), "new");
    EXPECT_EQ(folder_listing(t.path("system/logs")), std::set<std::string>{"meter.txt"});
}

TEST_F(NativeFiles, ReplaceFileWithTheDefaultWorkFileLeavesNothingBehind) {
    t.write("data/t.txt", "old");
    replace_file(fs, t.path("data/t.txt"), "new");
    replace_file(fs, t.path("data/t.txt"), "newer");
    EXPECT_EQ(t.read("data/t.txt"), "newer");
    EXPECT_EQ(folder_listing(t.path("data")), std::set<std::string>{"t.txt"});
}

TEST_F(NativeFiles, WriteFileOverAnExistingFileHoldsOnlyTheNewBytes) {
    t.write("data/w.txt", "a longer old content\r\n");
    fs.write_file(t.path("data/w.txt"), "short");
    EXPECT_EQ(t.read("data/w.txt"), "short");
    fs.write_file(t.path("data/w.txt"), "");
    EXPECT_EQ(t.read("data/w.txt"), "");
    EXPECT_EQ(fs.file_size(t.path("data/w.txt")), 0);
}

TEST_F(NativeFiles, ExchangeOfAMissingFileChangesNothing) {
    t.write("data/a.txt", "a");
    EXPECT_FALSE(fs.exchange_files(t.path("data/a.txt"), t.path("data/missing.txt")));
    EXPECT_EQ(folder_listing(t.path("data")), std::set<std::string>{"a.txt"});
    EXPECT_EQ(t.read("data/a.txt"), "a");
}

TEST_F(NativeFiles, ReplaceFileOfAFileNamedLikeItsWorkFile) {
    t.write("scrap.txt", "old");
    faulty_file_system faulty(make_native_file_system());
    faulty.fail_at_step(2);  // the work file is written, then the sync fails
    EXPECT_EQ(error_of([&] { replace_file(faulty, t.path("scrap.txt"), "new", "scrap.txt"); }), path_file_access_error);
    EXPECT_EQ(t.read("scrap.txt"), "old");
    replace_file(fs, t.path("scrap.txt"), "new", "scrap.txt");
    EXPECT_EQ(t.read("scrap.txt"), "new");
}

// A rewrite that fails at any one step leaves the target as it was or as it should become, never torn.
class AtomicReplace : public ::testing::Test {
protected:
    test_host t;
    faulty_file_system faulty{make_native_file_system()};
    std::string target = t.path("system/logs/meter.txt");
    const std::string old_bytes = "M1,0\r\nM2,3,0\r\nM10,4\r\n";
    const std::string new_bytes = "M1,7\r\nM2,3,0\r\nM10,4\r\n";
    static constexpr int rewrite_steps = 4;  // write, sync, rename or swap, folder sync

    // A named work file is there from an earlier rewrite, and is rewritten in place.
    void check_every_failing_step(const std::function<void()>& rewrite, bool named_work_file) {
        for (int step = 1; step <= rewrite_steps; ++step) {
            SCOPED_TRACE("failing step " + std::to_string(step));
            t.write("system/logs/meter.txt", old_bytes);
            if (named_work_file) t.write("system/logs/scrap.txt", "an earlier version");
            faulty.fail_at_step(step);
            EXPECT_EQ(error_of(rewrite), path_file_access_error);
            const std::string after = t.read("system/logs/meter.txt");
            // Until the rename or swap has happened, the old file stands; once it has, the new one.
            EXPECT_EQ(after, step < rewrite_steps ? old_bytes : new_bytes);
        }
        t.write("system/logs/meter.txt", old_bytes);
        if (named_work_file) t.write("system/logs/scrap.txt", "an earlier version");
        faulty.fail_at_step(0);
        rewrite();
        EXPECT_EQ(faulty.steps(), rewrite_steps);
        EXPECT_EQ(t.read("system/logs/meter.txt"), new_bytes);
        const bool work_kept = named_work_file && native_files_swap();
        const std::set<std::string> kept{"meter.txt", "scrap.txt"};
        EXPECT_EQ(folder_listing(t.path("system/logs")), work_kept ? kept : std::set<std::string>{"meter.txt"});
        if (work_kept) {
            EXPECT_EQ(t.read("system/logs/scrap.txt"), old_bytes);
        }
    }
};

TEST_F(AtomicReplace, ReplaceFileFailingAtEachStep) {
    check_every_failing_step([&] { replace_file(faulty, target, new_bytes); }, false);
}

TEST_F(AtomicReplace, UpdateRecordFieldFailingAtEachStep) {
    check_every_failing_step([&] { update_record_field(faulty, target, "m1", 1, "7"); }, true);
}

}  // namespace
}  // namespace quizhost
