// The bridge's connection places under attack: idle and trickling connections, this user's or another's
// (nobody, through setpriv), never keep the stage out, and a request not sent whole in time is closed.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifndef _WIN32

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <thread>

#include "platform/web/bridge.hpp"
#include "support/test_host.hpp"
#include "web_client.hpp"

extern char** environ;

namespace quizhost::web {
namespace {

using namespace std::chrono_literals;
using quizhost::testing::key_of;
using quizhost::testing::stage_client;
using clock_type = std::chrono::steady_clock;

class BridgeSlots : public ::testing::Test {
protected:
    void SetUp() override {
        link.emplace(bridge_options{folder.path(), 0, false, [](const std::string&) {}});
    }
    int port() const { return link->port(); }
    std::string key() const { return key_of(link->stage_url()); }

    // Runs `client` on a thread of its own while the bridge serves on this one.
    template <class Client>
    void serve_while(Client client) {
        std::atomic<bool> done{false};
        std::thread thread([&] {
            client();
            done = true;
        });
        const auto deadline = clock_type::now() + 60s;
        while (!done && clock_type::now() < deadline) link->run_for(5ms);
        thread.join();
    }

    // How long the stage takes to be let in (and whether it was).
    std::optional<std::chrono::milliseconds> stage_connects() const {
        stage_client stage(port(), key());
        const auto start = clock_type::now();
        if (stage.connect() != 101) return std::nullopt;
        return std::chrono::duration_cast<std::chrono::milliseconds>(clock_type::now() - start);
    }

    quizhost::testing::temp_folder folder;
    std::optional<bridge> link;
};

int open_connection(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// True when the server closed `fd` (an orderly close or a reset) within `bound`.
bool closed_within(int fd, std::chrono::milliseconds bound) {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(bound.count())) <= 0) return false;
    char byte = 0;
    return ::recv(fd, &byte, 1, 0) <= 0;
}

TEST_F(BridgeSlots, ARequestNotSentWholeInTimeIsClosedEvenWhenItTrickles) {
    serve_while([&] {
        const int silent = open_connection(port());
        const int trickle = open_connection(port());
        ASSERT_GE(silent, 0);
        ASSERT_GE(trickle, 0);
        const auto start = clock_type::now();
        const std::string request = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n";
        bool trickle_closed = false;
        for (std::size_t i = 0; i < 20 && !trickle_closed; ++i) {
            (void)::send(trickle, &request[i % request.size()], 1, MSG_NOSIGNAL);
            trickle_closed = closed_within(trickle, 300ms);
        }
        const auto took = clock_type::now() - start;
        EXPECT_TRUE(trickle_closed) << "a byte every 300 ms kept the connection for 6 s";
        EXPECT_GE(took, 1500ms);
        EXPECT_LE(took, 4s);
        EXPECT_TRUE(closed_within(silent, 1s)) << "the silent connection outlived the trickling one";
        ::close(silent);
        ::close(trickle);
    });
}

TEST_F(BridgeSlots, IdleConnectionsOfThisUserNeverKeepTheStageOut) {
    serve_while([&] {
        std::vector<int> idle;
        for (int i = 0; i < 100; ++i) idle.push_back(open_connection(port()));
        std::this_thread::sleep_for(200ms);  // every one accepted, every place taken
        const auto first = stage_connects();
        ASSERT_TRUE(first.has_value());
        EXPECT_LT(*first, 1s);
        // And again after the stage went: the newcomer takes the oldest waiting connection's place.
        const auto again = stage_connects();
        ASSERT_TRUE(again.has_value());
        EXPECT_LT(*again, 1s);
        for (const int fd : idle) ::close(fd);
    });
}

// The flood script as nobody, killed with the test.
class flood_as_nobody {
public:
    flood_as_nobody(int port, int connections, int seconds) {
        int out[2];
        if (::pipe(out) != 0) return;
        std::vector<std::string> args = {
            "/usr/bin/setpriv",     "--reuid=nobody",
            "--regid=nogroup",      "--clear-groups",
            "/usr/bin/python3",     std::string(QUIZHOST_SOURCE_DIR) + "/tests/support/slot_flood.py",
            std::to_string(port),   std::to_string(connections),
            std::to_string(seconds)};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        output_ = out[0];
    }
    ~flood_as_nobody() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0) ::close(output_);
    }
    flood_as_nobody(const flood_as_nobody&) = delete;
    flood_as_nobody& operator=(const flood_as_nobody&) = delete;

    // What it printed so far, waiting up to `bound` for `what` to appear.
    std::string wait_for(const std::string& what, std::chrono::milliseconds bound) {
        const auto deadline = clock_type::now() + bound;
        while (said_.find(what) == std::string::npos && clock_type::now() < deadline && output_ >= 0) {
            pollfd entry{output_, POLLIN, 0};
            if (::poll(&entry, 1, 100) <= 0) continue;
            char buffer[256];
            const ssize_t got = ::read(output_, buffer, sizeof buffer);
            if (got <= 0) break;
            said_.append(buffer, static_cast<std::size_t>(got));
        }
        return said_;
    }

private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string said_;
};

TEST_F(BridgeSlots, TwoHundredIdleOrTricklingConnectionsOfAnotherUserNeverKeepTheStageOut) {
    if (::geteuid() != 0 || ::access("/usr/bin/setpriv", X_OK) != 0 || ::access("/usr/bin/python3", X_OK) != 0) {
        GTEST_SKIP() << "needs root, setpriv and python3 to connect as another user";
    }
    flood_as_nobody flood(port(), 200, 30);
    serve_while([&] {
        ASSERT_THAT(flood.wait_for("holding 200", 20s), ::testing::HasSubstr("holding 200"));
        std::this_thread::sleep_for(500ms);  // the flood has every place it can get
        std::chrono::milliseconds slowest{0};
        for (int i = 0; i < 5; ++i) {
            const auto took = stage_connects();
            ASSERT_TRUE(took.has_value()) << "the stage was kept out at attempt " << i + 1;
            slowest = std::max(slowest, *took);
            // The stage's page and runtime load as well.
            const auto start = clock_type::now();
            EXPECT_EQ(quizhost::testing::http_request(port(), "GET", "/").status, 200);
            slowest =
                std::max(slowest, std::chrono::duration_cast<std::chrono::milliseconds>(clock_type::now() - start));
            std::this_thread::sleep_for(300ms);
        }
        EXPECT_LT(slowest, 1s);
        std::printf(
            "[ figure   ] 200 connections of nobody, idle or trickling: the stage connected within %lld ms "
            "(slowest of 5)\n",
            static_cast<long long>(slowest.count()));
    });
}

}  // namespace
}  // namespace quizhost::web

#endif
