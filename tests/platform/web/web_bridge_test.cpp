// The browser player's server and bridge over real loopback sockets: what is served and refused, one stage
// at a time from its own origin and with this start's secret, the one-time link, refusals summed up in the
// log, garbage from the stage survived, commands queued (never nested) while the host waits, a whole run
// of the player from the stage's side, and the real program untouched by programs without the secret.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include "forms/form_main.hpp"
#include "forms/runtime.hpp"
#include "platform/service_notify.hpp"
#include "platform/web/bridge.hpp"
#include "player/web_player.hpp"
#include "support/e2e.hpp"
#include "support/test_host.hpp"
#include "web_client.hpp"

namespace quizhost::web {
namespace {

namespace fs = std::filesystem;
using quizhost::testing::client_text_frame;
using quizhost::testing::http_request;
using quizhost::testing::json;
using quizhost::testing::key_of;
using quizhost::testing::raw_http;
using quizhost::testing::stage_client;
using quizhost::testing::upgrade_request;

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
    std::string key() const { return quizhost::testing::key_of(link->stage_url()); }
    bool logged(const std::string& part) const {
        return std::any_of(log.begin(), log.end(),
                           [&](const std::string& line) { return line.find(part) != std::string::npos; });
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
              "/intro/../system/setup.ini", "/flash_game/%2e%2e/system/setup.ini",
              "/flash_game/%2E%2E/credit_state.txt", "/flash_game/..%2fsystem/setup.ini", "//etc/passwd",
              "/flash_game/setup.ini", "/runtime/../system/setup.ini", "/runtime/nothing.js", "/intro/missing.html",
              "http://127.0.0.1/system/setup.ini"}) {
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
        EXPECT_EQ(stage_client(port(), key()).connect("http://attacker.example"), 403);
        EXPECT_EQ(stage_client(port(), key()).connect("http://127.0.0.1:1"), 403);
        EXPECT_EQ(stage_client(port(), key()).connect("none"), 403);
        EXPECT_EQ(stage_client(port(), key()).connect("", "/elsewhere"), 404);

        stage_client first(port(), key());
        ASSERT_EQ(first.connect(), 101);
        EXPECT_EQ(stage_client(port(), key()).connect(), 409);
        first.close();
        EXPECT_TRUE(quizhost::testing::connect_stage(port(), key()))
            << "no stage could connect after the first one left";
    });
    EXPECT_TRUE(logged("a stage is already connected"));
    EXPECT_TRUE(logged("foreign origin"));
}

TEST_F(Bridge, AdmitsOnlyAStageThatProvesThisStartsSecret) {
    const std::string url = link->stage_url();
    EXPECT_EQ(url.rfind(link->address() + "#key=", 0), 0u) << url;
    EXPECT_EQ(key().size(), 64u);
    std::string wrong = key();
    wrong.back() = wrong.back() == '0' ? '1' : '0';
    const bridge other(bridge_options{folder.path(), 0, false, [](const std::string&) {}});
    EXPECT_NE(key_of(other.stage_url()), key()) << "two starts made the same secret";

    const std::string raise_bank =
        R"({"type":"fs","form":"main","load":0,"id":1,"command":"ADD_TO_BANK","args":"5000"})";
    serve_while([&] {
        // The Host and Origin a page of the stage sends, and what a local program can forge as well.
        for (const std::string& target : std::vector<std::string>{
                 "/bridge", "/bridge?key=", "/bridge?key=" + wrong, "/bridge?key=" + key().substr(1),
                 "/bridge?key=" + key() + "0", "/bridge?k=" + key(), "/bridge?KEY=" + key(),
                 "/bridge?key=" + key_of(other.stage_url())}) {
            EXPECT_EQ(stage_client(port()).connect("", target), 403) << target;
            // Refused at the upgrade: a command sent right behind it is never read.
            const auto refused = raw_http(port(), upgrade_request(port(), target) + client_text_frame(raise_bank));
            EXPECT_EQ(refused.status, 403) << target;
            EXPECT_FALSE(refused.has_header("Upgrade")) << target;
        }
        stage_client stage(port());
        EXPECT_EQ(stage.connect("", "/bridge?x=1&key=" + key()), 101);
        stage.close();
    });
    EXPECT_FALSE(link->next_command(std::chrono::milliseconds(50)));
    EXPECT_EQ(link->refused_connections(), 16u);
    EXPECT_TRUE(logged("refused a stage connection (no key)"));
    EXPECT_TRUE(logged("refused a stage connection (wrong key)"));
}

