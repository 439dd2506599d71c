#include "player/movie_script.hpp"

#include <charconv>
#include <cmath>

#include "basic/text.hpp"

namespace quizhost {
namespace {

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

template <typename Number>
bool parse_whole(std::string_view text, Number& out) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    const auto [stop, failure] = std::from_chars(text.data(), end, out);
    return failure == std::errc{} && stop == end;
}

bool is_leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : days[month - 1];
}

// "YYYY-MM-DD HH:MM:SS", every part its exact width.
bool parse_moment(std::string_view text, date_time& at) {
    if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
        text[16] != ':') {
        return false;
    }
    const auto part = [&](std::size_t from, std::size_t width, int& out) {
        const std::string_view digits = text.substr(from, width);
        for (const char c : digits) {
            if (c < '0' || c > '9') return false;
        }
        return parse_whole(digits, out);
    };
    if (!part(0, 4, at.year) || !part(5, 2, at.month) || !part(8, 2, at.day) || !part(11, 2, at.hour) ||
        !part(14, 2, at.minute) || !part(17, 2, at.second)) {
        return false;
    }
    return at.year >= 1 && at.month >= 1 && at.month <= 12 && at.day >= 1 &&
           at.day <= days_in_month(at.year, at.month) && at.hour <= 23 && at.minute <= 59 && at.second <= 59;
}

std::vector<std::string_view> split_tabs(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        if (tab == std::string_view::npos) {
            fields.push_back(line.substr(start));
            return fields;
        }
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
}

bool is_blank_line(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

// Reads one directive from its fields (escapes already replaced).
class directive_reader {
public:
    directive_reader(int line, std::vector<std::string> fields) : line_(line), fields_(std::move(fields)) {}

    script_directive read() {
        const std::string& name = fields_[0];
        script_directive d;
        d.line = line_;
        if (name == "fs") {
            arguments(1, 2, "fs COMMAND [ARGS]");
            d.what = script_directive::kind::fs;
            d.name = fields_[1];
            d.value = fields_.size() > 2 ? fields_[2] : std::string{};
        } else if (name == "var") {
            arguments(2, 2, "var NAME VALUE");
            d.what = script_directive::kind::var;
            d.name = fields_[1];
            d.value = fields_[2];
        } else if (name == "draw") {
            arguments(1, 1, "draw U");
            d.what = script_directive::kind::draw;
            if (!parse_whole(fields_[1], d.draw) || !std::isfinite(d.draw) || d.draw < 0 || d.draw >= 1) {
                fail("draw needs a number from 0 up to but not including 1, not \"" + fields_[1] + "\"");
            }
        } else if (name == "clock") {
            read_clock(d);
        } else if (name == "msgbox") {
            arguments(1, 1, "msgbox ok|yes|no");
            d.what = script_directive::kind::msgbox;
            if (fields_[1] == "ok") {
                d.answer = box_answer::ok;
            } else if (fields_[1] == "yes") {
                d.answer = box_answer::yes;
            } else if (fields_[1] == "no") {
                d.answer = box_answer::no;
            } else {
                fail("msgbox answers ok, yes or no, not \"" + fields_[1] + "\"");
            }
        } else if (name == "screen") {
            read_screen(d);
        } else if (name == "display") {
            arguments(1, 1, "display RESULT|enum-fail");
            if (fields_[1] == "enum-fail") {
                d.what = script_directive::kind::display_enum_fail;
            } else {
                d.what = script_directive::kind::display_result;
                if (!parse_whole(fields_[1], d.result))
                    fail("display needs a whole number or enum-fail, not \"" + fields_[1] + "\"");
            }
        } else {
            fail("unknown directive \"" + name + "\" (known: fs, var, draw, clock, msgbox, screen, display)");
        }
        return d;
    }

private:
    [[noreturn]] void fail(const std::string& message) const { throw script_error(line_, message); }

    void arguments(std::size_t least, std::size_t most, const char* usage) const {
        const std::size_t given = fields_.size() - 1;
        if (given < least || given > most) {
            fail(std::string("expected \"") + usage + "\" with TAB-separated fields, got " + std::to_string(given) +
                 (given == 1 ? " field" : " fields") + " after the directive");
        }
    }

    void read_clock(script_directive& d) {
        // The moment may also come as two fields, date TAB time.
        arguments(1, 2, "clock YYYY-MM-DD HH:MM:SS\" or \"clock +N");
        const std::string when = fields_.size() == 3 ? fields_[1] + " " + fields_[2] : fields_[1];
        if (fields_.size() == 2 && !when.empty() && when[0] == '+') {
            d.what = script_directive::kind::clock_advance;
            const std::string_view digits = std::string_view(when).substr(1);
            if (digits.empty() || digits[0] == '+' || digits[0] == '-' || !parse_whole(digits, d.seconds) ||
                d.seconds > 1'000'000'000'000LL) {
                fail("clock +N needs a whole number of seconds, not \"" + when + "\"");
            }
            return;
        }
        d.what = script_directive::kind::clock_at;
        if (!parse_moment(when, d.at))
            fail("clock needs a moment YYYY-MM-DD HH:MM:SS or +N seconds, not \"" + when + "\"");
    }

    void read_screen(script_directive& d) {
        arguments(1, 1, "screen WxH");
        d.what = script_directive::kind::screen;
        const std::string& size = fields_[1];
        const auto x = size.find('x');
        if (x == std::string::npos || !parse_whole(std::string_view(size).substr(0, x), d.width) ||
            !parse_whole(std::string_view(size).substr(x + 1), d.height) || d.width <= 0 || d.height <= 0 ||
            d.width > 100000 || d.height > 100000) {
            fail("screen needs a size such as 800x600, not \"" + size + "\"");
        }
    }

    int line_;
    std::vector<std::string> fields_;
};

}  // namespace

script_error::script_error(int line, const std::string& message)
    : std::runtime_error("line " + std::to_string(line) + ": " + message), line_(line) {}

std::string unescape_field(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
            out += field[i];
            continue;
        }
        if (i + 1 == field.size())
            throw std::invalid_argument("a backslash ends the field (write \\\\ for a backslash)");
        const char code = field[++i];
        switch (code) {
            case '\\':
                out += '\\';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'n':
                out += '\n';
                break;
            case 'x': {
                const int high = i + 1 < field.size() ? hex_digit(field[i + 1]) : -1;
                const int low = i + 2 < field.size() ? hex_digit(field[i + 2]) : -1;
                if (high < 0 || low < 0) throw std::invalid_argument("\\x needs two hexadecimal digits");
                out += static_cast<char>(high * 16 + low);
                i += 2;
                break;
            }
            default:
                throw std::invalid_argument(std::string("unknown escape \\") + code +
                                            " (known: \\\\ \\t \\r \\n \\xHH)");
        }
    }
    return out;
}

movie_script parse_movie_script(std::string_view text) {
    movie_script script;
    int number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        ++number;
        // Scripts written on Windows end their lines with CR LF; a CR inside a field is written \r.
        line = without_cr(line);
        if (is_blank_line(line) || line.front() == '#') continue;

        std::vector<std::string> fields;
        for (const std::string_view raw : split_tabs(line)) {
            try {
                fields.push_back(unescape_field(raw));
            } catch (const std::invalid_argument& bad) {
                throw script_error(number, bad.what());
            }
        }
        script.push_back(directive_reader(number, std::move(fields)).read());
    }
    return script;
}

}  // namespace quizhost
