// What the browser player serves and how it reads the stage's messages: every refused request target, the
// symbolic links that lead out of a movie folder, and the stage messages that are ignored.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <variant>

#include "definitions.hpp"
#include "platform/web/bridge_messages.hpp"
#include "platform/web/served_paths.hpp"
#include "support/test_host.hpp"

namespace quizhost::web {
namespace {

namespace fs = std::filesystem;

bool refused(std::string_view target) { return !resolve_target(target).has_value(); }

TEST(ServedTargets, NameTheStageTheRuntimeAndTheTwoMovieFolders) {
    EXPECT_EQ(resolve_target("/")->area, served_area::stage);
    const auto runtime = resolve_target("/runtime/movie.js");
    EXPECT_EQ(runtime->area, served_area::runtime);
    EXPECT_EQ(runtime->relative, "movie.js");
    const auto intro = resolve_target("/intro/?load=3");
    EXPECT_EQ(intro->area, served_area::intro);
    EXPECT_EQ(intro->relative, "index.html");
    const auto image = resolve_target("/flash_game/art/My%20Logo.png");
    EXPECT_EQ(image->area, served_area::game);
    EXPECT_EQ(image->relative, "art/My Logo.png");
    EXPECT_EQ(resolve_target("/flash_game/sub/")->relative, "sub/index.html");
}

TEST(ServedTargets, NameAOneTimeLinkByItsTokenAlone) {
    const auto link = resolve_target("/open/0123abcd?from=kiosk");
    ASSERT_TRUE(link);
    EXPECT_EQ(link->area, served_area::one_time);
    EXPECT_EQ(link->relative, "0123abcd");
    for (const auto* target :
         {"/open", "/open/", "/open/index.html", "/open/a/b", "/open/.x", "/open/%2e%2e", "/open//x"}) {
        EXPECT_TRUE(refused(target)) << target;
    }
}

TEST(ServedTargets, RefuseEverythingElse) {
    // Other folders of the cabinet, and the folders without their slash.
    for (const auto* target : {"/system/setup.ini", "/variable/highscores.txt", "/data/data_1_1.dat",
                               "/credit_state.txt", "/index.html", "/intro", "/runtime", "/favicon.ico"}) {
        EXPECT_TRUE(refused(target)) << target;
    }
    // Climbing out, plainly or encoded in any case, and hidden files.
    for (const auto* target : {"/intro/../system/setup.ini", "/intro/./index.html", "/intro/..",
                               "/runtime/../index.html", "/intro/%2e%2e/system/setup.ini", "/intro/%2E%2E/x",
                               "/intro/.%2e/x", "/intro/%2e", "/flash_game/.git/config", "/flash_game/.hidden"}) {
        EXPECT_TRUE(refused(target)) << target;
    }
    // Absolute paths, other request forms, separators smuggled in escapes, bad escapes, control bytes.
    for (const auto* target :
         {"//etc/passwd", "/intro//etc/passwd", "http://127.0.0.1:7480/", "*", "", "etc/passwd",
          "/intro/C:/Windows/win.ini", "/intro/a%2fb", "/intro/a%5cb", "/intro/..%5c..%5csystem", "/intro/a\\b",
          "/intro/a%00.html", "/intro/%zz", "/intro/%4", "/intro/x%", "/intro/a\tb", "/intro/index.html#top"}) {
        EXPECT_TRUE(refused(target)) << target;
    }
}

class MovieFiles : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto* name : {"intro", "flash_game/art", "system", "elsewhere"}) {
            fs::create_directories(path(name));
        }
        write("intro/index.html");
        write("flash_game/index.html");
        write("flash_game/art/logo.png");
        write("system/setup.ini");
        write("elsewhere/secret.txt");
    }
    std::string path(const std::string& relative) const { return folder.path() + "/" + relative; }
    void write(const std::string& relative) const { std::ofstream(path(relative)) << "bytes"; }
    std::optional<std::string> file(served_area area, const std::string& relative) const {
        return movie_file(folder.path(), {area, relative});
    }

    quizhost::testing::temp_folder folder;
};

TEST_F(MovieFiles, AreRegularFilesInsideTheirOwnFolder) {
    EXPECT_EQ(file(served_area::intro, "index.html"), fs::canonical(path("intro/index.html")).string());
    EXPECT_TRUE(file(served_area::game, "art/logo.png"));
    EXPECT_FALSE(file(served_area::game, "missing.png"));
    EXPECT_FALSE(file(served_area::game, "art"));  // a folder without its index.html
    EXPECT_FALSE(file(served_area::stage, "index.html"));
    EXPECT_FALSE(file(served_area::runtime, "movie.js"));
}

