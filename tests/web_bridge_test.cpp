// The browser player's server and bridge over real loopback sockets: what is served and refused, one stage
// at a time from its own origin, garbage from the stage survived, commands queued (never nested) while the
// host waits, and a whole run of the player from the stage's side.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include "platform/service_notify.hpp"
#include "platform/web/bridge.hpp"
#include "platform/web/web_player.hpp"
#include "support/e2e.hpp"
#include "support/test_host.hpp"
#include "web_client.hpp"

namespace quizhost::web {
namespace {

namespace fs = std::filesystem;
using quizhost::testing::http_request;
using quizhost::testing::json;
using quizhost::testing::raw_http;
using quizhost::testing::stage_client;

class Bridge : public ::testing::Test {
protected:
    void SetUp() override {
        for (const auto* name : {"intro", "flash_game", "system", "variable", "data"}) {
            fs::create_directories(path(name));
        }
        write("intro/index.html", "<p>intro movie</p>");
        write("flash_game/index.html", "<p>game movie</p>");
        write("system/setup.ini", "S1,40\r\nSECRET-SETUP\r\n");
        write("variable/highscores.txt", "SECRET-SCORES");
        write("data/data_1_1.dat", "SECRET-DATA");
        write("credit_state.txt", "SECRET-CREDIT");
        // A link leading out of a movie folder, where links can be made (the Windows build's standard
        // library cannot; the path is then simply missing, and refused all the same).
        std::error_code no_links;
        fs::create_symlink(path("system/setup.ini"), path("flash_game/setup.ini"), no_links);
        link.emplace(bridge_options{folder.path(), 0, false, [this](const std::string& line) { log.push_back(line); }});
    }

    std::string path(const std::string& relative) const { return folder.path() + "/" + relative; }
    void write(const std::string& relative, const std::string& bytes) const {
        std::ofstream(path(relative), std::ios::binary) << bytes;
    }
    int port() const { return link->port(); }
    bool logged(const std::string& part) const {
        return std::any_of(log.begin(), log.end(), [&](const std::string& line) { return line.find(part) != std::string::npos; });
    }

    // Runs `client` on a thread of its own while the bridge serves on this one.
    template <class Client>
    void serve_while(Client client) {
        std::atomic<bool> done{false};
        std::thread thread([&] {
            client();
            done = true;
        });
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!done && std::chrono::steady_clock::now() < deadline) link->run_for(std::chrono::milliseconds(5));
        thread.join();
    }

