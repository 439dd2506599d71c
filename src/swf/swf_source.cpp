#include "swf/swf_source.hpp"

#include <charconv>
#include <cmath>
#include <map>
#include <optional>
#include <utility>

#include "swf/avm1.hpp"

namespace quizhost::swf {
namespace {

struct token {
    std::string text;
    bool quoted = false;
};

struct source_error {
    std::string what;
};

[[noreturn]] void bad(const std::string& what) { throw source_error{what}; }

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::vector<token> split(std::string_view line) {
    std::vector<token> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#') {
            break;
        } else if (c == '"') {
            token t{"", true};
            ++i;
            for (;;) {
                if (i >= line.size()) bad("a string has no closing quote");
                char d = line[i++];
                if (d == '"') break;
                if (d == '\\') {
                    if (i >= line.size()) bad("a string ends in a backslash");
                    d = line[i++];
                    switch (d) {
                        case 'n':
                            d = '\n';
                            break;
                        case 'r':
                            d = '\r';
                            break;
                        case 't':
                            d = '\t';
                            break;
                        case 'x': {
                            const int high = i + 1 < line.size() ? hex_value(line[i]) : -1;
                            const int low = i + 1 < line.size() ? hex_value(line[i + 1]) : -1;
                            if (high < 0 || low < 0) bad("\\x needs two hex digits");
                            d = static_cast<char>(high * 16 + low);
                            i += 2;
                            break;
                        }
                        case '"':
                        case '\\':
                            break;
                        default:
                            bad(std::string("unknown escape \\") + d);
                    }
                }
                t.text += d;
            }
            tokens.push_back(std::move(t));
        } else {
            const std::size_t start = i;
            while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') ++i;
            tokens.push_back({std::string(line.substr(start, i - start)), false});
        }
    }
    return tokens;
}

long number(const std::string& text, long low, long high) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < low || value > high) {
        bad("\"" + text + "\" is not a whole number from " + std::to_string(low) + " to " + std::to_string(high));
    }
    return value;
}