TEST_F(Bridge, SumsUpRefusalsInsteadOfLoggingEachOne) {
    link.reset();
    link.emplace(bridge_options{folder.path(), 0, false, [this](const std::string& line) { log.push_back(line); },
                                std::chrono::milliseconds(300)});
    serve_while([&] {
        for (int i = 0; i < 30; ++i) {
            EXPECT_EQ(raw_http(port(), upgrade_request(port(), "/bridge")).status, 403);
            EXPECT_EQ(raw_http(port(), upgrade_request(port(), "/bridge?key=" + std::string(64, '0'))).status, 403);
        }
    });
    link->run_for(std::chrono::milliseconds(500));  // a report falls due
    serve_while([&] { EXPECT_EQ(raw_http(port(), upgrade_request(port(), "/bridge")).status, 403); });
    link->finish(std::chrono::milliseconds(100));  // and what is left is reported at the end
    EXPECT_EQ(link->refused_connections(), 61u);
    // Each reason's first refusal on a line of its own, then sums: every refusal is told, in a few lines.
    const auto told = [&](const std::string& reason) {
        long total = 0;
        for (const auto& line : log) {
            if (line == "bridge: refused a stage connection (" + reason + ")") ++total;
            const auto more = line.find(" more (" + reason + ") since the last report");
            if (line.rfind("bridge: refused ", 0) == 0 && more != std::string::npos)
                total += std::stol(line.substr(16, more - 16));
        }
        return total;
    };
    EXPECT_EQ(told("no key"), 31) << ::testing::PrintToString(log);
    EXPECT_EQ(told("wrong key"), 30) << ::testing::PrintToString(log);
    const auto lines = std::count_if(log.begin(), log.end(),
                                     [](const std::string& line) { return line.find("refused") != std::string::npos; });
    EXPECT_GE(lines, 4);
    EXPECT_LE(lines, 12) << ::testing::PrintToString(log);
    EXPECT_TRUE(logged("more (wrong key) since the last report"));
}

TEST_F(Bridge, OneTimeLinkSendsOneBrowserToTheStage) {
    const auto path_of = [&](const std::string& url) { return url.substr(link->address().size() - 1); };
    const std::string first = path_of(link->one_time_url());
    EXPECT_EQ(first.rfind("/open/", 0), 0u);
    EXPECT_EQ(first.size(), 6u + 64u);
    const std::string second = path_of(link->one_time_url());  // replaces the first
    const std::string third_url = link->one_time_url();
    const std::string third = path_of(third_url);
    serve_while([&] {
        EXPECT_EQ(http_request(port(), "GET", first).status, 403);
        EXPECT_EQ(http_request(port(), "GET", second).status, 403);
        // Neither a foreign host's page nor a HEAD uses it up.
        EXPECT_EQ(http_request(port(), "GET", third, "attacker.example:" + std::to_string(port())).status, 403);
        EXPECT_EQ(http_request(port(), "HEAD", third).status, 405);
        std::string guess = third;
        guess.back() = guess.back() == '0' ? '1' : '0';
        EXPECT_EQ(http_request(port(), "GET", guess).status, 403);

        const auto used = http_request(port(), "GET", third);
        EXPECT_EQ(used.status, 303);
        EXPECT_TRUE(used.has_header("Location: /#key=" + key())) << used.head;
        EXPECT_TRUE(used.has_header("Cache-Control: no-store"));
        const auto again = http_request(port(), "GET", third);
        EXPECT_EQ(again.status, 403);
        EXPECT_EQ(again.body.find(key()), std::string::npos);
        EXPECT_EQ(http_request(port(), "GET", "/open/").status, 404);
    });
    EXPECT_TRUE(logged("refused a one-time link (unknown or used link)"));
    EXPECT_TRUE(logged("stage link used"));
    for (const auto& line : log) EXPECT_EQ(line.find(key()), std::string::npos) << "the secret was logged: " << line;
}