    quizhost::testing::temp_folder folder;
    std::vector<std::string> log;
    std::optional<bridge> link;
};

TEST_F(Bridge, ServesTheStageTheRuntimeAndTheMovieFolders) {
    serve_while([&] {
        const auto stage = http_request(port(), "GET", "/");
        EXPECT_EQ(stage.status, 200);
        EXPECT_NE(stage.body.find("/runtime/stage.js"), std::string::npos);
        EXPECT_TRUE(stage.has_header("Cache-Control: no-store"));
        EXPECT_TRUE(stage.has_header("X-Frame-Options: SAMEORIGIN"));

        const auto runtime = http_request(port(), "GET", "/runtime/movie.js");
        EXPECT_EQ(runtime.status, 200);
        EXPECT_TRUE(runtime.has_header("Content-Type: text/javascript"));
        EXPECT_NE(runtime.body.find("fscommand"), std::string::npos);

        const auto game = http_request(port(), "GET", "/flash_game/?load=2");
        EXPECT_EQ(game.status, 200);
        EXPECT_EQ(game.body, "<p>game movie</p>");

        const auto head = http_request(port(), "HEAD", "/intro/index.html");
        EXPECT_EQ(head.status, 200);
        EXPECT_TRUE(head.has_header("Content-Length: 18"));
        EXPECT_EQ(head.body, "");
    });
}

TEST_F(Bridge, RefusesEveryOtherPathWithNotFound) {
    serve_while([&] {
        for (const auto* target :
             {"/system/setup.ini", "/variable/highscores.txt", "/data/data_1_1.dat", "/credit_state.txt",
              "/intro/../system/setup.ini", "/flash_game/%2e%2e/system/setup.ini", "/flash_game/%2E%2E/credit_state.txt",
              "/flash_game/..%2fsystem/setup.ini", "//etc/passwd", "/flash_game/setup.ini", "/runtime/../system/setup.ini",
              "/runtime/nothing.js", "/intro/missing.html", "http://127.0.0.1/system/setup.ini"}) {
            const auto response = http_request(port(), "GET", target);
            EXPECT_EQ(response.status, 404) << target;
            EXPECT_EQ(response.body.find("SECRET"), std::string::npos) << target;
        }
    });
    EXPECT_TRUE(logged("404 for /flash_game/setup.ini"));
}

TEST_F(Bridge, AnswersOnlyGetAndHeadAndOnlyForItsOwnHostName) {
    serve_while([&] {
        for (const auto* method : {"POST", "PUT", "DELETE", "OPTIONS", "PATCH"}) {
            const auto response = http_request(port(), method, "/");
            EXPECT_EQ(response.status, 405) << method;
            EXPECT_TRUE(response.has_header("Allow: GET, HEAD")) << method;
        }
        // A page of another site whose name resolves to 127.0.0.1 sends its own name as the host.
        EXPECT_EQ(http_request(port(), "GET", "/", "attacker.example:" + std::to_string(port())).status, 403);
        EXPECT_EQ(http_request(port(), "GET", "/", "127.0.0.1:1").status, 403);
        EXPECT_EQ(http_request(port(), "GET", "/", "localhost:" + std::to_string(port())).status, 200);
    });
}

TEST_F(Bridge, SurvivesMalformedRequests) {
    serve_while([&] {
        EXPECT_EQ(raw_http(port(), "GARBAGE\r\n\r\n").status, 400);
        EXPECT_EQ(raw_http(port(), "GET / HTTP/1.1\r\nHost: " + std::string(20000, 'x') + "\r\n\r\n").status, 400);
        EXPECT_EQ(raw_http(port(), "GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 999999\r\n\r\n").status, 400);
        EXPECT_EQ(raw_http(port(), std::string("\0\xFF\r\n\r\n", 6)).status, 400);
        EXPECT_EQ(http_request(port(), "GET", "/").status, 200);
    });
}

TEST_F(Bridge, AcceptsOneStageAtATimeAndOnlyFromItsOwnOrigin) {
    serve_while([&] {
        const std::string own = "127.0.0.1:" + std::to_string(port());
        EXPECT_EQ(stage_client(port()).connect("http://attacker.example"), 403);
        EXPECT_EQ(stage_client(port()).connect("http://127.0.0.1:1"), 403);
        EXPECT_EQ(stage_client(port()).connect("none"), 403);
        EXPECT_EQ(stage_client(port()).connect("", "/elsewhere"), 404);

        stage_client first(port());
        ASSERT_EQ(first.connect(), 101);
        EXPECT_EQ(stage_client(port()).connect(), 409);
        first.close();
        EXPECT_TRUE(quizhost::testing::connect_stage(port())) << "no stage could connect after the first one left";
    });
    EXPECT_TRUE(logged("a stage is already connected"));
    EXPECT_TRUE(logged("foreign origin"));
}

TEST_F(Bridge, EchoesBesideTheStageForItsOwnPagesOnly) {
    serve_while([&] {
        EXPECT_EQ(stage_client(port()).connect("http://attacker.example", "/echo"), 403);
        stage_client stage(port());
        ASSERT_EQ(stage.connect(), 101);
        // The echo is no second stage: it is open while the stage is, and hears only itself.
        stage_client echo(port());
        ASSERT_EQ(echo.connect("", "/echo"), 101);
        for (int i = 0; i < 3; ++i) {
            echo.send({{"type", "fs"}, {"form", "main"}, {"load", 1}, {"id", i}, {"command", "CLOSE_ALL"}});
            const json back = echo.read();
            EXPECT_EQ(back["id"], i);
            EXPECT_EQ(back["command"], "CLOSE_ALL");
        }
    });
    // What went through the echo never reached the host as a command.
    EXPECT_FALSE(link->next_command(std::chrono::milliseconds(50)));
}

TEST_F(Bridge, IgnoresGarbageFromTheStageAndKeepsTakingCommands) {
    std::thread stage([&] {
        stage_client client(port());
        ASSERT_EQ(client.connect(), 101);
        client.send_text("not json at all");
        client.send_text("[]");
        client.send_text(R"({"type":"reboot"})");
        client.send_text(R"({"type":"fs","form":"main","command":"GET_CREDIT"})");
        client.send_text(R"({"type":"value","id":99,"value":"nobody asked"})");
        client.send_binary(std::string("\x00\x01\x02", 3));
        client.send_text(std::string(2 << 20, 'x'));  // over the size limit: the connection is dropped
        const auto again = quizhost::testing::connect_stage(port());
        ASSERT_TRUE(again);
        again->send({{"type", "fs"}, {"form", "main"}, {"load", 1}, {"id", 5}, {"command", "GET_CREDIT"}});
        again->read();  // stay until the host has taken it
    });
    const auto command = link->next_command(std::chrono::seconds(20));
    link->finish(std::chrono::milliseconds(500));
    stage.join();
    ASSERT_TRUE(command);
    EXPECT_EQ(command->command, "GET_CREDIT");
    EXPECT_EQ(command->id, 5u);
    EXPECT_TRUE(logged("not JSON"));
    EXPECT_TRUE(logged("unknown type \"reboot\""));
    EXPECT_TRUE(logged("\"fs\" needs whole numbers"));
    EXPECT_TRUE(logged("answer to no waiting request"));
    EXPECT_TRUE(logged("binary message"));
}

TEST_F(Bridge, QueuesCommandsThatArriveWhileTheHostWaitsForAnAnswer) {
    std::thread stage([&] {
        stage_client client(port());
        ASSERT_EQ(client.connect(), 101);
        const json get = client.read_until("get");
        for (int id = 1; id <= 3; ++id) {
            client.send({{"type", "fs"}, {"form", "main"}, {"load", 1}, {"id", id}, {"command", "C" + std::to_string(id)}});
        }
        client.send({{"type", "value"}, {"id", get["id"]}, {"value", "12"}});
        client.read_until("exit");
    });
    ASSERT_TRUE(link->wait_for_stage(std::chrono::seconds(10)));
    const auto reply = link->request({{"type", "get"}, {"form", "main"}, {"name", "content_version_no"}},
                                     std::chrono::seconds(10));
    std::vector<std::string> taken;
    while (const auto command = link->next_command(std::chrono::milliseconds(500))) taken.push_back(command->command);
    link->send({{"type", "exit"}, {"status", 0}});
    link->finish(std::chrono::seconds(1));
    stage.join();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->text, "12");
    EXPECT_EQ(taken, (std::vector<std::string>{"C1", "C2", "C3"}));
}

