// A credit service that misbehaves on purpose, for tests of the host's socket link: a real TCP listener
// on 127.0.0.1 that reads each request line and then does what the test told it to do for that message
// (answer, answer late, hang up, reset, talk garbage, send a flood). Each connection has a thread of its
// own, so a reply held back on one request does not hold up the next, as with a service that serves
// clients in parallel. Messages without a reaction get "OK DONE".
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/loopback_socket.hpp"

namespace quizhost::testing {

class faulty_credit_service {
public:
    // What the service does with one connection once its request line is read (the line has its CR LF).
    using reaction = std::function<void(faulty_credit_service&, loopback_connection&, const std::string& request)>;

    faulty_credit_service();
    ~faulty_credit_service();
    faulty_credit_service(const faulty_credit_service&) = delete;
    faulty_credit_service& operator=(const faulty_credit_service&) = delete;

    int port() const { return listener_->port(); }
    // The reaction to requests for `message` ("GET_CREDIT").
    void on(const std::string& message, reaction react);
    // Every connection is reset as soon as it is accepted, before anything is read.
    void reset_every_connection() { reset_all_ = true; }
    // The request lines in the order they were read.
    std::vector<std::string> requests();

    // Waits `delay`, or less when the service is stopped; false when it was stopped.
    bool pause(std::chrono::milliseconds delay);

    // Reactions.
    static reaction answer(std::string bytes);                                 // send the bytes, close
    static reaction late(std::chrono::milliseconds delay, std::string bytes);  // wait, then as answer
    static reaction reset_after(std::string bytes);                            // send the bytes, then reset
    static reaction flood(std::string first, std::size_t total);  // `first`, then filler up to `total` bytes

private:
    void accept_loop();
    void serve(std::unique_ptr<loopback_connection> connection);

    std::unique_ptr<loopback_listener> listener_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> reset_all_{false};
    std::mutex mutex_;
    std::condition_variable stopped_;
    std::map<std::string, reaction> reactions_;
    std::vector<std::string> requests_;
    std::vector<std::thread> connections_;
    std::thread acceptor_;
};

}  // namespace quizhost::testing
