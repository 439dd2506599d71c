// The credit service as a process: its answers to every message and to bad requests, clients that give up
// early, its coin slot, the host's socket channel against it, and credit and bank under concurrent load.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <atomic>
#include <filesystem>
#include <random>
#include <thread>

#include "basic/numbers.hpp"
#include "credit/credit_link.hpp"
#include "definitions.hpp"
#include "platform/loopback_socket.hpp"
#include "support/credit_service_process.hpp"
#include "support/e2e.hpp"
#include "support/test_host.hpp"

namespace quizhost {
namespace {

using testing::bin_path;
using testing::credit_service_process;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::run_program;
using namespace std::chrono_literals;

testing::run_result service_program(const std::vector<std::string>& args) {
    return run_program(bin_path("quizhost-credit-service"), args);
}

std::string ask(int port, const std::string& request) {
    const exchange_outcome outcome = exchange_line(port, request);
    return outcome.answered() ? outcome.reply : "failed: " + outcome.failure;
}

struct service_folder : testing::test_host {
    std::string state_path() const { return path("credit_state.txt"); }
    std::string state() const { return read("credit_state.txt"); }
};

TEST(CreditService, AnswersEveryMessageWithOneLine) {
    service_folder t;
    t.write("credit_state.txt", "credit,150\r\nbank,20\r\n");
    credit_service_process service(t.state_path());
    const int port = service.port();
    EXPECT_EQ(ask(port, "GET_CREDIT \r\n"), "CREDIT 150\r\n");
    EXPECT_EQ(ask(port, "GET_BANK \r\n"), "BANK 20\r\n");
    EXPECT_EQ(ask(port, "USE_CREDIT \r\n"), "OK DONE\r\n");
    EXPECT_EQ(ask(port, "ADD_BANK 12.5\r\n"), "OK DONE\r\n");
    EXPECT_EQ(ask(port, "GAME_EXIT \r\n"), "OK BYE\r\n");
    EXPECT_EQ(t.state(), "credit,100\r\nbank,32.5\r\n");
    EXPECT_FALSE(t.exists("credit_state.txt.new"));
}

TEST(CreditService, TakesNoMoreThanThereIs) {
    service_folder t;
    t.write("credit_state.txt", "credit,30\r\n");
    credit_service_process service(t.state_path(), {"--price", "20"});
    EXPECT_EQ(ask(service.port(), "USE_CREDIT \r\n"), "OK DONE\r\n");
    EXPECT_EQ(ask(service.port(), "USE_CREDIT \r\n"), "OK REFUSED\r\n");
    EXPECT_EQ(t.state(), "credit,10\r\n");
}

TEST(CreditService, BadRequestsGetAnErrorLineAndChangeNothing) {
    service_folder t;
    t.write("credit_state.txt", "credit,150\r\nbank,20\r\n");
    credit_service_process service(t.state_path());
    const int port = service.port();
    EXPECT_EQ(ask(port, "GET_CREDIT\r\n"), "ERROR malformed-request\r\n");
    EXPECT_EQ(ask(port, "\r\n"), "ERROR malformed-request\r\n");
    EXPECT_EQ(ask(port, "get_credit \r\n"), "ERROR unknown-message\r\n");
    EXPECT_EQ(ask(port, "ADD_BANK abc\r\n"), "ERROR bad-amount\r\n");
    EXPECT_EQ(ask(port, "ADD_BANK \r\n"), "ERROR bad-amount\r\n");
    EXPECT_EQ(ask(port, "ADD_BANK -5\r\n"), "ERROR bad-amount\r\n");
    EXPECT_EQ(ask(port, "ADD_BANK 5 5\r\n"), "ERROR bad-amount\r\n");
    EXPECT_EQ(ask(port, std::string(3000, 'A') + "\r\n"), "ERROR request-too-long\r\n");
    EXPECT_EQ(ask(port, "GET_BANK x\n"), "BANK 20\r\n");  // parameters of a query are ignored; a bare LF ends a line
    EXPECT_EQ(t.state(), "credit,150\r\nbank,20\r\n");
}

TEST(CreditService, SeveralRequestsOnOneConnectionAreAnsweredInTurn) {
    service_folder t;
    t.write("credit_state.txt", "credit,7\r\n");
    credit_service_process service(t.state_path());
    const exchange_outcome outcome = exchange_line(service.port(), "ADD_BANK 3\r\nGET_BANK \r\n");
    EXPECT_EQ(outcome.reply, "OK DONE\r\n");  // the exchange reads the first line only
    EXPECT_EQ(ask(service.port(), "GET_BANK \r\n"), "BANK 3\r\n");
}

TEST(CreditService, SurvivesClientsThatGiveUpEarly) {
    service_folder t;
    t.write("credit_state.txt", "credit,150\r\n");
    credit_service_process service(t.state_path());
    const int port = service.port();
    for (const std::string& partial : {std::string(""), std::string("GET_CRE"), std::string("USE_CREDIT \r\n")}) {
        // Connects, says part of a request (or a whole one), and hangs up without reading the reply.
        exchange_line(port, partial, {2000ms, 1ms, 1024});
    }
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(ask(port, "GET_CREDIT \r\n"), "CREDIT 100\r\n");
}

TEST(CreditService, LetsASilentClientGoSoOthersAreServed) {
    service_folder t;
    t.write("credit_state.txt", "credit,150\r\n");
    credit_service_process service(t.state_path());
    std::thread silent([port = service.port()] { exchange_line(port, "", {2000ms, 8000ms, 1024}); });
    std::this_thread::sleep_for(200ms);
    const exchange_outcome outcome = exchange_line(service.port(), "GET_CREDIT \r\n", {2000ms, 8000ms, 1024});
    silent.join();
    EXPECT_EQ(outcome.reply, "CREDIT 150\r\n") << outcome.failure;
}

TEST(CreditService, ExitsWithAClearMessageWhenItCannotStart) {
    service_folder t;
    const auto missing_folder = service_program({"--port", "0", "--state", t.path("no/such/state.txt")});
    EXPECT_EQ(missing_folder.status, 1);
    EXPECT_THAT(missing_folder.err, HasSubstr("cannot use the state file"));
    EXPECT_EQ(service_program({"--port", "70000"}).status, exit_usage);
    EXPECT_EQ(service_program({"--price", "0"}).status, exit_usage);
    EXPECT_EQ(service_program({"--bogus"}).status, exit_usage);

    credit_service_process first(t.state_path());
    const auto taken = service_program({"--port", std::to_string(first.port()), "--state", t.state_path()});
    EXPECT_EQ(taken.status, 1);
    EXPECT_THAT(taken.err, HasSubstr("Address already in use"));
}

TEST(CreditService, InsertAddsCreditsAndRefusesAnythingButAWholeCount) {
    service_folder t;
    t.write("credit_state.txt", "bank,5\r\n");
    const auto insert = [&t](const std::string& credits) {
        return service_program({"insert", credits, "--state", t.state_path()});
    };
    const auto added = insert("100");
    EXPECT_EQ(added.status, 0);
    EXPECT_EQ(added.out, "credit 100\n");
    EXPECT_EQ(insert("25").out, "credit 125\n");
    for (const char* bad : {"0", "-5", "2.5", "abc", "", "10001"}) {
        const auto refused = insert(bad);
        EXPECT_EQ(refused.status, exit_usage) << bad;
        EXPECT_THAT(refused.err, HasSubstr("whole number from 1 to 10000")) << bad;
    }
    EXPECT_EQ(t.state(), "bank,5\r\ncredit,125\r\n");
    EXPECT_EQ(service_program({"insert"}).status, exit_usage);
}

// --- the host's socket channel against the service ---------------------------------------------------

struct meridian_cabinet : service_folder {
    explicit meridian_cabinet(int port) {
        host.credit.platform_code = 0;
        host.credit_port = port;
        host.money.price_per_play = 50;
        // Money's intents and outcomes go to the game recall below the system folder.
        set_paths();
        write("system/logs/log.txt", "");
    }
};

TEST(CreditService, ServesTheHostsSocketChannel) {
    service_folder folder;
    folder.write("credit_state.txt", "credit,120\r\nbank,0\r\n");
    credit_service_process service(folder.state_path());
    meridian_cabinet t(service.port());
    EXPECT_EQ(channel_get_credit(t.host), 120);
    channel_use_credit(t.host);
    channel_use_credit(t.host);
    channel_use_credit(t.host);  // 20 left: only asks
    channel_add_to_bank(t.host, 12.5, "12.5");
    EXPECT_EQ(channel_get_bank(t.host), 12.5);
    channel_goodbye(t.host);
    EXPECT_EQ(folder.state(), "credit,20\r\nbank,12.5\r\n");
    std::vector<std::string> requests;
    for (const auto& line : t.events.lines) requests.push_back(line.substr(0, line.rfind('\t')));
    EXPECT_THAT(
        requests,
        ElementsAre("credit\tsocket\tGET_CREDIT ", "credit\tsocket\tGET_CREDIT ", "credit\tsocket\tUSE_CREDIT ",
                    "credit\tsocket\tGET_CREDIT ", "credit\tsocket\tUSE_CREDIT ", "credit\tsocket\tGET_CREDIT ",
                    "credit\tsocket\tADD_BANK 12.5", "credit\tsocket\tGET_BANK ", "credit\tsocket\tGAME_EXIT "));
    EXPECT_EQ(t.events.lines.back(), "credit\tsocket\tGAME_EXIT \tOK BYE");
}

// --- under load --------------------------------------------------------------------------------------

// A folder on a memory file system where there is one: the load test counts requests, not disk syncs.
class memory_folder {
public:
    memory_folder() {
#ifdef _WIN32
        path_ = (std::filesystem::temp_directory_path() / ("quizhost-load-" + std::to_string(std::random_device{}())))
                    .string();
        std::filesystem::create_directories(path_);
#else
        const std::filesystem::path base =
            std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
        std::string pattern = (base / "quizhost-load-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
#endif
    }
    ~memory_folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

TEST(CreditServiceUnderLoad, ConservesCreditAndBankOverTenThousandRequestsFromEightClients) {
    constexpr int clients = 8;
    constexpr int requests_per_client = 1250;
    constexpr double price = 7;
    constexpr double start_credit = 5000;
    constexpr int coins = 20;
    const memory_folder folder;
    const std::string state_path = folder.path() + "/credit_state.txt";
    {
        std::FILE* state = std::fopen(state_path.c_str(), "wb");
        std::fputs("credit,5000\r\nbank,0\r\n", state);
        std::fclose(state);
    }
    credit_service_process service(state_path, {"--price", "7"});

    std::atomic<long> games_taken{0};
    std::atomic<long> games_refused{0};
    std::atomic<long> bank_added{0};
    std::atomic<long> failures{0};
    std::vector<std::thread> threads;
    for (int client = 0; client < clients; ++client) {
        threads.emplace_back([&, client] {
            std::mt19937 draw(static_cast<unsigned>(client + 1));
            for (int i = 0; i < requests_per_client; ++i) {
                std::string request;
                long amount = 0;
                switch (draw() % 4) {
                    case 0:
                        request = "GET_CREDIT \r\n";
                        break;
                    case 1:
                        request = "GET_BANK \r\n";
                        break;
                    case 2:
                        request = "USE_CREDIT \r\n";
                        break;
                    default:
                        amount = static_cast<long>(draw() % 50) + 1;
                        request = "ADD_BANK " + std::to_string(amount) + "\r\n";
                }
                const exchange_outcome outcome = exchange_line(service.port(), request);
                if (!outcome.answered()) {
                    ++failures;
                } else if (outcome.reply == "OK DONE\r\n") {
                    if (amount > 0)
                        bank_added += amount;
                    else
                        ++games_taken;
                } else if (outcome.reply == "OK REFUSED\r\n") {
                    ++games_refused;
                } else if (outcome.reply.rfind("CREDIT ", 0) == 0) {
                    if (leading_number(outcome.reply.substr(7)) < 0) ++failures;
                } else if (outcome.reply.rfind("BANK ", 0) != 0) {
                    ++failures;
                }
            }
        });
    }
    // Coins go in through the slot while the service is busy.
    for (int coin = 0; coin < coins; ++coin) {
        EXPECT_EQ(service_program({"insert", "1", "--state", state_path}).status, 0);
    }
    for (auto& thread : threads) thread.join();

    EXPECT_EQ(failures.load(), 0);
    EXPECT_GT(games_refused.load(), 0);  // the credit ran out, so refusals were exercised
    const std::string final_credit = ask(service.port(), "GET_CREDIT \r\n");
    const std::string final_bank = ask(service.port(), "GET_BANK \r\n");
    EXPECT_EQ(
        final_credit,
        "CREDIT " + number_to_text(start_credit + coins - price * static_cast<double>(games_taken.load())) + "\r\n");
    EXPECT_EQ(final_bank, "BANK " + std::to_string(bank_added.load()) + "\r\n");
    EXPECT_GE(leading_number(final_credit.substr(7)), 0);
}

}  // namespace
}  // namespace quizhost
