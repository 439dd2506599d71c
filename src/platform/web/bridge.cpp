#include "platform/web/bridge.hpp"

#include <algorithm>
#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <csignal>
#include <cstdio>
#include <deque>
#include <list>
#include <map>
#include <variant>
#include <vector>

#include "platform/private_files.hpp"
#include "platform/socket_owner.hpp"
#include "platform/web/served_paths.hpp"
#include "platform/web/web_assets.hpp"
#include "swf/swf_inspect.hpp"
#include "swf/swf_shim.hpp"

namespace quizhost::web {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using nlohmann::json;
using request_type = http::request<http::string_body>;

// Loopback clients are the stage, its movies and the odd developer's curl; a handful of connections is
// plenty, and a bound keeps a runaway page from exhausting the host's descriptors. Any local user can
// connect, so the places are not first come, first served: a connection from another user (the system
// says whose it is, once more than a few are open) gets one of a few places of its own, and when every place is taken
// the newcomer takes the place of the oldest connection still waiting for its request, another user's first. A
// connection that has not sent its whole request within a short bound is closed. So idle or trickling
// connections can neither hold the stage out nor keep a place for long.
constexpr std::size_t max_http_sessions = 32;
constexpr std::size_t max_foreign_sessions = 8;
// The stage and its movies send each request whole at once; two seconds is generous on a loaded machine.
constexpr auto whole_request_bound = std::chrono::seconds(2);
// Writing a response (a movie's large file to a busy browser) gets longer.
constexpr auto response_write_bound = std::chrono::seconds(30);
// A movie raising commands in a loop without waiting must not grow the queue without end.
constexpr std::size_t max_queued_commands = 4096;
constexpr std::size_t max_stage_message = 1 << 20;
constexpr std::uint32_t max_request_header = 8 * 1024;
constexpr std::uint64_t max_request_body = std::uint64_t{64} * 1024;
constexpr const char* bridge_target = "/bridge";
// A cabinet's Flash movie is a few megabytes; the shim is made from it in memory.
constexpr std::size_t max_flash_movie = std::size_t{256} << 20;
// A bare WebSocket echo beside the bridge, reaching nothing of the host: the floor that a command's round
// trip through the bridge is measured against (web/bench/kiosk.mjs).
constexpr const char* echo_target = "/echo";
constexpr std::size_t max_echo_message = 4096;

std::string_view view(boost::beast::string_view text) { return {text.data(), text.size()}; }

std::string make_secret() {
    try {
        return new_secret();
    } catch (const private_files_error& e) {
        throw bridge_error(std::string("cannot make the stage's secret: ") + e.what());
    }
}

struct http_session;
struct stage_session;

// Closes a connection with a reset: a flood of connections dropped this way leaves no TIME_WAIT entries
// behind to fill the system's socket table, which the owner lookups read.
void drop_hard(tcp::socket& socket) {
    beast::error_code ignored;
    socket.set_option(asio::socket_base::linger(true, 0), ignored);
    socket.close(ignored);
}

// Whose connection it is, as far as the system tells: the host's own user (or root), another user, or
// nobody knows (the system would not say).
enum class peer_kind { own, foreign, unknown };

}  // namespace

struct bridge::impl {
    // Everything the sessions touch is declared before the io_context, so it outlives the sessions that
    // the io_context frees with its pending handlers when it is destroyed.
    bridge_options options;
    const std::string secret = make_secret();
    std::string one_time_token;  // "" when no one-time link is open
    std::chrono::steady_clock::time_point one_time_expiry{};
    std::function<void()> replay;
    std::shared_ptr<stage_session> stage;  // the one stage, from its upgrade until its connection ends
    std::deque<raised_command> commands;
    std::map<std::uint64_t, json> pending;  // requests sent and not yet answered, by id
    std::map<std::uint64_t, request_reply> replies;
    std::uint64_t next_request_id = 1;
    bool gathering = false;
    std::vector<std::string> gathered;
    std::uint64_t connections = 0;   // stages connected so far
    std::uint64_t gather_stage = 0;  // `connections` when the gathering began
    std::size_t http_sessions = 0;
    // The connections still speaking HTTP, oldest first (a session leaves the list when it goes or becomes
    // a WebSocket).
    std::list<http_session*> waiting_sessions;
    int running = 0;  // depth of io.run_* calls on the stack
    bool interrupted = false;
    int port = 0;

    // Refusals, by reason: the first is logged, then they are counted until the next report.
    struct refusal_count {
        std::chrono::steady_clock::time_point logged;
        std::uint64_t unreported = 0;
    };
    std::map<std::string, refusal_count> refusals;
    std::uint64_t refused_total = 0;
    bool report_due = false;

