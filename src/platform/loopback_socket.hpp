// TCP on the loopback address, the only network the host uses: one request line and its reply line to
// the local credit service, and the listening side the credit service (and tests) are built on. Every
// wait is bounded, so a peer that stops answering costs a few seconds, never the cabinet.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quizhost {

struct exchange_bounds {
    std::chrono::milliseconds connect{2000};  // to have the connection accepted
    std::chrono::milliseconds reply{5000};    // from the request sent to the reply's line end
    std::size_t longest_reply = 1024;         // bytes, line end included
    // Asked once the connection is made and before anything is sent, with this end's port: a non-empty
    // text refuses the peer, and is the exchange's failure (the host checks who answers on the port).
    std::function<std::string(int local_port)> vet_peer;
};

// What one exchange brought back: the reply line with its line end (up to and including the first LF),
// or, when no complete line came, an empty reply and what went wrong.
struct exchange_outcome {
    std::string reply;
    std::string failure;
    bool answered() const { return failure.empty(); }
};

// Connects to 127.0.0.1:`port`, sends `request` whole and reads the reply up to its first LF, however many
// pieces it arrives in. A refused connection, a peer that closes early or stays silent, or a reply longer
// than the bound without a line end are failures; no exception is thrown.
exchange_outcome exchange_line(int port, std::string_view request, const exchange_bounds& bounds = {});

// One accepted connection of a loopback_listener.
class loopback_connection {
public:
    virtual ~loopback_connection() = default;

    enum class read_result { line, closed, too_long, timed_out };
    // Reads one line up to and including its LF into `line` (at most `longest` bytes). Bytes that came
    // after the line are kept for the next read. On `closed` and `too_long`, `line` holds what came.
    virtual read_result read_line(std::string& line, std::size_t longest, std::chrono::milliseconds wait) = 0;
    // Sends all the bytes; false when the peer has gone.
    virtual bool send_all(std::string_view bytes) = 0;
    // Sends a reset instead of an orderly close when the connection is dropped.
    virtual void reset_on_close() = 0;
};

// A listening TCP socket on 127.0.0.1 only.
class loopback_listener {
public:
    virtual ~loopback_listener() = default;
    virtual int port() const = 0;
    // The next connection, or none when none came within `wait`.
    virtual std::unique_ptr<loopback_connection> accept(std::chrono::milliseconds wait) = 0;
};

// Listens on 127.0.0.1:`port` (0: any free port); run_time_error 70 when the port is taken or refused.
std::unique_ptr<loopback_listener> listen_on_loopback(int port);

// The line rules both platforms' sockets share.

// What a received piece did to a reply gathered so far.
enum class reply_progress { incomplete, complete, too_long };
// Appends `piece` to `reply` up to and including its first LF. `too_long`: `longest` bytes have come
// without a line end.
reply_progress gather_reply(std::string& reply, std::string_view piece, std::size_t longest);
// The failure of a reply that stayed `too_long`.
std::string too_long_reply(std::size_t longest);

// Moves the first line (with its LF) out of `pending` into `line`, or, once `pending` holds `longest`
// bytes without a line end, those bytes (too_long). Nothing when neither: more must be read.
std::optional<loopback_connection::read_result> take_line(std::string& pending, std::string& line, std::size_t longest);

}  // namespace quizhost
