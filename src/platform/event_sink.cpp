#include "platform/event_sink.hpp"

#include <fmt/format.h>

#include "platform/movie_control.hpp"
#include "platform/window_system.hpp"

namespace quizhost {

const char* form_name(form f) { return f == form::intro ? "intro" : "main"; }

const char* box_answer_name(box_answer a) {
    switch (a) {
        case box_answer::ok:
            return "ok";
        case box_answer::yes:
            return "yes";
        case box_answer::no:
            return "no";
    }
    return "ok";
}

std::string escape_field(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            default:
                if (byte < 32 || byte == 127) {
                    out += fmt::format("\\x{:02X}", byte);
                } else {
                    out += c;
                }
        }
    }
    return out;
}

void stream_event_sink::event(std::initializer_list<std::string_view> fields) {
    std::string line;
    bool first = true;
    for (std::string_view field : fields) {
        if (!first) line += '\t';
        first = false;
        line += escape_field(field);
    }
    line += '\n';
    if (broken_) return;
    if (std::fwrite(line.data(), 1, line.size(), out_) != line.size() || std::fflush(out_) != 0) broken_ = true;
}

}  // namespace quizhost
