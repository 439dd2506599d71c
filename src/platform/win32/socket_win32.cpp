// Loopback TCP over Windows Sockets, asking for version 1.1 as the cabinet's credit service expects of
// its clients. Every wait goes through select() against a deadline, so neither a silent peer nor a full
// backlog can hold the caller beyond its bound. Each exchange starts and releases the library itself;
// a listener holds it for as long as it lives.
#include <winsock2.h>
// after winsock2.h, which must come first
#include <windows.h>

#include <algorithm>
#include <utility>

#include "definitions.hpp"
#include "platform/loopback_socket.hpp"
#include "platform/win32/win32_error.hpp"

namespace quizhost {
namespace {

using steady = std::chrono::steady_clock;

// One WSAStartup and its WSACleanup.
class winsock_session {
public:
    winsock_session() {
        WSADATA data{};
        started_ = ::WSAStartup(MAKEWORD(1, 1), &data) == 0;
    }
    ~winsock_session() {
        if (started_) ::WSACleanup();
    }
    winsock_session(const winsock_session&) = delete;
    winsock_session& operator=(const winsock_session&) = delete;
    bool started() const { return started_; }

private:
    bool started_ = false;
};

class socket_handle {
public:
    explicit socket_handle(SOCKET s) : socket_(s) {}
    ~socket_handle() {
        if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
    }
    socket_handle(const socket_handle&) = delete;
    socket_handle& operator=(const socket_handle&) = delete;
    SOCKET get() const { return socket_; }
    SOCKET release() { return std::exchange(socket_, INVALID_SOCKET); }

private:
    SOCKET socket_;
};

// The same words as on other systems for the failures a loopback exchange meets; the system's own text
// for the rest.
std::string error_text(int error) {
    switch (error) {
        case WSAEADDRINUSE:
            return "Address already in use";
        case WSAECONNREFUSED:
            return "Connection refused";
        case WSAECONNRESET:
            return "Connection reset by peer";
        case WSAECONNABORTED:
            return "Software caused connection abort";
        case WSAETIMEDOUT:
            return "Connection timed out";
        case WSAEACCES:
            return "Permission denied";
        default:
            return win32::system_message(static_cast<DWORD>(error));
    }
}

std::string milliseconds_text(std::chrono::milliseconds ms) { return std::to_string(ms.count()) + " ms"; }

enum class wait_for { reading, writing };

// Waits until the socket is ready or the deadline passes; true when ready (or in error, which the
// following call reports). A failed connect shows in the exception set on Windows, not the write set.
bool wait_until(SOCKET s, wait_for what, steady::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - steady::now());
    const long long micros = std::max<long long>(0, left.count());
    timeval timeout{static_cast<long>(micros / 1000000), static_cast<long>(micros % 1000000)};
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(s, &ready);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(s, &failed);
    const int count = ::select(0, what == wait_for::reading ? &ready : nullptr,
                               what == wait_for::writing ? &ready : nullptr, &failed, &timeout);
    return count > 0;
}

sockaddr_in loopback_address(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::inet_addr("127.0.0.1");
    address.sin_port = ::htons(static_cast<u_short>(port));
    return address;
}

void set_non_blocking(SOCKET s) {
    u_long on = 1;
    ::ioctlsocket(s, static_cast<long>(FIONBIO), &on);  // FIONBIO is unsigned; the call takes a long
}

std::string connect_within(SOCKET s, int port, steady::time_point deadline) {
    const std::string where = "connect to 127.0.0.1:" + std::to_string(port);
    const sockaddr_in address = loopback_address(port);
    if (::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return "";
    const int error = ::WSAGetLastError();
    if (error != WSAEWOULDBLOCK && error != WSAEINPROGRESS) return where + ": " + error_text(error);
    if (!wait_until(s, wait_for::writing, deadline))
        return "no connection to 127.0.0.1:" + std::to_string(port) + " in time";
    int failure = 0;
    int length = sizeof failure;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&failure), &length) != 0)
        failure = ::WSAGetLastError();
    if (failure != 0) return where + ": " + error_text(failure);
    return "";
}

