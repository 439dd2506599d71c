// The development cabinet of `quizhost dev`: what it makes, what it takes again, what it refuses, and that
// the developer's folder is only ever read.
#include "player/dev_cabinet.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "support/test_host.hpp"

namespace quizhost::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every entry below `root`, with its size and time: "nothing was written here" is this staying the same.
std::string listing(const fs::path& root) {
    std::string out;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        out += entry.path().string();
        if (entry.is_regular_file()) {
            out += " " + std::to_string(entry.file_size()) + " " +
                   std::to_string(entry.last_write_time().time_since_epoch().count());
        }
        out += "\n";
    }
    return out;
}

struct dev_folders {
    temp_folder work;
    fs::path source = fs::path(work.path()) / "myquiz";
    fs::path cabinet = fs::path(work.path()) / "cabinet";
    fs::path library = fs::path(work.path()) / "libstandin.so";

    dev_folders() {
        write(source / "flash_game" / "index.html", "<p>game</p>");
        write(source / "flash_game" / "game.mjs", "export {};");
        write(source / "intro" / "index.html", "<p>intro</p>");
        write(source / "data" / "data_1_1.dat", "x");
        write(source / "system" / "setup.ini", "S1,40\r\nS2,20\r\n");
        write(library, "library bytes");
    }

    dev_cabinet_request request() const {
        dev_cabinet_request r;
        r.source = source.string();
        r.cabinet = cabinet.string();
        r.state_home = (fs::path(work.path()) / "state").string();
        r.credit_library = library.string();
        r.credit_library_name = "libtccomm.so";
        return r;
    }
};

TEST(dev_cabinet, ACabinetFolderIsSetUpBesideTheDevelopersFolderWhichStaysUntouched) {
    dev_folders f;
    const std::string before = listing(f.source);
    const dev_cabinet made = prepare_dev_cabinet(f.request());

    EXPECT_EQ(made.root, f.cabinet.string());
    EXPECT_FALSE(made.reused);
    EXPECT_EQ(made.game_folder, (f.source / "flash_game").string());
    EXPECT_EQ(made.intro_folder, (f.source / "intro").string());
    EXPECT_EQ(read(f.cabinet / "libtccomm.so"), "library bytes");
    EXPECT_EQ(read(f.cabinet / "credit_state.txt"), "credit,500\r\nbank,0\r\n");
    EXPECT_EQ(made.credit_state, (f.cabinet / "credit_state.txt").string());
    // The question files are read where they are; the operator's setup is the cabinet's own copy.
    if (fs::is_symlink(f.cabinet / "data")) {
        EXPECT_EQ(fs::read_symlink(f.cabinet / "data"), f.source / "data");
    } else {
        // A system that makes no links for this user (wine, Windows without developer mode): a copy.
        EXPECT_TRUE(fs::exists(f.cabinet / "data" / ".quizhost-dev-copy"));
        EXPECT_THAT(::testing::PrintToString(made.notes), HasSubstr("data: copied from"));
    }
    EXPECT_EQ(read(f.cabinet / "system" / "setup.ini"), "S1,40\r\nS2,20\r\n");
    EXPECT_FALSE(fs::is_symlink(f.cabinet / "system"));
    EXPECT_EQ(listing(f.source), before);
}

TEST(dev_cabinet, ASecondRunKeepsTheCreditAndTheSetupAndCopiesTheLibraryAfresh) {
    dev_folders f;
    prepare_dev_cabinet(f.request());
    write(f.cabinet / "credit_state.txt", "credit,0\r\nbank,70\r\n");
    write(f.cabinet / "system" / "setup.ini", "S1,50\r\nS2,10\r\n");
    write(f.library, "rebuilt library");

    const dev_cabinet again = prepare_dev_cabinet(f.request());
    EXPECT_TRUE(again.reused);
    EXPECT_EQ(read(f.cabinet / "credit_state.txt"), "credit,0\r\nbank,70\r\n");
    EXPECT_EQ(read(f.cabinet / "system" / "setup.ini"), "S1,50\r\nS2,10\r\n");
    EXPECT_EQ(read(f.cabinet / "libtccomm.so"), "rebuilt library");
}

TEST(dev_cabinet, AGameMovieFolderAloneGetsTheCabinetsOwnIntroAndNoData) {
    dev_folders f;
    dev_cabinet_request r = f.request();
    r.source = (f.source / "flash_game").string();
    const std::string before = listing(f.source);
    const dev_cabinet made = prepare_dev_cabinet(r);

    EXPECT_EQ(made.game_folder, (f.source / "flash_game").string());
    EXPECT_EQ(made.intro_folder, (f.cabinet / "dev_intro").string());
    EXPECT_THAT(read(f.cabinet / "dev_intro" / "index.html"), HasSubstr("INTRO_END"));
    EXPECT_FALSE(fs::exists(f.cabinet / "data"));
    EXPECT_THAT(::testing::PrintToString(made.notes), HasSubstr("data: none"));
    EXPECT_EQ(listing(f.source), before);
}

TEST(dev_cabinet, TheDefaultFolderIsUnderTheStateHomeOnePerSourceFolder) {
    const std::string a = default_dev_cabinet_folder("/home/ann/games/quiz", "/home/ann/.local/state");
    const std::string b = default_dev_cabinet_folder("/home/ann/old/quiz", "/home/ann/.local/state");
    EXPECT_THAT(a, ::testing::StartsWith((fs::path("/home/ann/.local/state") / "quizhost-dev" / "quiz-").string()));
    EXPECT_NE(a, b);  // two folders of one name, two cabinets
    EXPECT_EQ(a, default_dev_cabinet_folder("/home/ann/games/quiz/", "/home/ann/.local/state"));
}

TEST(dev_cabinet, WhatCannotServeIsRefusedBeforeAnythingIsMade) {
    dev_folders f;
    const auto refused = [](const dev_cabinet_request& r) -> std::string {
        try {
            prepare_dev_cabinet(r);
        } catch (const dev_cabinet_error& e) {
            return e.what();
        }
        return "";
    };
    dev_cabinet_request inside = f.request();
    inside.cabinet = (f.source / "run").string();
    EXPECT_THAT(refused(inside), HasSubstr("must lie outside the developer's folder"));
    EXPECT_FALSE(fs::exists(f.source / "run"));

    dev_cabinet_request tree = f.request();
    tree.source_tree = f.work.path();
    EXPECT_THAT(refused(tree), HasSubstr("must lie outside the source tree"));

    dev_cabinet_request missing = f.request();
    missing.source = (f.source / "nothing").string();
    EXPECT_THAT(refused(missing), HasSubstr("no such folder"));

    dev_cabinet_request no_movie = f.request();
    no_movie.source = (f.source / "data").string();
    EXPECT_THAT(refused(no_movie), HasSubstr("neither a cabinet folder"));
    EXPECT_FALSE(fs::exists(f.cabinet));
}

}  // namespace
}  // namespace quizhost::testing