    asio::io_context io{1};
    asio::executor_work_guard<asio::io_context::executor_type> work = asio::make_work_guard(io);
    tcp::acceptor acceptor{io};
    std::optional<asio::signal_set> signals;
    asio::steady_timer report_timer{io};
    std::vector<std::unique_ptr<asio::steady_timer>> tickers;  // after io: they go before it
    // Set by stop_ticks: a tick whose wait had already ended when its timer was cancelled still runs its
    // handler, with no error; it must not tick, and the timers stay alive until the bridge goes.
    bool ticks_stopped = false;

    explicit impl(bridge_options o) : options(std::move(o)) {}
    ~impl();

    void log(const std::string& line) const;
    void listen();
    void accept();
    peer_kind kind_of(const tcp::socket& socket) const;
    // Makes room for a connection of `kind`: closes the oldest connection that must give way to it. False
    // when it is the newcomer that must go.
    bool make_room(peer_kind kind);
    void watch_signals();
    bool allowed_host(std::string_view host) const;
    // The refusal for a WebSocket upgrade, or nothing when this stage may connect.
    std::optional<http::response<http::string_body>> refuse_upgrade(const request_type& request) const;
    // Counts a refused connection, and logs it unless one refused for the same reason was logged lately.
    void refused(const std::string& what, const std::string& reason);
    void report_refusals();
    // Where the first use of the one-time link `token` goes ("/#key=SECRET"); nothing for any other token.
    std::optional<std::string> redeem(std::string_view token);
    void stage_opened(stage_session& session);
    void stage_gone(stage_session& session, const std::string& why);
    void receive(const std::string& text);
    void send_text(std::string text);
    void send_gathered();
    void tick_every(asio::steady_timer& timer, std::chrono::milliseconds period, std::function<void()> tick);
    bool stage_idle() const;
    // Runs the sockets until `done` holds (true), or the deadline passes or the program is interrupted
    // (false). Handlers only queue what arrives; none of them calls back into the host.
    template <class Predicate>
    bool wait_until(Predicate done, std::optional<std::chrono::steady_clock::time_point> deadline,
                    bool interruptible = true);
};

namespace {

template <class Body>
void add_common_headers(http::response<Body>& response, bool keep_alive) {
    response.set(http::field::server, "quizhost");
    // Movies change while a developer works on them, and a reset must load the movie afresh.
    response.set(http::field::cache_control, "no-store");
    response.set("X-Content-Type-Options", "nosniff");
    // Only the stage itself may frame the movies, and no other site may embed or read what is served.
    response.set("X-Frame-Options", "SAMEORIGIN");
    response.set("Cross-Origin-Resource-Policy", "same-origin");
    response.set("Referrer-Policy", "no-referrer");
    response.keep_alive(keep_alive);
}

http::response<http::string_body> text_response(http::status status, const request_type& request, std::string text) {
    http::response<http::string_body> response{status, request.version()};
    add_common_headers(response, request.keep_alive());
    response.set(http::field::content_type, "text/plain; charset=utf-8");
    if (request.method() == http::verb::head) {
        response.content_length(text.size());
    } else {
        response.body() = std::move(text);
        response.prepare_payload();
    }
    return response;
}

struct stage_session : std::enable_shared_from_this<stage_session> {
    bridge::impl& owner;
    websocket::stream<beast::tcp_stream> ws;
    beast::flat_buffer buffer;
    std::deque<std::string> outgoing;
    bool open = false;
    bool writing = false;
    bool closing = false;

    stage_session(bridge::impl& o, beast::tcp_stream&& stream) : owner(o), ws(std::move(stream)) {}

    void accept(const request_type& request) {
        beast::get_lowest_layer(ws).expires_never();
        ws.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        ws.set_option(websocket::stream_base::decorator(
            [](websocket::response_type& response) { response.set(http::field::server, "quizhost"); }));
        ws.read_message_max(max_stage_message);
        ws.async_accept(request, [self = shared_from_this()](beast::error_code error) {
            if (error) {
                self->owner.stage_gone(*self, "stage handshake failed: " + error.message());
                return;
            }
            self->open = true;
            self->owner.stage_opened(*self);
            self->read();
        });
    }

    void read() {
        ws.async_read(buffer,
                      [self = shared_from_this()](beast::error_code error, std::size_t) { self->on_read(error); });
    }

