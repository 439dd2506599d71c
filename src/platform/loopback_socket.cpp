#include "platform/loopback_socket.hpp"

#include <algorithm>
#include <utility>

#include "definitions.hpp"
#include "platform/socket_calls.hpp"

namespace quizhost {

reply_progress gather_reply(std::string& reply, std::string_view piece, std::size_t longest) {
    const auto line_end = piece.find('\n');
    if (line_end != std::string_view::npos) {
        reply.append(piece.substr(0, line_end + 1));
        return reply_progress::complete;
    }
    reply.append(piece);
    return reply.size() >= longest ? reply_progress::too_long : reply_progress::incomplete;
}

std::string too_long_reply(std::size_t longest) {
    return "reply longer than " + std::to_string(longest) + " bytes without a line end";
}

std::optional<loopback_connection::read_result> take_line(std::string& pending, std::string& line,
                                                          std::size_t longest) {
    const auto line_end = pending.find('\n');
    if (line_end != std::string::npos && line_end < longest) {
        line = pending.substr(0, line_end + 1);
        pending.erase(0, line_end + 1);
        return loopback_connection::read_result::line;
    }
    if (pending.size() >= longest) {
        line = pending.substr(0, longest);
        pending.clear();
        return loopback_connection::read_result::too_long;
    }
    return std::nullopt;
}

}  // namespace quizhost

// The exchange and the listener, the same on every system over its socket calls.
namespace quizhost {
namespace {

using socket_calls::error_text;
using socket_calls::socket_use;
using socket_calls::status;
using socket_calls::steady;
using socket_calls::tcp_socket;
using socket_calls::wait_for;

std::string milliseconds_text(std::chrono::milliseconds ms) { return std::to_string(ms.count()) + " ms"; }

bool again(status what) { return what == status::interrupted || what == status::would_block; }

// Connects within the deadline; "" on success, else what went wrong.
std::string connect_within(tcp_socket& socket, int port, steady::time_point deadline) {
    const std::string where = "connect to 127.0.0.1:" + std::to_string(port);
    const socket_calls::result started = socket.connect_loopback(port);
    if (started.what == status::done) return "";
    if (started.what == status::failed) return where + ": " + error_text(started.error);
    if (!socket.wait_until(wait_for::writing, deadline)) {
        return "no connection to 127.0.0.1:" + std::to_string(port) + " in time";
    }
    const int error = socket.connect_error();
    if (error != 0) return where + ": " + error_text(error);
    return "";
}

std::string send_within(tcp_socket& socket, std::string_view bytes, steady::time_point deadline) {
    while (!bytes.empty()) {
        const socket_calls::result sent = socket.send(bytes);
        if (sent.what == status::interrupted) continue;
        if (sent.what == status::would_block) {
            if (!socket.wait_until(wait_for::writing, deadline)) return "request not taken in time";
            continue;
        }
        if (sent.what == status::failed) return "send: " + error_text(sent.error);
        if (sent.bytes == 0) return "send: the connection took nothing";
        bytes.remove_prefix(sent.bytes);
    }
    return "";
}

}  // namespace

exchange_outcome exchange_line(int port, std::string_view request, const exchange_bounds& bounds) {
    exchange_outcome outcome;
    const auto fail = [&outcome](std::string what) {
        outcome.reply.clear();
        outcome.failure = std::move(what);
        return outcome;
    };
    if (port < 1 || port > 65535) return fail("port " + std::to_string(port) + " out of range");

    socket_calls::open_failure refused;
    const std::unique_ptr<tcp_socket> socket = socket_calls::open_tcp_socket(socket_use::connecting, refused);
    if (socket == nullptr) {
        return fail(!refused.library.empty() ? refused.library : "socket: " + error_text(refused.error));
    }

    std::string failure = connect_within(*socket, port, steady::now() + bounds.connect);
    if (!failure.empty()) return fail(failure + " (bound " + milliseconds_text(bounds.connect) + ")");
    if (bounds.vet_peer) {
        int local_port = 0;
        if (const int error = socket->bound_port(local_port); error != 0)
            return fail("getsockname: " + error_text(error));
        failure = bounds.vet_peer(local_port);
        if (!failure.empty()) return fail(failure);
    }

    const auto deadline = steady::now() + bounds.reply;
    failure = send_within(*socket, request, deadline);
    if (!failure.empty()) return fail(failure);

    char buffer[1024];
    for (;;) {
        if (!socket->wait_until(wait_for::reading, deadline)) {
            return fail("no reply line within " + milliseconds_text(bounds.reply));
        }
        const std::size_t room = std::min(sizeof buffer, bounds.longest_reply - outcome.reply.size());
        const socket_calls::result got = socket->receive(buffer, room);
        if (again(got.what)) continue;
        if (got.what == status::failed) return fail("recv: " + error_text(got.error));
        if (got.bytes == 0) return fail("connection closed before the reply's line end");
        const std::string_view piece(buffer, got.bytes);
        const reply_progress progress = gather_reply(outcome.reply, piece, bounds.longest_reply);
        if (progress == reply_progress::complete) return outcome;
        if (progress == reply_progress::too_long) return fail(too_long_reply(bounds.longest_reply));
    }
}

namespace {

class tcp_connection final : public loopback_connection {
public:
    explicit tcp_connection(std::unique_ptr<tcp_socket> socket) : socket_(std::move(socket)) {}
    ~tcp_connection() override {
        if (reset_) socket_->reset_on_close();
    }
    tcp_connection(const tcp_connection&) = delete;
    tcp_connection& operator=(const tcp_connection&) = delete;

