#include "platform/web/web_player.hpp"

#include <cstdio>
#include <optional>

#include "platform/web/bridge.hpp"
#include "platform/web/web_seams.hpp"

namespace quizhost::web {
namespace {

// How long the stage gets to take the last messages (the end of the program) before the host leaves.
constexpr std::chrono::milliseconds goodbye_bound{1000};

// Points the host's movie and window seams at the player's for as long as the player runs.
class seams_in_use {
public:
    seams_in_use(host& h, movie_control& intro, movie_control& game, window_system& windows)
        : h_(h), saved_(h.io) {
        h.io.intro_movie = &intro;
        h.io.game_movie = &game;
        h.io.windows = &windows;
    }
    ~seams_in_use() {
        h_.io.intro_movie = saved_.intro_movie;
        h_.io.game_movie = saved_.game_movie;
        h_.io.windows = saved_.windows;
    }
    seams_in_use(const seams_in_use&) = delete;
    seams_in_use& operator=(const seams_in_use&) = delete;

private:
    host& h_;
    seams saved_;
};

class player {
public:
    player(host& h, bridge& link, event_sink& events)
        : link_(link),
          events_(events),
          intro_(form::intro, link, events, h.program_folder),
          game_(form::main, link, events, h.program_folder),
          windows_(link, events),
          in_use_(h, intro_, game_, windows_) {
        link_.on_stage_connected([this] {
            windows_.replay();
            intro_.replay();
            game_.replay();
        });
    }

    int run(const program_entry& program) {
        if (!link_.wait_for_stage()) return finish(exit_interrupted);
        if (const auto status = guarded(program.start)) return finish(*status);
        while (const auto command = link_.next_command()) {
            if (const auto status = take(program, *command)) return finish(*status);
        }
        return finish(exit_interrupted);
    }

private:
    // Runs one step of the program; the status it ends the program with, or nothing when it returns.
    static std::optional<int> guarded(const std::function<void()>& step) {
        try {
            step();
        } catch (const program_exit& exit) {
            return exit.status;
        } catch (const run_time_error& e) {
            std::fprintf(stderr, "quizhost: the intro form failed: error %d - %s%s%s\n", e.number(),
                         e.description().c_str(), e.detail().empty() ? "" : ": ", e.detail().c_str());
            return exit_intro_failed;
        }
        return std::nullopt;
    }

    std::optional<int> take(const program_entry& program, const raised_command& command) {
        const web_movie& raiser = command.form == "intro" ? intro_ : game_;
        std::optional<int> status;
        if (command.load != raiser.load()) {
            // Raised by a movie the host has since replaced or unloaded: that movie no longer exists.
            std::fprintf(stderr, "quizhost: dropped %s: the %s form's movie that raised it is no longer loaded\n",
                         command.command.c_str(), command.form.c_str());
        } else {
            status = guarded([&] { program.raise(command.command, command.args); });
        }
        // The movie holds its frames until its command is done, so its next frame sees the answer.
        if (!status) link_.send({{"type", "done"}, {"id", command.id}});
        return status;
    }

    int finish(int status) {
        events_.event({"exit", std::to_string(status)});
        link_.send({{"type", "exit"}, {"status", status}});
        link_.finish(goodbye_bound);
        return status;
    }

    bridge& link_;
    event_sink& events_;
    web_movie intro_;
    web_movie game_;
    web_windows windows_;
    seams_in_use in_use_;
};

}  // namespace

int run_browser_player(host& h, const player_options& options, const program_entry& program) {
    null_event_sink no_trace;
    event_sink& events = options.trace ? *options.trace : no_trace;
    std::optional<bridge> link;
    try {
        link.emplace(bridge_options{h.program_folder, options.http_port, true, {}});
    } catch (const bridge_error& e) {
        std::fprintf(stderr, "quizhost: %s\n", e.what());
        return exit_usage;
    }
    std::printf("quizhost: open %s in the cabinet's browser; waiting for the stage to connect\n",
                link->address().c_str());
    std::fflush(stdout);
    return run_player(h, *link, events, program);
}

int run_player(host& h, bridge& link, event_sink& events, const program_entry& program) {
    player p(h, link, events);
    return p.run(program);
}

}  // namespace quizhost::web