    void on_read(beast::error_code error) {
        if (error) {
            open = false;
            // A stage that sent its close frame left normally, however the socket's teardown went.
            const bool normal = error == websocket::error::closed || error == asio::error::eof ||
                                error == asio::error::operation_aborted ||
                                ws.reason().code != websocket::close_code::none;
            owner.stage_gone(*this, normal ? "stage disconnected" : "stage connection lost: " + error.message());
            return;
        }
        if (ws.got_text()) {
            owner.receive(beast::buffers_to_string(buffer.data()));
        } else {
            owner.log("bridge: ignored a binary message from the stage");
        }
        buffer.consume(buffer.size());
        read();
    }

    void send(std::string text) {
        if (!open || closing) return;
        outgoing.push_back(std::move(text));
        if (!writing) write_next();
    }

    void write_next() {
        writing = true;
        ws.text(true);
        ws.async_write(asio::buffer(outgoing.front()),
                       [self = shared_from_this()](beast::error_code error, std::size_t) {
                           self->outgoing.pop_front();
                           if (error) {
                               self->writing = false;
                               self->outgoing.clear();
                               return;  // the read side notices the broken connection and reports it
                           }
                           if (!self->outgoing.empty()) {
                               self->write_next();
                           } else {
                               self->writing = false;
                               if (self->closing) self->close_now();
                           }
                       });
    }

    bool idle() const { return !writing && outgoing.empty(); }

    // Closes once everything queued has been written (a close frame may not overtake a message).
    void close() {
        if (closing || !open) return;
        closing = true;
        if (idle()) close_now();
    }

    void close_now() {
        ws.async_close(websocket::close_code::normal, [self = shared_from_this()](beast::error_code) {});
    }
};

struct echo_session : std::enable_shared_from_this<echo_session> {
    websocket::stream<beast::tcp_stream> ws;
    beast::flat_buffer buffer;

    explicit echo_session(beast::tcp_stream&& stream) : ws(std::move(stream)) {}

    void accept(const request_type& request) {
        beast::get_lowest_layer(ws).expires_never();
        ws.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        ws.read_message_max(max_echo_message);
        ws.async_accept(request, [self = shared_from_this()](beast::error_code error) {
            if (!error) self->read();
        });
    }

    void read() {
        ws.async_read(buffer, [self = shared_from_this()](beast::error_code error, std::size_t) {
            if (error) return;
            self->ws.text(self->ws.got_text());
            self->ws.async_write(self->buffer.data(), [self](beast::error_code write_error, std::size_t) {
                if (write_error) return;
                self->buffer.consume(self->buffer.size());
                self->read();
            });
        });
    }
};

struct http_session : std::enable_shared_from_this<http_session> {
    bridge::impl& owner;
    beast::tcp_stream stream;
    beast::flat_buffer buffer;
    std::optional<http::request_parser<http::string_body>> parser;
    peer_kind kind;
    std::list<http_session*>::iterator place;
    bool listed = false;
    bool writing = false;
    bool evicted = false;

    http_session(bridge::impl& o, tcp::socket socket, peer_kind k) : owner(o), stream(std::move(socket)), kind(k) {
        ++owner.http_sessions;
        place = owner.waiting_sessions.insert(owner.waiting_sessions.end(), this);
        listed = true;
    }
    ~http_session() {
        --owner.http_sessions;
        unlist();
    }
    http_session(const http_session&) = delete;
    http_session& operator=(const http_session&) = delete;

    void unlist() {
        if (!listed) return;
        owner.waiting_sessions.erase(place);
        listed = false;
    }

    // Gives its place to a newer connection: the pending read ends, and with it the session.
    void evict() {
        unlist();
        evicted = true;
        drop_hard(stream.socket());
    }

    void read() {
        writing = false;
        parser.emplace();
        parser->header_limit(max_request_header);
        parser->body_limit(max_request_body);
        // The whole request, from its first byte to its last, within the bound: a trickle is closed too.
        stream.expires_after(whole_request_bound);
        http::async_read(stream, buffer, *parser,
                         [self = shared_from_this()](beast::error_code error, std::size_t) { self->on_read(error); });
    }

    void on_read(beast::error_code error) {
        if (evicted) return;
        if (error == http::error::end_of_stream || error == asio::error::eof || error == beast::error::timeout ||
            error == asio::error::operation_aborted || error == asio::error::connection_reset) {
            shut();
            return;
        }
        if (error) {
            owner.log("http: refused a malformed request: " + error.message());
            request_type request;
            request.keep_alive(false);
            write(text_response(http::status::bad_request, request, "Bad request\n"));
            return;
        }
        request_type request = parser->release();
        if (websocket::is_upgrade(request)) {
            upgrade(request);
            return;
        }
        respond(request);
    }

