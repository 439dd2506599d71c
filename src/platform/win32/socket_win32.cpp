// The socket calls over Windows Sockets, asking for version 1.1 as the cabinet's credit service expects of
// its clients. Every wait goes through select() against a deadline. A socket the host opens starts and
// releases the library itself, so each exchange does, and a listener holds it for as long as it lives.
#include <winsock2.h>
// after winsock2.h, which must come first
#include <windows.h>

#include <algorithm>

#include "platform/socket_calls.hpp"
#include "platform/win32/win32_error.hpp"

namespace quizhost::socket_calls {
namespace {

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

sockaddr_in loopback_address(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = ::inet_addr("127.0.0.1");
    address.sin_port = ::htons(static_cast<u_short>(port));
    return address;
}

// The result of a call that answered SOCKET_ERROR.
result failed_call() {
    const int error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return {status::would_block};
    return {status::failed, 0, error};
}

int error_of(int answer) { return answer == 0 ? 0 : ::WSAGetLastError(); }

class win32_socket final : public tcp_socket {
public:
    // `winsock` is the library session the socket was opened under; none for an accepted one.
    win32_socket(std::unique_ptr<winsock_session> winsock, SOCKET s) : winsock_(std::move(winsock)), socket_(s) {}
    ~win32_socket() override { ::closesocket(socket_); }
    win32_socket(const win32_socket&) = delete;
    win32_socket& operator=(const win32_socket&) = delete;

    // A failed connect shows in the exception set on Windows, not the write set.
    bool wait_until(wait_for what, steady::time_point deadline) override {
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - steady::now());
        const long long micros = std::max<long long>(0, left.count());
        timeval timeout{static_cast<long>(micros / 1000000), static_cast<long>(micros % 1000000)};
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(socket_, &ready);
        fd_set failed;
        FD_ZERO(&failed);
        FD_SET(socket_, &failed);
        const int count = ::select(0, what == wait_for::reading ? &ready : nullptr,
                                   what == wait_for::writing ? &ready : nullptr, &failed, &timeout);
        return count > 0;
    }

    result connect_loopback(int port) override {
        const sockaddr_in address = loopback_address(port);
        if (::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return {};
        const int error = ::WSAGetLastError();
        if (error == WSAEWOULDBLOCK || error == WSAEINPROGRESS) return {status::would_block};
        return {status::failed, 0, error};
    }

    int connect_error() override {
        int failure = 0;
        int length = sizeof failure;
        if (::getsockopt(socket_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&failure), &length) != 0)
            failure = ::WSAGetLastError();
        return failure;
    }

    result send(std::string_view bytes) override {
        const int sent = ::send(socket_, bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), 65536)), 0);
        if (sent == SOCKET_ERROR) return failed_call();
        return {status::done, static_cast<std::size_t>(sent)};
    }

    result receive(char* buffer, std::size_t room) override {
        const int got = ::recv(socket_, buffer, static_cast<int>(room), 0);
        if (got == SOCKET_ERROR) return failed_call();
        return {status::done, static_cast<std::size_t>(got)};
    }

    void reset_on_close() override {
        const linger abort{1, 0};
        ::setsockopt(socket_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort), sizeof abort);
    }

    int bind_loopback(int port) override {
        // Never SO_REUSEADDR here: on Windows it lets a second listener take a port already in use, and a
        // taken port must be refused. SO_EXCLUSIVEADDRUSE keeps others off ours.
        const BOOL on = TRUE;
        ::setsockopt(socket_, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
        const sockaddr_in address = loopback_address(port);
        return error_of(::bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address));
    }

    int listen() override { return error_of(::listen(socket_, SOMAXCONN)); }

    int bound_port(int& port) override {
        sockaddr_in bound{};
        int length = sizeof bound;
        if (::getsockname(socket_, reinterpret_cast<sockaddr*>(&bound), &length) != 0) return ::WSAGetLastError();
        port = ::ntohs(bound.sin_port);
        return 0;
    }

    // An accepted socket inherits the listener's non-blocking mode; every wait is select()'s.
    std::unique_ptr<tcp_socket> accept() override {
        const SOCKET s = ::accept(socket_, nullptr, nullptr);
        if (s == INVALID_SOCKET) return nullptr;
        return std::make_unique<win32_socket>(nullptr, s);
    }

private:
    std::unique_ptr<winsock_session> winsock_;  // declared first: released last
    SOCKET socket_;
};

}  // namespace

std::unique_ptr<tcp_socket> open_tcp_socket(socket_use, open_failure& failure) {
    auto winsock = std::make_unique<winsock_session>();
    if (!winsock->started()) {
        failure.library = "Windows Sockets 1.1 cannot be started";
        return nullptr;
    }
    const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        failure.error = ::WSAGetLastError();
        return nullptr;
    }
    // Both uses: a connection never blocks, and a listener hands out connections that do not either.
    u_long on = 1;
    ::ioctlsocket(s, static_cast<long>(FIONBIO), &on);  // FIONBIO is unsigned; the call takes a long
    return std::make_unique<win32_socket>(std::move(winsock), s);
}

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

}  // namespace quizhost::socket_calls
