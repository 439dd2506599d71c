// The loopback bridge between the host and the stage page in the browser: an HTTP server for the stage,
// the movie runtime and the two movie folders, and one WebSocket to the stage that carries the seam calls
// out and the movies' commands in.
//
// Any program on the machine can reach the loopback and forge the Host and Origin headers, so these only
// keep other web pages out. What admits the stage is a secret made afresh at each start of the bridge:
// the stage proves it when it opens the WebSocket ("/bridge?key=SECRET"), and an upgrade without it is
// refused before anything is read from the connection. The stage learns the secret from the fragment of
// the address it was opened at ("#key=SECRET", which a browser never sends to a server), from the private
// file the host named to the operator, or from a one-time link handed to the kiosk browser in a private
// page. The secret is never printed: standard output may go to a journal other users can read.
//
// Everything runs on the host's one thread. The bridge never calls into the host: it only sends, and while
// the host waits (for a stage, for the next command, for a request's answer) it runs the sockets and queues
// what arrives. So a command that arrives while the host waits for a GetVariable or a message box is
// queued and taken later, never nested inside the one in progress.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

#include "definitions.hpp"
#include "platform/web/bridge_messages.hpp"

namespace quizhost::web {

// The bridge could not listen (the port is taken, the address cannot be bound).
class bridge_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What only `quizhost dev` sets: the developer's own movie folders are served in place of the cabinet's
// (a development cabinet holds links to them, which a cabinet's bridge refuses), the panel's files under
// "/dev/" are served, and the stage's "developer" messages reach `message`. Without it none of this exists.
struct developer_hooks {
    std::string intro_folder;
    std::string game_folder;
    std::function<void(const nlohmann::json&)> message;  // called on the host's thread, inside a wait
};

struct bridge_options {
    std::string program_folder;    // the movie folders are served from here
    int port = default_http_port;  // 0: any free port (see bridge::port)
    bool handle_signals = false;   // SIGINT and SIGTERM interrupt the waits (the quizhost program)
    // Where refused requests, ignored messages and connection news go (default: standard error).
    std::function<void(const std::string&)> log;
    // Refused stage connections are logged one per reason, then counted and summed up at most this often,
    // so a flood of them cannot flood the log.
    std::chrono::milliseconds refusal_report_interval{10000};
    std::string ruffle_folder{};  // the Flash player's files ("": Flash movies cannot play)
    std::optional<developer_hooks> developer{};
};

class bridge {
public:
    explicit bridge(bridge_options options);
    ~bridge();
    bridge(const bridge&) = delete;
    bridge& operator=(const bridge&) = delete;

    int port() const;
    std::string address() const;  // "http://127.0.0.1:PORT/"
    // The stage's address with this start's secret: "http://127.0.0.1:PORT/#key=SECRET". Whoever opens it
    // can drive the host; give it only to the cabinet's own browser.
    std::string stage_url() const;
    // A fresh one-time link to the stage, "http://127.0.0.1:PORT/open/TOKEN": the first GET of it within
    // `lifetime` is sent on to stage_url(), every later one is refused. Each call replaces the link made
    // before it. For the kiosk browser's start: whoever sees the link after the browser followed it, or
    // once it has expired, holds nothing.
    std::string one_time_url(std::chrono::milliseconds lifetime = std::chrono::seconds(60));
    // Stage connections and one-time links refused so far (wrong or no secret, foreign origin, taken).
    std::uint64_t refused_connections() const;
    bool stage_connected() const;
    // Whether a command of `form`'s movie is waiting to be taken.
    bool command_waiting(const std::string& form) const;
    // SIGINT or SIGTERM arrived (only with handle_signals); every wait returns at once from then on.
    bool interrupted() const;

    // Called each time a stage connects, before anything it sends is read, so the player can bring a
    // (re)loaded stage up to the host's state. Requests still waiting for an answer are sent again after it.
    void on_stage_connected(std::function<void()> replay);

    // Sends one message to the stage, after those sent before it. Dropped when no stage is connected: a
    // stage that connects later is brought up to date by the replay.
    void send(const nlohmann::json& message);

    // Between these two, messages are gathered and go out together, as one JSON array in one frame, when
    // released (or before a request, which must not wait). A command's stop, set, play and done thus
    // reach the stage in one piece instead of four. When another stage has connected in between (the
    // page was reloaded, the browser restarted), what was gathered is dropped: the command's answer was
    // for a page that is gone.
    void gather_messages();
    void release_messages();

    // Sends `message` with a fresh "id" and runs the sockets until the stage answers it. Nothing when the
    // timeout passes first or the program is interrupted.
    std::optional<request_reply> request(nlohmann::json message, std::optional<std::chrono::milliseconds> timeout);

    // Runs the sockets until a stage has connected; false when interrupted or out of time.
    bool wait_for_stage(std::optional<std::chrono::milliseconds> timeout = std::nullopt);
    // Runs the sockets until a movie has raised a command, and takes the oldest; nothing when interrupted
    // or out of time.
    std::optional<raised_command> next_command(std::optional<std::chrono::milliseconds> timeout = std::nullopt);
    // Runs the sockets for a while (tests, and letting the stage take the last messages).
    void run_for(std::chrono::milliseconds duration);
    // Sends what is queued, within `bound`, and closes the stage's connection.
    void finish(std::chrono::milliseconds bound);
    // Calls `tick` every `period` for as long as the bridge lives, whenever the sockets run (in every wait):
    // the kiosk's supervision and the service watchdog. A wait that never returns to the sockets stops
    // the ticks, which is what the watchdog is for.
    void every(std::chrono::milliseconds period, std::function<void()> tick);
    // Stops every tick (their owner is going).
    void stop_ticks();
    // Interrupts the waits as SIGINT does. The one call that is safe from another thread.
    void interrupt();

    struct impl;  // the sockets' side; public only so the session types in bridge.cpp can name it

private:
    std::unique_ptr<impl> impl_;
};

}  // namespace quizhost::web