    void upgrade(const request_type& request) {
        unlist();  // a WebSocket is no longer waiting for a request, whatever becomes of it
        if (auto refusal = owner.refuse_upgrade(request)) {
            owner.refused("a stage connection", refusal->body());
            refusal->keep_alive(false);
            write(std::move(*refusal));
            return;
        }
        if (target_path(view(request.target())) == echo_target) {
            std::make_shared<echo_session>(std::move(stream))->accept(request);
            return;
        }
        auto session = std::make_shared<stage_session>(owner, std::move(stream));
        owner.stage = session;  // taken from now on: a second stage is refused even mid-handshake
        session->accept(request);
    }

    void respond(const request_type& request) {
        if (!owner.allowed_host(view(request[http::field::host]))) {
            write(text_response(http::status::forbidden, request, "Forbidden\n"));
            return;
        }
        if (request.method() != http::verb::get && request.method() != http::verb::head) {
            auto response = text_response(http::status::method_not_allowed, request, "Only GET and HEAD\n");
            response.set(http::field::allow, "GET, HEAD");
            write(std::move(response));
            return;
        }
        const auto target = resolve_target(view(request.target()));
        if (!target) {
            not_found(request);
            return;
        }
        if (target->area == served_area::one_time) {
            open_link(request, target->relative);
            return;
        }
        if (target->area == served_area::stage || target->area == served_area::runtime) {
            const std::string name = target->area == served_area::stage ? "index.html" : "runtime/" + target->relative;
            const auto bytes = embedded_asset(name);
            if (!bytes) {
                not_found(request);
                return;
            }
            serve_bytes(request, *bytes, content_type(name));
            return;
        }
        if (target->area == served_area::developer) {
            const auto bytes = owner.options.developer ? embedded_asset("dev/" + target->relative) : std::nullopt;
            if (!bytes) {
                not_found(request);
                return;
            }
            serve_bytes(request, *bytes, content_type(target->relative));
            return;
        }
        if (target->area == served_area::shim) {
            serve_shim(request, *target);
            return;
        }
        if (target->area == served_area::ruffle && owner.options.ruffle_folder.empty()) {
            owner.log("http: a Flash movie needs the Flash player's files, and this host found none beside it");
        }
        const auto file = target->area == served_area::swf ? flash_movie_file(owner.options.program_folder, *target)
                          : target->area == served_area::ruffle ? ruffle_file(owner.options.ruffle_folder, *target)
                          : owner.options.developer
                              ? movie_file_in(target->area == served_area::intro ? owner.options.developer->intro_folder
                                                                                 : owner.options.developer->game_folder,
                                              *target)
                              : movie_file(owner.options.program_folder, *target);
        if (!file) {
            not_found(request);
            return;
        }
        serve_file(request, *file);
    }

    // Sends a browser on to the stage with the secret in the fragment, once. A HEAD (a link preview, a
    // checker) must not use the link up.
    void open_link(const request_type& request, const std::string& token) {
        if (request.method() != http::verb::get) {
            auto response = text_response(http::status::method_not_allowed, request, "Only GET\n");
            response.set(http::field::allow, "GET");
            write(std::move(response));
            return;
        }
        const auto location = owner.redeem(token);
        if (!location) {
            owner.refused("a one-time link", "unknown or used link");
            write(text_response(http::status::forbidden, request,
                                "This link has been used, or was never made. Ask the host for a new one.\n"));
            return;
        }
        auto response = text_response(http::status::see_other, request, "The stage is at /\n");
        response.set(http::field::location, *location);
        write(std::move(response));
    }

    // The shim is made for each request, from the game as it is now (a developer may have replaced it):
    // the game's own stage, frame rate and background, loading the game from this host's address. The
    // host makes it rather than the page, so the page holds no SWF writer, and a movie the host cannot
    // read is refused here with the reason in the log.
    void serve_shim(const request_type& request, const served_target& target) {
        const auto file = flash_movie_file(owner.options.program_folder, target);
        if (!file) {
            not_found(request);
            return;
        }
        std::string game;
        if (!read_bounded(*file, max_flash_movie, game)) {
            owner.log("http: cannot read the Flash movie " + *file);
            not_found(request);
            return;
        }
        swf::bytes shim;
        try {
            const std::string_view query = view(request.target()).substr(target_path(view(request.target())).size());
            shim = swf::make_shim(swf::inspect_movie(game), "http://" + std::string(view(request[http::field::host])) +
                                                                "/swf/" + target.relative + std::string(query));
        } catch (const swf::swf_error& e) {
            owner.log("http: cannot play the Flash movie " + *file + ": " + e.what());
            not_found(request);
            return;
        }
        serve_bytes(request, std::string_view(reinterpret_cast<const char*>(shim.data()), shim.size()),
                    "application/x-shockwave-flash");
    }

