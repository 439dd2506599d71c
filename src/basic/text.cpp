#include "basic/text.hpp"

namespace quizhost {

std::vector<std::string_view> split_views(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    if (text.empty()) return pieces;
    std::size_t start = 0;
    for (;;) {
        const std::size_t at = text.find(separator, start);
        if (at == std::string_view::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, at - start));
        start = at + 1;
    }
}

void add_line(std::string& bytes, std::string_view line) {
    bytes += line;
    bytes += line_end;
}

std::string_view without_cr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

std::string_view next_line(std::string_view bytes, std::size_t& position) {
    const std::size_t start = position;
    std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    position = end == bytes.size() ? end : end + 1;
    return without_cr(bytes.substr(start, end - start));
}

std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> pieces;
    for (std::string_view piece : split_views(text, separator)) pieces.emplace_back(piece);
    return pieces;
}

std::string join(const std::vector<std::string>& pieces, std::string_view separator) {
    std::string result;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i != 0) result += separator;
        result += pieces[i];
    }
    return result;
}

std::string_view trim_spaces(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && text[start] == ' ') ++start;
    std::size_t end = text.size();
    while (end > start && text[end - 1] == ' ') --end;
    return text.substr(start, end - start);
}

namespace {
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

std::string to_upper_ascii(std::string_view text) {
    std::string result(text);
    for (char& c : result) c = upper(c);
    return result;
}

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (upper(text[i]) != upper(prefix[i])) return false;
    }
    return true;
}

std::string single_line(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return result;
}

std::string html_escape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n') {
                    out += ' ';
                } else if (static_cast<unsigned char>(c) >= 0x80) {
                    out += "&#" + std::to_string(static_cast<unsigned>(static_cast<unsigned char>(c))) + ";";
                } else {
                    out += c;
                }
        }
    }
    return out;
}

}  // namespace quizhost
