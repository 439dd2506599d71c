#include "platform/web/web_seams.hpp"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "definitions.hpp"
#include "platform/web/served_paths.hpp"

namespace quizhost::web {

using nlohmann::json;

web_movie::web_movie(form f, bridge& link, event_sink& events, std::string program_folder)
    : form_(f), link_(link), events_(events), program_folder_(std::move(program_folder)) {}

void web_movie::send(const char* type) { link_.send({{"type", type}, {"form", form_name(form_)}}); }

void web_movie::set_movie(const std::string& path) {
    path_ = path;
    ++load_;
    const auto url = movie_url(program_folder_, path);
    if (!url) {
        std::fprintf(stderr,
                     "quizhost: the browser player shows only the cabinet's intro and flash_game movies, not %s\n",
                     path.c_str());
    }
    url_ = url.value_or("");
    playing_ = !url_.empty();  // a loaded movie starts from its first frame
    loading_ = playing_;
    events_.event({"movie", form_name(form_), path});
    send_movie();
}

void web_movie::send_movie() {
    link_.send({{"type", "movie"},
                {"form", form_name(form_)},
                {"url", url_},
                {"load", load_},
                {"kind", is_flash_url(url_) ? "flash" : "html"}});
}

void web_movie::rewind() {
    events_.event({"rewind", form_name(form_)});
    send("rewind");
}

void web_movie::play() {
    playing_ = !url_.empty();
    events_.event({"play", form_name(form_)});
    send("play");
}

void web_movie::stop() {
    playing_ = false;
    events_.event({"stop", form_name(form_)});
    send("stop");
}

void web_movie::set_variable(const std::string& name, const std::string& value) {
    events_.event({"set", name, value});
    link_.send({{"type", "set"}, {"form", form_name(form_)}, {"name", to_utf8(name)}, {"value", to_utf8(value)}});
}

std::string web_movie::get_variable(const std::string& name) {
    std::string value;
    // Without a movie there is nobody to ask; the empty text is what a missing variable reads as.
    if (!url_.empty()) {
        const auto reply = link_.request({{"type", "get"}, {"form", form_name(form_)}, {"name", to_utf8(name)}},
                                         loading_ ? get_variable_load_timeout : get_variable_timeout);
        if (reply) {
            value = reply->text;
            loading_ = false;
        }
    }
    events_.event({"get", name, value});
    return value;
}

void web_movie::replay() {
    loading_ = !url_.empty();
    send_movie();
    if (!url_.empty() && !playing_) send("stop");
}

web_windows::web_windows(bridge& link, event_sink& events) : link_(link), events_(events) {
    windows_[0] = {true, false, design_caption};
    windows_[1] = {false, false, design_caption};
}

void web_windows::set_topmost(form f, bool topmost) {
    window(f).topmost = topmost;
    events_.event({"topmost", form_name(f), topmost ? "1" : "0"});
    link_.send({{"type", "topmost"}, {"form", form_name(f)}, {"on", topmost}});
}

void web_windows::show_cursor(bool visible) {
    cursor_visible_ = visible;
    events_.event({"cursor", visible ? "1" : "0"});
    link_.send({{"type", "cursor"}, {"visible", visible}});
}

void web_windows::show(form f) {
    window(f).shown = true;
    events_.event({"show", form_name(f)});
    link_.send({{"type", "show"}, {"form", form_name(f)}});
}

void web_windows::hide(form f) {
    window(f).shown = false;
    events_.event({"hide", form_name(f)});
    link_.send({{"type", "hide"}, {"form", form_name(f)}});
}

void web_windows::set_caption(form f, const std::string& text) {
    window(f).caption = text;
    events_.event({"caption", form_name(f), text});
    link_.send({{"type", "caption"}, {"form", form_name(f)}, {"text", to_utf8(text)}});
}

box_answer web_windows::message_box(const std::string& title, const std::string& text, int style) {
    const bool yes_no = (style & 0xF) == mb_yes_no;
    box_answer answer = yes_no ? box_answer::no : box_answer::ok;
    const auto reply = link_.request(
        {{"type", "msgbox"}, {"title", to_utf8(title)}, {"text", to_utf8(text)}, {"style", style}}, std::nullopt);
    if (reply) {
        if (reply->text == "yes" && yes_no) answer = box_answer::yes;
        if (reply->text == "no" && yes_no) answer = box_answer::no;
    }
    events_.event({"msgbox", title, text, std::to_string(style), box_answer_name(answer)});
    return answer;
}

void web_windows::replay() {
    for (const form f : {form::intro, form::main}) {
        const window_state& state = window(f);
        link_.send({{"type", "caption"}, {"form", form_name(f)}, {"text", to_utf8(state.caption)}});
        link_.send({{"type", "topmost"}, {"form", form_name(f)}, {"on", state.topmost}});
        link_.send({{"type", state.shown ? "show" : "hide"}, {"form", form_name(f)}});
    }
    link_.send({{"type", "cursor"}, {"visible", cursor_visible_}});
}

}  // namespace quizhost::web