    static bool read_bounded(const std::string& path, std::size_t limit, std::string& out) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (f == nullptr) return false;
        char chunk[65536];
        std::size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0 && out.size() <= limit) out.append(chunk, got);
        std::fclose(f);
        return out.size() <= limit;
    }

    void not_found(const request_type& request) {
        owner.log("http: 404 for " + excerpt(view(request.target())));
        write(text_response(http::status::not_found, request, "Not found\n"));
    }

    void serve_bytes(const request_type& request, std::string_view bytes, const std::string& type) {
        http::response<http::string_body> response{http::status::ok, request.version()};
        add_common_headers(response, request.keep_alive());
        response.set(http::field::content_type, type);
        if (request.method() == http::verb::head) {
            response.content_length(bytes.size());
        } else {
            response.body() = std::string(bytes);
            response.prepare_payload();
        }
        write(std::move(response));
    }

    void serve_file(const request_type& request, const std::string& path) {
        http::file_body::value_type body;
        beast::error_code error;
        body.open(path.c_str(), beast::file_mode::scan, error);
        if (error) {
            not_found(request);
            return;
        }
        const auto size = body.size();
        if (request.method() == http::verb::head) {
            http::response<http::empty_body> response{http::status::ok, request.version()};
            add_common_headers(response, request.keep_alive());
            response.set(http::field::content_type, content_type(path));
            response.content_length(size);
            write(std::move(response));
            return;
        }
        http::response<http::file_body> response{std::piecewise_construct, std::make_tuple(std::move(body)),
                                                 std::make_tuple(http::status::ok, request.version())};
        add_common_headers(response, request.keep_alive());
        response.set(http::field::content_type, content_type(path));
        response.content_length(size);
        write(std::move(response));
    }

    template <class Response>
    void write(Response&& response) {
        auto message = std::make_shared<std::decay_t<Response>>(std::forward<Response>(response));
        const bool close = message->need_eof();
        writing = true;
        stream.expires_after(response_write_bound);
        http::async_write(stream, *message,
                          [self = shared_from_this(), message, close](beast::error_code error, std::size_t) {
                              if (error) return;
                              if (close) {
                                  self->shut();
                                  return;
                              }
                              self->read();
                          });
    }

    void shut() {
        beast::error_code ignored;
        stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
    }
};

}  // namespace

bridge::impl::~impl() {
    // Drop the stage first: its socket must go while the io_context still exists.
    stage.reset();
    for (auto& timer : tickers) {
        // A timer that cannot be cancelled goes with the io_context all the same; a destructor must not throw.
        try {
            timer->cancel();
        } catch (const std::exception&) {
        }
    }
}

void bridge::impl::log(const std::string& line) const {
    if (options.log) {
        options.log(line);
    } else {
        std::fprintf(stderr, "quizhost: %s\n", line.c_str());
        std::fflush(stderr);
    }
}

void bridge::impl::listen() {
    const tcp::endpoint endpoint{asio::ip::address_v4::loopback(), static_cast<unsigned short>(options.port)};
    beast::error_code error;
    const auto fail = [&](const char* step) {
        throw bridge_error("cannot " + std::string(step) + " 127.0.0.1:" + std::to_string(options.port) + ": " +
                           error.message());
    };
    if (options.port < 0 || options.port > 65535) {
        throw bridge_error("the HTTP port must be 0 to 65535, not " + std::to_string(options.port));
    }
    acceptor.open(endpoint.protocol(), error);
    if (error) fail("open a socket for");
    acceptor.set_option(asio::socket_base::reuse_address(true), error);
    acceptor.bind(endpoint, error);
    if (error) fail("listen on");
    acceptor.listen(asio::socket_base::max_listen_connections, error);
    if (error) fail("listen on");
    port = acceptor.local_endpoint().port();
    accept();
}

void bridge::impl::accept() {
    acceptor.async_accept([this](beast::error_code error, tcp::socket socket) {
        if (error == asio::error::operation_aborted) return;
        if (error) {
            log("http: accept failed: " + error.message());
        } else if (const peer_kind kind = kind_of(socket); !make_room(kind)) {
            drop_hard(socket);
        } else {
            // The bridge sends several small messages per command (stop, set, play, done); with Nagle's
            // algorithm each one after the first would wait for the stage's delayed acknowledgement.
            beast::error_code ignored;
            socket.set_option(tcp::no_delay(true), ignored);
            std::make_shared<http_session>(*this, std::move(socket), kind)->read();
        }
        accept();
    });
}