TEST_F(Bridge, GivesUpOnAnUnansweredRequestAndIgnoresTheLateAnswer) {
    std::thread stage([&] {
        stage_client client(port());
        ASSERT_EQ(client.connect(), 101);
        const json get = client.read_until("get");
        client.read_until("exit");  // the host gives up meanwhile
        client.send({{"type", "value"}, {"id", get["id"]}, {"value", "late"}});
    });
    ASSERT_TRUE(link->wait_for_stage(std::chrono::seconds(10)));
    const auto started = std::chrono::steady_clock::now();
    const auto reply = link->request({{"type", "get"}, {"form", "main"}, {"name", "x"}}, std::chrono::milliseconds(200));
    EXPECT_FALSE(reply);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    link->send({{"type", "exit"}, {"status", 0}});
    link->run_for(std::chrono::milliseconds(300));
    link->finish(std::chrono::seconds(1));
    stage.join();
}

TEST_F(Bridge, AsksAReconnectedStageAgainAndBringsItUpToDate) {
    int replays = 0;
    link->on_stage_connected([&] {
        ++replays;
        link->send({{"type", "caption"}, {"form", "main"}, {"text", "replayed"}});
    });
    std::thread stage([&] {
        {
            stage_client first(port());
            ASSERT_EQ(first.connect(), 101);
            first.read_until("msgbox");
            first.close();  // reloaded before answering
        }
        const auto second = quizhost::testing::connect_stage(port());
        ASSERT_TRUE(second);
        EXPECT_EQ(second->read()["text"], "replayed");
        const json box = second->read();
        EXPECT_EQ(box["type"], "msgbox");
        second->send({{"type", "answer"}, {"id", box["id"]}, {"answer", "ok"}});
        second->read_until("exit");
    });
    ASSERT_TRUE(link->wait_for_stage(std::chrono::seconds(10)));
    const auto reply = link->request({{"type", "msgbox"}, {"title", "t"}, {"text", "x"}, {"style", 0}}, std::chrono::seconds(20));
    link->send({{"type", "exit"}, {"status", 0}});
    link->finish(std::chrono::seconds(1));
    stage.join();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->text, "ok");
    EXPECT_EQ(replays, 2);
}

