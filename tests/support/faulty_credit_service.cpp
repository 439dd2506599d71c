#include "support/faulty_credit_service.hpp"

namespace quizhost::testing {

using namespace std::chrono_literals;

faulty_credit_service::faulty_credit_service() : listener_(listen_on_loopback(0)) {
    acceptor_ = std::thread([this] { accept_loop(); });
}

faulty_credit_service::~faulty_credit_service() {
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        stop_ = true;
    }
    stopped_.notify_all();
    acceptor_.join();
    for (std::thread& connection : connections_) connection.join();
}

void faulty_credit_service::on(const std::string& message, reaction react) {
    const std::lock_guard<std::mutex> hold(mutex_);
    reactions_[message] = std::move(react);
}

std::vector<std::string> faulty_credit_service::requests() {
    const std::lock_guard<std::mutex> hold(mutex_);
    return requests_;
}

bool faulty_credit_service::pause(std::chrono::milliseconds delay) {
    std::unique_lock<std::mutex> hold(mutex_);
    return !stopped_.wait_for(hold, delay, [this] { return stop_.load(); });
}

void faulty_credit_service::accept_loop() {
    while (!stop_) {
        std::unique_ptr<loopback_connection> connection = listener_->accept(20ms);
        if (!connection) continue;
        if (reset_all_) {
            connection->reset_on_close();
            continue;
        }
        // Only this thread adds to the list; the destructor joins them after this thread has ended.
        connections_.emplace_back([this, c = std::move(connection)]() mutable { serve(std::move(c)); });
    }
}

void faulty_credit_service::serve(std::unique_ptr<loopback_connection> connection) {
    std::string request;
    if (connection->read_line(request, 4096, 2s) != loopback_connection::read_result::line) return;
    reaction react;
    {
        const std::lock_guard<std::mutex> hold(mutex_);
        requests_.push_back(request);
        const auto found = reactions_.find(request.substr(0, request.find(' ')));
        if (found != reactions_.end()) react = found->second;
    }
    if (!react) react = answer("OK DONE\r\n");
    react(*this, *connection, request);
}

faulty_credit_service::reaction faulty_credit_service::answer(std::string bytes) {
    return [bytes](faulty_credit_service&, loopback_connection& c, const std::string&) { c.send_all(bytes); };
}

faulty_credit_service::reaction faulty_credit_service::late(std::chrono::milliseconds delay, std::string bytes) {
    return [delay, bytes](faulty_credit_service& service, loopback_connection& c, const std::string&) {
        if (service.pause(delay)) c.send_all(bytes);
    };
}

faulty_credit_service::reaction faulty_credit_service::reset_after(std::string bytes) {
    return [bytes](faulty_credit_service&, loopback_connection& c, const std::string&) {
        c.send_all(bytes);
        c.reset_on_close();
    };
}

faulty_credit_service::reaction faulty_credit_service::flood(std::string first, std::size_t total) {
    return [first, total](faulty_credit_service&, loopback_connection& c, const std::string&) {
        if (!c.send_all(first)) return;
        const std::string filler(64 * 1024, 'x');
        for (std::size_t sent = first.size(); sent < total; sent += filler.size()) {
            if (!c.send_all(std::string_view(filler).substr(0, std::min(filler.size(), total - sent)))) return;
        }
    };
}

}  // namespace quizhost::testing