peer_kind bridge::impl::kind_of(const tcp::socket& socket) const {
    // Asking the system costs a read of its socket table; while few connections are open, no one needs to
    // give way and the question is not worth it (a flood of short connections stays cheap).
    if (http_sessions < max_foreign_sessions) return peer_kind::unknown;
    beast::error_code error;
    const tcp::endpoint peer = socket.remote_endpoint(error);
    if (error) return peer_kind::unknown;
    std::string why;
    const auto owner = loopback_connection_owner(connection_end::client, port, peer.port(), why);
    if (!owner) return peer_kind::unknown;
    return owner->this_user || owner->administrator ? peer_kind::own : peer_kind::foreign;
}

bool bridge::impl::make_room(peer_kind kind) {
    const auto count = [&](peer_kind k) {
        return static_cast<std::size_t>(std::count_if(waiting_sessions.begin(), waiting_sessions.end(),
                                                      [&](const http_session* s) { return s->kind == k; }));
    };
    // The oldest of `k` still waiting for its request (one writing its response is nearly done).
    const auto oldest = [&](peer_kind k) -> http_session* {
        for (http_session* session : waiting_sessions) {
            if (session->kind == k && !session->writing) return session;
        }
        return nullptr;
    };
    if (kind == peer_kind::foreign && count(peer_kind::foreign) >= max_foreign_sessions) {
        http_session* victim = oldest(peer_kind::foreign);
        if (victim == nullptr) return false;
        victim->evict();
        return true;
    }
    if (http_sessions < max_http_sessions) return true;
    // Another user's connection gives way first, then one whose user is not known, then the host's own.
    const std::vector<peer_kind> order =
        kind == peer_kind::own       ? std::vector{peer_kind::foreign, peer_kind::unknown, peer_kind::own}
        : kind == peer_kind::unknown ? std::vector{peer_kind::foreign, peer_kind::unknown}
                                     : std::vector{peer_kind::foreign};
    for (const peer_kind k : order) {
        if (http_session* victim = oldest(k)) {
            victim->evict();
            return true;
        }
    }
    return false;
}

void bridge::impl::watch_signals() {
    signals.emplace(io, SIGINT, SIGTERM);
    signals->async_wait([this](beast::error_code error, int) {
        if (error) return;
        interrupted = true;
        // Back to the default action, so a second Ctrl-C ends a host stuck in a long call at once.
        beast::error_code ignored;
        signals->clear(ignored);
    });
}

bool bridge::impl::allowed_host(std::string_view host) const {
    // Checking the Host header keeps pages of other sites out even when their name resolves to 127.0.0.1.
    const std::string suffix = ":" + std::to_string(port);
    return host == "127.0.0.1" + suffix || host == "localhost" + suffix;
}

std::optional<http::response<http::string_body>> bridge::impl::refuse_upgrade(const request_type& request) const {
    const std::string_view host = view(request[http::field::host]);
    const std::string_view target = view(request.target());
    // The echo answers the benchmark's page beside the stage; it too needs the secret.
    const bool echo = target_path(target) == echo_target;
    if (target_path(target) != bridge_target && !echo) {
        return text_response(http::status::not_found, request, "not the bridge");
    }
    if (!allowed_host(host)) return text_response(http::status::forbidden, request, "foreign host");
    // Only the stage page, served from here, may drive the host; any other page's origin differs.
    if (request[http::field::origin] != "http://" + std::string(host)) {
        return text_response(http::status::forbidden, request, "foreign origin");
    }
    // Before the stage's place is looked at: without the secret a client learns nothing, not even whether
    // a game is in progress.
    const auto key = query_field(target, "key");
    if (!key || key->empty()) return text_response(http::status::forbidden, request, "no key");
    if (!same_secret(*key, secret)) return text_response(http::status::forbidden, request, "wrong key");
    if (stage && !echo) return text_response(http::status::conflict, request, "a stage is already connected");
    return std::nullopt;
}

void bridge::impl::refused(const std::string& what, const std::string& reason) {
    ++refused_total;
    refusal_count& count = refusals[reason];
    const auto now = std::chrono::steady_clock::now();
    const bool first = count.logged == std::chrono::steady_clock::time_point{};
    if (count.unreported == 0 && (first || now - count.logged >= options.refusal_report_interval)) {
        count.logged = now;
        log("bridge: refused " + what + " (" + reason + ")");
        return;
    }
    ++count.unreported;
    if (report_due) return;
    report_due = true;
    report_timer.expires_after(options.refusal_report_interval);
    report_timer.async_wait([this](beast::error_code error) {
        if (error) return;
        report_refusals();
    });
}

