// The operating system's socket calls that the loopback exchange and listener (loopback_socket.cpp) are
// written over. Each system's file wraps its own calls here and decides nothing: every bound, retry and
// failure text is the one algorithm's.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace quizhost::socket_calls {

using steady = std::chrono::steady_clock;

enum class wait_for { reading, writing };

// How a call that may have to wait ended: `interrupted` is tried again at once, `would_block` after a wait
// (for a connect: the connection is under way).
enum class status { done, interrupted, would_block, failed };

struct result {
    status what = status::done;
    std::size_t bytes = 0;  // sent or received when done; 0 received is the peer's orderly close
    int error = 0;          // the system's error number when failed
};

// A TCP socket on 127.0.0.1, closed when dropped.
class tcp_socket {
public:
    virtual ~tcp_socket() = default;

    // Waits until the socket is ready or the deadline passes; true when ready, or in error (which the
    // next call reports).
    virtual bool wait_until(wait_for what, steady::time_point deadline) = 0;

    virtual result connect_loopback(int port) = 0;
    // Once a connection under way is writable: 0 when it was made, else the system's error number.
    virtual int connect_error() = 0;
    virtual result send(std::string_view bytes) = 0;  // some of the bytes
    virtual result receive(char* buffer, std::size_t room) = 0;
    // Closing sends a reset instead of an orderly close.
    virtual void reset_on_close() = 0;

    // A listening socket's calls: 0 or the system's error number. Binding also sets the address sharing
    // rule that keeps a second listener off a taken port.
    virtual int bind_loopback(int port) = 0;
    virtual int listen() = 0;
    virtual int bound_port(int& port) = 0;
    // The next waiting connection; none when the peer gave up meanwhile.
    virtual std::unique_ptr<tcp_socket> accept() = 0;
};

enum class socket_use { connecting, listening };

// Why no socket could be opened: the system's socket library could not be started (`library` says so), or
// the system's error number.
struct open_failure {
    std::string library;
    int error = 0;
};

// A socket for connecting (it never blocks) or for listening; none when the system refuses.
std::unique_ptr<tcp_socket> open_tcp_socket(socket_use use, open_failure& failure);

// An error number's text, in the words every system shares for the failures a loopback exchange meets.
std::string error_text(int error);

}  // namespace quizhost::socket_calls
