// The socket channel against peers the test scripts: the exact request bytes, replies in pieces, and peers
// that refuse, stay silent, talk too long or hang up, each of which must end the command within its bound.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <atomic>
#include <mutex>
#include <thread>

#include "credit/credit_link.hpp"
#include "definitions.hpp"
#include "platform/loopback_socket.hpp"
#include "support/run_time_errors.hpp"
#include "support/test_host.hpp"

namespace quizhost {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using namespace std::chrono_literals;
using steady = std::chrono::steady_clock;

using testing::error_of;

double seconds_since(steady::time_point start) { return std::chrono::duration<double>(steady::now() - start).count(); }

// What the peer does with one connection, after reading the request line.
struct step {
    std::vector<std::string> pieces;  // sent in order, `gap` apart
    std::chrono::milliseconds gap{0};
    bool silent = false;  // holds the connection open and never answers
    bool reset = false;   // ends with a reset instead of an orderly close
};

step reply(std::string line) { return step{{std::move(line)}}; }

// A peer on 127.0.0.1 that takes one connection per step, records each request and answers as scripted.
class scripted_peer {
public:
    explicit scripted_peer(std::vector<step> steps) : listener_(listen_on_loopback(0)), steps_(std::move(steps)) {
        worker_ = std::thread([this] { run(); });
    }
    ~scripted_peer() {
        stop_ = true;
        worker_.join();
    }
    int port() const { return listener_->port(); }
    std::vector<std::string> requests() {
        const std::lock_guard<std::mutex> hold(mutex_);
        return requests_;
    }

private:
    void run() {
        for (const step& s : steps_) {
            std::unique_ptr<loopback_connection> connection;
            while (!connection && !stop_) connection = listener_->accept(20ms);
            if (!connection) return;
            std::string request;
            connection->read_line(request, 4096, 2s);
            {
                const std::lock_guard<std::mutex> hold(mutex_);
                requests_.push_back(request);
            }
            if (s.silent) {
                while (!stop_) std::this_thread::sleep_for(10ms);
                return;
            }
            for (std::size_t i = 0; i < s.pieces.size(); ++i) {
                if (i > 0) std::this_thread::sleep_for(s.gap);
                connection->send_all(s.pieces[i]);
            }
            if (s.reset) connection->reset_on_close();
        }
    }

