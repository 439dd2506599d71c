// Loopback TCP over POSIX sockets. Every wait goes through poll(2) against a deadline, so neither a
// silent peer nor a full backlog can hold the caller beyond its bound; sends never raise SIGPIPE.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "definitions.hpp"
#include "platform/loopback_socket.hpp"
#include "platform/posix/errno_text.hpp"

namespace quizhost {
namespace {

using steady = std::chrono::steady_clock;

class socket_fd {
public:
    explicit socket_fd(int fd) : fd_(fd) {}
    ~socket_fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    socket_fd(const socket_fd&) = delete;
    socket_fd& operator=(const socket_fd&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

std::string error_text(int error) { return errno_text(error); }

std::string milliseconds_text(std::chrono::milliseconds ms) { return std::to_string(ms.count()) + " ms"; }

// Waits until `fd` is ready for `events` or the deadline passes; true when ready (or in error, which the
// following call reports).
bool wait_until(int fd, short events, steady::time_point deadline) {
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady::now());
        const int timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, timeout);
        if (ready < 0 && errno == EINTR) continue;
        return ready > 0;
    }
}

sockaddr_in loopback_address(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

// Connects the non-blocking socket within the deadline; "" on success, else what went wrong.
std::string connect_within(int fd, int port, steady::time_point deadline) {
    const sockaddr_in address = loopback_address(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return "";
    if (errno != EINPROGRESS && errno != EINTR)
        return "connect to 127.0.0.1:" + std::to_string(port) + ": " + error_text(errno);
    if (!wait_until(fd, POLLOUT, deadline)) return "no connection to 127.0.0.1:" + std::to_string(port) + " in time";
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0) return "connect to 127.0.0.1:" + std::to_string(port) + ": " + error_text(error);
    return "";
}

std::string send_within(int fd, std::string_view bytes, steady::time_point deadline) {
    while (!bytes.empty()) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                if (!wait_until(fd, POLLOUT, deadline)) return "request not taken in time";
                continue;
            }
            return "send: " + error_text(errno);
        }
        bytes.remove_prefix(static_cast<std::size_t>(sent));
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

    const socket_fd socket(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP));
    if (socket.get() < 0) return fail("socket: " + error_text(errno));
    const int fd = socket.get();

    std::string failure = connect_within(fd, port, steady::now() + bounds.connect);
    if (!failure.empty()) return fail(failure + " (bound " + milliseconds_text(bounds.connect) + ")");

    const auto deadline = steady::now() + bounds.reply;
    failure = send_within(fd, request, deadline);
    if (!failure.empty()) return fail(failure);

    char buffer[1024];
    for (;;) {
        if (!wait_until(fd, POLLIN, deadline)) return fail("no reply line within " + milliseconds_text(bounds.reply));
        const std::size_t room = std::min(sizeof buffer, bounds.longest_reply - outcome.reply.size());
        const ssize_t got = ::recv(fd, buffer, room, 0);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return fail("recv: " + error_text(errno));
        }
        if (got == 0) return fail("connection closed before the reply's line end");
        const std::string_view piece(buffer, static_cast<std::size_t>(got));
        const reply_progress progress = gather_reply(outcome.reply, piece, bounds.longest_reply);
        if (progress == reply_progress::complete) return outcome;
        if (progress == reply_progress::too_long) return fail(too_long_reply(bounds.longest_reply));
    }
}

namespace {

class posix_connection final : public loopback_connection {
public:
    explicit posix_connection(int fd) : fd_(fd) {}
    ~posix_connection() override {
        if (reset_) {
            const linger abort{1, 0};
            ::setsockopt(fd_.get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
        }
    }

    read_result read_line(std::string& line, std::size_t longest, std::chrono::milliseconds wait) override {
        const auto deadline = steady::now() + wait;
        line.clear();
        char buffer[1024];
        for (;;) {
            if (const auto taken = take_line(pending_, line, longest)) return *taken;
            if (!wait_until(fd_.get(), POLLIN, deadline)) return read_result::timed_out;
            const ssize_t got = ::recv(fd_.get(), buffer, sizeof buffer, 0);
            if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (got <= 0) {
                line.swap(pending_);
                pending_.clear();
                return read_result::closed;
            }
            pending_.append(buffer, static_cast<std::size_t>(got));
        }
    }

    bool send_all(std::string_view bytes) override {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR) continue;
            if (sent <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
        return true;
    }

    void reset_on_close() override { reset_ = true; }

private:
    socket_fd fd_;
    std::string pending_;
    bool reset_ = false;
};

class posix_listener final : public loopback_listener {
public:
    posix_listener(int fd, int port) : fd_(fd), port_(port) {}
    int port() const override { return port_; }

    std::unique_ptr<loopback_connection> accept(std::chrono::milliseconds wait) override {
        if (!wait_until(fd_.get(), POLLIN, steady::now() + wait)) return nullptr;
        const int fd = ::accept4(fd_.get(), nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return nullptr;  // the peer gave up between poll and accept
        return std::make_unique<posix_connection>(fd);
    }

private:
    socket_fd fd_;
    int port_;
};

[[noreturn]] void listen_failed(int port, const std::string& what) {
    throw run_time_error(permission_denied, error_description(permission_denied),
                         "listen on 127.0.0.1:" + std::to_string(port) + ": " + what);
}

}  // namespace

std::unique_ptr<loopback_listener> listen_on_loopback(int port) {
    if (port < 0 || port > 65535) listen_failed(port, "port out of range");
    socket_fd socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP));
    const int fd = socket.get();
    if (fd < 0) listen_failed(port, error_text(errno));
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = loopback_address(port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        listen_failed(port, error_text(errno));
    if (::listen(fd, SOMAXCONN) != 0) listen_failed(port, error_text(errno));
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) listen_failed(port, error_text(errno));
    return std::make_unique<posix_listener>(socket.release(), ntohs(bound.sin_port));
}

}  // namespace quizhost
