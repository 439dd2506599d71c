#include "player/web_player.hpp"

#include <filesystem>
#include <optional>
#include <system_error>

#include "forms/command_reference.hpp"
#include "forms/form_main.hpp"
#include "forms/runtime.hpp"
#include "platform/clock.hpp"
#include "platform/draws.hpp"
#include "platform/headless/headless.hpp"
#include "platform/private_files.hpp"
#include "platform/web/bridge.hpp"
#include "platform/web/web_seams.hpp"

namespace quizhost::web {
namespace {

// How long the stage gets to take the last messages (the end of the program) before the host leaves.
constexpr std::chrono::milliseconds goodbye_bound{1000};

// Points the host's movie and window seams at the player's for as long as the player runs.
class seams_in_use {
public:
    seams_in_use(host& h, movie_control& intro, movie_control& game, window_system& windows) : h_(h), saved_(h.io) {
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

// Gathers the messages of one command into one frame to the stage.
class gathered_messages {
public:
    explicit gathered_messages(bridge& link) : link_(link) { link_.gather_messages(); }
    ~gathered_messages() { link_.release_messages(); }
    gathered_messages(const gathered_messages&) = delete;
    gathered_messages& operator=(const gathered_messages&) = delete;

private:
    bridge& link_;
};

class player {
public:
    player(host& h, bridge& link, std::FILE* err)
        : h_(h),
          link_(link),
          err_(err),
          intro_(form::intro, link, trace(), h.program_folder),
          game_(form::main, link, trace(), h.program_folder),
          windows_(link, trace()),
          in_use_(h, intro_, game_, windows_) {
        link_.on_stage_connected([this] {
            windows_.replay();
            intro_.replay();
            game_.replay();
        });
    }

    int run(const program_entry& program) {
        if (!link_.wait_for_stage()) return interrupted(program, false);
        if (const auto status = run_host_step(h_, program.start, err_)) return finish(*status);
        while (const auto command = link_.next_command()) {
            if (const auto status = take(program, *command)) return finish(*status);
        }
        return interrupted(program, true);
    }

private:
    event_sink& trace() { return h_.io.trace != nullptr ? *h_.io.trace : no_trace_; }

    std::optional<int> take(const program_entry& program, const raised_command& command) {
        const web_movie& raiser = command.form == "intro" ? intro_ : game_;
        gathered_messages gather(link_);
        if (command.load != raiser.load()) {
            // Raised by a movie the host has since replaced or unloaded: that movie no longer exists.
            std::fprintf(err_, "quizhost: dropped %s: the %s form's movie that raised it is no longer loaded\n",
                         command.command.c_str(), command.form.c_str());
        } else if (const auto status = run_host_step(
                       h_, [&] { program.raise(command.command, command.args); }, err_,
                       command_step_name(command.command, command.args), &fatal_)) {
            return status;
        }
        // The movie holds its frames until its command is done, so its next frame sees the answer.
        link_.send({{"type", "done"}, {"id", command.id}});
        return std::nullopt;
    }

    // Ctrl-C or SIGTERM, taken between two commands (never inside one): a started program shuts down as
    // it does after "CLOSE_ALL" (goodbye to the credit service, display mode restored), with its own status.
    int interrupted(const program_entry& program, bool started) {
        std::fprintf(err_, "quizhost: interrupted; shutting down\n");
        std::optional<int> status;
        if (started && program.shutdown) {
            status = run_host_step(
                h_, [&] { program.shutdown(exit_interrupted); }, err_);
        }
        if (!status) {
            trace().event({"exit", std::to_string(exit_interrupted)});
            status = exit_interrupted;
        }
        return finish(*status);
    }

    // The host has traced the end already; the stage learns it and is let go.
    int finish(int status) {
        nlohmann::json exit{{"type", "exit"}, {"status", status}};
        // The stage's end screen shows the operator what failed, as the log and standard error tell it.
        if (status == exit_fatal && fatal_.log_text.size() > 0) {
            exit["error"] = fatal_.log_text;
            exit["detail"] = fatal_.detail;
        }
        link_.send(exit);
        link_.finish(goodbye_bound);
        return status;
    }

    host& h_;
    bridge& link_;
    std::FILE* err_;
    fatal_report fatal_;
    null_event_sink no_trace_;
    web_movie intro_;
    web_movie game_;
    web_windows windows_;
    seams_in_use in_use_;
};

// The stage's address with its secret, kept for the operator in a file only the host's user may read, for
// as long as the host runs (the secret dies with it). Nothing when there is no such place: the address is
// printed all the same.
class stage_address_file {
public:
    stage_address_file(const bridge& link, std::FILE* err) {
        try {
            const auto file =
                std::filesystem::path(private_folder()) / ("stage-" + std::to_string(link.port()) + ".url");
            write_private_file(file.string(), link.stage_url() + "\n");
            path_ = file.string();
        } catch (const private_files_error& e) {
            std::fprintf(err, "quizhost: the stage's address is kept in no file: %s\n", e.what());
        }
    }
    ~stage_address_file() {
        std::error_code ignored;
        if (!path_.empty()) std::filesystem::remove(path_, ignored);
    }
    stage_address_file(const stage_address_file&) = delete;
    stage_address_file& operator=(const stage_address_file&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

void trace_unknown_command(event_sink& trace, const std::string& command, const std::string& args) {
    const std::string nearest = nearest_command(command);
    trace.event({"unknown", "main", command, args,
                 nearest.empty() ? "no such command: nothing happens"
                                 : "no such command: nothing happens (did you mean " + nearest + "?)"});
}

int run_player(host& h, bridge& link, const program_entry& program, std::FILE* err) {
    player p(h, link, err);
    return p.run(program);
}

int run_browser(const cabinet_options& cabinet, const browser_options& options, display* screen, std::FILE* out,
                std::FILE* err) {
    std::unique_ptr<file_lock> cabinet_lock;  // held until the host has ended
    if (const std::optional<int> status = lock_cabinet(cabinet, cabinet_lock, err)) return *status;
    std::optional<stream_event_sink> trace;
    if (options.trace) trace.emplace(err);
    const machine_seams machine(cabinet);
    const std::unique_ptr<clock> system_clock = make_system_clock();
    queued_draws draws(std::make_unique<generator_draws>());
    std::optional<traced_display> traced_screen;
    if (screen != nullptr && trace) screen = &traced_screen.emplace(*screen, *trace);

    host h;
    machine.attach(h, cabinet);
    h.io.clock = system_clock.get();
    h.io.draws = &draws;
    h.io.screen = screen;
    h.io.trace = trace ? &*trace : nullptr;

    std::optional<bridge> link;
    try {
        link.emplace(bridge_options{cabinet.program_folder, options.http_port, true, {}});
    } catch (const bridge_error& e) {
        std::fprintf(err, "quizhost: %s\n", e.what());
        return exit_usage;
    }
    const stage_address_file address_file(*link, err);
    const std::string kept =
        address_file.path().empty() ? "" : " (kept for this user only in " + address_file.path() + ")";
    std::fprintf(out, "quizhost: open %s in the cabinet's browser%s; waiting for the stage to connect\n",
                 link->stage_url().c_str(), kept.c_str());
    std::fflush(out);
    const program_entry program{[&] { start_program(h); },
                                [&](const std::string& command, const std::string& args) {
                                    const bool to_game = !h.io.game_movie->movie().empty();
                                    raise_fscommand(h, command, args);
                                    // Nothing happens for a name that matches no row, as ever; the
                                    // developer watching --trace sees the misspelling at once.
                                    if (trace && to_game && find_command(command) == nullptr)
                                        trace_unknown_command(*trace, command, args);
                                },
                                [&](int status) { unload_wrapper(h, status); }};
    return run_player(h, *link, program, err);
}

}  // namespace quizhost::web