    std::unique_ptr<loopback_listener> listener_;
    std::vector<step> steps_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread worker_;
};

// A port on which nothing listens (taken and let go again).
int free_port() { return listen_on_loopback(0)->port(); }

struct socket_cabinet : testing::test_host {
    explicit socket_cabinet(int port) {
        host.credit.platform_code = 0;
        host.credit_port = port;
        host.money.price_per_play = 50;
        // Money's intents and outcomes go to the game recall below the system folder.
        set_paths();
        write("system/logs/log.txt", "");
    }
    std::vector<std::string> credit_events() const {
        std::vector<std::string> found;
        for (const auto& line : events.lines) {
            if (line.rfind("credit\t", 0) == 0) found.push_back(line.substr(7));
        }
        return found;
    }
};

// --- requests and replies of the channel -------------------------------------------------------------

TEST(SocketChannel, GetCreditAndGetBankSendTheExactBytesAndReadTheNumber) {
    scripted_peer peer({reply("CREDIT 150\r\n"), reply("BANK 12.5\r\n")});
    socket_cabinet t(peer.port());
    EXPECT_EQ(channel_get_credit(t.host), 150);
    EXPECT_EQ(channel_get_bank(t.host), 12.5);
    EXPECT_THAT(peer.requests(), ElementsAre("GET_CREDIT \r\n", "GET_BANK \r\n"));
    EXPECT_THAT(t.credit_events(), ElementsAre("socket\tGET_CREDIT \tCREDIT 150", "socket\tGET_BANK \tBANK 12.5"));
}

TEST(SocketChannel, AddToBankSendsTheArgumentTextAsReceived) {
    scripted_peer peer({reply("OK DONE\r\n"), reply("OK DONE\r\n")});
    socket_cabinet t(peer.port());
    channel_add_to_bank(t.host, 250, "250");
    channel_add_to_bank(t.host, 12.5, " 12.50abc");
    EXPECT_THAT(peer.requests(), ElementsAre("ADD_BANK 250\r\n", "ADD_BANK  12.50abc\r\n"));
}

TEST(SocketChannel, AnAmountWithLineBreaksStaysOneRequest) {
    scripted_peer peer({reply("OK DONE\r\n"), reply("BANK 5\r\n")});
    socket_cabinet t(peer.port());
    channel_add_to_bank(t.host, 5, "5\r\nUSE_CREDIT ");
    channel_get_bank(t.host);  // the next exchange is a request of its own, not a smuggled one
    EXPECT_THAT(peer.requests(), ElementsAre("ADD_BANK 5  USE_CREDIT \r\n", "GET_BANK \r\n"));
}

TEST(SocketChannel, UseCreditWithShortCreditSendsOnlyTheCreditQuery) {
    scripted_peer peer({reply("CREDIT 49\r\n"), reply("OK DONE\r\n")});
    socket_cabinet t(peer.port());
    channel_use_credit(t.host);
    EXPECT_THAT(peer.requests(), ElementsAre("GET_CREDIT \r\n"));
    EXPECT_THAT(t.credit_events(), ElementsAre("socket\tGET_CREDIT \tCREDIT 49"));
}

TEST(SocketChannel, UseCreditWithEnoughCreditTakesIt) {
    scripted_peer peer({reply("CREDIT 50\r\n"), reply("OK DONE\r\n")});
    socket_cabinet t(peer.port());
    channel_use_credit(t.host);
    EXPECT_THAT(peer.requests(), ElementsAre("GET_CREDIT \r\n", "USE_CREDIT \r\n"));
}

TEST(SocketChannel, GoodbyeSendsGameExitAndFreeGameSendsNothing) {
    scripted_peer peer({reply("OK BYE\r\n")});
    socket_cabinet t(peer.port());
    channel_free_game(t.host);
    channel_goodbye(t.host);
    EXPECT_THAT(peer.requests(), ElementsAre("GAME_EXIT \r\n"));
}

TEST(SocketChannel, AReplyOfAnotherKindIsTakenAsTextWhereANumberIsNeeded) {
    scripted_peer peer({reply("OK 75\r\n"), reply("ERROR busy\r\n"), reply("BANK 12\r\n")});
    socket_cabinet t(peer.port());
    EXPECT_EQ(channel_get_credit(t.host), 75);
    EXPECT_EQ(error_of([&] { channel_get_credit(t.host); }), type_mismatch);
    EXPECT_EQ(channel_get_credit(t.host), 12);  // the kind is not checked against the request
}

TEST(SocketChannel, AReplyInPiecesIsReadToItsLineEnd) {
    step split_word{{"CRE", "DIT 150\r\n"}, 150ms};
    step split_line_end{{"CREDIT 160\r", "\n"}, 100ms};
    step byte_by_byte{{"B", "A", "N", "K", " ", "7", "\r", "\n"}, 10ms};
    scripted_peer peer({split_word, split_line_end, byte_by_byte});
    socket_cabinet t(peer.port());
    EXPECT_EQ(channel_get_credit(t.host), 150);
    EXPECT_EQ(channel_get_credit(t.host), 160);
    EXPECT_EQ(channel_get_bank(t.host), 7);
}

TEST(SocketChannel, OnlyTheFirstReplyLineCounts) {
    scripted_peer peer({reply("CREDIT 5\r\nBANK 7\r\n")});
    socket_cabinet t(peer.port());
    EXPECT_EQ(channel_get_credit(t.host), 5);
}

// --- peers that misbehave: each ends the command with error 9 ----------------------------------------

TEST(SocketChannel, NoListenerFailsAtOnce) {
    socket_cabinet t(free_port());
    const auto start = steady::now();
    EXPECT_EQ(error_of([&] { channel_get_credit(t.host); }), subscript_out_of_range);
    EXPECT_LT(seconds_since(start), 1.0);
    EXPECT_THAT(t.credit_events(), ElementsAre("socket\tGET_CREDIT \terror 9"));
    EXPECT_EQ(error_of([&] { channel_goodbye(t.host); }), subscript_out_of_range);
}

TEST(SocketChannel, AReplyWithoutASpaceFails) {
    scripted_peer peer({reply("CREDIT150\r\n"), reply("\r\n")});
    socket_cabinet t(peer.port());
    EXPECT_EQ(error_of([&] { channel_get_credit(t.host); }), subscript_out_of_range);
    EXPECT_EQ(error_of([&] { channel_get_credit(t.host); }), subscript_out_of_range);
    EXPECT_THAT(t.credit_events(), ElementsAre("socket\tGET_CREDIT \tCREDIT150", "socket\tGET_CREDIT \t"));
}

TEST(SocketChannel, APeerThatHangsUpBeforeTheLineEndFails) {
    // Read as it came, "CREDIT 150" would lose its last two digits and read as 1.
    step closes{{"CREDIT 150"}};
    step resets{{"CREDIT 150"}, 0ms, false, true};
    scripted_peer peer({closes, resets, step{}});
    socket_cabinet t(peer.port());
    EXPECT_EQ(error_of([&] { channel_get_credit(t.host); }), subscript_out_of_range);
    EXPECT_EQ(error_of([&] { channel_get_credit(t.host); }), subscript_out_of_range);
    EXPECT_EQ(error_of([&] { channel_get_credit(t.host); }), subscript_out_of_range);
    EXPECT_EQ(peer.requests().size(), 3u);
}

TEST(SocketChannel, ASilentPeerFailsTheCommandAfterTheFiveSecondBound) {
    step silent;
    silent.silent = true;
    scripted_peer peer({silent});
    socket_cabinet t(peer.port());
    const auto start = steady::now();
    EXPECT_EQ(error_of([&] { channel_get_credit(t.host); }), subscript_out_of_range);
    const double waited = seconds_since(start);
    EXPECT_GE(waited, 4.9);
    EXPECT_LT(waited, 8.0);
}

TEST(SocketChannel, AReplyLongerThan1024BytesWithoutALineEndFails) {
    scripted_peer peer({reply("CREDIT 1" + std::string(2000, '0') + "\r\n")});
    socket_cabinet t(peer.port());
    EXPECT_EQ(error_of([&] { channel_get_credit(t.host); }), subscript_out_of_range);
}

// --- the exchange's bounds, shortened ----------------------------------------------------------------

TEST(LoopbackExchange, AReplyOfExactly1024BytesIsWholeAndOneMoreIsTooLong) {
    const std::string longest = "OK " + std::string(1019, 'x') + "\r\n";
    ASSERT_EQ(longest.size(), 1024u);
    scripted_peer peer({reply(longest), reply("OK " + std::string(1020, 'x') + "\r\n")});
    const exchange_outcome fits = exchange_line(peer.port(), "USE_CREDIT \r\n");
    EXPECT_TRUE(fits.answered()) << fits.failure;
    EXPECT_EQ(fits.reply, longest);
    const exchange_outcome too_long = exchange_line(peer.port(), "USE_CREDIT \r\n");
    EXPECT_FALSE(too_long.answered());
    EXPECT_EQ(too_long.reply, "");
    EXPECT_THAT(too_long.failure, HasSubstr("longer than 1024 bytes"));
}

TEST(LoopbackExchange, TheReplyBoundCoversAPeerThatTricklesBytes) {
    step trickle{{"C", "R", "E", "D", "I", "T", " ", "1", "\r", "\n"}, 100ms};
    scripted_peer peer({trickle});
    const auto start = steady::now();
    const exchange_outcome outcome = exchange_line(peer.port(), "GET_CREDIT \r\n", {2000ms, 350ms, 1024});
    EXPECT_FALSE(outcome.answered());
    EXPECT_THAT(outcome.failure, HasSubstr("no reply line within 350 ms"));
    EXPECT_LT(seconds_since(start), 2.0);
}

#ifndef _WIN32
// Windows answers a connection to a full backlog with a refusal at once rather than letting it wait, so
// the connect bound is shown with POSIX listeners only.
TEST(LoopbackExchange, ConnectingIsBoundedWhenTheListenerTakesNoMoreConnections) {
    // A listener with a backlog of 0 and one connection already waiting drops further connection attempts.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const int waiting = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(::connect(waiting, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

    const int port = ntohs(address.sin_port);
    auto start = steady::now();
    const exchange_outcome outcome = exchange_line(port, "GET_CREDIT \r\n", {300ms, 5000ms, 1024});
    EXPECT_FALSE(outcome.answered());
    EXPECT_THAT(outcome.failure, HasSubstr("in time"));
    EXPECT_LT(seconds_since(start), 1.5);

    socket_cabinet t(port);
    start = steady::now();
    EXPECT_EQ(error_of([&] { channel_get_credit(t.host); }), subscript_out_of_range);
    const double waited = seconds_since(start);
    EXPECT_GE(waited, 1.9);
    EXPECT_LT(waited, 4.0);
    ::close(waiting);
    ::close(listener);
}
#endif

TEST(LoopbackExchange, PortsOutsideTheTcpRangeFailWithoutConnecting) {
    EXPECT_THAT(exchange_line(0, "X \r\n").failure, HasSubstr("out of range"));
    EXPECT_THAT(exchange_line(70000, "X \r\n").failure, HasSubstr("out of range"));
}

TEST(LoopbackListener, ATakenPortIsPermissionDenied) {
    const auto first = listen_on_loopback(0);
    EXPECT_EQ(error_of([&] { listen_on_loopback(first->port()); }), permission_denied);
}

}  // namespace
}  // namespace quizhost