TEST_F(Bridge, EchoesBesideTheStageForItsOwnPagesOnly) {
    serve_while([&] {
        EXPECT_EQ(stage_client(port()).connect("http://attacker.example", "/echo?key=" + key()), 403);
        // The echo asks for the secret as the bridge does.
        EXPECT_EQ(stage_client(port()).connect("", "/echo"), 403);
        stage_client stage(port(), key());
        ASSERT_EQ(stage.connect(), 101);
        // The echo is no second stage: it is open while the stage is, and hears only itself.
        stage_client echo(port());
        ASSERT_EQ(echo.connect("", "/echo?key=" + key()), 101);
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
        stage_client client(port(), key());
        ASSERT_EQ(client.connect(), 101);
        client.send_text("not json at all");
        client.send_text("[]");
        client.send_text(R"({"type":"reboot"})");
        client.send_text(R"({"type":"fs","form":"main","command":"GET_CREDIT"})");
        client.send_text(R"({"type":"value","id":99,"value":"nobody asked"})");
        client.send_binary(std::string("\x00\x01\x02", 3));
        client.send_text(std::string(2 << 20, 'x'));  // over the size limit: the connection is dropped
        const auto again = quizhost::testing::connect_stage(port(), key());
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
        stage_client client(port(), key());
        ASSERT_EQ(client.connect(), 101);
        const json get = client.read_until("get");
        for (int id = 1; id <= 3; ++id) {
            client.send(
                {{"type", "fs"}, {"form", "main"}, {"load", 1}, {"id", id}, {"command", "C" + std::to_string(id)}});
        }
        client.send({{"type", "value"}, {"id", get["id"]}, {"value", "12"}});
        client.read_until("exit");
    });
    ASSERT_TRUE(link->wait_for_stage(std::chrono::seconds(10)));
    const auto reply =
        link->request({{"type", "get"}, {"form", "main"}, {"name", "content_version_no"}}, std::chrono::seconds(10));
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
        stage_client client(port(), key());
        ASSERT_EQ(client.connect(), 101);
        const json get = client.read_until("get");
        client.read_until("exit");  // the host gives up meanwhile
        client.send({{"type", "value"}, {"id", get["id"]}, {"value", "late"}});
    });
    ASSERT_TRUE(link->wait_for_stage(std::chrono::seconds(10)));
    const auto started = std::chrono::steady_clock::now();
    const auto reply =
        link->request({{"type", "get"}, {"form", "main"}, {"name", "x"}}, std::chrono::milliseconds(200));
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
            stage_client first(port(), key());
            ASSERT_EQ(first.connect(), 101);
            first.read_until("msgbox");
            first.close();  // reloaded before answering
        }
        const auto second = quizhost::testing::connect_stage(port(), key());
        ASSERT_TRUE(second);
        EXPECT_EQ(second->read()["text"], "replayed");
        const json box = second->read();
        EXPECT_EQ(box["type"], "msgbox");
        second->send({{"type", "answer"}, {"id", box["id"]}, {"answer", "ok"}});
        second->read_until("exit");
    });
    ASSERT_TRUE(link->wait_for_stage(std::chrono::seconds(10)));
    const auto reply =
        link->request({{"type", "msgbox"}, {"title", "t"}, {"text", "x"}, {"style", 0}}, std::chrono::seconds(20));
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
    program_entry program{[this] {
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
        stage_client client(port(), key());
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
                                  "movie\tmain\t" + testing::transcript_path(root, "/flash_game.swf"),
                                  "get\tcontent_version_no\t12", "stop\tmain", "set\tvb_version\t7.12", "play\tmain",
                                  "movie\tintro\t", "msgbox\tTollcastle Wrapper\tHello\t0\tok", "exit\t0"}));
    // The seams of the host are its own again.
    EXPECT_EQ(t.host.io.game_movie, &t.game_movie);
}