void bridge::impl::report_refusals() {
    report_due = false;
    const auto now = std::chrono::steady_clock::now();
    for (auto& [reason, count] : refusals) {
        if (count.unreported == 0) continue;
        log("bridge: refused " + std::to_string(count.unreported) + " more (" + reason + ") since the last report");
        count.unreported = 0;
        count.logged = now;
    }
}

std::optional<std::string> bridge::impl::redeem(std::string_view token) {
    if (one_time_token.empty() || !same_secret(token, one_time_token)) return std::nullopt;
    one_time_token.clear();
    if (std::chrono::steady_clock::now() >= one_time_expiry) {
        log("refused an expired stage link");
        return std::nullopt;
    }
    log("stage link used; sending the browser on to the stage");
    return "/#key=" + secret;
}

void bridge::impl::stage_opened(stage_session&) {
    log("stage connected");
    ++connections;
    // Whatever was gathered was meant for a stage that is gone; the replay tells the new one the state, at
    // once, even in the middle of a command.
    gathered.clear();
    const bool was_gathering = gathering;
    gathering = false;
    if (replay) replay();
    // A stage that reloaded while the host waited gets the question again.
    for (const auto& [id, message] : pending) send_text(encode(message));
    gathering = was_gathering;
}

void bridge::impl::stage_gone(stage_session& session, const std::string& why) {
    if (stage.get() != &session) return;
    log(why);
    stage.reset();
}

void bridge::impl::receive(const std::string& text) {
    const stage_message message = parse_stage_message(text);
    if (const auto* refused = std::get_if<refused_message>(&message)) {
        log("bridge: ignored a message (" + refused->reason + "): " + excerpt(text));
    } else if (const auto* command = std::get_if<raised_command>(&message)) {
        if (commands.size() >= max_queued_commands) {
            log("bridge: ignored command " + excerpt(command->command) + ": too many commands waiting");
            // Its movie holds its frames until the command is done; let it go on.
            send_text(encode(json{{"type", "done"}, {"id", command->id}}));
        } else {
            commands.push_back(*command);
        }
    } else if (const auto* developer = std::get_if<developer_message>(&message)) {
        if (options.developer && options.developer->message) {
            options.developer->message(developer->body);
        } else {
            log("bridge: ignored a message (no developer's panel here): " + excerpt(text));
        }
    } else {
        const auto& reply = std::get<request_reply>(message);
        const auto request = pending.find(reply.id);
        const char* expected = request == pending.end()                                ? ""
                               : request->second.value("type", std::string{}) == "get" ? "value"
                                                                                       : "answer";
        if (reply.type != expected) {
            log("bridge: ignored an answer to no waiting request: " + excerpt(text));
            return;
        }
        pending.erase(request);
        replies[reply.id] = reply;
    }
}

void bridge::impl::send_text(std::string text) {
    if (!stage) return;
    if (gathering) {
        gathered.push_back(std::move(text));
        return;
    }
    stage->send(std::move(text));
    // Push it out now rather than at the next wait, unless a handler is already running below us.
    if (running == 0) {
        ++running;
        io.poll();
        --running;
        if (io.stopped()) io.restart();
    }
}

void bridge::impl::send_gathered() {
    // A command's answer belongs to the page that raised it: a stage that connected since is a new page,
    // which never asked (its movie was loaded afresh by the replay).
    if (connections != gather_stage) gathered.clear();
    if (gathered.empty()) return;
    std::string batch;
    if (gathered.size() == 1) {
        batch = std::move(gathered.front());
    } else {
        batch = "[";
        for (std::size_t i = 0; i < gathered.size(); ++i) {
            if (i > 0) batch += ',';
            batch += gathered[i];
        }
        batch += ']';
    }
    gathered.clear();
    const bool was_gathering = gathering;
    gathering = false;
    send_text(std::move(batch));
    gathering = was_gathering;
}

bool bridge::impl::stage_idle() const { return !stage || stage->idle(); }

template <class Predicate>
bool bridge::impl::wait_until(Predicate done, std::optional<std::chrono::steady_clock::time_point> deadline,
                              bool interruptible) {
    while (!done()) {
        if (interrupted && interruptible) return false;
        if (deadline && std::chrono::steady_clock::now() >= *deadline) return false;
        ++running;
        if (deadline) {
            io.run_one_until(*deadline);
        } else {
            io.run_one();
        }
        --running;
        if (io.stopped()) io.restart();
    }
    return true;
}