TEST_F(Bridge, InterruptEndsTheWaitsFromAnotherThread) {
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        link->interrupt();
    });
    EXPECT_FALSE(link->next_command());
    other.join();
    EXPECT_TRUE(link->interrupted());
    EXPECT_FALSE(link->wait_for_stage());
}

TEST(BridgeListening, ReportsATakenPortClearly) {
    quizhost::testing::temp_folder folder;
    bridge first(bridge_options{folder.path(), 0, false, [](const std::string&) {}});
    try {
        bridge second(bridge_options{folder.path(), first.port(), false, [](const std::string&) {}});
        FAIL() << "two bridges listened on one port";
    } catch (const bridge_error& e) {
        EXPECT_NE(std::string(e.what()).find("127.0.0.1:" + std::to_string(first.port())), std::string::npos);
    }
    EXPECT_THROW(bridge(bridge_options{folder.path(), 70000, false, {}}), bridge_error);
}

// A whole run from the stage's side: the program's start, a command that reads a variable and sets one,
// a command from a movie that is gone, the end.
class Player : public Bridge {
protected:
    quizhost::testing::test_host t;
    program_entry program{
        [this] {
            t.host.io.windows->show(form::intro);
            t.host.io.intro_movie->set_movie(t.host.program_folder + intro_movie_name);
        },
        [this](const std::string& command, const std::string& args) {
            raised.push_back(command + " " + args);
            if (command == "INTRO_END") {
                t.host.io.game_movie->set_movie(t.host.program_folder + game_movie_name);
                const std::string version = t.host.io.game_movie->get_variable("content_version_no");
                t.host.io.game_movie->stop();
                t.host.io.game_movie->set_variable("vb_version", "7." + version);
                t.host.io.game_movie->play();
                t.host.io.intro_movie->set_movie("");
            }
            if (command == "MSGBOX") t.host.io.windows->message_box(application_title, args, mb_ok);
            if (command == "FAIL") throw run_time_error(type_mismatch);
            if (command == "CLOSE_ALL") throw program_exit{exit_closed};
        },
        [this](int status) {
            raised.push_back("shutdown " + std::to_string(status));
            throw program_exit{status};
        }};
    std::vector<std::string> raised;

    void SetUp() override {
        Bridge::SetUp();
        t.host.program_folder = folder.path();
    }
    json fs(const char* form, std::uint64_t load, std::uint64_t id, const char* command, const char* args = "") {
        return {{"type", "fs"}, {"form", form}, {"load", load}, {"id", id}, {"command", command}, {"args", args}};
    }
};

