#include "service.hpp"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "basic/numbers.hpp"
#include "basic/text.hpp"
#include "credit_state.hpp"
#include "definitions.hpp"
#include "platform/loopback_socket.hpp"

namespace quizhost::credit_service {
namespace {

constexpr std::size_t longest_request = 1024;
constexpr std::chrono::milliseconds stop_check{200};
// A waiting worker looks again this often for one that has finished.
constexpr std::chrono::milliseconds worker_check{10};

std::string line(std::string_view word, std::string_view value) {
    std::string reply(word);
    reply += ' ';
    reply += value;
    reply += "\r\n";
    return reply;
}

std::string_view without_line_end(std::string_view request) {
    if (!request.empty() && request.back() == '\n') request.remove_suffix(1);
    if (!request.empty() && request.back() == '\r') request.remove_suffix(1);
    return request;
}

// The amount of an ADD_BANK: a plain number of at least 0, else none. Digits beyond any double's range
// read as infinity, which no bank can hold: stored, it would read back as 0 and the bank would be gone.
bool read_amount(std::string_view parameters, double& amount) {
    try {
        amount = strict_number(parameters);
    } catch (const run_time_error&) {
        return false;
    }
    return amount >= 0 && std::isfinite(amount);
}

std::string handle(const settings& service, std::string_view name, std::string_view parameters) {
    if (name == "GET_CREDIT")
        return line("CREDIT", number_to_text(standin::credit_state(service.state_path).number("credit")));
    if (name == "GET_BANK")
        return line("BANK", number_to_text(standin::credit_state(service.state_path).number("bank")));
    if (name == "USE_CREDIT") {
        standin::credit_state state(service.state_path);
        if (!state.take("credit", service.price)) return line("OK", "REFUSED");
        state.save();
        return line("OK", "DONE");
    }
    if (name == "ADD_BANK") {
        double amount = 0;
        if (!read_amount(parameters, amount)) return line("ERROR", "bad-amount");
        standin::credit_state state(service.state_path);
        state.add("bank", amount);
        state.save();
        return line("OK", "DONE");
    }
    if (name == "GAME_EXIT") return line("OK", "BYE");
    return line("ERROR", "unknown-message");
}

void serve_connection(loopback_connection& connection, const settings& service, std::mutex& state) {
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + connection_deadline;
    std::string request;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now());
        if (left.count() <= 0) return;  // its time is up, however busy it kept us
        switch (connection.read_line(request, longest_request, left)) {
            case loopback_connection::read_result::line: {
                std::string reply;
                {
                    // One request at a time touches the state file, whichever connection it came on.
                    const std::lock_guard<std::mutex> one_at_a_time(state);
                    reply = answer_request(service, request);
                }
                if (!connection.send_all(reply)) return;
                break;
            }
            case loopback_connection::read_result::too_long:
                connection.send_all(line("ERROR", "request-too-long"));
                return;
            case loopback_connection::read_result::closed:     // the client is done, or gave up early
            case loopback_connection::read_result::timed_out:  // past its deadline: let it go
                return;
        }
    }
}

}  // namespace

std::string answer_request(const settings& service, std::string_view request) {
    request = without_line_end(request);
    const auto space = request.find(' ');
    if (space == std::string_view::npos) return line("ERROR", "malformed-request");
    try {
        return handle(service, request.substr(0, space), request.substr(space + 1));
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "quizhost-credit-service: %s\n", failure.what());
        return line("ERROR", "state-file");
    }
}

void serve(loopback_listener& listener, const settings& service, const std::atomic<bool>& stop) {
    struct worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    std::mutex state;
    std::vector<worker> workers;
    const auto reap = [&workers] {
        for (auto it = workers.begin(); it != workers.end();) {
            if (it->done->load()) {
                it->thread.join();
                it = workers.erase(it);
            } else {
                ++it;
            }
        }
    };
    while (!stop.load()) {
        reap();
        if (workers.size() >= most_connections_at_once) {
            // Every worker is busy; each is done within its deadline.
            std::this_thread::sleep_for(worker_check);
            continue;
        }
        std::shared_ptr<loopback_connection> connection = listener.accept(stop_check);
        if (!connection) continue;
        auto done = std::make_shared<std::atomic<bool>>(false);
        workers.push_back({std::thread([connection, done, &service, &state] {
                               serve_connection(*connection, service, state);
                               done->store(true);
                           }),
                           done});
    }
    for (auto& w : workers) w.thread.join();
}

double insert_credits(const std::string& state_path, double credits) {
    standin::credit_state state(state_path);
    state.add("credit", credits);
    state.save();
    return state.number("credit");
}

}  // namespace quizhost::credit_service
