// What `quizhost dev` tells the developer about the movie's commands, and how it sees a movie change.
#include "player/web_developer.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/web/served_paths.hpp"
#include "player/web_player.hpp"
#include "support/test_host.hpp"

namespace quizhost::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using web::argument_warnings;

TEST(developer_warnings, ANumberTheCommandReadsAsZeroIsNamedWithItsField) {
    EXPECT_THAT(argument_warnings("ADD_TO_BANK", "abc"),
                ElementsAre("ADD_TO_BANK \"abc\": the amount \"abc\" is not a number and reads as 0"));
    EXPECT_THAT(argument_warnings("ADD_TO_BANK", ""), ElementsAre(HasSubstr("the amount is missing and reads as 0")));
    EXPECT_THAT(argument_warnings("GET_HISCORE_POSITION", "score"), SizeIs(1));
    // Q and P are needed; F2 and F3 are 0 unless set, so only a text there is a mistake.
    EXPECT_THAT(argument_warnings("UPDATE_METERS", "3"), ElementsAre(HasSubstr("P is missing")));
    EXPECT_THAT(argument_warnings("UPDATE_METERS", "3,100,yes,"), ElementsAre(HasSubstr("F2 \"yes\" is not a number")));
    EXPECT_THAT(argument_warnings("UPDATE_METERS", "q,p"), SizeIs(2));
    EXPECT_THAT(argument_warnings("ADD_TO_HISCORES", "ANN,77,,,,"), ElementsAre(HasSubstr("SCORE is missing")));
    EXPECT_THAT(argument_warnings("GET_QUESTION", "first,T"), ElementsAre(HasSubstr("N \"first\" is not a number")));
    // A control byte of the argument is shown escaped, as the trace shows it.
    EXPECT_THAT(argument_warnings("ADD_TO_BANK", "\t"), ElementsAre(HasSubstr("\"\\t\"")));
}

TEST(developer_warnings, SoundArgumentsAndCommandsThatReadNoNumberSayNothing) {
    EXPECT_THAT(argument_warnings("ADD_TO_BANK", "250"), IsEmpty());
    EXPECT_THAT(argument_warnings("ADD_TO_BANK", " 12.5"), IsEmpty());
    EXPECT_THAT(argument_warnings("ADD_TO_BANK", "-.5"), IsEmpty());
    EXPECT_THAT(argument_warnings("ADD_TO_BANK", "0"), IsEmpty());  // a 0 that is meant
    EXPECT_THAT(argument_warnings("UPDATE_METERS", "3,-1"), IsEmpty());
    EXPECT_THAT(argument_warnings("UPDATE_METERS", "12,500,1,0"), IsEmpty());
    EXPECT_THAT(argument_warnings("ADD_TO_HISCORES", ",,120,,,"), IsEmpty());
    EXPECT_THAT(argument_warnings("MSGBOX", "abc"), IsEmpty());
    EXPECT_THAT(argument_warnings("GET_CREDIT", "anything"), IsEmpty());
    EXPECT_THAT(argument_warnings("add_to_bank", "abc"), IsEmpty());  // no such command: the unknown warning says it
}

TEST(developer_warnings, AContentVersionReadAsEmptyIsWarnedInThePanelAndTheTrace) {
    EXPECT_THAT(web::content_version_warning("7."), HasSubstr("had not set content_version_no"));
    EXPECT_EQ(web::content_version_warning("7.12"), "");
    EXPECT_EQ(web::content_version_warning("7.0"), "");

    recording_sink trace;
    web::trace_content_version(trace, "7.");
    web::trace_content_version(trace, "7.3");
    ASSERT_THAT(trace.lines, SizeIs(1));
    EXPECT_THAT(trace.lines[0], ::testing::StartsWith("warning\tmain\tcontent_version_no\tthe game movie had not set"));
}

void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

TEST(developer_watch, AChangedAddedOrRemovedFileIsSeenOnceAndEditorsFilesAreNot) {
    temp_folder folder;
    const fs::path root = folder.path();
    write(root / "index.html", "one");
    write(root / "js" / "game.mjs", "one");
    web::folder_watch watch(root.string());
    EXPECT_THAT(watch.changes(), IsEmpty());

    write(root / "js" / "game.mjs", "two, longer");
    write(root / "new.css", "x");
    write(root / ".index.html.swp", "typing");
    write(root / "index.html~", "backup");
    EXPECT_THAT(watch.changes(), ElementsAre("js/game.mjs", "new.css"));
    EXPECT_THAT(watch.changes(), IsEmpty());

    // Same size, a later time: an edit all the same.
    const auto later = fs::last_write_time(root / "index.html") + std::chrono::seconds(2);
    write(root / "index.html", "eno");
    fs::last_write_time(root / "index.html", later);
    fs::remove(root / "new.css");
    EXPECT_THAT(watch.changes(), ElementsAre("index.html", "new.css"));
}

TEST(developer_served, ThePanelsAreaAndTheDevelopersOwnFolderAreServedAsAMovieFolderIs) {
    const auto panel = web::resolve_target("/dev/panel.js");
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->area, web::served_area::developer);
    EXPECT_EQ(panel->relative, "panel.js");
    EXPECT_FALSE(web::resolve_target("/dev/../system/logs/log.txt"));

    temp_folder work;
    const fs::path game = fs::path(work.path()) / "mine" / "flash_game";
    write(game / "index.html", "game");
    write(fs::path(work.path()) / "secret.txt", "not for the stage");
    std::error_code no_links;  // wine makes none: the link's case is then not asked
    fs::create_symlink(fs::path(work.path()) / "secret.txt", game / "leak.txt", no_links);
    const auto file = [&](const char* target) {
        return web::movie_file_in(game.string(), *web::resolve_target(target));
    };
    EXPECT_EQ(file("/flash_game/"), fs::canonical(game / "index.html").string());
    if (!no_links) {
        EXPECT_FALSE(file("/flash_game/leak.txt"));  // a link out of the folder
    }
    EXPECT_FALSE(file("/flash_game/missing.js"));
}

}  // namespace
}  // namespace quizhost::testing