TEST_F(MovieFiles, SymbolicLinksLeadingOutAreRefusedAndThoseStayingInsideFollowed) {
#ifdef _WIN32
    GTEST_SKIP() << "the Windows build's standard library cannot make symbolic links";
#endif
    fs::create_symlink(path("system/setup.ini"), path("flash_game/setup.ini"));
    fs::create_symlink(path("elsewhere"), path("flash_game/more"));
    fs::create_symlink("/etc/passwd", path("flash_game/passwd"));
    fs::create_symlink(path("flash_game/art/logo.png"), path("flash_game/logo.png"));
    EXPECT_FALSE(file(served_area::game, "setup.ini"));
    EXPECT_FALSE(file(served_area::game, "more/secret.txt"));
    EXPECT_FALSE(file(served_area::game, "passwd"));
    EXPECT_TRUE(file(served_area::game, "logo.png"));
}

TEST_F(MovieFiles, AMovieFolderThatIsALinkElsewhereServesNothing) {
#ifdef _WIN32
    GTEST_SKIP() << "the Windows build's standard library cannot make symbolic links";
#endif
    fs::remove_all(path("intro"));
    fs::create_symlink(path("system"), path("intro"));
    EXPECT_FALSE(file(served_area::intro, "setup.ini"));
}

TEST(MovieUrls, AFlashFileWithoutItsFolderPlaysThroughItsShim) {
    const quizhost::testing::temp_folder folder;
    const std::string root = folder.path();
    std::ofstream(root + game_movie_name) << "CWS\x08....";
    std::ofstream(root + intro_movie_name) << "<html>";  // not a Flash file: the folder is looked for
    EXPECT_EQ(movie_url(root, root + game_movie_name), "/shim/flash_game.swf");
    EXPECT_TRUE(is_flash_url(*movie_url(root, root + game_movie_name)));
    EXPECT_EQ(movie_url(root, root + intro_movie_name), "/intro/");
    fs::create_directory(root + "/flash_game");  // the HTML5 folder, when there is one, as before
    EXPECT_EQ(movie_url(root, root + game_movie_name), "/flash_game/");

    EXPECT_EQ(flash_movie_file(root, {served_area::swf, "flash_game.swf"}), root + game_movie_name);
    EXPECT_EQ(flash_movie_file(root, {served_area::shim, "intro.swf"}), root + intro_movie_name);
    EXPECT_FALSE(flash_movie_file(root, {served_area::swf, "other.swf"}));
    EXPECT_FALSE(flash_movie_file(root, {served_area::intro, "intro.swf"}));
}

TEST(RuffleFiles, OnlyThePlayersOwnFilesAndNothingFoundWhenItIsMissing) {
    const quizhost::testing::temp_folder folder;
    const std::string ruffle = folder.path() + "/ruffle";
    fs::create_directory(ruffle);
    for (const char* name : {"ruffle.js", "core.ruffle.1.js", "a.wasm", "LICENSE_MIT", "secret.txt"}) {
        std::ofstream(ruffle + "/" + name) << "x";
    }
    EXPECT_EQ(find_ruffle_folder(folder.path()), fs::canonical(ruffle).string());
    EXPECT_TRUE(ruffle_file(ruffle, {served_area::ruffle, "core.ruffle.1.js"}));
    EXPECT_TRUE(ruffle_file(ruffle, {served_area::ruffle, "a.wasm"}));
    EXPECT_TRUE(ruffle_file(ruffle, {served_area::ruffle, "LICENSE_MIT"}));
    EXPECT_FALSE(ruffle_file(ruffle, {served_area::ruffle, "secret.txt"}));
    EXPECT_FALSE(ruffle_file(ruffle, {served_area::ruffle, "missing.js"}));
    EXPECT_FALSE(ruffle_file("", {served_area::ruffle, "ruffle.js"}));
    EXPECT_EQ(resolve_target("/ruffle/ruffle.js")->area, served_area::ruffle);
    EXPECT_EQ(resolve_target("/shim/intro.swf?load=3")->area, served_area::shim);
    EXPECT_FALSE(resolve_target("/ruffle/../system/setup.ini"));
    EXPECT_EQ(find_ruffle_folder(folder.path() + "/nowhere"), "");
}

TEST(MovieUrls, NameTheFolderBesideTheMovieFile) {
    const std::string root = "/cab";
    EXPECT_EQ(movie_url(root, root + intro_movie_name), "/intro/");
    EXPECT_EQ(movie_url(root, root + game_movie_name), "/flash_game/");
    EXPECT_EQ(movie_url(root, ""), "");
    EXPECT_FALSE(movie_url(root, "/other" + std::string(game_movie_name)));
    EXPECT_FALSE(movie_url(root, root + "/system/setup.ini"));
}

TEST(ContentTypes, FollowTheExtensionInAnyCase) {
    EXPECT_EQ(content_type("index.html"), "text/html; charset=utf-8");
    EXPECT_EQ(content_type("art/LOGO.PNG"), "image/png");
    EXPECT_EQ(content_type("movie.js"), "text/javascript; charset=utf-8");
    EXPECT_EQ(content_type("README"), "application/octet-stream");
}

