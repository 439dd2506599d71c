// The socket calls over POSIX sockets. Every wait goes through poll(2) against a deadline; sends never
// raise SIGPIPE.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/posix/errno_text.hpp"
#include "platform/socket_calls.hpp"

namespace quizhost::socket_calls {
namespace {

sockaddr_in loopback_address(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

// The result of a send or receive that answered -1 with errno.
result failed_call() {
    if (errno == EINTR) return {status::interrupted};
    if (errno == EAGAIN || errno == EWOULDBLOCK) return {status::would_block};
    return {status::failed, 0, errno};
}

class posix_socket final : public tcp_socket {
public:
    explicit posix_socket(int fd) : fd_(fd) {}
    ~posix_socket() override { ::close(fd_); }
    posix_socket(const posix_socket&) = delete;
    posix_socket& operator=(const posix_socket&) = delete;

    bool wait_until(wait_for what, steady::time_point deadline) override {
        const short events = what == wait_for::reading ? POLLIN : POLLOUT;
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady::now());
            const int timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
            pollfd entry{fd_, events, 0};
            const int ready = ::poll(&entry, 1, timeout);
            if (ready < 0 && errno == EINTR) continue;
            return ready > 0;
        }
    }

    result connect_loopback(int port) override {
        const sockaddr_in address = loopback_address(port);
        if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return {};
        // Interrupted, the connection goes on all the same: both wait for it.
        if (errno == EINPROGRESS || errno == EINTR) return {status::would_block};
        return {status::failed, 0, errno};
    }

    int connect_error() override {
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
        return error;
    }

    result send(std::string_view bytes) override {
        const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0) return failed_call();
        return {status::done, static_cast<std::size_t>(sent)};
    }

    result receive(char* buffer, std::size_t room) override {
        const ssize_t got = ::recv(fd_, buffer, room, 0);
        if (got < 0) return failed_call();
        return {status::done, static_cast<std::size_t>(got)};
    }

    void reset_on_close() override {
        const linger abort{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }

    int bind_loopback(int port) override {
        const int on = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        const sockaddr_in address = loopback_address(port);
        return ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ? 0 : errno;
    }

    int listen() override { return ::listen(fd_, SOMAXCONN) == 0 ? 0 : errno; }

    int bound_port(int& port) override {
        sockaddr_in bound{};
        socklen_t length = sizeof bound;
        if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &length) != 0) return errno;
        port = ntohs(bound.sin_port);
        return 0;
    }

    std::unique_ptr<tcp_socket> accept() override {
        const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) return nullptr;
        return std::make_unique<posix_socket>(fd);
    }

private:
    int fd_;
};

}  // namespace

std::unique_ptr<tcp_socket> open_tcp_socket(socket_use use, open_failure& failure) {
    const int blocking = use == socket_use::connecting ? SOCK_NONBLOCK : 0;
    const int fd = ::socket(AF_INET, SOCK_STREAM | blocking | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        failure.error = errno;
        return nullptr;
    }
    return std::make_unique<posix_socket>(fd);
}

std::string error_text(int error) { return errno_text(error); }

}  // namespace quizhost::socket_calls