namespace {
std::optional<std::chrono::steady_clock::time_point> deadline_after(std::optional<std::chrono::milliseconds> timeout) {
    if (!timeout) return std::nullopt;
    return std::chrono::steady_clock::now() + *timeout;
}
}  // namespace

bridge::bridge(bridge_options options) : impl_(std::make_unique<impl>(std::move(options))) {
    impl_->listen();
    if (impl_->options.handle_signals) impl_->watch_signals();
}

bridge::~bridge() = default;

int bridge::port() const { return impl_->port; }

std::string bridge::address() const { return "http://127.0.0.1:" + std::to_string(impl_->port) + "/"; }

std::string bridge::stage_url() const { return address() + "#key=" + impl_->secret; }

std::string bridge::one_time_url(std::chrono::milliseconds lifetime) {
    impl_->one_time_token = new_secret();
    impl_->one_time_expiry = std::chrono::steady_clock::now() + lifetime;
    return address() + "open/" + impl_->one_time_token;
}

std::uint64_t bridge::refused_connections() const { return impl_->refused_total; }

bool bridge::stage_connected() const { return impl_->stage && impl_->stage->open; }

bool bridge::interrupted() const { return impl_->interrupted; }

bool bridge::command_waiting(const std::string& form) const {
    return std::any_of(impl_->commands.begin(), impl_->commands.end(),
                       [&](const raised_command& command) { return command.form == form; });
}

void bridge::on_stage_connected(std::function<void()> replay) { impl_->replay = std::move(replay); }

void bridge::send(const nlohmann::json& message) { impl_->send_text(encode(message)); }

void bridge::gather_messages() {
    impl_->gathering = true;
    impl_->gather_stage = impl_->connections;
}

void bridge::release_messages() {
    impl_->send_gathered();
    impl_->gathering = false;
}

std::optional<request_reply> bridge::request(nlohmann::json message, std::optional<std::chrono::milliseconds> timeout) {
    const std::uint64_t id = impl_->next_request_id++;
    message["id"] = id;
    impl_->pending[id] = message;
    impl_->send_gathered();  // the stage must see what came before the request, and the request now
    const bool was_gathering = impl_->gathering;
    impl_->gathering = false;
    send(message);
    impl_->gathering = was_gathering;
    const bool answered = impl_->wait_until([&] { return impl_->replies.count(id) > 0; }, deadline_after(timeout));
    impl_->pending.erase(id);
    if (!answered) return std::nullopt;
    request_reply reply = std::move(impl_->replies[id]);
    impl_->replies.erase(id);
    return reply;
}

bool bridge::wait_for_stage(std::optional<std::chrono::milliseconds> timeout) {
    return impl_->wait_until([&] { return stage_connected(); }, deadline_after(timeout));
}

std::optional<raised_command> bridge::next_command(std::optional<std::chrono::milliseconds> timeout) {
    if (!impl_->wait_until([&] { return !impl_->commands.empty(); }, deadline_after(timeout))) return std::nullopt;
    raised_command command = std::move(impl_->commands.front());
    impl_->commands.pop_front();
    return command;
}

void bridge::run_for(std::chrono::milliseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    impl_->wait_until([] { return false; }, deadline);
}

void bridge::impl::tick_every(asio::steady_timer& timer, std::chrono::milliseconds period, std::function<void()> tick) {
    timer.expires_after(period);
    timer.async_wait([this, &timer, period, tick = std::move(tick)](beast::error_code error) mutable {
        if (error || ticks_stopped) return;
        tick();
        tick_every(timer, period, std::move(tick));
    });
}

void bridge::every(std::chrono::milliseconds period, std::function<void()> tick) {
    impl_->ticks_stopped = false;
    auto& timer = *impl_->tickers.emplace_back(std::make_unique<asio::steady_timer>(impl_->io));
    impl_->tick_every(timer, period, std::move(tick));
}

void bridge::stop_ticks() {
    // A tick still waiting sees operation_aborted; one already due sees ticks_stopped. Either touches
    // nothing, and its timer is still there for it.
    impl_->ticks_stopped = true;
    for (auto& timer : impl_->tickers) timer->cancel();
}

void bridge::interrupt() {
    asio::post(impl_->io, [this] { impl_->interrupted = true; });
}

void bridge::finish(std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    // An interrupted host still says goodbye to the stage, within the bound.
    impl_->wait_until([&] { return impl_->stage_idle(); }, deadline, false);
    if (impl_->stage) impl_->stage->close();
    impl_->wait_until([&] { return !impl_->stage; }, deadline, false);
    beast::error_code ignored;
    impl_->acceptor.close(ignored);
    impl_->report_timer.cancel();
    impl_->report_refusals();
}

}  // namespace quizhost::web