std::uint32_t colour(const std::string& text) {
    if (text.size() != 6) bad("\"" + text + "\" is not a colour RRGGBB");
    std::uint32_t value = 0;
    for (const char c : text) {
        const int digit = hex_value(c);
        if (digit < 0) bad("\"" + text + "\" is not a colour RRGGBB");
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

// KEY=VALUE options after the directive's fixed fields.
std::map<std::string, std::string> options_of(const std::vector<token>& tokens, std::size_t from) {
    std::map<std::string, std::string> options;
    for (std::size_t i = from; i < tokens.size(); ++i) {
        const auto equals = tokens[i].text.find('=');
        if (equals == std::string::npos) {
            options[tokens[i].text] = "";
        } else {
            options[tokens[i].text.substr(0, equals)] = tokens[i].text.substr(equals + 1);
        }
    }
    return options;
}

const std::map<std::string, std::uint8_t>& simple_actions() {
    static const std::map<std::string, std::uint8_t> table = {
        {"nextframe", op::next_frame},
        {"prevframe", op::prev_frame},
        {"play", op::play},
        {"stop", op::stop},
        {"add", op::add},
        {"subtract", op::subtract},
        {"multiply", op::multiply},
        {"divide", op::divide},
        {"equals", op::equals},
        {"less", op::less},
        {"and", op::logical_and},
        {"or", op::logical_or},
        {"not", op::logical_not},
        {"stringequals", op::string_equals},
        {"stringlength", op::string_length},
        {"pop", op::pop},
        {"tointeger", op::to_integer},
        {"getvariable", op::get_variable},
        {"setvariable", op::set_variable},
        {"settarget2", op::set_target2},
        {"stringadd", op::string_add},
        {"getproperty", op::get_property},
        {"setproperty", op::set_property},
        {"trace", op::trace},
        {"random", op::random},
        {"callfunction", op::call_function},
        {"return", op::return_},
        {"modulo", op::modulo},
        {"newobject", op::new_object},
        {"definelocal", op::define_local},
        {"definelocal2", op::define_local2},
        {"initarray", op::init_array},
        {"initobject", op::init_object},
        {"typeof", op::type_of},
        {"add2", op::add2},
        {"less2", op::less2},
        {"equals2", op::equals2},
        {"tonumber", op::to_number},
        {"tostring", op::to_string},
        {"dup", op::push_duplicate},
        {"swap", op::stack_swap},
        {"getmember", op::get_member},
        {"setmember", op::set_member},
        {"increment", op::increment},
        {"decrement", op::decrement},
        {"callmethod", op::call_method},
        {"strictequals", op::strict_equals},
        {"greater", op::greater},
    };
    return table;
}

push_value value_of(const token& t) {
    if (t.quoted) return t.text;
    if (t.text == "true") return true;
    if (t.text == "false") return false;
    if (t.text == "null") return null_value{};
    if (t.text == "undefined") return undefined_value{};
    if (t.text.size() > 1 && (t.text[0] == 'r' || t.text[0] == 'c') && t.text[1] >= '0' && t.text[1] <= '9') {
        const long n = number(t.text.substr(1), 0, t.text[0] == 'r' ? 255 : 65535);
        if (t.text[0] == 'r') return register_ref{static_cast<std::uint8_t>(n)};
        return constant_ref{static_cast<std::uint16_t>(n)};
    }
    if (t.text.find_first_of(".eE") == std::string::npos) {
        return static_cast<std::int32_t>(number(t.text, INT32_MIN, INT32_MAX));
    }
    double d = 0;
    const auto [end, error] = std::from_chars(t.text.data(), t.text.data() + t.text.size(), d);
    if (error != std::errc{} || end != t.text.data() + t.text.size()) bad("\"" + t.text + "\" is not a value");
    return d;
}

const token& operand(const std::vector<token>& tokens, std::size_t i, const char* what) {
    if (i >= tokens.size()) bad(std::string("missing ") + what);
    return tokens[i];
}

void action_line(actions& a, const std::vector<token>& t) {
    const std::string& name = t[0].text;
    if (!t[0].quoted && name.size() > 1 && name.back() == ':' && t.size() == 1) {
        a.label(name.substr(0, name.size() - 1));
        return;
    }
    if (const auto simple = simple_actions().find(name); simple != simple_actions().end()) {
        if (t.size() != 1) bad(name + " takes no operands");
        a.simple(simple->second);
    } else if (name == "push") {
        std::vector<push_value> values;
        for (std::size_t i = 1; i < t.size(); ++i) values.push_back(value_of(t[i]));
        if (values.empty()) bad("push needs a value");
        a.push(values);
    } else if (name == "pool") {
        std::vector<std::string> names;
        for (std::size_t i = 1; i < t.size(); ++i) names.push_back(t[i].text);
        a.constant_pool(names);
    } else if (name == "geturl") {
        a.get_url(operand(t, 1, "the URL").text, operand(t, 2, "the target").text);
    } else if (name == "fscommand") {
        a.get_url("FSCommand:" + operand(t, 1, "the command").text, t.size() > 2 ? t[2].text : "");
    } else if (name == "geturl2") {
        a.get_url2(static_cast<std::uint8_t>(number(operand(t, 1, "the flags").text, 0, 255)));
    } else if (name == "gotoframe") {
        a.goto_frame(static_cast<std::uint16_t>(number(operand(t, 1, "the frame").text, 0, 65535)));
    } else if (name == "gotolabel") {
        a.goto_label(operand(t, 1, "the label").text);
    } else if (name == "settarget") {
        a.set_target(operand(t, 1, "the target").text);
    } else if (name == "store") {
        a.store_register(static_cast<std::uint8_t>(number(operand(t, 1, "the register").text, 0, 255)));
    } else if (name == "jump") {
        a.jump(operand(t, 1, "the label").text);
    } else if (name == "if") {
        a.if_true(operand(t, 1, "the label").text);
    } else if (name == "function") {
        std::vector<std::string> parameters;
        for (std::size_t i = 2; i < t.size(); ++i) parameters.push_back(t[i].text);
        a.begin_function(operand(t, 1, "the function's name (\"\" for none)").text, parameters);
    } else if (name == "endfunction") {
        a.end_function();
    } else {
        bad("unknown action \"" + name + "\"");
    }
}

std::uint32_t event_flag(const std::string& name) {
    static const std::map<std::string, std::uint32_t> clip_events = {
        {"load", 0x01},
        {"enterFrame", 0x02},
        {"unload", 0x04},
        {"mouseMove", 0x08},
        {"mouseDown", 0x10},
        {"mouseUp", 0x20},
        {"keyDown", 0x40},
        {"keyUp", 0x80},
        {"data", 0x100},
        {"initialize", 0x200},
        {"press", 0x400},
        {"release", 0x800},
        {"releaseOutside", 0x1000},
        {"rollOver", 0x2000},
        {"rollOut", 0x4000},
        {"construct", 0x40000},
    };
    const auto found = clip_events.find(name);
    if (found == clip_events.end()) bad("unknown event \"" + name + "\"");
    return found->second;
}

// The key of a button's keyPress: one printable character ("k") or the name of a special key.
std::uint32_t key_code(const token& key) {
    static const std::map<std::string, std::uint32_t> special = {
        {"Left", 1},    {"Right", 2},     {"Home", 3},   {"End", 4},     {"Insert", 5},
        {"Delete", 6},  {"Backspace", 8}, {"Enter", 13}, {"Up", 14},     {"Down", 15},
        {"PageUp", 16}, {"PageDown", 17}, {"Tab", 18},   {"Escape", 19}, {"Space", 32},
    };
    if (key.quoted) {
        if (key.text.size() != 1 || key.text[0] < 33 || key.text[0] > 126) {
            bad("a key is one printable character or a key's name, not \"" + key.text + "\"");
        }
        return static_cast<std::uint32_t>(key.text[0]);
    }
    const auto found = special.find(key.text);
    if (found == special.end()) bad("unknown key \"" + key.text + "\" (a character is quoted: \"k\")");
    return found->second;
}

struct timeline {
    std::vector<tag> tags;
    std::uint16_t frames = 0;
    std::uint16_t sprite_id = 0;  // 0 for the main timeline
};

// A placement or a button still taking its "on" blocks.
struct open_owner {
    enum { none, place, button } kind = none;
    writer head;  // the tag's fields before its actions
    std::vector<std::pair<std::uint32_t, bytes>> handlers;
    timeline* into = nullptr;
};

class assembler {
public:
    movie run(std::string_view source) {
        std::size_t line_number = 0;
        std::size_t start = 0;
        try {
            while (start <= source.size()) {
                auto end = source.find('\n', start);
                if (end == std::string_view::npos) end = source.size();
                ++line_number;
                line(split(source.substr(start, end - start)));
                start = end + 1;
            }
            if (block_) bad("an actions block is not closed with end");
            if (stack_.size() > 1) bad("a sprite is not closed with endsprite");
            close_owner();
        } catch (const source_error& e) {
            throw swf_error("line " + std::to_string(line_number) + ": " + e.what);
        } catch (const swf_error& e) {
            throw swf_error("line " + std::to_string(line_number) + ": " + e.what());
        }
        m_.tags = std::move(stack_.front().tags);
        m_.frame_count = std::max<std::uint16_t>(1, stack_.front().frames);
        if (as3_) m_.tags.insert(m_.tags.begin(), tag{tag_code::file_attributes, {0x08, 0, 0, 0}});
        if (background_) {
            m_.tags.insert(m_.tags.begin(), tag{tag_code::set_background_color,
                                                {static_cast<std::uint8_t>(*background_ >> 16),
                                                 static_cast<std::uint8_t>(*background_ >> 8),
                                                 static_cast<std::uint8_t>(*background_)}});
        }
        return m_;
    }

private:
    timeline& current() { return stack_.back(); }

    void line(const std::vector<token>& t) {
        if (t.empty()) return;
        if (block_) {
            if (!t[0].quoted && t[0].text == "end" && t.size() == 1) {
                end_block();
            } else {
                action_line(*block_, t);
            }
            return;
        }
        const std::string& d = t[0].text;
        if (d == "on") {
            if (owner_.kind == open_owner::none) bad("\"on\" belongs after a place or button line");
            block_ = actions{};
            block_event_ = operand(t, 1, "the event").text;
            block_key_ = 0;
            if (block_event_ == "keyPress") {
                if (owner_.kind != open_owner::button) bad("keyPress is a button's event here, not a clip's");
                block_key_ = key_code(operand(t, 2, "the key"));
            }
            return;
        }
        close_owner();
        if (d == "movie") {
            movie_line(t);
        } else if (d == "actions") {
            block_ = actions{};
            block_tag_ = tag_code::do_action;
        } else if (d == "initactions") {
            block_ = actions{};
            block_tag_ = tag_code::do_init_action;
            init_sprite_ = static_cast<std::uint16_t>(number(operand(t, 1, "the sprite").text, 1, 65535));
        } else if (d == "frame") {
            current().tags.push_back({tag_code::show_frame, {}});
            ++current().frames;
        } else if (d == "label") {
            writer w;
            w.text(operand(t, 1, "the label").text);
            current().tags.push_back({tag_code::frame_label, w.data()});
        } else if (d == "sprite") {
            if (stack_.size() > 1) bad("a sprite cannot hold another sprite's definition");
            stack_.push_back({{}, 0, static_cast<std::uint16_t>(number(operand(t, 1, "the id").text, 1, 65535))});
        } else if (d == "endsprite") {
            if (stack_.size() < 2) bad("endsprite without sprite");
            timeline sprite = std::move(stack_.back());
            stack_.pop_back();
            writer w;
            w.u16(sprite.sprite_id);
            w.u16(sprite.frames);
            for (const tag& each : sprite.tags) w.add_tag(each);
            w.tag_header(tag_code::end, 0);
            current().tags.push_back({tag_code::define_sprite, w.data()});
        } else if (d == "font") {
            font_line(t);
        } else if (d == "rect") {
            rect_line(t);
        } else if (d == "text") {
            text_line(t);
        } else if (d == "place") {
            place_line(t);
        } else if (d == "button") {
            button_line(t);
        } else if (d == "abc") {
            writer w;
            w.u32(1);
            w.text("");
            for (const std::uint32_t b : {0x10U, 0x00U, 0x2EU, 0x00U}) w.u8(b);  // an ABC file's version, 46.16
            current().tags.push_back({tag_code::do_abc, w.data()});
        } else {
            bad("unknown directive \"" + d + "\"");
        }
    }

    void movie_line(const std::vector<token>& t) {
        for (const auto& [key, value] : options_of(t, 1)) {
            if (key == "version") {
                m_.version = static_cast<std::uint8_t>(number(value, 1, 50));
            } else if (key == "width") {
                m_.frame.x_max = static_cast<std::int32_t>(number(value, 1, 8191) * 20);
            } else if (key == "height") {
                m_.frame.y_max = static_cast<std::int32_t>(number(value, 1, 8191) * 20);
            } else if (key == "rate") {
                m_.frame_rate = static_cast<double>(number(value, 1, 120));
            } else if (key == "background") {
                background_ = colour(value);
            } else if (key == "compress") {
                if (value == "fws")
                    m_.stored = compression::none;
                else if (value == "cws")
                    m_.stored = compression::zlib;
                else if (value == "zws")
                    m_.stored = compression::lzma;
                else
                    bad("compress is fws, cws or zws, not \"" + value + "\"");
            } else if (key == "as3") {
                as3_ = true;
            } else {
                bad("unknown movie option \"" + key + "\"");
            }
        }
    }

    void font_line(const std::vector<token>& t) {
        writer w;
        w.u16(static_cast<std::uint32_t>(number(operand(t, 1, "the id").text, 1, 65535)));
        w.u8(0);  // no layout, narrow offsets and codes
        w.u8(1);  // Latin
        const std::string& name = operand(t, 2, "the font's name").text;
        w.u8(static_cast<std::uint32_t>(name.size()));
        for (const char c : name) w.u8(static_cast<std::uint8_t>(c));
        w.u16(0);  // no glyphs: a device font
        w.u16(0);
        current().tags.push_back({48, w.data()});  // DefineFont2
    }

    void rect_line(const std::vector<token>& t) {
        const auto id = static_cast<std::uint32_t>(number(operand(t, 1, "the id").text, 1, 65535));
        const auto width = static_cast<std::int32_t>(number(operand(t, 2, "the width").text, 1, 8191) * 20);
        const auto height = static_cast<std::int32_t>(number(operand(t, 3, "the height").text, 1, 8191) * 20);
        const std::uint32_t fill = colour(operand(t, 4, "the colour").text);
        writer w;
        w.u16(id);
        w.rectangle({0, width, 0, height});
        w.u8(1);  // one fill style
        w.u8(0);  // solid
        w.u8(fill >> 16);
        w.u8(fill >> 8);
        w.u8(fill);
        w.u8(0);  // no line styles
        w.bits(1, 4);
        w.bits(0, 4);
        // Move to the origin with fill style 1, four straight edges, the end.
        w.bits(0b000101, 6);
        w.bits(1, 5);
        w.bits(0, 1);
        w.bits(0, 1);
        w.bits(1, 1);
        const auto edge = [&](std::int32_t dx, std::int32_t dy) {
            w.bits(0b11, 2);
            w.bits(14, 4);  // 16 bits a delta
            w.bits(1, 1);   // a general line
            w.signed_bits(dx, 16);
            w.signed_bits(dy, 16);
        };
        edge(width, 0);
        edge(0, height);
        edge(-width, 0);
        edge(0, -height);
        w.bits(0, 6);
        w.align();
        current().tags.push_back({tag_code::define_shape, w.data()});
    }

    void text_line(const std::vector<token>& t) {
        writer w;
        w.u16(static_cast<std::uint32_t>(number(operand(t, 1, "the id").text, 1, 65535)));
        const auto width = static_cast<std::int32_t>(number(operand(t, 2, "the width").text, 1, 8191) * 20);
        const auto height = static_cast<std::int32_t>(number(operand(t, 3, "the height").text, 1, 8191) * 20);
        w.rectangle({0, width, 0, height});
        const auto font = static_cast<std::uint32_t>(number(operand(t, 4, "the font").text, 1, 65535));
        const auto size = static_cast<std::uint32_t>(number(operand(t, 5, "the size").text, 1, 400) * 20);
        const std::uint32_t text_colour = colour(operand(t, 6, "the colour").text);
        const std::string& variable = operand(t, 7, "the variable").text;
        const bool has_text = t.size() > 8;
        w.u8((has_text ? 0x80 : 0) | 0x40 | 0x20 | 0x08 | 0x04 | 0x01);  // word wrap, multiline, read-only
        w.u8(0x10);                                                      // not selectable
        w.u16(font);
        w.u16(size);
        w.u8(text_colour >> 16);
        w.u8(text_colour >> 8);
        w.u8(text_colour);
        w.u8(0xFF);
        w.text(variable);
        if (has_text) w.text(t[8].text);
        current().tags.push_back({tag_code::define_edit_text, w.data()});
    }

    void place_line(const std::vector<token>& t) {
        const auto id = static_cast<std::uint32_t>(number(operand(t, 1, "the id").text, 1, 65535));
        const auto depth = static_cast<std::uint32_t>(number(operand(t, 2, "the depth").text, 1, 65535));
        const auto options = options_of(t, 3);
        owner_ = open_owner{};
        owner_.kind = open_owner::place;
        owner_.into = &current();
        const auto name = options.find("name");
        const auto x = options.count("x") ? number(options.at("x"), -8191, 8191) * 20 : 0;
        const auto y = options.count("y") ? number(options.at("y"), -8191, 8191) * 20 : 0;
        place_flags_ = static_cast<std::uint8_t>(0x02 | 0x04 | (name != options.end() ? 0x20 : 0));
        owner_.head.u16(depth);
        owner_.head.u16(id);
        owner_.head.bits(0, 1);
        owner_.head.bits(0, 1);
        owner_.head.bits(16, 5);
        owner_.head.signed_bits(static_cast<std::int32_t>(x), 16);
        owner_.head.signed_bits(static_cast<std::int32_t>(y), 16);
        owner_.head.align();
        if (name != options.end()) owner_.head.text(name->second);
    }

    void button_line(const std::vector<token>& t) {
        owner_ = open_owner{};
        owner_.kind = open_owner::button;
        owner_.into = &current();
        button_id_ = static_cast<std::uint16_t>(number(operand(t, 1, "the id").text, 1, 65535));
        button_shape_ = static_cast<std::uint16_t>(number(operand(t, 2, "the shape").text, 1, 65535));
    }

    void end_block() {
        bytes code = block_->finish();
        block_.reset();
        if (owner_.kind != open_owner::none && !block_event_.empty()) {
            owner_.handlers.emplace_back(owner_.kind == open_owner::button ? button_condition(block_event_, block_key_)
                                                                           : event_flag(block_event_),
                                         std::move(code));
            block_event_.clear();
            return;
        }
        if (block_tag_ == tag_code::do_init_action) {
            writer w;
            w.u16(init_sprite_);
            w.raw(code);
            code = std::move(w.data());
        }
        current().tags.push_back({block_tag_, std::move(code)});
    }

    // A button's condition: the state changes in the low byte, a key's code above them.
    static std::uint32_t button_condition(const std::string& event, std::uint32_t key) {
        if (event == "keyPress") return key << 9;
        if (event == "press") return 0x04;
        if (event == "release") return 0x08;
        if (event == "rollOver") return 0x01;
        if (event == "rollOut") return 0x02;
        bad("a button's events are press, release, rollOver, rollOut and keyPress, not \"" + event + "\"");
    }

    void close_owner() {
        if (owner_.kind == open_owner::none) return;
        open_owner o = std::move(owner_);
        owner_ = open_owner{};
        if (o.kind == open_owner::place) {
            writer w;
            const bool actions = !o.handlers.empty();
            w.u8(place_flags_ | (actions ? 0x80 : 0));
            w.raw(o.head.data());
            if (actions) {
                const bool wide = m_.version >= 6;
                std::uint32_t all = 0;
                for (const auto& [flags, code] : o.handlers) all |= flags;
                w.u16(0);
                if (wide)
                    w.u32(all);
                else
                    w.u16(all);
                for (const auto& [flags, code] : o.handlers) {
                    if (wide)
                        w.u32(flags);
                    else
                        w.u16(flags);
                    w.u32(static_cast<std::uint32_t>(code.size()));
                    w.raw(code);
                }
                if (wide)
                    w.u32(0);
                else
                    w.u16(0);
            }
            o.into->tags.push_back({tag_code::place_object2, w.data()});
            return;
        }
        writer w;
        w.u16(button_id_);
        w.u8(0);
        writer records;
        records.u8(0x0F);  // up, over, down and hit: the one shape
        records.u16(button_shape_);
        records.u16(1);
        records.bits(0, 1);
        records.bits(0, 1);
        records.bits(0, 5);
        records.align();
        records.bits(0, 1);  // no colour transform
        records.bits(0, 1);
        records.bits(0, 4);
        records.align();
        records.u8(0);
        w.u16(o.handlers.empty() ? 0 : static_cast<std::uint32_t>(records.size() + 2));
        w.raw(records.data());
        for (std::size_t i = 0; i < o.handlers.size(); ++i) {
            const auto& [condition, code] = o.handlers[i];
            const bool last = i + 1 == o.handlers.size();
            w.u16(last ? 0 : static_cast<std::uint32_t>(code.size() + 4));
            w.u16(condition);
            w.raw(code);
        }
        o.into->tags.push_back({tag_code::define_button2, w.data()});
    }

    movie m_;
    std::vector<timeline> stack_{timeline{}};
    std::optional<actions> block_;
    std::uint16_t block_tag_ = tag_code::do_action;
    std::uint16_t init_sprite_ = 0;
    std::string block_event_;
    std::uint32_t block_key_ = 0;
    open_owner owner_;
    std::uint8_t place_flags_ = 0;
    std::uint16_t button_id_ = 0;
    std::uint16_t button_shape_ = 0;
    std::optional<std::uint32_t> background_;
    bool as3_ = false;
};

}  // namespace

movie assemble(std::string_view source) { return assembler{}.run(source); }

}  // namespace quizhost::swf
