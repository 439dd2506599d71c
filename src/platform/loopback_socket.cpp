#include "platform/loopback_socket.hpp"

namespace quizhost {

reply_progress gather_reply(std::string& reply, std::string_view piece, std::size_t longest) {
    const auto line_end = piece.find('\n');
    if (line_end != std::string_view::npos) {
        reply.append(piece.substr(0, line_end + 1));
        return reply_progress::complete;
    }
    reply.append(piece);
    return reply.size() >= longest ? reply_progress::too_long : reply_progress::incomplete;
}

std::string too_long_reply(std::size_t longest) {
    return "reply longer than " + std::to_string(longest) + " bytes without a line end";
}

std::optional<loopback_connection::read_result> take_line(std::string& pending, std::string& line,
                                                          std::size_t longest) {
    const auto line_end = pending.find('\n');
    if (line_end != std::string::npos && line_end < longest) {
        line = pending.substr(0, line_end + 1);
        pending.erase(0, line_end + 1);
        return loopback_connection::read_result::line;
    }
    if (pending.size() >= longest) {
        line = pending.substr(0, longest);
        pending.clear();
        return loopback_connection::read_result::too_long;
    }
    return std::nullopt;
}

}  // namespace quizhost