TEST(HostText, EveryByteGoesOutAsItsWindows1252CharacterAndComesBackTheSame) {
    EXPECT_EQ(to_utf8("plain"), "plain");
    EXPECT_EQ(to_utf8("Zo\xEB"), "Zo\xC3\xAB");
    EXPECT_EQ(to_utf8("\x80"), "\xE2\x82\xAC");  // the euro sign
    EXPECT_EQ(to_utf8("\x81"), "\xC2\x81");      // a hole of Windows-1252: the C1 control of its number
    // Bytes that happen to spell UTF-8 are still single bytes: two characters, as the old control showed them.
    EXPECT_EQ(to_utf8("caf\xC3\xA9"), "caf\xC3\x83\xC2\xA9");
    EXPECT_EQ(to_utf8(std::string("a\0b", 3)), std::string("a\0b", 3));
    std::string all;
    for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
    EXPECT_NO_THROW(nlohmann::json(to_utf8(all)).dump());
    EXPECT_EQ(to_single_bytes(to_utf8(all)), all);
}

TEST(HostText, AMovieTextBecomesTheBytesItMeantAndAnyOtherCharacterAQuestionMark) {
    EXPECT_EQ(to_single_bytes("Zo\xC3\xAB"), "Zo\xEB");          // a movie's "Zoë": one byte, EB
    EXPECT_EQ(to_single_bytes("\xE2\x82\xAC 5"), "\x80 5");      // the euro sign
    EXPECT_EQ(to_single_bytes("\xC2\x8D\xC2\x90"), "\x8D\x90");  // a version 5 movie's holes
    EXPECT_EQ(to_single_bytes("\xEF\xBF\xBD"), "?");             // a Flash 6 movie's invalid byte
    EXPECT_EQ(to_single_bytes("\xE4\xB8\xAD\xF0\x9F\x98\x80!"),
              "??"
              "!");                                // beyond Windows-1252
    EXPECT_EQ(to_single_bytes("\xC2\x85"), "?");   // a C1 control that is no hole
    EXPECT_EQ(to_single_bytes("\xFF\xC3"), "??");  // not UTF-8: never thrown
}

TEST(StageMessages, ReadCommandsAndAnswers) {
    const auto command =
        parse_stage_message(R"({"type":"fs","form":"main","load":2,"id":7,"command":"GET_CREDIT","args":"3,T"})");
    ASSERT_TRUE(std::holds_alternative<raised_command>(command));
    const auto& raised = std::get<raised_command>(command);
    EXPECT_EQ(raised.form, "main");
    EXPECT_EQ(raised.load, 2u);
    EXPECT_EQ(raised.id, 7u);
    EXPECT_EQ(raised.command, "GET_CREDIT");
    EXPECT_EQ(raised.args, "3,T");
    const auto no_args = parse_stage_message(R"({"type":"fs","form":"intro","load":1,"id":1,"command":"INTRO_END"})");
    EXPECT_EQ(std::get<raised_command>(no_args).args, "");

    const auto value = parse_stage_message(R"({"type":"value","id":4,"value":"12"})");
    EXPECT_EQ(std::get<request_reply>(value).text, "12");
    const auto answer = parse_stage_message(R"({"type":"answer","id":5,"answer":"yes"})");
    EXPECT_EQ(std::get<request_reply>(answer).text, "yes");
}

TEST(StageMessages, RefuseWhatIsMalformedWithAReason) {
    for (const auto* text : {
             "",
             "garbage",
             "[1,2]",
             "\"fs\"",
             "{}",
             R"({"type":7})",
             R"({"type":"launch"})",
             R"({"type":"fs","form":"other","load":1,"id":1,"command":"X"})",
             R"({"type":"fs","form":"main","id":1,"command":"X"})",
             R"({"type":"fs","form":"main","load":-1,"id":1,"command":"X"})",
             R"({"type":"fs","form":"main","load":1,"id":1.5,"command":"X"})",
             R"({"type":"fs","form":"main","load":1,"id":1})",
             R"({"type":"fs","form":"main","load":1,"id":1,"command":["X"]})",
             R"({"type":"fs","form":"main","load":1,"id":1,"command":"X","args":3})",
             R"({"type":"value","id":"4","value":"x"})",
             R"({"type":"value","id":4})",
             R"({"type":"answer","id":4,"answer":"maybe"})",
             "{\"type\":\"fs\"",
             "{\"type\":\"value\",\"id\":1,\"value\":\"\xFF\"}",
         }) {
        const auto message = parse_stage_message(text);
        ASSERT_TRUE(std::holds_alternative<refused_message>(message)) << text;
        EXPECT_FALSE(std::get<refused_message>(message).reason.empty());
    }
}

}  // namespace
}  // namespace quizhost::web
