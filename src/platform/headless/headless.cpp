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
    std::string value = found == variables_.end() ? std::string{} : found->second;
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

namespace {

struct transcript_number {
    mode_change outcome;
    long result;
};

constexpr transcript_number transcript_numbers[] = {
    {mode_change::changed, 0},           {mode_change::restart_needed, 1},     {mode_change::failed, -1},
    {mode_change::mode_not_offered, -2}, {mode_change::not_kept, -3},          {mode_change::bad_request, -4},
    {mode_change::bad_parameter, -5},    {mode_change::displays_conflict, -6},
};

std::string mode_size(const display_mode& mode) {
    const auto size = [](const std::optional<std::int32_t>& pixels) {
        return pixels ? std::to_string(*pixels) : std::string("0");
    };
    return size(mode.width) + "x" + size(mode.height);
}

}  // namespace

long transcript_result(mode_change outcome) {
    for (const transcript_number& known : transcript_numbers) {
        if (known.outcome == outcome) return known.result;
    }
    return -1;
}

mode_change outcome_of_transcript_result(long result) {
    for (const transcript_number& known : transcript_numbers) {
        if (known.result == result) return known.outcome;
    }
    return mode_change::failed;
}

std::optional<display_mode> headless_display::enumerate_mode(std::uint32_t) {
    if (enumeration_fails_) {
        enumeration_fails_ = false;
        return std::nullopt;
    }
    return display_mode{width_, height_};
}

mode_change headless_display::change_mode(const display_mode& mode, mode_lifetime) {
    long result = transcript_result(mode_change::changed);
    if (!results_.empty()) {
        result = results_.front();
        results_.pop_front();
    }
    const mode_change outcome = outcome_of_transcript_result(result);
    if (outcome == mode_change::changed) set_screen(mode.width.value_or(width_), mode.height.value_or(height_));
    // The script's own number, whatever outcome it stands for.
    events_.event({"display", mode_size(mode), std::to_string(result)});
    return outcome;
}

void headless_display::request_reboot() { events_.event({"reboot"}); }

mode_change traced_display::change_mode(const display_mode& mode, mode_lifetime lifetime) {
    const mode_change outcome = inner_.change_mode(mode, lifetime);
    events_.event({"display", mode_size(mode), std::to_string(transcript_result(outcome))});
    return outcome;
}

// Reported before it is passed on: a reboot that works may leave no time to report it afterwards.
void traced_display::request_reboot() {
    events_.event({"reboot"});
    inner_.request_reboot();
}

}  // namespace quizhost
