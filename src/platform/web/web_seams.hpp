// The movie and window seams of the browser player. Each call becomes one bridge message to the stage and
// one transcript event, the same events the headless player records, so --trace shows the protocol live.
// Both keep the state they set, so a stage that (re)connects can be brought up to it.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

#include "platform/event_sink.hpp"
#include "platform/movie_control.hpp"
#include "platform/web/bridge.hpp"
#include "platform/window_system.hpp"

namespace quizhost::web {

// How long GetVariable waits for the movie's answer before taking the empty text.
inline constexpr std::chrono::milliseconds get_variable_timeout{2000};
// How long the first GetVariable after a movie is loaded waits. The stage answers it once the movie has
// loaded, which for a Flash movie in a cold browser on a slow or busy cabinet takes seconds; the old
// control answered it only once the movie was in, however long that took.
inline constexpr std::chrono::milliseconds get_variable_load_timeout{15000};

class web_movie final : public movie_control {
public:
    web_movie(form f, bridge& link, event_sink& events, std::string program_folder);

    void set_movie(const std::string& path) override;
    std::string movie() const override { return path_; }
    void rewind() override;
    void play() override;
    void stop() override;
    void set_variable(const std::string& name, const std::string& value) override;
    std::string get_variable(const std::string& name) override;

    // Counts the movies loaded on this form. A command raised by an earlier load comes from a movie that
    // has since been replaced or unloaded, and is dropped.
    std::uint64_t load() const { return load_; }
    // Sends the movie (loaded afresh) and its playing state to a stage that has just connected.
    void replay();

private:
    void send(const char* type);
    void send_movie();

    form form_;
    bridge& link_;
    event_sink& events_;
    std::string program_folder_;
    std::string path_;
    std::string url_;  // "" when no movie (or one the player cannot serve) is loaded
    std::uint64_t load_ = 0;
    bool playing_ = false;
    bool loading_ = false;  // no GetVariable has been answered since the movie was (re)sent to the stage
};

class web_windows final : public window_system {
public:
    web_windows(bridge& link, event_sink& events);

    void set_topmost(form f, bool topmost) override;
    void show_cursor(bool visible) override;
    void show(form f) override;
    void hide(form f) override;
    void set_caption(form f, const std::string& text) override;
    // Drawn by the stage over the movies; the host waits for the click. Interrupted (Ctrl-C), it takes
    // the box's safe answer (OK, or No for a Yes/No box) so the command ends normally.
    box_answer message_box(const std::string& title, const std::string& text, int style) override;

    void replay();

private:
    struct window_state {
        bool shown = false;
        bool topmost = false;
        std::string caption;
    };
    window_state& window(form f) { return windows_[f == form::intro ? 0 : 1]; }

    bridge& link_;
    event_sink& events_;
    // The intro form is the program's first window: the stage shows its layer from the start.
    std::array<window_state, 2> windows_;
    bool cursor_visible_ = true;
};

}  // namespace quizhost::web