TEST_F(Player, EndsWithStatusThreeWhenTheIntroFormFails) {
    int status = -1;
    std::thread stage([&] {
        stage_client client(port(), key());
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
        stage_client client(port(), key());
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
    EXPECT_TRUE(
        quizhost::testing::in_order(t.events.lines, {"msgbox\tTollcastle Wrapper\tStop me\t0\tok", "exit\t130"}));
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

// The real program on a test cabinet, played from its stage, while other programs on the machine try the
// bridge as an attacker would: the right Host and Origin, and no secret, a wrong one, or the right one
// while the stage plays.
class Cabinet : public Bridge {
protected:
    quizhost::testing::test_host t;
    program_entry program{
        [this] { start_program(t.host); },
        [this](const std::string& command, const std::string& args) { raise_fscommand(t.host, command, args); },
        [this](int status) { unload_wrapper(t.host, status); }};

    void SetUp() override {
        Bridge::SetUp();
        t.write("system/logs/log.txt", "<ERROR LOG>\r\n");
        t.credit->credit = 500;
        t.credit->bank = 2000;
    }

    // Every file of the cabinet and what it holds.
    std::map<std::string, std::string> cabinet_files() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(t.folder.path())) {
            if (!entry.is_regular_file()) continue;
            std::ifstream in(entry.path(), std::ios::binary);
            files[entry.path().string()] = std::string(std::istreambuf_iterator<char>(in), {});
        }
        return files;
    }

    static json command_from(const json& movie, std::uint64_t id, const std::string& command,
                             const std::string& args = "") {
        return {{"type", "fs"}, {"form", movie["form"]}, {"load", movie["load"]},
                {"id", id},     {"command", command},    {"args", args}};
    }
    // Raises a command from the stage and plays the stage's part until the host has done it (answering
    // GetVariable with "12"); the value the host set in `variable`, or "<none>".
    static std::string play_command(stage_client& stage, const json& movie, std::uint64_t id,
                                    const std::string& command, const std::string& args = "",
                                    const std::string& variable = "") {
        stage.send(command_from(movie, id, command, args));
        std::string value = "<none>";
        for (json message = stage.read(); !message.is_null(); message = stage.read()) {
            const std::string type = message.value("type", "");
            if (type == "get") stage.send({{"type", "value"}, {"id", message["id"]}, {"value", "12"}});
            if (type == "set" && message["name"] == variable) value = message["value"].get<std::string>();
            if (type == "movie" && message["url"] != "") stage.skipped.push_back(message);
            if (type == "done" && message["id"] == id) return value;
        }
        return "<no answer>";
    }
};

// Ctrl-C or SIGTERM with a game paid: the recall closes the game at once, naming the stop, and the log
// says the cabinet stopped.
TEST_F(Cabinet, AStopByASignalClosesThePaidGameAndIsLogged) {
    std::thread stage([&] {
        stage_client client(port(), key());
        ASSERT_EQ(client.connect(), 101);
        json intro = client.read_until("movie");
        while (intro["url"] == "") intro = client.read_until("movie");
        play_command(client, intro, 1, "INTRO_END");
        const auto game = std::find_if(client.skipped.rbegin(), client.skipped.rend(),
                                       [](const json& m) { return m["type"] == "movie" && m["form"] == "main"; });
        ASSERT_NE(game, client.skipped.rend());
        play_command(client, *game, 2, "USE_CREDIT");
        link->interrupt();
        EXPECT_EQ(client.read_until("exit")["status"], exit_interrupted);
    });
    const int status = run_player(t.host, *link, program, stderr);
    stage.join();
    EXPECT_EQ(status, exit_interrupted);
    EXPECT_NE(t.read("system/logs/recall.txt").find("ended=SIGTERM or SIGINT (the host was stopped)"),
              std::string::npos);
    EXPECT_NE(t.read("system/logs/log.txt").find("HOST STOPPED (SIGTERM or SIGINT)"), std::string::npos);
}

// The kiosk browser dies mid-game: the paid game is closed at once, naming the restart, before the game
// movie starts afresh.
TEST_F(Cabinet, ARestartOfTheKioskBrowserClosesThePaidGame) {
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
    quizhost::testing::temp_folder profiles;
    kiosk_supervisor kiosk("/usr/bin/chromium", {}, profiles.path(),
                           {[&](const process_launch&) -> std::unique_ptr<child_process> {
                                dead = false;
                                return std::make_unique<fake_browser>(dead);
                            },
                            [&] { return link->address(); }, [](const std::string&) {}});
    kiosk.start(std::chrono::steady_clock::now());
    std::thread stage([&] {
        stage_client client(port(), key());
        ASSERT_EQ(client.connect(), 101);
        json intro = client.read_until("movie");
        while (intro["url"] == "") intro = client.read_until("movie");
        play_command(client, intro, 1, "INTRO_END");
        const auto game = std::find_if(client.skipped.rbegin(), client.skipped.rend(),
                                       [](const json& m) { return m["type"] == "movie" && m["form"] == "main"; });
        ASSERT_NE(game, client.skipped.rend());
        const json movie = *game;
        play_command(client, movie, 2, "USE_CREDIT");
        dead = true;
        json fresh = client.read_until("movie");
        while (fresh["url"] == "") fresh = client.read_until("movie");
        play_command(client, fresh, 3, "CLOSE_ALL");
    });
    const int status = run_player(t.host, *link, program, stderr, &kiosk);
    stage.join();
    EXPECT_EQ(status, exit_closed);
    EXPECT_NE(t.read("system/logs/recall.txt").find("ended=a restart of the kiosk browser"), std::string::npos)
        << t.read("system/logs/recall.txt");
}

TEST_F(Cabinet, ProgramsWithoutTheSecretRaiseNothingEvenInAFlood) {
#ifdef _WIN32
    const int flood = 200;  // every connection is a few emulated system calls under wine
#else
    const int flood = 10000;
#endif
    std::map<std::string, std::string> before, after;
    double bank_before = 0, bank_after = 0;
    std::size_t calls_before = 0, calls_after = 0;
    std::string bank_answers;
    std::thread stage([&] {
        stage_client client(port(), key());
        ASSERT_EQ(client.connect(), 101);
        json intro = client.read_until("movie");
        while (intro["url"] == "") intro = client.read_until("movie");
        play_command(client, intro, 1, "INTRO_END");
        const auto game = std::find_if(client.skipped.rbegin(), client.skipped.rend(),
                                       [](const json& m) { return m["type"] == "movie" && m["form"] == "main"; });
        ASSERT_NE(game, client.skipped.rend());
        const json movie = *game;
        bank_answers = play_command(client, movie, 2, "GET_BANK", "", "vb_bank");
        before = cabinet_files();
        bank_before = t.credit->bank;
        calls_before = t.credit->calls.size();

        std::string wrong = key();
        wrong.front() = wrong.front() == 'f' ? 'e' : 'f';
        const auto frames = [&](std::uint64_t id) {
            std::string bytes;
            for (const auto& [command, args] :
                 std::vector<std::pair<std::string, std::string>>{{"ADD_TO_BANK", "5000"},
                                                                  {"RESET_CASHPOT", ""},
                                                                  {"UPDATE_METERS", "1,1,1,1,1"},
                                                                  {"CLOSE_ALL", ""}}) {
                bytes += client_text_frame(command_from(movie, id, command, args).dump());
            }
            return bytes;
        };
        // As a browser's WebSocket would, then raw with the commands right behind the upgrade.
        EXPECT_EQ(stage_client(port()).connect(), 403);
        EXPECT_EQ(stage_client(port(), wrong).connect(), 403);
        EXPECT_EQ(stage_client(port(), key()).connect(), 409) << "a second page took over the game";
        EXPECT_EQ(raw_http(port(), upgrade_request(port(), "/bridge") + frames(3)).status, 403);
        EXPECT_EQ(raw_http(port(), upgrade_request(port(), "/bridge?key=" + wrong) + frames(4)).status, 403);
        EXPECT_EQ(raw_http(port(), upgrade_request(port(), "/bridge?key=" + key()) + frames(5)).status, 409);
        for (int i = 0; i < flood; ++i) {
            const std::string target = i % 2 == 0 ? "/bridge" : "/bridge?key=" + wrong;
            const auto response = raw_http(port(), upgrade_request(port(), target) + frames(6 + i));
            if (response.status != 403) {
                ADD_FAILURE() << "connection " << i << " of the flood: " << response.status;
                break;
            }
        }
        after = cabinet_files();
        bank_after = t.credit->bank;
        calls_after = t.credit->calls.size();
        // The stage plays on, and the host answers it as before.
        bank_answers += " " + play_command(client, movie, 9, "GET_BANK", "", "vb_bank");
        play_command(client, movie, 10, "CLOSE_ALL");
    });
    const int status = run_player(t.host, *link, program, stderr);
    stage.join();
    EXPECT_EQ(status, exit_closed);
    EXPECT_EQ(bank_answers, "2000 2000");
    EXPECT_EQ(before, after);
    EXPECT_EQ(t.read("system/logs/log.txt").find("ADD_TO_BANK"), std::string::npos);
    EXPECT_EQ(bank_after, bank_before);
    EXPECT_EQ(calls_after, calls_before) << "a call reached the credit system";
    EXPECT_TRUE(quizhost::testing::lines_starting(t.events.lines, "fs\tmain\tADD_TO_BANK").empty());
    EXPECT_TRUE(quizhost::testing::lines_starting(t.events.lines, "fs\tmain\tRESET_CASHPOT").empty());
    EXPECT_EQ(link->refused_connections(), static_cast<std::uint64_t>(flood + 6));
    // The flood is told in a few lines on standard error, never one line per refusal.
    const auto refusals = std::count_if(
        log.begin(), log.end(), [](const std::string& line) { return line.find("refused") != std::string::npos; });
    EXPECT_LE(refusals, 12) << ::testing::PrintToString(log);
}

TEST_F(Player, AnAnswerForAPageThatWentAwayMidCommandIsDroppedAndTheNewPageGetsTheState) {
    std::thread stage([&] {
        json loaded;
        {
            stage_client first(port(), key());
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
            connected.emplace(port(), key());
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
        stage_client client(port(), key());
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
    std::atomic<int> watchdog_pings{0};
    // The stage goes on once the loop has pinged `more` times since `from` (or after 5 s): a busy
    // machine's loop pings late, not never.
    const auto await_pings = [&](int from, int more) {
        const auto give_up = clock::now() + std::chrono::seconds(5);
        while (watchdog_pings < from + more && clock::now() < give_up)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    };
    std::thread listener([&] {
        timeval wait{0, 50000};
        ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        char buffer[256];
        while (listening) {
            const ssize_t got = ::recv(sock, buffer, sizeof buffer, 0);
            if (got <= 0) continue;
            messages.push_back({std::string(buffer, static_cast<std::size_t>(got)), clock::now()});
            if (messages.back().text == "WATCHDOG=1") ++watchdog_pings;
        }
    });
    clock::time_point stage_connected, stall_began, stall_ended;
    std::thread stage([&] {
        stage_client client(port(), key());
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stage_connected = clock::now();
        ASSERT_EQ(client.connect(), 101);
        json loaded = client.read_until("movie");
        while (loaded["url"] == "") loaded = client.read_until("movie");
        await_pings(watchdog_pings, 4);
        client.send(fs("intro", loaded["load"], 1, "STALL"));
        client.read_until("done");
        await_pings(watchdog_pings, 3);
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