TEST_F(Player, RunsTheProgramFromTheStagesCommandsUntilItEnds) {
    int status = -1;
    std::thread stage([&] {
        stage_client client(port());
        ASSERT_EQ(client.connect(), 101);
        const json intro = client.read_until("movie");  // the replay: no movie yet
        EXPECT_EQ(intro["url"], "");
        json loaded = client.read_until("movie");
        while (loaded["url"] == "") loaded = client.read_until("movie");
        EXPECT_EQ(loaded["form"], "intro");
        EXPECT_EQ(loaded["url"], "/intro/");
        client.send(fs("intro", loaded["load"], 1, "INTRO_END"));

        const json game = client.read_until("movie");
        EXPECT_EQ(game["form"], "main");
        EXPECT_EQ(game["url"], "/flash_game/");
        const json get = client.read_until("get");
        EXPECT_EQ(get["name"], "content_version_no");
        client.send({{"type", "value"}, {"id", get["id"]}, {"value", "12"}});
        // The rest of the command reaches the stage in one piece.
        const int frames = client.frames;
        EXPECT_EQ(client.read()["type"], "stop");
        const json set = client.read();
        EXPECT_EQ(set["name"], "vb_version");
        EXPECT_EQ(set["value"], "7.12");
        EXPECT_EQ(client.read()["type"], "play");
        EXPECT_EQ(client.read_until("done")["id"], 1);
        EXPECT_EQ(client.frames, frames + 1);

        // The intro movie was unloaded: what it raised before that is dropped, and still marked done.
        client.send(fs("intro", loaded["load"], 2, "INTRO_END"));
        EXPECT_EQ(client.read_until("done")["id"], 2);

        client.send(fs("main", game["load"], 3, "MSGBOX", "Hello"));
        const json box = client.read_until("msgbox");
        EXPECT_EQ(box["text"], "Hello");
        client.send({{"type", "answer"}, {"id", box["id"]}, {"answer", "ok"}});
        EXPECT_EQ(client.read_until("done")["id"], 3);

        client.send(fs("main", game["load"], 4, "CLOSE_ALL"));
        const json exit = client.read_until("exit");
        EXPECT_EQ(exit["status"], 0);
    });
    status = run_player(t.host, *link, program, stderr);
    stage.join();
    EXPECT_EQ(status, exit_closed);
    EXPECT_EQ(raised, (std::vector<std::string>{"INTRO_END ", "MSGBOX Hello", "CLOSE_ALL "}));
    const std::string root = folder.path();
    EXPECT_EQ(t.events.lines, (std::vector<std::string>{
                               "show\tintro", "movie\tintro\t" + testing::transcript_path(root, "/intro.swf"),
                               "movie\tmain\t" + testing::transcript_path(root, "/flash_game.swf"), "get\tcontent_version_no\t12",
                               "stop\tmain", "set\tvb_version\t7.12", "play\tmain", "movie\tintro\t",
                               "msgbox\tTollcastle Wrapper\tHello\t0\tok", "exit\t0"}));
    // The seams of the host are its own again.
    EXPECT_EQ(t.host.io.game_movie, &t.game_movie);
}

TEST_F(Player, EndsWithStatusThreeWhenTheIntroFormFails) {
    int status = -1;
    std::thread stage([&] {
        stage_client client(port());
        ASSERT_EQ(client.connect(), 101);
        json loaded = client.read_until("movie");
        while (loaded["url"] == "") loaded = client.read_until("movie");
        client.send(fs("intro", loaded["load"], 1, "FAIL"));
        EXPECT_EQ(client.read_until("exit")["status"], exit_intro_failed);
    });
    status = run_player(t.host, *link, program, stderr);
    stage.join();
    EXPECT_EQ(status, exit_intro_failed);
    EXPECT_EQ(t.events.lines.back(), "exit\t3");
}

TEST_F(Player, InterruptedBetweenCommandsShutsTheProgramDown) {
    std::thread stage([&] {
        stage_client client(port());
        ASSERT_EQ(client.connect(), 101);
        json loaded = client.read_until("movie");
        while (loaded["url"] == "") loaded = client.read_until("movie");
        client.send(fs("intro", loaded["load"], 1, "MSGBOX", "Stop me"));
        client.read_until("msgbox");
        link->interrupt();  // Ctrl-C while the box is up: the box takes its safe answer, then shutdown
        EXPECT_EQ(client.read_until("exit")["status"], exit_interrupted);
    });
    const int status = run_player(t.host, *link, program, stderr);
    stage.join();
    EXPECT_EQ(status, exit_interrupted);
    EXPECT_EQ(raised, (std::vector<std::string>{"MSGBOX Stop me", "shutdown 130"}));
    EXPECT_TRUE(quizhost::testing::in_order(t.events.lines, {"msgbox\tTollcastle Wrapper\tStop me\t0\tok", "exit\t130"}));
}

TEST_F(Player, InterruptedBeforeAnyStageEndsWithoutStartingTheProgram) {
    std::thread other([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        link->interrupt();
    });
    const int status = run_player(t.host, *link, program, stderr);
    other.join();
    EXPECT_EQ(status, exit_interrupted);
    EXPECT_TRUE(raised.empty());
    EXPECT_EQ(t.events.lines, (std::vector<std::string>{"exit\t130"}));
}

