// A loopback client for the browser player's tests: raw HTTP requests and a stage's WebSocket, each
// operation bounded so a broken server fails the test instead of hanging it. Used from a thread of its
// own while the bridge serves on the test's thread.
#pragma once

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <deque>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

namespace quizhost::testing {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using nlohmann::json;

inline constexpr auto client_timeout = std::chrono::seconds(5);

// Runs one asynchronous operation to its end; timed_out when it does not end within the bound.
template <class Start>
beast::error_code run_bounded(asio::io_context& io, Start start) {
    beast::error_code result = asio::error::timed_out;
    bool done = false;
    start([&](beast::error_code error, auto&&...) {
        result = error;
        done = true;
    });
    io.restart();
    io.run_for(client_timeout);
    return done ? result : beast::error_code(asio::error::timed_out);
}

struct raw_response {
    int status = 0;  // 0: no response at all
    std::string head;
    std::string body;
    bool has_header(const std::string& line) const { return head.find(line) != std::string::npos; }
};

// Sends `request` as it is, then reads until the server closes the connection.
inline raw_response raw_http(int port, const std::string& request) {
    asio::io_context io;
    tcp::socket socket(io);
    raw_response response;
    if (run_bounded(io, [&](auto handler) {
            socket.async_connect({asio::ip::address_v4::loopback(), static_cast<unsigned short>(port)}, handler);
        })) {
        return response;
    }
    if (run_bounded(io, [&](auto handler) { asio::async_write(socket, asio::buffer(request), handler); })) {
        return response;
    }
    std::string all;
    run_bounded(io, [&](auto handler) { asio::async_read(socket, asio::dynamic_buffer(all), handler); });
    const auto end_of_head = all.find("\r\n\r\n");
    if (all.rfind("HTTP/1.1 ", 0) != 0 || end_of_head == std::string::npos) return response;
    response.status = std::stoi(all.substr(9, 3));
    response.head = all.substr(0, end_of_head);
    response.body = all.substr(end_of_head + 4);
    return response;
}

inline raw_response http_request(int port, const std::string& method, const std::string& target,
                                 const std::string& host = {}) {
    const std::string host_header = host.empty() ? "127.0.0.1:" + std::to_string(port) : host;
    return raw_http(port,
                    method + " " + target + " HTTP/1.1\r\nHost: " + host_header + "\r\nConnection: close\r\n\r\n");
}

// The secret in a stage address ("http://127.0.0.1:PORT/#key=SECRET").
inline std::string key_of(const std::string& stage_url) {
    const auto at = stage_url.find("#key=");
    return at == std::string::npos ? std::string{} : stage_url.substr(at + 5);
}

// The request line and headers of a stage's WebSocket upgrade, as a browser on the stage sends them.
inline std::string upgrade_request(int port, const std::string& target, const std::string& origin = {}) {
    const std::string host = "127.0.0.1:" + std::to_string(port);
    return "GET " + target + " HTTP/1.1\r\nHost: " + host +
           "\r\nOrigin: " + (origin.empty() ? "http://" + host : origin) +
           "\r\nConnection: Upgrade\r\nUpgrade: websocket\r\nSec-WebSocket-Version: 13\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";
}

// One masked WebSocket text frame as a client sends it (payloads under 126 bytes), to follow an upgrade
// request in the same write.
inline std::string client_text_frame(const std::string& text) {
    std::string frame = "\x81";
    frame += static_cast<char>(0x80 | text.size());
    frame += std::string(4, '\0');  // a zero mask leaves the payload as it is
    return frame + text;
}

// A stage's end of the bridge.
class stage_client {
public:
    // `key` is the secret it proves when it connects ("/bridge?key=KEY"); empty proves none.
    explicit stage_client(int port, std::string key = {}) : port_(port), key_(std::move(key)) {}

    // Opens the bridge; 101 when accepted, else the refusal's HTTP status (0: no answer at all). The
    // target defaults to the bridge with the client's key.
    int connect(const std::string& origin = {}, std::string target = {}) {
        if (target.empty()) target = key_.empty() ? "/bridge" : "/bridge?key=" + key_;
        const std::string host = "127.0.0.1:" + std::to_string(port_);
        const std::string from = origin.empty() ? "http://" + host : origin;
        if (run_bounded(io_, [&](auto handler) {
                beast::get_lowest_layer(ws_).async_connect(
                    tcp::endpoint{asio::ip::address_v4::loopback(), static_cast<unsigned short>(port_)}, handler);
            })) {
            return 0;
        }
        ws_.set_option(websocket::stream_base::decorator([from](websocket::request_type& request) {
            if (from != "none") request.set(http::field::origin, from);
        }));
        websocket::response_type response;
        const auto error =
            run_bounded(io_, [&](auto handler) { ws_.async_handshake(response, host, target, handler); });
        if (!error) return 101;
        return static_cast<int>(response.result_int());
    }

    // The next message from the host (the messages of a gathered array one by one); null when none
    // comes in time or the connection ended.
    json read() {
        if (queued_.empty()) {
            buffer_.consume(buffer_.size());
            if (run_bounded(io_, [&](auto handler) { ws_.async_read(buffer_, handler); })) return json();
            json frame = json::parse(beast::buffers_to_string(buffer_.data()), nullptr, false);
            ++frames;
            if (!frame.is_array()) return frame;
            for (auto& message : frame) queued_.push_back(std::move(message));
            if (queued_.empty()) return json();
        }
        json message = std::move(queued_.front());
        queued_.pop_front();
        return message;
    }

    // Reads until a message of this type (the ones before it are kept in `skipped`).
    json read_until(const std::string& type) {
        for (;;) {
            json message = read();
            if (message.is_null() || message.value("type", "") == type) return message;
            skipped.push_back(message);
        }
    }

    bool send_text(const std::string& text) {
        ws_.text(true);
        return !run_bounded(io_, [&](auto handler) { ws_.async_write(asio::buffer(text), handler); });
    }
    bool send(const json& message) { return send_text(message.dump()); }
    bool send_binary(const std::string& bytes) {
        ws_.binary(true);
        return !run_bounded(io_, [&](auto handler) { ws_.async_write(asio::buffer(bytes), handler); });
    }
    void close() {
        run_bounded(io_, [&](auto handler) { ws_.async_close(websocket::close_code::normal, handler); });
    }

    std::vector<json> skipped;
    int frames = 0;  // WebSocket frames read so far

private:
    std::deque<json> queued_;
    int port_;
    std::string key_;
    asio::io_context io_;
    websocket::stream<beast::tcp_stream> ws_{io_};
    beast::flat_buffer buffer_;
};

// A stage connected as soon as the place is free: the host notices that a stage left only when it next
// runs its sockets. Null when no connection was accepted within a couple of seconds.
inline std::unique_ptr<stage_client> connect_stage(int port, const std::string& key) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto client = std::make_unique<stage_client>(port, key);
        if (client->connect() == 101) return client;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return nullptr;
}

}  // namespace quizhost::testing
