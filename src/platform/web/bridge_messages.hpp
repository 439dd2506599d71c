// The bridge's messages between the host and the stage page: JSON objects with a "type", one per WebSocket
// text frame. This file holds the parts that need no socket, so they can be checked on their own: reading a
// stage message (anything malformed is refused with a reason, never thrown) and turning the host's
// single-byte text into the UTF-8 that JSON requires.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include <nlohmann/json.hpp>

namespace quizhost::web {

// A command raised by a movie on the stage, waiting for the host to take it.
struct raised_command {
    std::string form;        // "intro" or "main": the layer whose movie raised it
    std::uint64_t load = 0;  // which load of that layer's movie raised it (see web_movie)
    std::uint64_t id = 0;    // the stage's number for it, echoed back in "done"
    std::string command;
    std::string args;
};

// The stage's answer to one of the host's requests ("get" is answered by "value", "msgbox" by "answer").
struct request_reply {
    std::uint64_t id = 0;
    std::string type;  // "value" or "answer"
    std::string text;  // the variable's value, or "ok", "yes", "no"
};

// A message of the developer's panel (`quizhost dev` only): its JSON object, "type" "developer", as it came.
struct developer_message {
    nlohmann::json body;
};

// Why a stage message was ignored.
struct refused_message {
    std::string reason;
};

using stage_message = std::variant<raised_command, request_reply, refused_message, developer_message>;

// Reads one text frame from the stage. Unknown types, missing or mistyped fields, ids that are not whole
// numbers and text that is not JSON are all refused with a reason for the log.
stage_message parse_stage_message(std::string_view text);

// The host keeps text as single bytes, Windows-1252, as the cabinet's files and the old control did; JSON
// needs UTF-8. These two are the bridge's one conversion between them, both ways, for HTML5 and Flash
// movies alike.
//
// to_utf8: every byte as its Windows-1252 character, the five bytes Windows-1252 leaves undefined (0x81,
// 0x8D, 0x8F, 0x90, 0x9D) as the C1 controls of the same number. Every byte string survives the trip out
// and back unchanged; dumping never throws.
std::string to_utf8(std::string_view bytes);
// to_single_bytes: the text a movie raised (command, arguments, a variable's value) as the bytes it meant:
// each character Windows-1252 holds as its byte (the five C1 controls above as theirs, which is how a
// version 5 Flash movie's own bytes arrive), any other character (a Flash 6 movie's invalid byte arrives
// as U+FFFD) as "?".
std::string to_single_bytes(std::string_view utf8);

// The message as one JSON text, ready for the socket.
std::string encode(const nlohmann::json& message);

// The secret a stage proves and the token of a one-time link: 256 bits from the system's generator, as 64
// lowercase hex digits (safe in a URL's query and fragment as they are).
std::string new_secret();

// Whether `given` is `secret`, in a time that does not depend on where they differ (a timing probe learns
// nothing of the secret byte by byte); only the length, which is no secret, may tell early.
bool same_secret(std::string_view given, std::string_view secret);

// The path of a request target ("/bridge" of "/bridge?key=..."), and the value of the query's first
// `name` field, taken as it is (a secret needs no escapes); nothing when the query has no such field.
std::string_view target_path(std::string_view target);
std::optional<std::string_view> query_field(std::string_view target, std::string_view name);

// A short, printable excerpt of a refused message for the log: at most `limit` bytes, control bytes escaped.
std::string excerpt(std::string_view text, std::size_t limit = 160);

}  // namespace quizhost::web