TEST_F(Player, AnAnswerForAPageThatWentAwayMidCommandIsDroppedAndTheNewPageGetsTheState) {
    std::thread stage([&] {
        json loaded;
        {
            stage_client first(port());
            ASSERT_EQ(first.connect(), 101);
            loaded = first.read_until("movie");
            while (loaded["url"] == "") loaded = first.read_until("movie");
            first.send(fs("intro", loaded["load"], 1, "INTRO_END"));
            first.read_until("get");  // the command is under way in the host; the page goes
            first.close();
        }
        // The host may not have seen the first page go yet; a second page is refused until it has.
        std::optional<stage_client> connected;
        for (int attempt = 0; attempt < 100 && !connected; ++attempt) {
            connected.emplace(port());
            if (connected->connect() != 101) {
                connected.reset();
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        }
        ASSERT_TRUE(connected);
        stage_client& second = *connected;
        // The replay: the game movie as the host has it, then the question again.
        json game = second.read_until("movie");
        while (game["form"] != "main") game = second.read_until("movie");
        EXPECT_EQ(game["url"], "/flash_game/");
        const json get = second.read_until("get");
        second.send({{"type", "value"}, {"id", get["id"]}, {"value", "12"}});
        // The command completes in the host, but its answer (stop, set, play, done) was for the first page.
        second.send(fs("main", game["load"], 2, "CLOSE_ALL"));
        for (json message = second.read(); !message.is_null() && message["type"] != "exit"; message = second.read()) {
            EXPECT_NE(message["type"], "set") << message;
            if (message["type"] == "done") {
                EXPECT_EQ(message["id"], 2) << message;
            }
        }
    });
    const int status = run_player(t.host, *link, program, stderr);
    stage.join();
    EXPECT_EQ(status, exit_closed);
    EXPECT_EQ(raised, (std::vector<std::string>{"INTRO_END ", "CLOSE_ALL "}));
    EXPECT_TRUE(quizhost::testing::in_order(t.events.lines, {"set\tvb_version\t7.12", "exit\t0"}));
}

// A kiosk browser that the supervisor sees die: the game movie starts afresh as RESET_FLASH_GAME does, and
// what the old movie raised is dropped.
TEST_F(Player, ARestartedKioskBrowserGetsTheGameMovieAfresh) {
    struct fake_browser final : child_process {
        std::atomic<bool>& dead;
        explicit fake_browser(std::atomic<bool>& d) : dead(d) {}
        std::optional<std::string> ended() override {
            return dead ? std::optional<std::string>("killed by signal 9") : std::nullopt;
        }
        void end() override {}
        long id() const override { return 1; }
    };
    std::atomic<bool> dead{false};
    std::vector<std::string> kiosk_log;
    quizhost::testing::temp_folder profiles;
    kiosk_supervisor kiosk(
        "/usr/bin/chromium", {}, profiles.path(),
        {[&](const process_launch&) -> std::unique_ptr<child_process> {
             dead = false;
             return std::make_unique<fake_browser>(dead);
         },
         [&] { return link->address(); }, [&](const std::string& line) { kiosk_log.push_back(line); }});
    kiosk.start(std::chrono::steady_clock::now());
    std::thread stage([&] {
        stage_client client(port());
        ASSERT_EQ(client.connect(), 101);
        json loaded = client.read_until("movie");
        while (loaded["url"] == "") loaded = client.read_until("movie");
        client.send(fs("intro", loaded["load"], 1, "INTRO_END"));
        const json game = client.read_until("movie");
        const json get = client.read_until("get");
        client.send({{"type", "value"}, {"id", get["id"]}, {"value", "12"}});
        client.read_until("done");
        dead = true;
        const json fresh = client.read_until("movie");
        EXPECT_EQ(fresh["form"], "main");
        EXPECT_EQ(fresh["url"], "/flash_game/");
        EXPECT_EQ(fresh["load"], game["load"].get<int>() + 1);
        EXPECT_EQ(client.read()["type"], "rewind");
        EXPECT_EQ(client.read()["type"], "play");
        // Raised by the movie that was replaced: dropped, still marked done.
        client.send(fs("main", game["load"], 2, "CLOSE_ALL"));
        EXPECT_EQ(client.read_until("done")["id"], 2);
        client.send(fs("main", fresh["load"], 3, "CLOSE_ALL"));
        EXPECT_EQ(client.read_until("exit")["status"], 0);
    });
    const int status = run_player(t.host, *link, program, stderr, &kiosk);
    stage.join();
    EXPECT_EQ(status, exit_closed);
    EXPECT_EQ(raised, (std::vector<std::string>{"INTRO_END ", "CLOSE_ALL "}));
    EXPECT_EQ(kiosk_log, (std::vector<std::string>{"KIOSK BROWSER RESTARTED (it ended, killed by signal 9)"}));
    EXPECT_TRUE(quizhost::testing::in_order(
        t.events.lines, {"play\tmain", "movie\tmain\t" + testing::transcript_path(folder.path(), "/flash_game.swf"),
                         "rewind\tmain", "play\tmain", "exit\t0"}));
}

#ifndef _WIN32
// systemd's notify protocol, played by the test: READY=1 once the program has started with its stage,
// WATCHDOG=1 from the event loop at half the watchdog time, and none while the loop is stuck in a command.
TEST_F(Player, TellsTheServiceManagerItIsReadyAndAliveUntilItsLoopIsStuck) {
    if (!service_notify_built_in()) GTEST_SKIP() << "built without libsystemd (libsystemd-dev)";
    const std::string socket_path = folder.path() + "/notify.sock";
    const int sock = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(socket_path.size(), sizeof address.sun_path);
    std::copy(socket_path.begin(), socket_path.end(), address.sun_path);
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::setenv("NOTIFY_SOCKET", socket_path.c_str(), 1);
    ::setenv("WATCHDOG_USEC", "200000", 1);  // a ping every 100 ms
    ::unsetenv("WATCHDOG_PID");
    struct environment_back {
        ~environment_back() {
            ::unsetenv("NOTIFY_SOCKET");
            ::unsetenv("WATCHDOG_USEC");
        }
    } back;

    using clock = std::chrono::steady_clock;
    struct received {
        std::string text;
        clock::time_point at;
    };
    std::vector<received> messages;
    std::atomic<bool> listening{true};
    std::thread listener([&] {
        timeval wait{0, 50000};
        ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        char buffer[256];
        while (listening) {
            const ssize_t got = ::recv(sock, buffer, sizeof buffer, 0);
            if (got > 0) messages.push_back({std::string(buffer, static_cast<std::size_t>(got)), clock::now()});
        }
    });
    clock::time_point stage_connected, stall_began, stall_ended;
    std::thread stage([&] {
        stage_client client(port());
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stage_connected = clock::now();
        ASSERT_EQ(client.connect(), 101);
        json loaded = client.read_until("movie");
        while (loaded["url"] == "") loaded = client.read_until("movie");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        client.send(fs("intro", loaded["load"], 1, "STALL"));
        client.read_until("done");
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        client.send(fs("intro", loaded["load"], 2, "CLOSE_ALL"));
        client.read_until("exit");
    });
    program_entry stalling = program;
    stalling.raise = [&](const std::string& command, const std::string& args) {
        if (command == "STALL") {
            // A host procedure that does not come back: nothing turns the event loop meanwhile.
            stall_began = clock::now();
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            stall_ended = clock::now();
            return;
        }
        program.raise(command, args);
    };
    const int status = run_player(t.host, *link, stalling, stderr);
    stage.join();
    listening = false;
    listener.join();
    ::close(sock);
    EXPECT_EQ(status, exit_closed);

    const auto ready =
        std::find_if(messages.begin(), messages.end(), [](const received& m) { return m.text == "READY=1"; });
    ASSERT_NE(ready, messages.end());
    EXPECT_GT(ready->at, stage_connected);
    EXPECT_EQ(std::count_if(messages.begin(), messages.end(), [](const received& m) { return m.text == "READY=1"; }),
              1);
    std::vector<clock::time_point> pings;
    for (const auto& m : messages) {
        if (m.text == "WATCHDOG=1") pings.push_back(m.at);
    }
    // Pings before the stall, none during it (beyond one already on its way), pings after it.
    const auto count_between = [&](clock::time_point from, clock::time_point to) {
        return std::count_if(pings.begin(), pings.end(), [&](auto at) { return at > from && at < to; });
    };
    EXPECT_GE(count_between(stage_connected, stall_began), 3);
    EXPECT_LE(count_between(stall_began + std::chrono::milliseconds(50), stall_ended), 0);
    EXPECT_GE(count_between(stall_ended, clock::now()), 2);
    EXPECT_EQ(messages.back().text, "STOPPING=1");
}
#endif

}  // namespace
}  // namespace quizhost::web
