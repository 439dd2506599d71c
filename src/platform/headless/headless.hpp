// Headless implementations of the movie, window and display seams: they keep the state a real player
// would keep, take their answers from queues that a movie script or a test fills, and report every call
// as a transcript event.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/display.hpp"
#include "platform/draws.hpp"
#include "platform/event_sink.hpp"
#include "platform/movie_control.hpp"
#include "platform/window_system.hpp"

namespace quizhost {

class headless_movie final : public movie_control {
public:
    headless_movie(form f, event_sink& events) : form_(f), events_(events) {}

    void set_movie(const std::string& path) override;
    std::string movie() const override { return movie_; }
    void rewind() override;
    void play() override;
    void stop() override;
    void set_variable(const std::string& name, const std::string& value) override;
    std::string get_variable(const std::string& name) override;

    // What the movie answers for GetVariable(name) (the script's `var`).
    void define_variable(const std::string& name, const std::string& value) { variables_[name] = value; }
    bool playing() const { return playing_; }

private:
    form form_;
    event_sink& events_;
    std::string movie_;
    bool playing_ = false;
    std::map<std::string, std::string> variables_;
};

class headless_windows final : public window_system {
public:
    explicit headless_windows(event_sink& events) : events_(events) {}

    void set_topmost(form f, bool topmost) override;
    void show_cursor(bool visible) override;
    void show(form f) override;
    void hide(form f) override;
    void set_caption(form f, const std::string& text) override;
    box_answer message_box(const std::string& title, const std::string& text, int style) override;

    // The answer to the next message box (the script's `msgbox`); unqueued boxes get OK, or No for Yes/No.
    void queue_answer(box_answer answer) { answers_.push_back(answer); }

private:
    event_sink& events_;
    std::deque<box_answer> answers_;
};

// The number a transcript's `display WxH RESULT` event shows for a mode change's outcome: the numbers
// cabinets' display drivers have always reported (0 changed, 1 restart needed, negative refusals), so a
// transcript reads the same against any display.
long transcript_result(mode_change outcome);
// The outcome a movie script's `display RESULT` stands for; a number no outcome has is a refusal.
mode_change outcome_of_transcript_result(long result);

class headless_display final : public display {
public:
    explicit headless_display(event_sink& events) : events_(events) {}

    std::int32_t screen_width() override { return width_; }
    std::int32_t screen_height() override { return height_; }
    std::optional<display_mode> enumerate_mode(std::uint32_t index) override;
    mode_change change_mode(const display_mode& mode, mode_lifetime lifetime) override;
    void request_reboot() override;

    // The script's `screen WxH`, `display RESULT` and `display enum-fail`. RESULT is the transcript's
    // number for the outcome (see transcript_result), or any other number for a refusal.
    void set_screen(int width, int height) {
        width_ = width;
        height_ = height;
    }
    void queue_change_result(long result) { results_.push_back(result); }
    void fail_next_enumeration() { enumeration_fails_ = true; }

private:
    event_sink& events_;
    int width_ = 800;
    int height_ = 600;
    std::deque<long> results_;
    bool enumeration_fails_ = false;
};

// A real display (X11, Windows) seen through the transcript: every mode change and reboot request is
// passed on and reported as the headless display reports its own, so a run against a real screen shows
// the same `display WxH RESULT` and `reboot` events.
class traced_display final : public display {
public:
    traced_display(display& inner, event_sink& events) : inner_(inner), events_(events) {}

    std::int32_t screen_width() override { return inner_.screen_width(); }
    std::int32_t screen_height() override { return inner_.screen_height(); }
    std::optional<display_mode> enumerate_mode(std::uint32_t index) override { return inner_.enumerate_mode(index); }
    mode_change change_mode(const display_mode& mode, mode_lifetime lifetime) override;
    void request_reboot() override;

private:
    display& inner_;
    event_sink& events_;
};

struct seams;

// The headless seams as one bundle, for everything that runs the host with no screen (the headless player,
// the tests, the fuzzers, the benchmarks): both movies, the windows and the display, reporting to `events`,
// and draws that a script or a test can queue in front of `fallback_draws`. attach() lends them all to a
// host's seams; the files, the clock and the credit systems stay with the builder, which sets them and swaps
// any seam it changes after attaching.
struct headless_seams {
    headless_seams(event_sink& sink, std::unique_ptr<quizhost::draws> fallback_draws);
    headless_seams(const headless_seams&) = delete;
    headless_seams& operator=(const headless_seams&) = delete;

    // Sets the movies, windows, display, draws and the trace of `io`.
    void attach(seams& io);

    event_sink& events;
    headless_movie intro_movie{form::intro, events};
    headless_movie game_movie{form::main, events};
    headless_windows windows{events};
    headless_display screen{events};
    queued_draws draws;
};

}  // namespace quizhost
