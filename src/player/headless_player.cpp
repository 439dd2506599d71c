#include "player/headless_player.hpp"

#include "definitions.hpp"
#include "forms/runtime.hpp"
#include "host.hpp"
#include "platform/event_sink.hpp"
#include "platform/standard_streams.hpp"
#include "recall/game_recall.hpp"

namespace quizhost {

void script_clock::set(date_time at) {
    if (fixed_) {
        fixed_->set(at);
    } else {
        fixed_.emplace(at);
    }
}

void script_clock::advance(long long seconds) {
    if (!fixed_) fixed_.emplace(system_->now());
    fixed_->advance(seconds);
}

namespace {

// Applies a directive that sets the scene rather than raising a command.
void set_scene(headless_stage& stage, const script_directive& d) {
    using kind = script_directive::kind;
    switch (d.what) {
        case kind::var:
            stage.game_movie.define_variable(d.name, d.value);
            break;
        case kind::draw:
            stage.draws.queue(d.draw);
            break;
        case kind::clock_at:
            stage.clock.set(d.at);
            break;
        case kind::clock_advance:
            stage.clock.advance(d.seconds);
            break;
        case kind::msgbox:
            stage.windows.queue_answer(d.answer);
            break;
        case kind::screen:
            stage.display.set_screen(d.width, d.height);
            break;
        case kind::display_result:
            stage.display.queue_change_result(d.result);
            break;
        case kind::display_enum_fail:
            stage.display.fail_next_enumeration();
            break;
        case kind::fs:
            break;
    }
}

}  // namespace

int play_movie_script(host& h, headless_stage& stage, const movie_script& script, std::FILE* err) {
    bool started = false;
    for (const script_directive& d : script) {
        if (d.what != script_directive::kind::fs) {
            set_scene(stage, d);
            continue;
        }
        if (!started) {
            started = true;
            const auto start = [&] { start_program(h); };
            if (const std::optional<int> status = run_host_step(h, start, err)) return *status;
        }
        const auto raise = [&] { raise_fscommand(h, d.name, d.value); };
        if (const std::optional<int> status = run_host_step(h, raise, err, command_step_name(d.name, d.value)))
            return *status;
        // A transcript nobody reads any more ends the run after the command in hand, as the script's end
        // would: the reader can no longer follow what the host does.
        if (h.io.trace != nullptr && h.io.trace->broken()) {
            recall_close_open_game(h, "a transcript that could no longer be written");
            std::fprintf(err, "quizhost: the transcript could no longer be written; ending\n");
            return exit_closed;
        }
    }
    if (started) recall_close_open_game(h, "the end of the movie script");
    if (h.io.trace != nullptr) h.io.trace->event({"end"});
    return exit_closed;
}

int run_headless(const cabinet_options& options, const movie_script& script, std::FILE* out, std::FILE* err,
                 std::optional<display*> real_screen) {
    std::unique_ptr<file_lock> cabinet_lock;  // held until the host has ended
    if (const std::optional<int> status = lock_cabinet(options, cabinet_lock, err)) return *status;
    ignore_broken_pipes();
    stream_event_sink events(out);
    const machine_seams machine(options);
    script_clock clock;
    headless_seams headless(events, std::make_unique<generator_draws>());
    std::unique_ptr<traced_display> traced;
    if (real_screen && *real_screen) traced = std::make_unique<traced_display>(**real_screen, events);

    host h;
    machine.attach(h, options);
    headless.attach(h.io);
    h.io.clock = &clock;
    if (real_screen) h.io.screen = traced.get();  // the real screen, traced, or none at all

    headless_stage stage{headless.game_movie, headless.windows, headless.screen, headless.draws, clock};
    return play_movie_script(h, stage, script, err);
}

}  // namespace quizhost