    read_result read_line(std::string& line, std::size_t longest, std::chrono::milliseconds wait) override {
        const auto deadline = steady::now() + wait;
        line.clear();
        char buffer[1024];
        for (;;) {
            if (const auto taken = take_line(pending_, line, longest)) return *taken;
            if (!socket_->wait_until(wait_for::reading, deadline)) return read_result::timed_out;
            const socket_calls::result got = socket_->receive(buffer, sizeof buffer);
            if (again(got.what)) continue;
            if (got.what == status::failed || got.bytes == 0) {
                line.swap(pending_);
                pending_.clear();
                return read_result::closed;
            }
            pending_.append(buffer, got.bytes);
        }
    }

    // A client that stops reading for five seconds loses its reply rather than holding the service.
    bool send_all(std::string_view bytes) override {
        return send_within(*socket_, bytes, steady::now() + std::chrono::seconds(5)).empty();
    }

    void reset_on_close() override { reset_ = true; }

private:
    std::unique_ptr<tcp_socket> socket_;
    std::string pending_;
    bool reset_ = false;
};

class tcp_listener final : public loopback_listener {
public:
    tcp_listener(std::unique_ptr<tcp_socket> socket, int port) : socket_(std::move(socket)), port_(port) {}
    int port() const override { return port_; }

    std::unique_ptr<loopback_connection> accept(std::chrono::milliseconds wait) override {
        if (!socket_->wait_until(wait_for::reading, steady::now() + wait)) return nullptr;
        std::unique_ptr<tcp_socket> accepted = socket_->accept();
        if (accepted == nullptr) return nullptr;  // the peer gave up between the wait and the accept
        return std::make_unique<tcp_connection>(std::move(accepted));
    }

private:
    std::unique_ptr<tcp_socket> socket_;
    int port_;
};

[[noreturn]] void listen_failed(int port, const std::string& what) {
    throw run_time_error(permission_denied, error_description(permission_denied),
                         "listen on 127.0.0.1:" + std::to_string(port) + ": " + what);
}

}  // namespace

std::unique_ptr<loopback_listener> listen_on_loopback(int port) {
    if (port < 0 || port > 65535) listen_failed(port, "port out of range");
    socket_calls::open_failure refused;
    std::unique_ptr<tcp_socket> socket = socket_calls::open_tcp_socket(socket_use::listening, refused);
    if (socket == nullptr) listen_failed(port, !refused.library.empty() ? refused.library : error_text(refused.error));
    if (const int error = socket->bind_loopback(port); error != 0) listen_failed(port, error_text(error));
    if (const int error = socket->listen(); error != 0) listen_failed(port, error_text(error));
    int bound = 0;
    if (const int error = socket->bound_port(bound); error != 0) listen_failed(port, error_text(error));
    return std::make_unique<tcp_listener>(std::move(socket), bound);
}

}  // namespace quizhost
