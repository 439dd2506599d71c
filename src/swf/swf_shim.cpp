#include "swf/swf_shim.hpp"

#include <algorithm>
#include <cstdio>

#include "swf/avm1.hpp"

namespace quizhost::swf {
namespace {

// The player's hidden-before-version-8 flag, cleared so a version 6 or 7 shim can reach ExternalInterface.
constexpr std::int32_t version8_flag = 0x1000;

// Pushes flash.external.ExternalInterface.
void push_external_interface(actions& a) {
    a.push("flash").simple(op::get_variable).push("external").simple(op::get_member);
    a.push("ExternalInterface").simple(op::get_member);
}

// ASSetPropFlags(object on the stack's top..., name, 0, version8_flag): the object is pushed by `object`.
template <class Object>
void unhide(actions& a, Object object, const char* name) {
    a.push(std::vector<push_value>{version8_flag, std::int32_t{0}});
    if (name)
        a.push(name);
    else
        a.push(std::vector<push_value>{null_value{}});
    object(a);
    a.push(std::vector<push_value>{std::int32_t{4}, std::string("ASSetPropFlags")})
        .simple(op::call_function)
        .simple(op::pop);
}

// arguments[index] on the stack.
void push_argument(actions& a, std::int32_t index) {
    a.push("arguments").simple(op::get_variable).push(std::vector<push_value>{index}).simple(op::get_member);
}

// Registers the function on the stack's top as the callback `name`.
void add_callback(actions& a, const std::string& name) {
    a.push(std::vector<push_value>{null_value{}, name, std::int32_t{3}});
    push_external_interface(a);
    a.push("addCallback").simple(op::call_method).simple(op::pop);
}

// A callback that runs `body` with _level0 as the target; `body` leaves at most one value, the answer.
template <class Body>
void on_main_timeline(actions& a, const std::string& name, Body body) {
    a.begin_function("", {});
    body(a);
    a.end_function();
    add_callback(a, name);
}

std::string frame_rate_text(double rate) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", rate);
    return text;
}

void target_main(actions& a) { a.push("_level0").simple(op::set_target2); }
void target_back(actions& a) { a.set_target(""); }

}  // namespace

bytes make_shim(const movie_facts& game, const std::string& game_url) {
    actions a;
    a.simple(op::stop);
    if (std::max<int>(6, game.version) < 8) {
        unhide(
            a, [](actions& x) { x.push("_global").simple(op::get_variable); }, "flash");
        unhide(
            a, [](actions& x) { x.push("flash").simple(op::get_variable).push("external").simple(op::get_member); },
            "ExternalInterface");
        unhide(a, push_external_interface, nullptr);
    }
    on_main_timeline(a, "qhSetVariable", [](actions& f) {
        push_argument(f, 0);
        // The player hands a text of nothing but white space to the movie as "null"; the page sends every
        // value behind a U+0001, taken off here.
        f.push(std::vector<push_value>{std::int32_t{1}, std::int32_t{1}});
        push_argument(f, 1);
        f.push("substr").simple(op::call_method);
        target_main(f);
        f.simple(op::set_variable);
        target_back(f);
    });
    on_main_timeline(a, "qhGetVariable", [](actions& f) {
        push_argument(f, 0);
        target_main(f);
        f.simple(op::get_variable);
        target_back(f);
        // The control answered text: an unset variable reads as "", any other value as the movie's own
        // conversion to text (numbers as the player writes them).
        f.simple(op::push_duplicate).simple(op::type_of).push("undefined").simple(op::strict_equals);
        f.if_true("unset");
        // Behind a U+0001 too, for the same reason; the page takes it off.
        f.push("\x01").simple(op::stack_swap).simple(op::add2).simple(op::return_);
        f.label("unset").simple(op::pop).push("\x01").simple(op::return_);
    });
    on_main_timeline(a, "qhPlay", [](actions& f) {
        target_main(f);
        f.simple(op::play);
        target_back(f);
    });
    on_main_timeline(a, "qhStopPlay", [](actions& f) {
        target_main(f);
        f.simple(op::stop);
        target_back(f);
    });
    on_main_timeline(a, "qhRewind", [](actions& f) {
        target_main(f);
        f.goto_frame(0);  // gotoAndStop(1)
        target_back(f);
    });
    on_main_timeline(a, "qhState", [&game](actions& f) {
        f.push("_level0").simple(op::get_variable).push("_url").simple(op::get_member);
        f.push("\n").simple(op::add2);
        f.push("_level0").simple(op::get_variable).push("_framesloaded").simple(op::get_member);
        f.simple(op::add2);
        f.push("\n" + frame_rate_text(game.frame_rate)).simple(op::add2).simple(op::return_);
    });
    a.get_url(game_url, "_level0");

    movie shim;
    shim.version = static_cast<std::uint8_t>(std::max<int>(6, game.version));
    shim.frame = game.frame;
    shim.frame_rate = game.frame_rate;
    shim.frame_count = 1;
    if (game.has_background) {
        writer bg;
        bg.u8(game.background >> 16);
        bg.u8(game.background >> 8);
        bg.u8(game.background);
        shim.tags.push_back({tag_code::set_background_color, bg.data()});
    }
    shim.tags.push_back({tag_code::do_action, a.finish()});
    shim.tags.push_back({tag_code::show_frame, {}});
    return write_movie(shim);
}

}  // namespace quizhost::swf
