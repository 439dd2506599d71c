#include "platform/web/bridge_messages.hpp"

#include <array>

#include "platform/private_files.hpp"

namespace quizhost::web {
namespace {

using nlohmann::json;

// Windows-1252's characters for the bytes 0x80 to 0x9F; the five holes keep their C1 code points.
constexpr std::array<char32_t, 32> cp1252_high = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void append_code_point(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The length of the valid UTF-8 sequence starting at `at`, or 0 when the bytes there are not one
// (stray continuation bytes, overlong forms, surrogates, code points above U+10FFFF, truncation).
std::size_t utf8_sequence_length(std::string_view s, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    char32_t low = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, low = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, low = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, low = 0x10000;
    } else {
        return 0;
    }
    if (at + length > s.size()) return 0;
    char32_t c = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (byte(at + i) & 0x3F);
    }
    if (c < low || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return length;
}

bool read_id(const json& message, const char* key, std::uint64_t& out) {
    const auto found = message.find(key);
    if (found == message.end() || !found->is_number_unsigned()) return false;
    out = found->get<std::uint64_t>();
    return true;
}

bool read_text(const json& message, const char* key, std::string& out, bool required) {
    const auto found = message.find(key);
    if (found == message.end()) return !required;
    if (!found->is_string()) return false;
    out = found->get<std::string>();
    return true;
}

stage_message parse_fs(const json& message) {
    raised_command command;
    if (!read_text(message, "form", command.form, true) || (command.form != "intro" && command.form != "main")) {
        return refused_message{"\"fs\" needs \"form\" \"intro\" or \"main\""};
    }
    if (!read_id(message, "load", command.load) || !read_id(message, "id", command.id)) {
        return refused_message{"\"fs\" needs whole numbers \"load\" and \"id\""};
    }
    if (!read_text(message, "command", command.command, true) || !read_text(message, "args", command.args, false)) {
        return refused_message{"\"fs\" needs a text \"command\" (and a text \"args\" when it has one)"};
    }
    command.command = to_single_bytes(command.command);
    command.args = to_single_bytes(command.args);
    return command;
}

stage_message parse_reply(const json& message, const std::string& type) {
    request_reply reply{0, type, {}};
    if (!read_id(message, "id", reply.id)) return refused_message{"\"" + type + "\" needs a whole number \"id\""};
    const char* key = type == "value" ? "value" : "answer";
    if (!read_text(message, key, reply.text, true)) {
        return refused_message{"\"" + type + "\" needs a text \"" + key + "\""};
    }
    if (type == "answer" && reply.text != "ok" && reply.text != "yes" && reply.text != "no") {
        return refused_message{"\"answer\" must be \"ok\", \"yes\" or \"no\""};
    }
    reply.text = to_single_bytes(reply.text);
    return reply;
}

}  // namespace

stage_message parse_stage_message(std::string_view text) {
    const json message = json::parse(text.begin(), text.end(), nullptr, false);
    if (message.is_discarded()) return refused_message{"not JSON"};
    if (!message.is_object()) return refused_message{"not a JSON object"};
    const auto type = message.find("type");
    if (type == message.end() || !type->is_string()) return refused_message{"no text \"type\""};
    const std::string kind = type->get<std::string>();
    if (kind == "fs") return parse_fs(message);
    if (kind == "value" || kind == "answer") return parse_reply(message, kind);
    if (kind == "developer") return developer_message{message};
    return refused_message{"unknown type \"" + excerpt(kind, 40) + "\""};
}

std::string to_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        append_code_point(out, byte < 0x80 ? char32_t{byte} : byte < 0xA0 ? cp1252_high[byte - 0x80] : char32_t{byte});
    }
    return out;
}

std::string to_single_bytes(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[at]);
        if (byte < 0x80) {
            out += utf8[at++];
            continue;
        }
        const std::size_t length = utf8_sequence_length(utf8, at);
        if (length == 0) {  // not UTF-8 at all (JSON text always is): a character nobody can tell
            out += '?';
            ++at;
            continue;
        }
        char32_t c = byte & (0x7F >> length);
        for (std::size_t i = 1; i < length; ++i) c = (c << 6) | (static_cast<unsigned char>(utf8[at + i]) & 0x3F);
        at += length;
        char single = '?';
        if (c >= 0xA0 && c <= 0xFF) {
            single = static_cast<char>(c);
        } else {
            for (std::size_t i = 0; i < cp1252_high.size(); ++i) {
                if (cp1252_high[i] == c) single = static_cast<char>(0x80 + i);
            }
        }
        out += single;
    }
    return out;
}

std::string encode(const nlohmann::json& message) {
    // The builders pass every host text through to_utf8; replacing is only a last guard against a throw.
    return message.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string excerpt(std::string_view text, std::size_t limit) {
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F) {
            static constexpr char hex[] = "0123456789ABCDEF";
            out += "\\x";
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        } else {
            out += text[i];
        }
    }
    if (text.size() > limit) out += "...";
    return out;
}

}  // namespace quizhost::web

namespace quizhost::web {

std::string new_secret() {
    std::array<unsigned char, 32> bytes{};
    fill_system_random(bytes.data(), bytes.size());
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char byte : bytes) {
        out += hex[byte >> 4];
        out += hex[byte & 0xF];
    }
    return out;
}

bool same_secret(std::string_view given, std::string_view secret) {
    if (given.size() != secret.size() || secret.empty()) return false;
    // Every byte is looked at, whatever the first difference; volatile keeps the compiler from stopping early.
    volatile unsigned char difference = 0;
    for (std::size_t i = 0; i < secret.size(); ++i) {
        difference = difference | static_cast<unsigned char>(given[i] ^ secret[i]);
    }
    return difference == 0;
}

std::string_view target_path(std::string_view target) { return target.substr(0, target.find('?')); }

std::optional<std::string_view> query_field(std::string_view target, std::string_view name) {
    const auto mark = target.find('?');
    if (mark == std::string_view::npos) return std::nullopt;
    std::string_view query = target.substr(mark + 1);
    query = query.substr(0, query.find('#'));
    while (true) {
        const auto end = query.find('&');
        const std::string_view field = query.substr(0, end);
        const auto equals = field.find('=');
        if (field.substr(0, equals) == name) {
            return equals == std::string_view::npos ? std::string_view{} : field.substr(equals + 1);
        }
        if (end == std::string_view::npos) return std::nullopt;
        query = query.substr(end + 1);
    }
}

}  // namespace quizhost::web
