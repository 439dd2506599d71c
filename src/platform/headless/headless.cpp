#include "platform/headless/headless.hpp"

#include <string>
#include <utility>

#include "platform/seams.hpp"

namespace quizhost {

headless_seams::headless_seams(event_sink& sink, std::unique_ptr<quizhost::draws> fallback_draws)
    : events(sink), draws(std::move(fallback_draws)) {}

void headless_seams::attach(seams& io) {
    io.intro_movie = &intro_movie;
    io.game_movie = &game_movie;
    io.windows = &windows;
    io.screen = &screen;
    io.draws = &draws;
    io.trace = &events;
}

void headless_movie::set_movie(const std::string& path) {
    movie_ = path;
    playing_ = !path.empty();  // a loaded movie starts from its first frame
    events_.event({"movie", form_name(form_), path});
}

void headless_movie::rewind() { events_.event({"rewind", form_name(form_)}); }

void headless_movie::play() {
    playing_ = !movie_.empty();
    events_.event({"play", form_name(form_)});
}

void headless_movie::stop() {
    playing_ = false;
    events_.event({"stop", form_name(form_)});
}

void headless_movie::set_variable(const std::string& name, const std::string& value) {
    variables_[name] = value;
    events_.event({"set", name, value});
}

std::string headless_movie::get_variable(const std::string& name) {
    const auto found = variables_.find(name);
    const std::string value = found == variables_.end() ? std::string{} : found->second;
    events_.event({"get", name, value});
    return value;
}

void headless_windows::set_topmost(form f, bool topmost) {
    events_.event({"topmost", form_name(f), topmost ? "1" : "0"});
}
void headless_windows::show_cursor(bool visible) { events_.event({"cursor", visible ? "1" : "0"}); }
void headless_windows::show(form f) { events_.event({"show", form_name(f)}); }
void headless_windows::hide(form f) { events_.event({"hide", form_name(f)}); }
void headless_windows::set_caption(form f, const std::string& text) { events_.event({"caption", form_name(f), text}); }

box_answer headless_windows::message_box(const std::string& title, const std::string& text, int style) {
    box_answer answer = (style & 0xF) == mb_yes_no ? box_answer::no : box_answer::ok;
    if (!answers_.empty()) {
        answer = answers_.front();
        answers_.pop_front();
    }
    events_.event({"msgbox", title, text, std::to_string(style), box_answer_name(answer)});
    return answer;
}

std::optional<display_mode> headless_display::enumerate_mode(std::uint32_t) {
    if (enumeration_fails_) {
        enumeration_fails_ = false;
        return std::nullopt;
    }
    return display_mode{width_, height_, 0};
}

long headless_display::change_mode(const display_mode& mode, std::uint32_t) {
    long result = disp_change_successful;
    if (!results_.empty()) {
        result = results_.front();
        results_.pop_front();
    }
    if (result == disp_change_successful) set_screen(mode.width, mode.height);
    events_.event({"display", std::to_string(mode.width) + "x" + std::to_string(mode.height), std::to_string(result)});
    return result;
}

void headless_display::request_reboot() { events_.event({"reboot"}); }

long traced_display::change_mode(const display_mode& mode, std::uint32_t flags) {
    const long result = inner_.change_mode(mode, flags);
    events_.event({"display", std::to_string(mode.width) + "x" + std::to_string(mode.height), std::to_string(result)});
    return result;
}

// Reported before it is passed on: a reboot that works may leave no time to report it afterwards.
void traced_display::request_reboot() {
    events_.event({"reboot"});
    inner_.request_reboot();
}

}  // namespace quizhost