std::string send_within(SOCKET s, std::string_view bytes, steady::time_point deadline) {
    while (!bytes.empty()) {
        const int sent = ::send(s, bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), 65536)), 0);
        if (sent == SOCKET_ERROR) {
            const int error = ::WSAGetLastError();
            if (error == WSAEWOULDBLOCK) {
                if (!wait_until(s, wait_for::writing, deadline)) return "request not taken in time";
                continue;
            }
            return "send: " + error_text(error);
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

    const winsock_session winsock;
    if (!winsock.started()) return fail("Windows Sockets 1.1 cannot be started");
    const socket_handle socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (socket.get() == INVALID_SOCKET) return fail("socket: " + error_text(::WSAGetLastError()));
    const SOCKET s = socket.get();
    set_non_blocking(s);

    std::string failure = connect_within(s, port, steady::now() + bounds.connect);
    if (!failure.empty()) return fail(failure + " (bound " + milliseconds_text(bounds.connect) + ")");

    const auto deadline = steady::now() + bounds.reply;
    failure = send_within(s, request, deadline);
    if (!failure.empty()) return fail(failure);

    char buffer[1024];
    for (;;) {
        if (!wait_until(s, wait_for::reading, deadline))
            return fail("no reply line within " + milliseconds_text(bounds.reply));
        const std::size_t room = std::min(sizeof buffer, bounds.longest_reply - outcome.reply.size());
        const int got = ::recv(s, buffer, static_cast<int>(room), 0);
        if (got == SOCKET_ERROR) {
            const int error = ::WSAGetLastError();
            if (error == WSAEWOULDBLOCK) continue;
            return fail("recv: " + error_text(error));
        }
        if (got == 0) return fail("connection closed before the reply's line end");
        const std::string_view piece(buffer, static_cast<std::size_t>(got));
        const reply_progress progress = gather_reply(outcome.reply, piece, bounds.longest_reply);
        if (progress == reply_progress::complete) return outcome;
        if (progress == reply_progress::too_long) return fail(too_long_reply(bounds.longest_reply));
    }
}

namespace {

class win32_connection final : public loopback_connection {
public:
    explicit win32_connection(SOCKET s) : socket_(s) {}
    ~win32_connection() override {
        if (reset_) {
            const linger abort{1, 0};
            ::setsockopt(socket_.get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
        }
    }

    read_result read_line(std::string& line, std::size_t longest, std::chrono::milliseconds wait) override {
        const auto deadline = steady::now() + wait;
        line.clear();
        char buffer[1024];
        for (;;) {
            if (const auto taken = take_line(pending_, line, longest)) return *taken;
            if (!wait_until(socket_.get(), wait_for::reading, deadline)) return read_result::timed_out;
            const int got = ::recv(socket_.get(), buffer, sizeof buffer, 0);
            if (got == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) continue;
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
            const int sent =
                ::send(socket_.get(), bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), 65536)), 0);
            if (sent == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) {
                wait_until(socket_.get(), wait_for::writing, steady::now() + std::chrono::seconds(5));
                continue;
            }
            if (sent <= 0) return false;
            bytes.remove_prefix(static_cast<std::size_t>(sent));
        }
        return true;
    }

    void reset_on_close() override { reset_ = true; }

private:
    socket_handle socket_;
    std::string pending_;
    bool reset_ = false;
};

class win32_listener final : public loopback_listener {
public:
    win32_listener(std::unique_ptr<winsock_session> winsock, SOCKET s, int port)
        : winsock_(std::move(winsock)), socket_(s), port_(port) {}
    int port() const override { return port_; }

    std::unique_ptr<loopback_connection> accept(std::chrono::milliseconds wait) override {
        if (!wait_until(socket_.get(), wait_for::reading, steady::now() + wait)) return nullptr;
        const SOCKET s = ::accept(socket_.get(), nullptr, nullptr);
        if (s == INVALID_SOCKET) return nullptr;  // the peer gave up between select and accept
        // An accepted socket inherits the listener's non-blocking mode; every wait is select()'s.
        return std::make_unique<win32_connection>(s);
    }

private:
    std::unique_ptr<winsock_session> winsock_;  // declared first: released last
    socket_handle socket_;
    int port_;
};

[[noreturn]] void listen_failed(int port, const std::string& what) {
    throw run_time_error(permission_denied, error_description(permission_denied),
                         "listen on 127.0.0.1:" + std::to_string(port) + ": " + what);
}

}  // namespace

std::unique_ptr<loopback_listener> listen_on_loopback(int port) {
    if (port < 0 || port > 65535) listen_failed(port, "port out of range");
    auto winsock = std::make_unique<winsock_session>();
    if (!winsock->started()) listen_failed(port, "Windows Sockets 1.1 cannot be started");
    socket_handle socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    const SOCKET s = socket.get();
    if (s == INVALID_SOCKET) listen_failed(port, error_text(::WSAGetLastError()));
    // Never SO_REUSEADDR here: on Windows it lets a second listener take a port already in use, and a
    // taken port must be refused. SO_EXCLUSIVEADDRUSE keeps others off ours.
    const BOOL on = TRUE;
    ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
    const sockaddr_in address = loopback_address(port);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        listen_failed(port, error_text(::WSAGetLastError()));
    if (::listen(s, SOMAXCONN) != 0) listen_failed(port, error_text(::WSAGetLastError()));
    sockaddr_in bound{};
    int length = sizeof bound;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&bound), &length) != 0)
        listen_failed(port, error_text(::WSAGetLastError()));
    set_non_blocking(s);
    return std::make_unique<win32_listener>(std::move(winsock), socket.release(), ::ntohs(bound.sin_port));
}

}  // namespace quizhost
